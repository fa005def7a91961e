// Exact texturing: a GLSL program (OpenGL 2.0) that colours every pixel of the mapped grid's cells
// from the pixel's own source point, where the grid's drawing interpolates texture coordinates
// linearly across each cell. It reads the drawing coordinates back to w through the view values,
// takes z = (1 + w / k)^k on the principal branch, and samples the image at the focus plus z (as
// the view lays the picture into the plane), with
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
#include <utility>

class Clipmap;
class Picture;
class PlaneView;
struct PictureDepth;

class ExactTexturing {
public:
    // The program for the current GL context, or nullptr and, in whyNot, why this GL cannot run it.
    static std::unique_ptr<ExactTexturing> create(std::string& whyNot);
    ~ExactTexturing();
    ExactTexturing(const ExactTexturing&) = delete;
    ExactTexturing& operator=(const ExactTexturing&) = delete;

    // Draws with the program, until end(): the picture (or its detail), mapped with k around the
    // focus, seen through the view and its values as the grid's drawing sees it. False, and
    // nothing changed, if the program for that cannot be had.
    bool begin(Picture& picture, float k, double viewScale, double viewOffset, std::complex<double> focus, const PlaneView& view) const;
    void end() const;
    // Whether it draws deep pictures from their detail.
    bool drawsDetail() const { return detail; }

private:
    // A program and where its uniforms are (-1 for those it has not).
    struct Program {
        explicit Program(unsigned name);
        unsigned name;
        int k, scale, offset, focus, extent, zoom, reach, imageSize;
        int atlasSize, fullSize, copyLevel, place, bounds;
    };

    ExactTexturing() = default;
    // The program for a picture of `levels` levels (0: one texture), in the square or turned
    // into its true proportions, compiled the first time one shows; null, and why, if it does
    // not compile.
    const Program* program(int levels, bool turned, std::string* whyNot = nullptr) const;
    void useLevels(const Program& program, const Clipmap& detail, const PictureDepth& depth, std::complex<double> focus) const;

    mutable std::map<std::pair<int, bool>, std::unique_ptr<Program>> programs;   // null: does not compile
    bool detail = false;
};
