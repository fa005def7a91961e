#include "ExactTexturing.h"

// OpenGL 2.0's entry points, through libepoxy; it must come before any other GL header.
#include <epoxy/gl.h>

#include "Clipmap.h"
#include "Picture.h"
#include "PlaneView.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

namespace {

// The GLSL versions the programs are written in: 1.10, and 1.30 for the explicit level of detail
// that the clipmap's program samples at.
const char* const glsl110 = "#version 110\n";
const char* const glsl130 = "#version 130\n";

// The drawing coordinates, which the grid's vertices are given in, for the fragment shader.
const char* const vertexShader = R"(
varying vec2 drawing;
void main()
{
    drawing = gl_Vertex.xy;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}
)";

// Back from the drawing coordinates x = Im w / scale, y = (offset + Re w) / scale to w, then
// z = (1 + w / k)^k = exp(k Log(1 + w / k)), and the picture's texture coordinates at its point
// p = focus + z / zoom, (p + 1 + i) / 2. TURNED, defined for a picture in its true proportions,
// draws x = -Im w / scale and takes p = focus + i z / zoom over the picture's half extents; the
// square's program is compiled without it, so that it computes what it always has, bit for bit.
// Near the focus, z is small and carried with all its digits, where the focus plus z would not be.
const char* const mappingBack = R"(
uniform float k;
uniform float scale;
uniform float offset;
uniform vec2 focus;
uniform vec2 extent;
uniform float zoom;
varying vec2 drawing;
vec2 pictureOffset()
{
#ifdef TURNED
    vec2 p = vec2(1.0, 0.0) + vec2(drawing.y * scale - offset, -drawing.x * scale) / k;
#else
    vec2 p = vec2(1.0, 0.0) + vec2(drawing.y * scale - offset, drawing.x * scale) / k;
#endif
    float radius = exp(k * 0.5 * log(dot(p, p)));
    float argument = k * atan(p.y, p.x);
    vec2 z = radius * vec2(cos(argument), sin(argument));
#ifdef TURNED
    z = vec2(-z.y, z.x) / extent;
#endif
    return z / zoom;
}
vec2 imagePoint()
{
    return (pictureOffset() + focus + 1.0) * 0.5;
}
)";

// The picture from its one texture, with GL's own trilinear filtering; zoomed in until its pixels
// are wider than the screen's, each pixel shows the one it lies in, as it is, not a blend of it
// and its neighbours.
const char* const onTextureShader = R"(
uniform sampler2D image;
uniform vec2 imageSize;
void main()
{
    vec2 t = imagePoint();
    vec2 texels = t * imageSize;
    if (zoom > 1.0 && max(length(dFdx(texels)), length(dFdy(texels))) < 1.0)
        t = (floor(texels) + 0.5) / imageSize;
    gl_FragColor = texture2D(image, t);
}
)";

