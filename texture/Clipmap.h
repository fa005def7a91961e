// The detail of a picture deeper than one texture: a clipmap. For each level of its pyramid above
// its shrunk copy, from the file's own pixels down, a window of fixed size around the focus. The
// resolution the logarithmic view needs falls off with the distance from the focus, so windows of
// a fixed size hold all that any frame can show: a few megabytes a level, whatever the picture's
// size.
//
// follow(), on the main loop, asks for the windows around the focus; worker threads read and shrink
// them through libvips (and halve each once more, for filtering between levels) and touch no GL.
// follow() uploads what has arrived into one texture, an atlas of the picture's shrunk copy and of
// tiles: a strip at a time, so that no frame waits long, and each level into the one of its two
// tiles not shown, which is shown once the window is whole. The atlas has mipmaps for the copy,
// and each tile the window's next level as its mipmap. What is already loaded shows at once: where
// a level's window is not there yet, coarser levels draw.
#pragma once

#include "PictureLevels.h"

#include <GL/gl.h>

#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Clipmap {
public:
    // A level as drawn.
    struct Level {
        ImageSize size;          // the whole level, in its pixels
        PixelArea window;        // the part of it shown, in its pixels; width 0 until there is one
        std::uint32_t tileX;     // where in the atlas the window shown lies, in its texels
        std::uint32_t tileY;
    };

    // The detail of the first `count` of `levels`, in windows `windowSide` pixels square, over the picture's shrunk
    // `copy` (8-bit RGB, rows packed, the bottom first), which goes into the atlas at its corner.
    // Makes the atlas, the GL current, and starts the workers.
    Clipmap(std::shared_ptr<const PictureLevels> levels, int count, std::uint32_t windowSide, const unsigned char* copy, ImageSize copySize);
    ~Clipmap();
    Clipmap(const Clipmap&) = delete;
    Clipmap& operator=(const Clipmap&) = delete;

    // Asks for the windows around `focus`, a point of the image square (-1 to 1 in both parts),
    // and uploads what has arrived since the last call. On the main loop, with the GL current. True
    // if what is drawn has changed.
    bool follow(std::complex<double> focus);
    // Whether every level shows its window around the focus last followed, with nothing more on
    // its way: there is nothing more to do until the focus moves.
    bool settled() const;
    // Whether `level` shows its window around the focus last followed.
    bool levelShown(int level) const { return shown[std::size_t(level)].window == wanted[std::size_t(level)]; }
    // Whether windows have arrived that are not all up yet.
    bool uploading() const;
    // Why a window could not be read, if one could not; that level then stays as it is.
    const std::string& failure() const { return readFailure; }
    // The first tile of a pyramid found damaged, and why; its place is drawn from coarser levels.
    const std::string& damage() const { return tileDamage; }

    const std::vector<Level>& levels() const { return shown; }
    const PictureLevels& pyramid() const;
    GLuint atlas() const { return atlasName; }
    ImageSize atlasSize() const { return atlasSizeFor(int(shown.size()), side, copy); }
    ImageSize copySize() const { return copy; }
    std::uint32_t windowSide() const { return side; }
    // How far from the focus, in a level's own pixels, its window reaches in every direction once
    // it has followed the focus: windows lie on a grid of a quarter window, and the sampling keeps
    // a pixel from their edges. Where a window meets the level's edge, it reaches farther inward.
    double reach() const { return side * 3.0 / 8.0 - 2.0; }

    // The atlas for `levels` windows `windowSide` square over a copy of `copySize`: the copy in a
    // corner, in whole windows, and beside it or under it two tiles a level.
    static ImageSize atlasSizeFor(int levels, std::uint32_t windowSide, ImageSize copySize);
    // The texture memory that atlas takes with its mipmaps, counted at four bytes a texel, as a GL
    // may pad RGB.
    static std::uint64_t textureBytes(int levels, std::uint32_t windowSide, ImageSize copySize);

private:
    struct Work;
    struct Layout;
    struct Upload;

    // The window of `level` around the focus: centred on it, on a grid of a quarter window so that
    // small moves ask for nothing, within the level.
    PixelArea windowAround(std::complex<double> focus, int level) const;
    void takeArrivals();
    bool uploadStrips();
    void ask(int level, const PixelArea& area);

    // Where tile `tile` lies in the atlas, in its texels.
    std::pair<std::uint32_t, std::uint32_t> tileAt(std::uint32_t tile) const;
    void makeAtlas(const unsigned char* copyPixels);

    std::shared_ptr<Work> work;
    std::uint32_t side;
    ImageSize copy;
    std::vector<Level> shown;
    std::vector<std::uint32_t> shownTile;              // 0 or 1, by level
    std::vector<PixelArea> wanted;                     // around the focus last followed
    std::vector<std::vector<PixelArea>> underWay;      // asked for, by level, not arrived yet
    std::vector<std::unique_ptr<Upload>> uploads;      // arrived, by level, not shown yet
    std::vector<bool> failed;                          // by level
    std::string readFailure;
    std::string tileDamage;
    GLuint atlasName = 0;
};
