// glGenerateMipmap, OpenGL 3.0's: exact texturing, which alone asks for mipmaps, needs it already.
#define GL_GLEXT_PROTOTYPES
#include "Picture.h"

#include <algorithm>

namespace {

// The side of a level's window in a clipmap, at most; smaller for pictures so deep that their
// clipmap would not fit the texture memory a picture may take.
constexpr std::uint32_t widestWindow = 1024;
constexpr std::uint64_t textureBudget = std::uint64_t(256) << 20;

// The levels above a shrunk copy, down to the file's own pixels.
int levelsAbove(ImageSize full, ImageSize copy)
{
    int levels = 0;
    for (std::uint64_t side = std::max(full.width, full.height); side > std::max(copy.width, copy.height); side = (side + 1) / 2)
        ++levels;
    return levels;
}

} // namespace

Picture::Picture(GLuint texture, ImageSize size, ImageSize textureSize) : name(texture), own(size), texels(textureSize) {}

Picture::~Picture()
{
    clipmap.reset();
    glDeleteTextures(1, &name);
}

void Picture::needMipmaps()
{
    glBindTexture(GL_TEXTURE_2D, name);
    if (!mipmapsBuilt)
        glGenerateMipmap(GL_TEXTURE_2D);
    mipmapsBuilt = true;
}

std::uint32_t Picture::maxTextureSide()
{
    GLint side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
    return static_cast<std::uint32_t>(std::max(side, 0));
}

GLuint Picture::newTexture(std::uint32_t width, std::uint32_t height, const unsigned char* pixels)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Rows are width * 3 bytes with no padding.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // The texel replaces the drawing colour, so the grid's red never tints the image.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    return texture;
}

std::uint32_t Picture::windowSideFor(int levels, ImageSize copy, std::uint32_t maxTextureSide)
{
    // Counted at four bytes a texel and with mipmaps: the copy in its own texture, and in the atlas.
    const std::uint64_t copyBytes = std::uint64_t(copy.width) * copy.height * 4 * 4 / 3;
    // A power of two: the tiles' next levels, half their size, lie at whole texels of the atlas's.
    std::uint32_t side = widestWindow;
    while (side > 64 && side > std::max(copy.width, copy.height))
        side /= 2;
    const auto fits = [&] {
        const ImageSize atlas = Clipmap::atlasSizeFor(levels, side, copy);
        return copyBytes + Clipmap::textureBytes(levels, side, copy) <= textureBudget && std::max(atlas.width, atlas.height) <= maxTextureSide;
    };
    while (side > 64 && !fits())
        side /= 2;
    return fits() ? side : 0;
}

void Picture::takeDepth(ImageSize full, const LevelsOpener& open, const unsigned char* copyPixels, bool wanted)
{
    const int levels = levelsAbove(full, texels);
    if (levels == 0)
        return;
    deep = PictureDepth{levels, full, texels};
    if (!wanted || !copyPixels)
        return;
    std::shared_ptr<const PictureLevels> pyramid = open(levels, whyNoDetail);
    const std::uint32_t side = windowSideFor(levels, texels, maxTextureSide());
    if (pyramid && side == 0)
        whyNoDetail = "its levels do not fit this OpenGL's textures";
    else if (pyramid)
        clipmap = std::make_unique<Clipmap>(std::move(pyramid), levels, side, copyPixels, texels);
}

std::string Picture::detailFailure() const
{
    return clipmap ? clipmap->failure() : whyNoDetail;
}

std::string Picture::detailDamage() const
{
    return clipmap ? clipmap->damage() : "";
}

bool Picture::followDetail(std::complex<double> focus)
{
    return clipmap && clipmap->follow(focus);
}

bool Picture::detailSettled() const
{
    return !clipmap || clipmap->settled();
}

bool Picture::detailUploading() const
{
    return clipmap && clipmap->uploading();
}
