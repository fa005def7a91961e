// The image of the plane grid under the power-logarithm mapping, and its drawing.
//
// recompute maps every vertex anew for a morph angle and resets the two view values to k;
// draw lowers them to fixed limits and uses them to fit the image into the window. The mapped grid
// has the source's shape, and each vertex keeps the source vertex's stripBreak, u and v.
// It borrows the grid and the texture catalogue; it owns only its rows.
#pragma once

#include "GridVertex.h"
#include "PlaneGrid.h"
#include "PowerLogarithmTable.h"
#include "TextureCatalogue.h"

#include <vector>

class ExactTexturing;

class MappedGrid {
public:
    // Stores the two borrowed objects and maps the grid for the widest angle.
    MappedGrid(const PlaneGrid* grid, TextureCatalogue* catalogue);

    // Maps every source vertex for the angle in radians: rows then hold, bit for bit, what
    // powerLogarithm gives for each vertex of grid->getRows(). An angle of exactly zero (k would
    // be infinite) changes nothing.
    void recompute(float angle);

    // Draws the marker point at the centre and the grid as textured quad strips, leaving open the
    // cells that would join the two centre rows across the negative real axis. Needs the main
    // window's GL context, with the projection of the square from -1 to 1.
    void draw();

    const PlaneGrid* grid;
    TextureCatalogue* catalogue;
    std::vector<GridRow> rows;
    double viewScale = 0.0;    // divides both drawing coordinates: k, lowered by draw to at most 3.14159
    double viewOffset = 0.0;   // added to Re w before the division: k, lowered by draw to at most 2.0
    float angle = 0.0f;        // the angle the rows were last mapped for
    // Set, draw colours the cells exactly with it (see ExactTexturing); not owned.
    const ExactTexturing* exactTexturing = nullptr;

private:
    // Beyond these limits the logarithmic view would leave the window: it is fitted by scaling
    // with at most pi and shifting by at most 2.
    void lowerViewValues();

    // The source grid never changes, so what the mapping needs of it is taken once.
    PowerLogarithmTable table;
};
