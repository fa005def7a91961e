// The fixed source mesh: a square grid over [-1, 1] x [-1, 1] of the complex plane with texture
// coordinates running 0 to 1 across it, so the whole image lies once over the square.
//
// The row on the real axis and the column on the imaginary axis are each doubled into two lines a
// hair's breadth either side, so no vertex lies on an axis: none sits on the logarithm's branch
// cut or at its singularity at 0. The lower of the two centre rows carries stripBreak.
// Built once; getRows hands out copies only.
#pragma once

#include "GridVertex.h"
#include "TextureCatalogue.h"

#include <cstdint>
#include <memory>
#include <vector>

// Half the distance between a doubled centre line's two halves, in grid steps: the single-precision
// epsilon written as an 8-digit decimal.
inline constexpr double axisGap = 1.1920929e-7;

class PlaneGrid {
public:
    // The viewer's grid: resolution 50 (52 x 52 vertices), with its texture catalogue of the four
    // images, or of `imageFiles` if there are any, showing the first. Needs a current GL context.
    explicit PlaneGrid(const std::vector<std::string>& imageFiles = {});

    // The same generation rule at any resolution of at least 1, without textures: 2H + 2 rows of
    // 2H + 2 vertices, H = gridSize / 2.
    explicit PlaneGrid(std::uint32_t gridSize);

    std::vector<GridRow> getRows() const { return rows; }

    std::unique_ptr<TextureCatalogue> catalogue;   // null for a grid built without textures

private:
    struct AxisLine {
        double coordinate;
        double textureCoordinate;
        bool belowAxis;   // the lower half of the doubled centre line
    };
    std::vector<AxisLine> axisLines() const;
    void generate();
    // Appends one row: the template's imaginary part, stripBreak and v, at every column.
    void addRow(GridVertex rowTemplate);

    GridRow currentRow;            // scratch for addRow, empty between rows
    std::vector<GridRow> rows;     // in order of increasing imaginary part
    std::uint32_t gridSize;
};
