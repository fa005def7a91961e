// One point of a grid over the complex plane, and a row of them. The plane grid and its mapped
// image share this record: the mapping replaces the position and keeps the rest.
#pragma once

#include <complex>
#include <vector>

struct GridVertex {
    std::complex<double> position;   // z in the plane grid, w = f(z) in the mapped grid
    bool stripBreak;                 // the strip to the row above restarts here: no quad joins it across the cut
    double u;                        // texture coordinate along the row, 0 to 1 with the real part
    double v;                        // texture coordinate across rows, 0 to 1 with the imaginary part
};

// Vertices in order of increasing real part.
using GridRow = std::vector<GridVertex>;
