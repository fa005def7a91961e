#include "ExactTexturing.h"

// OpenGL 2.0's entry points, through libepoxy; it must come before any other GL header.
#include <epoxy/gl.h>

#include "Clipmap.h"
#include "TextureCatalogue.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

// The drawing coordinates, which the grid's vertices are given in, for the fragment shader.
const char* const vertexShader = R"(
#version 110
varying vec2 drawing;
void main()
{
    drawing = gl_Vertex.xy;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}
)";

// Back from the drawing coordinates x = Im w / scale, y = (offset + Re w) / scale to w, then
// z = (1 + w / k)^k = exp(k Log(1 + w / k)), and the image's texture coordinates at its point
// p = focus + z, (p + 1 + i) / 2.
const char* const mappingBack = R"(
#version 110
uniform float k;
uniform float scale;
uniform float offset;
uniform vec2 focus;
varying vec2 drawing;
vec2 imagePoint()
{
    vec2 p = vec2(1.0, 0.0) + vec2(drawing.y * scale - offset, drawing.x * scale) / k;
    float radius = exp(k * 0.5 * log(dot(p, p)));
    float argument = k * atan(p.y, p.x);
    vec2 z = radius * vec2(cos(argument), sin(argument));
    return (z + focus + 1.0) * 0.5;
}
)";

// The picture from its one texture, with GL's own trilinear filtering.
const char* const onTextureShader = R"(
uniform sampler2D image;
void main()
{
    gl_FragColor = texture2D(image, imagePoint());
}
)";

// A picture deeper than one texture, from its clipmap: each pixel from the level of detail its
// footprint on the file's own pixels needs, blended with the next level up (trilinear filtering
// across the levels, bilinear within one), where that level's window is in; the shrunk copy, with
// its own trilinear filtering, where no window is. Windows lie in the atlas; a level's pixels are
// counted from its bottom-left corner. LEVELS, the number of levels, is defined before it: the
// loop over them unrolls, and each level's values are read where they are, not looked up.
const char* const onLevelsShader = R"(
uniform sampler2D image;
uniform sampler2D atlas;
uniform vec2 atlasSize;
uniform vec2 fullSize;      // level 0: the file's own pixels
uniform float copyLevel;    // where the shrunk copy lies among the levels
uniform vec4 window[LEVELS];    // by level: the window shown, its first pixel and its size
uniform vec4 inside[LEVELS];    // by level: where it can be sampled without reaching past it
uniform vec2 levelSize[LEVELS];
uniform vec2 tile[LEVELS];      // by level: where in the atlas its window lies
void main()
{
    vec2 t = imagePoint();
    vec2 full = t * fullSize;
    float need = clamp(log2(max(max(length(dFdx(full)), length(dFdy(full))), 1e-6)), 0.0, copyLevel);
    vec4 copy = texture2D(image, t);
    vec4 colour = copy;
    // The finest level at or above the one the footprint needs whose window covers t; blended,
    // as the need lies between them, with the level above it, or with the copy where that one's
    // window does not cover t. Most of a picture, away from the focus, needs no more than the copy.
    if (need < copyLevel) {
        bool found = false, above = false, aboveCovers = false;
        float level = 0.0, next = copyLevel;
        vec2 at = vec2(0.0), atAbove = vec2(0.0);
        for (int i = 0; i < LEVELS; ++i) {
            vec2 texel = t * levelSize[i];
            bool covers = all(greaterThanEqual(texel, inside[i].xy)) && all(lessThanEqual(texel, inside[i].zw));
            vec2 here = (tile[i] + clamp(texel - window[i].xy, vec2(0.5), window[i].zw - 0.5)) / atlasSize;
            if (found && !above) {
                above = true;
                aboveCovers = covers;
                atAbove = here;
            }
            if (!found && covers && float(i) + 1.0 > need) {
                found = true;
                level = float(i);
                next = i + 1 < LEVELS ? float(i + 1) : copyLevel;
                at = here;
            }
        }
        if (found) {
            float share = clamp((need - level) / (next - level), 0.0, 1.0);
            colour = mix(texture2D(atlas, at), aboveCovers ? texture2D(atlas, atAbove) : copy, share);
        }
    }
    gl_FragColor = colour;
}
)";

// Compiles a shader from its parts; 0 and its log in whyNot if it does not compile.
GLuint compile(GLenum kind, std::vector<const char*> parts, std::string& whyNot)
{
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, GLsizei(parts.size()), parts.data(), nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE, length = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled)
        return shader;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(std::size_t(length) + 1);
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    whyNot = std::string("its shader does not compile: ") + log.data();
    glDeleteShader(shader);
    return 0;
}

// A program of the vertex shader and a fragment shader from `parts`; 0 and why if it cannot be.
GLuint link(std::vector<const char*> parts, std::string& whyNot)
{
    const GLuint vertex = compile(GL_VERTEX_SHADER, {vertexShader}, whyNot);
    const GLuint fragment = vertex ? compile(GL_FRAGMENT_SHADER, std::move(parts), whyNot) : 0;
    if (!fragment) {
        glDeleteShader(vertex);
        return 0;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);   // they go with the program
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        whyNot = "its shaders do not link";
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

} // namespace

ExactTexturing::Program::Program(unsigned name)
    : name(name), k(glGetUniformLocation(name, "k")), scale(glGetUniformLocation(name, "scale")), offset(glGetUniformLocation(name, "offset")),
      focus(glGetUniformLocation(name, "focus"))
{
    glUseProgram(name);
    glUniform1i(glGetUniformLocation(name, "image"), 0);
    glUniform1i(glGetUniformLocation(name, "atlas"), 1);
    glUseProgram(0);
}

