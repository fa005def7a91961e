// The images the grid can wear (the viewer's four, or files of the user's in their place), and the
// one OpenGL texture object that shows the chosen one.
//
// selectTexture reads and decodes the file again on every call (nothing is cached) and replaces
// the texture object, so exactly one exists after the first selection. The viewer's own four are
// PNG files, decoded at once with libpng, and shrunk if the GL cannot hold them at full size. Files
// given are pictures of any format and size, decoded through libvips on a thread of their own,
// shrunk on load to fit at most 8192 pixels on a side: followDecoding uploads their rows into a
// texture object of their own as they come, and makes it the texture once it is whole; until then
// the texture stays as it was. A picture deeper than one texture, larger than that shrunk copy,
// gets a copy of half the side, and its detail (a clipmap of the levels above that copy, down to
// the file's own pixels, around the focus) where the program can draw it. A file that cannot be
// loaded ends the process with a message.
// Every GL call here needs the main window's context current; the callers see to that.
#pragma once

#include "ImageShrink.h"

#include <GL/gl.h>

#include <complex>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackgroundDecode;
class Clipmap;
class ImageSource;

// How deep a picture deeper than one texture goes.
struct PictureDepth {
    int levels;       // of its pyramid above the shrunk copy
    ImageSize full;   // the file's own size
    ImageSize copy;   // the shrunk copy's
};

// A file given that is being decoded.
struct Loading {
    std::string label;   // its button's text
    float done;          // the share decoded, 0 to 1
    double seconds;      // since it was picked
};

class TextureCatalogue {
public:
    // Fills the file table with the viewer's four images, or with `files` when there are any;
    // opens no file and creates no GL object.
    explicit TextureCatalogue(const std::vector<std::string>& files = {});
    ~TextureCatalogue();

    // Makes image `index` (below fileNames.size()) the texture bound to GL_TEXTURE_2D, or ends
    // the process as exitTextureNotFound does. For a file given, it starts decoding it unless that
    // has started already (ending another one still decoding), and followDecoding makes it the
    // texture.
    void selectTexture(unsigned index);

    // For files given: checks that libvips can read each one's header, or ends the process as
    // followDecoding does. Needs no GL, and does nothing for the viewer's own images.
    void checkFiles() const;
    // Starts decoding file `index` of those given; needs no GL.
    void startDecoding(unsigned index);

    // The file given that is being decoded, if one is.
    std::optional<Loading> loading() const;
    // While a file given is decoded: uploads the rows decoded since the last call, and once it is
    // whole makes it the texture bound to GL_TEXTURE_2D (true); or ends the process as
    // exitTextureNotFound does, with the file's path and the reason on standard error.
    bool followDecoding();
    // Whether a picture has been made the texture.
    bool hasPicture() const { return textureName != 0; }

    // The largest side of the picture a file given is shrunk to: 8192, or lower for the tests,
    // CLV_TEXTURE_LIMIT. A GL whose limit is lower still gets the picture shrunk once more.
    static std::uint32_t sizeLimit();

    // For the picture shown, if it is deeper than one texture: how deep it goes, and its detail
    // where it is wanted (nothing until then, or if its levels cannot be read: detailFailure says
    // why).
    std::optional<PictureDepth> depth() const { return shownDepth; }
    const Clipmap* detail() const { return detailWanted ? clipmap.get() : nullptr; }
    // Asks for the detail around `focus` (a point of the image square) and uploads what arrived;
    // true if what is drawn changed. Whether there is nothing more to do until the focus moves.
    bool followDetail(std::complex<double> focus);
    bool detailSettled() const;
    // Whether the detail has windows arrived and not all up yet.
    bool detailUploading() const;

    // The side of the windows of a clipmap of `levels` over `copy` that keeps the picture's texture
    // memory under its budget and its atlas within `maxTextureSide`; 0 if none does.
    static std::uint32_t windowSideFor(int levels, ImageSize copy, std::uint32_t maxTextureSide);

    bool detailWanted = true;   // set only where it can be drawn; unset, the copy is all there is
    std::string detailFailure;

    // Ends the process for an image that cannot be loaded: "Texture file not found ... exiting" on
    // standard output and status -1.
    [[noreturn]] static void exitTextureNotFound();

    // Decodes a PNG file into width, height and pixels (8-bit RGB, bottom row first, rows packed).
    // On success the caller owns pixels and releases it with free(); on failure nothing is held,
    // and loadFailure says why (libpng also writes its own message to standard error).
    bool loadPng(const char* path);

    GLuint textureName = 0;            // 0 until the first selection
    unsigned char* pixels = nullptr;   // only between a load and its upload
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::string> fileNames;
    std::vector<std::string> labels;   // the texts of the radio buttons that pick them, in order
    std::string loadFailure;
    bool mipmapsBuilt = false;   // for the current texture object, by exact texturing

private:
    bool failed(std::string reason);   // records why loadPng failed; false
    // Shrinks pixels in place of the old buffer so neither side exceeds limit; false if memory runs out.
    bool fitWithin(std::uint32_t limit);
    // Replaces the texture object by one holding width x height pixels (shrunk first if the GL
    // cannot hold them), and releases them; ends the process if memory runs out.
    void uploadPixels();
    // A new texture object of the catalogue's kind holding width x height pixels, or room for
    // them if pixels is null; bound to GL_TEXTURE_2D.
    static GLuint newTexture(std::uint32_t width, std::uint32_t height, const unsigned char* pixels);
    // The rows of the decode done since the last call, into the texture they fill.
    void uploadDecodedRows();
    [[noreturn]] static void exitFileNotLoaded(const std::string& path, const std::string& reason);

    // The levels above a shrunk copy, down to the file's own pixels.
    static int levelsAbove(ImageSize full, ImageSize copy);
    // Makes the picture just decoded, whose shrunk copy is `copyPixels` (or not at hand), the one
    // whose depth and detail are known.
    void takeDepth(const ImageSource& source, ImageSize copy, const unsigned char* copyPixels);

    bool filesGiven;                              // else the viewer's four images
    std::unique_ptr<BackgroundDecode> decoding;   // of a file given, until it is done
    std::shared_ptr<const ImageSource> decodingSource;
    unsigned decodingIndex = 0;
    std::optional<PictureDepth> shownDepth;
    std::unique_ptr<Clipmap> clipmap;
    GLuint filling = 0;                           // the texture object its rows go to
    std::uint32_t rowsUploaded = 0;
};
