// The power-logarithm mapping of one grid of points, evaluated fast and exactly.
//
// z^(1/k) is exp(Log z / k): the standard library computes it as polar(exp(e Re Log z),
// e Im Log z) with e = 1/k. What depends only on the points is worked out once here: their
// logarithms, and which of them share a modulus or an argument up to its sign. In a grid, a
// point's modulus depends only on the magnitudes of its real and imaginary parts, in either order,
// and its argument up to sign only on its real part and the magnitude of its imaginary part, so the
// sharing is read off the grid's lines without comparing points (a symmetric grid shares most).
// Each evaluation then costs one exp per distinct modulus and one sine and cosine per distinct
// argument, and gives bit for bit what powerLogarithm gives: the same library functions on the same
// arguments, combined by the same operations.
#pragma once

#include "GridVertex.h"

#include <cstdint>
#include <vector>

class PowerLogarithmTable {
public:
    // The points are the positions of `source`, row by row. They must form a grid: every row the
    // same real parts, column by column, and each row one imaginary part.
    explicit PowerLogarithmTable(const std::vector<GridRow>& source);

    // Makes rows the image of the source: the same shape, flags and texture coordinates, and at
    // every place w = k (z^(1/k) - 1) of the source point there. Reuses the rows' storage.
    void map(float k, std::vector<GridRow>& rows);

private:
    struct Point {
        GridVertex source;
        std::uint32_t modulus;    // index into logModuli
        std::uint32_t argument;   // index into arguments
        bool negativeArgument;    // the point's argument is -arguments[argument]
        double positiveReal;      // the point itself if it lies on the positive real axis, else 0
    };

    std::vector<double> logModuli;   // distinct values of Re Log z
    std::vector<double> arguments;   // distinct values of |Im Log z|
    std::vector<Point> points;       // row by row
    std::vector<std::size_t> rowLengths;
    // Per evaluation, by the index of the value they were computed from.
    std::vector<double> radii, cosines, sines;
};