std::unique_ptr<ExactTexturing> ExactTexturing::create(std::string& whyNot)
{
    const int version = epoxy_gl_version();
    if (version < 20) {
        whyNot = "this OpenGL (" + std::to_string(version / 10) + "." + std::to_string(version % 10) + ") has no shaders";
        return nullptr;
    }
    // Mipmaps are built from the image when the mode is first drawn with it.
    if (version < 30 && !epoxy_has_gl_extension("GL_ARB_framebuffer_object")) {
        whyNot = "this OpenGL cannot build mipmaps";
        return nullptr;
    }
    const GLuint onTextureProgram = link({mappingBack, onTextureShader}, whyNot);
    if (!onTextureProgram)
        return nullptr;
    auto exact = std::unique_ptr<ExactTexturing>(new ExactTexturing(onTextureProgram));
    // Without it, deep pictures show their shrunk copy only.
    exact->detail = exact->levelsProgram(1) != nullptr;
    return exact;
}

ExactTexturing::ExactTexturing(unsigned onTextureProgram) : onTexture(onTextureProgram) {}

ExactTexturing::LevelsProgram::LevelsProgram(unsigned name)
    : Program(name), atlasSize(glGetUniformLocation(name, "atlasSize")), fullSize(glGetUniformLocation(name, "fullSize")),
      copyLevel(glGetUniformLocation(name, "copyLevel")), window(glGetUniformLocation(name, "window")), inside(glGetUniformLocation(name, "inside")),
      levelSize(glGetUniformLocation(name, "levelSize")), tile(glGetUniformLocation(name, "tile"))
{
}

ExactTexturing::~ExactTexturing()
{
    glDeleteProgram(onTexture.name);
    for (const auto& [levels, program] : onLevels)
        if (program)
            glDeleteProgram(program->name);
}

const ExactTexturing::LevelsProgram* ExactTexturing::levelsProgram(int levels) const
{
    auto& program = onLevels[levels];
    if (!program && !onLevels.count(-levels)) {
        std::string whyNot;
        const std::string count = "#define LEVELS " + std::to_string(levels) + "\n";
        if (const GLuint name = link({mappingBack, count.c_str(), onLevelsShader}, whyNot))
            program = std::make_unique<LevelsProgram>(name);
        else
            onLevels[-levels];   // does not compile: not tried again
    }
    return program.get();
}

void ExactTexturing::begin(TextureCatalogue& catalogue, float k, double viewScale, double viewOffset, std::complex<double> focus) const
{
    if (!catalogue.mipmapsBuilt) {
        glGenerateMipmap(GL_TEXTURE_2D);
        catalogue.mipmapsBuilt = true;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    const Clipmap* levels = detail ? catalogue.detail() : nullptr;
    const LevelsProgram* onItsLevels = levels ? levelsProgram(int(levels->levels().size())) : nullptr;
    const Program& program = onItsLevels ? *onItsLevels : onTexture;
    glUseProgram(program.name);
    glUniform1f(program.k, k);
    glUniform1f(program.scale, float(viewScale));
    glUniform1f(program.offset, float(viewOffset));
    glUniform2f(program.focus, float(focus.real()), float(focus.imag()));
    if (onItsLevels)
        useLevels(*onItsLevels, *levels, *catalogue.depth());
}

void ExactTexturing::useLevels(const LevelsProgram& program, const Clipmap& detail, const PictureDepth& depth) const
{
    const auto& levels = detail.levels();
    const int count = int(levels.size());
    std::vector<float> windows, insides, sizes, tiles;
    for (int level = 0; level < count; ++level) {
        const Clipmap::Level& shown = levels[std::size_t(level)];
        const PixelArea& area = shown.window;
        const float width = float(shown.size.width), height = float(shown.size.height);
        windows.insert(windows.end(), {float(area.x), float(area.y), float(area.width), float(area.height)});
        // Bilinear filtering reads half a pixel around: inside the window, but up to the level's
        // own edges. No window at all covers nothing.
        if (area.width == 0)
            insides.insert(insides.end(), {1.0f, 1.0f, 0.0f, 0.0f});
        else
            insides.insert(insides.end(), {area.x == 0 ? 0.0f : float(area.x) + 0.5f, area.y == 0 ? 0.0f : float(area.y) + 0.5f,
                                           float(area.x + area.width) == width ? width : float(area.x + area.width) - 0.5f,
                                           float(area.y + area.height) == height ? height : float(area.y + area.height) - 0.5f});
        sizes.insert(sizes.end(), {width, height});
        tiles.insert(tiles.end(), {float(shown.tileX), float(shown.tileY)});
    }
    const ImageSize atlas = detail.atlasSize();
    glUniform2f(program.atlasSize, float(atlas.width), float(atlas.height));
    glUniform2f(program.fullSize, float(depth.full.width), float(depth.full.height));
    glUniform1f(program.copyLevel, float(std::log2(double(std::max(depth.full.width, depth.full.height)) / std::max(depth.copy.width, depth.copy.height))));
    glUniform4fv(program.window, count, windows.data());
    glUniform4fv(program.inside, count, insides.data());
    glUniform2fv(program.levelSize, count, sizes.data());
    glUniform2fv(program.tile, count, tiles.data());
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, detail.atlas());
    glActiveTexture(GL_TEXTURE0);
}

void ExactTexturing::end() const
{
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);   // the grid's own filtering
}
