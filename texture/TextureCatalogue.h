// The images the grid can wear (the viewer's four, or files of the user's in their place), and the
// one OpenGL texture object that shows the chosen one.
//
// selectTexture reads and decodes the file again on every call (nothing is cached), shrinks the
// image if the GL cannot hold it at full size, and replaces the texture object, so exactly one
// exists after the first selection. A file that cannot be loaded ends the process with a message.
// Every GL call here needs the main window's context current; the callers see to that.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

class TextureCatalogue {
public:
    // Fills the file table with the viewer's four images, or with `files` when there are any;
    // opens no file and creates no GL object.
    explicit TextureCatalogue(const std::vector<std::string>& files = {});

    // Makes image `index` (below fileNames.size()) the texture bound to GL_TEXTURE_2D, or ends
    // the process as exitTextureNotFound does.
    void selectTexture(unsigned index);

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
};
