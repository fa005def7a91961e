// The source mesh: a square grid over the image, [-1, 1] x [-1, 1] of the complex plane, with
// texture coordinates running 0 to 1 across it, so the whole image lies once over the square.
//
// The grid is laid out around the focus f, the image point the mapping magnifies: each vertex holds
// z = p - f for its image point p, and the row and the column through the focus are each doubled
// into two lines a hair's breadth either side, so no vertex lies on an axis of z: none sits on the
// logarithm's branch cut or at its singularity at 0. Either side of the focus the lines lie at whole
// grid steps from it, up to the image's edge, where the last cell is a partial one: the grid spans
// exactly the image, edge to edge, wherever the focus is, with 52 lines (or 53) across each axis,
// and cells of the centred grid's size. The cut runs from the focus along
// the negative real direction: on the lower of the two rows through the focus, stripBreak marks the
// vertices where the strip above it restarts, every column up to the first right of the focus.
// With the focus at the centre, the layout is the plain symmetric grid.
// The grid lies over the picture as its view lays the picture into the plane (see PlaneView): over
// the square, or over the picture in its own proportions, turned so that the cut runs from the
// focus straight down; the focus is a picture point either way, -1 to 1 across it.
// getRows hands out copies only.
#pragma once

#include "GridVertex.h"
#include "PlaneView.h"
#include "TextureCatalogue.h"

#include <cstdint>
#include <memory>
#include <vector>

// Half the distance between a doubled centre line's two halves, in grid steps: the single-precision
// epsilon written as an 8-digit decimal.
inline constexpr double axisGap = 1.1920929e-7;

class PlaneGrid {
public:
    // The viewer's grid: resolution 50 (52 x 52 vertices), wearing the images of `catalogue`, the
    // first one selected. Needs a current GL context.
    explicit PlaneGrid(std::unique_ptr<TextureCatalogue> catalogue);

    // The same generation rule at any resolution of at least 1, without textures: 2H + 2 rows of
    // 2H + 2 vertices, H = gridSize / 2.
    explicit PlaneGrid(std::uint32_t gridSize);

    std::vector<GridRow> getRows() const { return rows; }

    // Lays the grid out anew around `focus`, held within the picture.
    void setFocus(std::complex<double> focus);
    std::complex<double> focus() const { return laidOutFor; }
    // Lays the grid out anew for `view`, if the picture lies otherwise in the plane.
    void setView(const PlaneView& view);
    const PlaneView& view() const { return planeView; }
    // A number that changes with every new layout, so that a mapping can tell it is out of date.
    std::uint64_t layout() const { return layoutCount; }

    std::unique_ptr<TextureCatalogue> catalogue;   // null for a grid built without textures

private:
    struct AxisLine {
        double coordinate;          // relative to the focus
        double textureCoordinate;
        bool belowAxis;             // the lower half of the doubled line through the focus
        bool upToFocus;             // before the focus or one of the doubled lines through it
    };
    // The lines across one axis of z, which runs along a picture axis of half extent `extent`
    // (1: the square's), or against it if `reversed`; the focus's picture coordinate on that axis.
    std::vector<AxisLine> axisLines(double focus, double extent, bool reversed) const;
    void generate();
    // Appends one row: the template's imaginary part and v at every column, and stripBreak at the
    // columns up to the focus if `belowFocus`.
    void addRow(GridVertex rowTemplate, const std::vector<AxisLine>& columns, bool belowFocus);

    GridRow currentRow;            // scratch for addRow, empty between rows
    std::vector<GridRow> rows;     // in order of increasing imaginary part
    std::uint32_t gridSize;
    std::complex<double> laidOutFor;   // the focus
    PlaneView planeView;
    std::uint64_t layoutCount = 0;
};
