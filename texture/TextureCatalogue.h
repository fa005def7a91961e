// The pictures the grid can wear (the viewer's four images, or files of the user's in their place):
// the catalogue lists them and loads the one chosen into the Picture shown, which it owns.
//
// selectTexture reads and decodes the file again on every call (nothing is cached) and replaces
// the picture shown, so exactly one texture object shows a picture after the first selection. The
// viewer's own four are PNG files, decoded at once with libpng, and shrunk if the GL cannot hold
// them at full size; one that cannot be loaded ends the process with a message. Files given are
// pictures of any format and size, decoded through libvips on a thread of their own, shrunk on
// load to fit at most 8192 pixels on a side: followDecoding uploads their rows into a texture of
// their own as they come, and makes it the picture shown once it is whole; until then the picture
// shown stays as it was. A picture deeper than one texture, larger than that shrunk copy, gets a
// copy of half the side, and its detail where the program can draw it. A file given whose header
// is bad ends the process before any window opens; one that fails later (damaged, cut short, gone)
// is refused, the picture shown stays, and failure() says which file and why. A pyramid of tiles
// given in a file's place (see Pyramid.h) is a picture of its deepest level's size, whose copy is
// read from its coarse levels and whose detail from the levels above them.
// Every GL call here needs the main window's context current; the callers see to that.
#pragma once

#include "ImageShrink.h"
#include "Picture.h"
#include "TiledLevels.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackgroundDecode;

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

    // Makes image `index` (below fileNames.size()) the picture shown, its texture bound to
    // GL_TEXTURE_2D, or ends the process as exitTextureNotFound does. For a file given, it starts
    // decoding it unless that has started already (ending another one still decoding), and
    // followDecoding makes it the picture shown.
    void selectTexture(unsigned index);
    // Whether the images are files given, rather than the viewer's own four.
    bool filesGiven() const { return given; }

    // For files given: checks that libvips can read each one's header, or that each pyramid can be
    // opened (and keeps it, named as its server names it), or ends the process with the file's path
    // and the reason on standard error, and the message. Needs no GL, and does nothing for the
    // viewer's own images.
    void checkFiles();
    // Starts decoding file `index` of those given; needs no GL.
    void startDecoding(unsigned index);

    // The file given that is being decoded, if one is.
    std::optional<Loading> loading() const;
    // While a file given is decoded: uploads the rows decoded since the last call; once it is whole
    // makes it the picture shown, its texture bound to GL_TEXTURE_2D. If it cannot be decoded, the
    // picture shown stays, its path and the reason go to standard error, and failure() says why.
    // True if the picture shown changed.
    bool followDecoding();
    // Why the file picked last could not be shown, naming it; empty if it could.
    const std::string& failure() const { return whyNotShown; }

    // The picture shown, and its index in the table; nothing (-1) until one is whole.
    Picture* picture() { return shown.get(); }
    const Picture* picture() const { return shown.get(); }
    int shownIndex() const { return shownAt; }

    // The largest side of the picture a file given is shrunk to: 8192, or lower for the tests,
    // CLV_TEXTURE_LIMIT. A GL whose limit is lower still gets the picture shrunk once more.
    static std::uint32_t sizeLimit();

    bool detailWanted = true;   // set only where it can be drawn; unset, the copy is all there is

    // Ends the process for an image that cannot be loaded: "Texture file not found ... exiting" on
    // standard output and status -1.
    [[noreturn]] static void exitTextureNotFound();

    // Decodes a PNG file into width, height and pixels (8-bit RGB, bottom row first, rows packed).
    // On success the caller owns pixels and releases it with free(); on failure nothing is held,
    // and loadFailure says why (libpng also writes its own message to standard error).
    bool loadPng(const char* path);

    unsigned char* pixels = nullptr;   // only between a load and its upload
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::string> fileNames;
    std::vector<std::string> labels;   // the texts of the radio buttons that pick them, in order
    std::string loadFailure;

private:
    bool failed(std::string reason);   // records why loadPng failed; false
    // Shrinks pixels in place of the old buffer so neither side exceeds limit; false if memory runs out.
    bool fitWithin(std::uint32_t limit);
    // Makes width x height pixels (shrunk first if the GL cannot hold them) the texture of a new
    // picture shown of `size`, and releases them; ends the process if memory runs out.
    void showPixels(ImageSize size, int index);
    // The rows of the decode done since the last call, into the texture they fill.
    void uploadDecodedRows();
    // Starts decoding the copy of the pyramid at `path` from its coarse levels.
    void startPyramid(const std::string& path);
    // Ends the decode under way, which cannot be shown: the reason on standard error and in failure().
    void refuseDecoding(const std::string& reason);

    bool given;                                   // else the viewer's four images
    std::unique_ptr<BackgroundDecode> decoding;   // of a file given, until it is done
    ImageSize decodingSize{0, 0};                 // its own
    Picture::LevelsOpener openDecodingLevels;     // its levels, for its detail
    unsigned decodingIndex = 0;
    std::vector<std::shared_ptr<const TiledLevels>> pyramids;   // by file, those opened when checked
    std::unique_ptr<Picture> shown;
    int shownAt = -1;
    std::string whyNotShown;
    GLuint filling = 0;                           // the texture object its rows go to
    std::uint32_t rowsUploaded = 0;
};
