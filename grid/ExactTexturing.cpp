#include "ExactTexturing.h"

// OpenGL 2.0's entry points, through libepoxy; it must come before any other GL header.
#include <epoxy/gl.h>

#include "TextureCatalogue.h"

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
// z = (1 + w / k)^k = exp(k Log(1 + w / k)), and the image at its point p = focus + z, at
// (p + 1 + i) / 2.
const char* const fragmentShader = R"(
#version 110
uniform sampler2D image;
uniform float k;
uniform float scale;
uniform float offset;
uniform vec2 focus;
varying vec2 drawing;
void main()
{
    vec2 p = vec2(1.0, 0.0) + vec2(drawing.y * scale - offset, drawing.x * scale) / k;
    float radius = exp(k * 0.5 * log(dot(p, p)));
    float argument = k * atan(p.y, p.x);
    vec2 z = radius * vec2(cos(argument), sin(argument));
    gl_FragColor = texture2D(image, (z + focus + 1.0) * 0.5);
}
)";

// Compiles a shader; 0 and its log in whyNot if it does not compile.
GLuint compile(GLenum kind, const char* source, std::string& whyNot)
{
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
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

} // namespace

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
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexShader, whyNot);
    const GLuint fragment = vertex ? compile(GL_FRAGMENT_SHADER, fragmentShader, whyNot) : 0;
    if (!fragment) {
        glDeleteShader(vertex);
        return nullptr;
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
        return nullptr;
    }
    return std::unique_ptr<ExactTexturing>(new ExactTexturing(program));
}

ExactTexturing::ExactTexturing(unsigned program)
    : program(program), kLocation(glGetUniformLocation(program, "k")), scaleLocation(glGetUniformLocation(program, "scale")),
      offsetLocation(glGetUniformLocation(program, "offset")), focusLocation(glGetUniformLocation(program, "focus"))
{
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "image"), 0);
    glUseProgram(0);
}

ExactTexturing::~ExactTexturing()
{
    glDeleteProgram(program);
}

void ExactTexturing::begin(TextureCatalogue& catalogue, float k, double viewScale, double viewOffset, std::complex<double> focus) const
{
    if (!catalogue.mipmapsBuilt) {
        glGenerateMipmap(GL_TEXTURE_2D);
        catalogue.mipmapsBuilt = true;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glUseProgram(program);
    glUniform1f(kLocation, k);
    glUniform1f(scaleLocation, float(viewScale));
    glUniform1f(offsetLocation, float(viewOffset));
    glUniform2f(focusLocation, float(focus.real()), float(focus.imag()));
}

void ExactTexturing::end() const
{
    glUseProgram(0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);   // the grid's own filtering
}
