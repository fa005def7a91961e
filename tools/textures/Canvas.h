// A floating-point RGB drawing surface in plane coordinates, written out as an 8-bit PNG.
// Drawing happens at `oversampling` times the output resolution; writing averages it down, which
// smooths every edge without any per-shape antialiasing.
#pragma once

#include <string>
#include <vector>

struct Rgb {
    float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t);
Rgb scale(Rgb c, float factor);

class Canvas {
public:
    Canvas(int outputSize, int oversampling);

    int size() const { return side; }                  // drawing resolution, pixels per side
    double pixelSize() const { return 2.0 / side; }    // plane units per drawing pixel

    // Plane coordinates of a drawing pixel's centre: x from -1 (left) to 1, y from 1 (top) to -1.
    double planeX(int column) const { return (column + 0.5) * pixelSize() - 1.0; }
    double planeY(int row) const { return 1.0 - (row + 0.5) * pixelSize(); }

    Rgb& at(int column, int row) { return pixels[std::size_t(row) * side + column]; }

    // Paints the pixels whose centres lie in the rectangle [left, right] x [bottom, top].
    void fillRect(double left, double bottom, double right, double top, Rgb colour);

    // Adds a round Gaussian spot of the given colour (peak intensity) and radius (one sigma, in
    // plane units) centred at (x, y).
    void addSpot(double x, double y, double sigma, Rgb colour);

    // Writes the averaged-down image, clamped to [0, 1], as 8-bit RGB; an empty string, or why it
    // could not.
    std::string writePng(const std::string& path) const;

private:
    int side;
    int oversampling;
    std::vector<Rgb> pixels;
};
