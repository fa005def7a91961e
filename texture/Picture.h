// The picture the main window wears, and all that is known of it: its own size and proportions
// (as its file has them, after its orientation tag), the texture that shows it (the whole picture,
// or a copy shrunk to fit), that texture's mipmaps once exact texturing asks for them, and for a
// picture deeper than one texture, its depth and its detail: a clipmap of the levels above the
// copy, around the focus. The grid, exact texturing, picking and the view ask it; the catalogue
// makes it and replaces it by the next.
// Every GL call here needs the main window's context current; the callers see to that.
#pragma once

#include "Clipmap.h"

#include <GL/gl.h>

#include <complex>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// How deep a picture deeper than one texture goes.
struct PictureDepth {
    int levels;       // of its pyramid above the shrunk copy
    ImageSize full;   // the file's own size
    ImageSize copy;   // the shrunk copy's
};

class Picture {
public:
    // The picture of `size` shown by `texture` (which it takes), `textureSize` texels.
    Picture(GLuint texture, ImageSize size, ImageSize textureSize);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    GLuint texture() const { return name; }
    ImageSize textureSize() const { return texels; }
    // Its own size, and its width over its height.
    ImageSize size() const { return own; }
    double aspect() const { return double(own.width) / own.height; }
    // Builds the texture's mipmaps the first time they are needed; the texture is bound.
    void needMipmaps();

    // Opens the first `levels` levels of a picture's pyramid, from its own pixels up; nothing and
    // why if they cannot be.
    using LevelsOpener = std::function<std::shared_ptr<const PictureLevels>(int levels, std::string& whyNot)>;
    // For a picture of `full` size deeper than its texture (larger than the copy), opens its levels
    // and makes its detail, whose copy the texture holds as `copyPixels` (8-bit RGB, rows packed,
    // bottom first), if `wanted`; if they cannot be read, detailFailure says why.
    void takeDepth(ImageSize full, const LevelsOpener& open, const unsigned char* copyPixels, bool wanted);
    const std::optional<PictureDepth>& depth() const { return deep; }
    // Its detail, if it has one and it is shown (it is unless a benchmark compares without it).
    const Clipmap* detail() const { return detailShown ? clipmap.get() : nullptr; }
    void showDetail(bool shown) { detailShown = shown; }
    // Why a deep picture has no detail, or lost some; empty if it has all.
    std::string detailFailure() const;
    // A tile of its pyramid that could not be decoded, and why, the first one; empty if none.
    std::string detailDamage() const;
    // Asks for the detail around `focus` (a picture point) and uploads what arrived; true if what
    // is drawn changed.
    bool followDetail(std::complex<double> focus);
    // Whether there is nothing more to do until the focus moves.
    bool detailSettled() const;
    // Whether the detail has windows arrived and not all up yet.
    bool detailUploading() const;

    // The side of the windows of a clipmap of `levels` over `copy` that keeps the picture's texture
    // memory under its budget and its atlas within `maxTextureSide`; 0 if none does.
    static std::uint32_t windowSideFor(int levels, ImageSize copy, std::uint32_t maxTextureSide);
    // The side of the largest texture this GL takes.
    static std::uint32_t maxTextureSide();
    // A new texture object holding width x height pixels (8-bit RGB, rows packed, bottom first),
    // or room for them if pixels is null; bound to GL_TEXTURE_2D.
    static GLuint newTexture(std::uint32_t width, std::uint32_t height, const unsigned char* pixels);

private:
    GLuint name;
    ImageSize own, texels;
    bool mipmapsBuilt = false;
    std::optional<PictureDepth> deep;
    std::unique_ptr<Clipmap> clipmap;
    bool detailShown = true;
    std::string whyNoDetail;
};