// A picture deeper than one texture, from its clipmap: one texture, the atlas, sampled once for
// every pixel, at the level of detail its footprint on the file's own pixels asks for, from the
// finest level that footprint allows and whose window reaches it. A window around the focus
// reaches at least `reach` of its level's pixels from it, so that level is known at once from the
// pixel's distance to the focus. Where a level's window does not (yet) reach that far around the
// focus, the finest coarser one that does stands in: `place` and `bounds`, by level, say where in
// the atlas the one drawn for it lies, its entry LEVELS the shrunk copy in the atlas's corner. A
// window's tile holds the window and its own next level (mipmap 1), so that one sample filters
// trilinearly between the two, and the level above takes over where the next level would be read.
// Zoomed in until the file's own pixels are wider than the screen's, each shows as it is, as on
// one texture. Everything is counted from the focus, in single precision, which keeps whole
// pixels of a picture 2^30 pixels wide; LEVELS, the number of levels, is defined before it.
const char* const onLevelsShader = R"(
uniform sampler2D atlas;
uniform vec2 atlasSize;
uniform vec2 fullSize;              // level 0: the file's own pixels
uniform float copyLevel;            // where the shrunk copy lies among the levels
uniform float reach;                // how far each window reaches from the focus, in its level's pixels
uniform vec4 place[LEVELS + 1];     // by level: where the focus lies in the atlas, and the size of the level drawn
uniform vec4 bounds[LEVELS + 1];    // by level: where in the atlas it can be sampled
void main()
{
    vec2 fromFocus = pictureOffset() * 0.5;
    vec2 full = fromFocus * fullSize;
    float spread = max(length(dFdx(full)), length(dFdy(full)));
    float footprint = log2(max(spread, 1e-6));
    // The finer of the two: the footprint's level, and the first whose reach (doubling at each)
    // the pixel lies within.
    float level = floor(log2(max(max(spread, 2.0 * max(abs(full.x), abs(full.y)) / reach), 1.0)));
    int drawn = level < copyLevel ? int(level) : LEVELS;
    vec2 at = clamp(place[drawn].xy + fromFocus * place[drawn].zw, bounds[drawn].xy, bounds[drawn].zw);
    if (zoom > 1.0 && footprint < 0.0)
        at = floor(at) + 0.5;
    gl_FragColor = textureLod(atlas, at / atlasSize, footprint - log2(fullSize.x / place[drawn].z));
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

// A program of the vertex shader and a fragment shader from `parts`, both in the GLSL version the
// first part names; 0 and why if it cannot be.
GLuint link(std::vector<const char*> parts, std::string& whyNot)
{
    const GLuint vertex = compile(GL_VERTEX_SHADER, {parts.front(), vertexShader}, whyNot);
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
      focus(glGetUniformLocation(name, "focus")), extent(glGetUniformLocation(name, "extent")), zoom(glGetUniformLocation(name, "zoom")),
      reach(glGetUniformLocation(name, "reach")), imageSize(glGetUniformLocation(name, "imageSize")), atlasSize(glGetUniformLocation(name, "atlasSize")),
      fullSize(glGetUniformLocation(name, "fullSize")), copyLevel(glGetUniformLocation(name, "copyLevel")), place(glGetUniformLocation(name, "place")),
      bounds(glGetUniformLocation(name, "bounds"))
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
    auto exact = std::unique_ptr<ExactTexturing>(new ExactTexturing);
    if (!exact->program(0, false, &whyNot))
        return nullptr;
    // Without it, deep pictures show their shrunk copy only.
    exact->detail = exact->program(1, false) != nullptr;
    return exact;
}

ExactTexturing::~ExactTexturing()
{
    for (const auto& [kind, program] : programs)
        if (program)
            glDeleteProgram(program->name);
}

const ExactTexturing::Program* ExactTexturing::program(int levels, bool turned, std::string* whyNot) const
{
    // Made once for each kind; one that does not compile stays null, not tried again.
    if (const auto made = programs.find({levels, turned}); made != programs.end())
        return made->second.get();
    std::string why;
    const std::string defines = (levels ? "#define LEVELS " + std::to_string(levels) + "\n" : std::string()) + (turned ? "#define TURNED\n" : "");
    const GLuint name = levels ? link({glsl130, defines.c_str(), mappingBack, onLevelsShader}, why) : link({glsl110, defines.c_str(), mappingBack, onTextureShader}, why);
    auto& made = programs[{levels, turned}];
    if (name)
        made = std::make_unique<Program>(name);
    if (whyNot)
        *whyNot = why;
    return made.get();
}

bool ExactTexturing::begin(Picture& picture, float k, double viewScale, double viewOffset, std::complex<double> focus, const PlaneView& view) const
{
    const bool turned = view.keepsProportions();
    const Clipmap* levels = detail ? picture.detail() : nullptr;
    const Program* onItsLevels = levels ? program(int(levels->levels().size()), turned) : nullptr;
    const Program* onTexture = onItsLevels ? nullptr : program(0, turned);
    if (!onItsLevels && !onTexture)
        return false;
    // The clipmap's atlas has the copy's mipmaps; the copy on its own needs them too.
    if (onTexture)
        picture.needMipmaps();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    const Program& used = onItsLevels ? *onItsLevels : *onTexture;
    glUseProgram(used.name);
    glUniform1f(used.k, k);
    glUniform1f(used.scale, float(viewScale));
    glUniform1f(used.offset, float(viewOffset));
    glUniform2f(used.focus, float(focus.real()), float(focus.imag()));
    glUniform2f(used.extent, float(view.halfWidth()), float(view.halfHeight()));
    glUniform1f(used.zoom, float(view.zoom()));
    if (onItsLevels)
        useLevels(used, *levels, *picture.depth(), focus);
    else
        glUniform2f(used.imageSize, float(picture.textureSize().width), float(picture.textureSize().height));
    return true;
}

void ExactTexturing::useLevels(const Program& program, const Clipmap& detail, const PictureDepth& depth, std::complex<double> focus) const
{
    const auto& levels = detail.levels();
    const int count = int(levels.size());
    // The focus in each level's pixels, in double precision; the GL gets what lies between it and
    // the windows, small numbers. Entry `count` is the copy; each level's the finest at or above
    // it whose window reaches far enough around the focus.
    const double focusX = (focus.real() + 1) / 2, focusY = (focus.imag() + 1) / 2, reach = detail.reach();
    const ImageSize copy = detail.copySize();
    std::vector<std::array<float, 4>> places(std::size_t(count) + 1), bounds(std::size_t(count) + 1);
    places[std::size_t(count)] = {float(focusX * copy.width), float(focusY * copy.height), float(copy.width), float(copy.height)};
    bounds[std::size_t(count)] = {0.5f, 0.5f, copy.width - 0.5f, copy.height - 0.5f};
    for (int level = count - 1; level >= 0; --level) {
        const Clipmap::Level& shown = levels[std::size_t(level)];
        const PixelArea& area = shown.window;
        const double width = shown.size.width, height = shown.size.height, x = focusX * width, y = focusY * height;
        // Sampling reads a pixel around, for filtering at the window's next level: inside the
        // window, but up to the level's own edges.
        const double left = area.x == 0 ? 0.0 : area.x + 1.0, bottom = area.y == 0 ? 0.0 : area.y + 1.0;
        const double right = area.x + area.width == width ? width : area.x + area.width - 1.0;
        const double top = area.y + area.height == height ? height : area.y + area.height - 1.0;
        const bool reaches = area.width > 0 && left <= std::max(x - reach, 0.0) && bottom <= std::max(y - reach, 0.0) &&
                             right >= std::min(x + reach, width) && top >= std::min(y + reach, height);
        if (!reaches) {
            places[std::size_t(level)] = places[std::size_t(level) + 1];
            bounds[std::size_t(level)] = bounds[std::size_t(level) + 1];
            continue;
        }
        places[std::size_t(level)] = {float(shown.tileX + x - area.x), float(shown.tileY + y - area.y), float(width), float(height)};
        bounds[std::size_t(level)] = {shown.tileX + 1.0f, shown.tileY + 1.0f, float(shown.tileX + area.width) - 1.0f, float(shown.tileY + area.height) - 1.0f};
    }
    const ImageSize atlas = detail.atlasSize();
    glUniform2f(program.atlasSize, float(atlas.width), float(atlas.height));
    glUniform2f(program.fullSize, float(depth.full.width), float(depth.full.height));
    glUniform1f(program.copyLevel, float(std::log2(double(std::max(depth.full.width, depth.full.height)) / std::max(depth.copy.width, depth.copy.height))));
    glUniform1f(program.reach, float(reach));
    glUniform4fv(program.place, count + 1, places.front().data());
    glUniform4fv(program.bounds, count + 1, bounds.front().data());
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
