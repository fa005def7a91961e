// The image of the plane grid under the power-logarithm mapping, and its drawing.
//
// recompute maps every vertex anew for a morph angle (and for the grid's layout around its focus)
// and resets the two view values to k; draw sets them as the grid's view has them for k (for the
// square: lowered to fixed limits) and uses them to fit the image into the window, and sourceAt
// inverts that picture. The mapped grid has the source's shape, and each vertex keeps the source
// vertex's stripBreak, u and v.
// It borrows the grid and the texture catalogue; it owns only its rows.
#pragma once

#include "GridVertex.h"
#include "PlaneGrid.h"
#include "PowerLogarithmTable.h"
#include "TextureCatalogue.h"

#include <complex>
#include <optional>
#include <utility>
#include <vector>

class ExactTexturing;

class MappedGrid {
public:
    // Stores the two borrowed objects and maps the grid for the widest angle.
    MappedGrid(const PlaneGrid* grid, TextureCatalogue* catalogue);

    // Maps every source vertex for the angle in radians: rows then hold, bit for bit, what
    // powerLogarithm gives for each vertex of grid->getRows(), as the grid is laid out now. An
    // angle of exactly zero (k would be infinite) changes nothing.
    void recompute(float angle);

    // Whether the rows are the mapping for this angle and for the grid's current layout.
    bool isCurrent(float angle) const;

    // Where the picture point drawn at (x, y) in drawing coordinates lies from the focus (in
    // picture coordinates, -1 to 1 across it), for the angle last mapped: back through the view
    // values to w, then z = (1 + w / k)^k on the principal branch, then out of the plane.
    // Nothing where the mapping puts no point, beyond the rims of the cut.
    std::optional<std::complex<double>> sourceAt(double x, double y) const;

    // Draws the marker point at the centre and the grid as textured quad strips, leaving open the
    // cells that would join the two centre rows across the negative real axis. Needs the main
    // window's GL context, with the projection of the square from -1 to 1.
    void draw();

    const PlaneGrid* grid;
    TextureCatalogue* catalogue;
    std::vector<GridRow> rows;
    double viewScale = 0.0;    // divides both drawing coordinates: k, set by draw (for the square, lowered to at most 3.14159)
    double viewOffset = 0.0;   // added to Re w before the division: k, set by draw (for the square, lowered to at most 2.0)
    float angle = 0.0f;        // the angle the rows were last mapped for
    // Set, draw colours the cells exactly with it (see ExactTexturing); not owned.
    const ExactTexturing* exactTexturing = nullptr;

private:
    // For the square, beyond these limits the logarithmic view would leave the window: it is
    // fitted by scaling with at most pi and shifting by at most 2. A value at or below its limit,
    // or NaN, stays.
    void lowerViewValues();

    // What the mapping needs of the source grid, taken once for each layout of it.
    PowerLogarithmTable table;
    std::uint64_t tabledLayout;   // the grid's layout when the table was taken
};
