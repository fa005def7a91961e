// Exact texturing: a GLSL program (OpenGL 2.0) that colours every pixel of the mapped grid's cells
// from the pixel's own source point, where the grid's drawing interpolates texture coordinates
// linearly across each cell. It reads the drawing coordinates back to w through the view values,
// takes z = (1 + w / k)^k on the principal branch, and samples the image at the focus plus z, with
// mipmaps and trilinear filtering so that the compressed rim does not shimmer while the angle
// moves. The cells themselves, and so the outline, the open cut and the marker, are the grid's own.
// A picture deeper than one texture is drawn from its clipmap instead, each pixel from the level
// of detail it needs, down to the file's own pixels (see Clipmap).
// What it doesn't: wireframe, which keeps the grid's colours, or any GL older than 2.0.
#pragma once

#include <complex>
#include <map>
#include <memory>
#include <string>

class Clipmap;
struct PictureDepth;
class TextureCatalogue;

class ExactTexturing {
public:
    // The program for the current GL context, or nullptr and, in whyNot, why this GL cannot run it.
    static std::unique_ptr<ExactTexturing> create(std::string& whyNot);
    ~ExactTexturing();
    ExactTexturing(const ExactTexturing&) = delete;
    ExactTexturing& operator=(const ExactTexturing&) = delete;

    // Draws with the program, until end(): the catalogue's current image (or its detail), mapped
    // with k around the focus, seen through the view values as the grid's drawing sees it.
    void begin(TextureCatalogue& catalogue, float k, double viewScale, double viewOffset, std::complex<double> focus) const;
    void end() const;
    // Whether it draws deep pictures from their detail.
    bool drawsDetail() const { return detail; }

private:
    struct Program {
        explicit Program(unsigned name);
        unsigned name;
        int k, scale, offset, focus;   // where its uniforms are
    };
    struct LevelsProgram : Program {
        explicit LevelsProgram(unsigned name);
        int atlasSize, copySize, fullSize, copyLevel, window, covered, levelSize, tile;
    };

    explicit ExactTexturing(unsigned onTextureProgram);
    // The program for a picture of `levels` levels, compiled the first time one shows; null if
    // it does not compile.
    const LevelsProgram* levelsProgram(int levels) const;
    void useLevels(const LevelsProgram& program, const Clipmap& detail, const PictureDepth& depth) const;

    Program onTexture;
    mutable std::map<int, std::unique_ptr<LevelsProgram>> onLevels;   // by level count; null: does not compile
    bool detail = false;
};
