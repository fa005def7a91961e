#include "PlaneGrid.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::uint32_t viewerGridSize = 50;

// A side of the focus, `cells` grid steps long (a fraction of one at the image's edge): its lines
// lie at whole steps from the focus, and its last cell, at the edge, is a partial one, at least a
// quarter of a step and at most a step and a quarter. How many whole steps it has, and the width
// of its last cell in steps.
std::pair<std::uint32_t, double> stepsOfSide(double cells)
{
    if (cells <= 0.0)
        return {0, 0.0};
    auto steps = static_cast<std::uint32_t>(std::ceil(cells - 1e-9)) - 1;
    if (steps > 0 && cells - steps < 0.25)
        --steps;
    return {steps, cells - steps};
}

} // namespace

PlaneGrid::PlaneGrid(std::unique_ptr<TextureCatalogue> catalogue)
    : catalogue(std::move(catalogue)), gridSize(viewerGridSize)
{
    this->catalogue->selectTexture(0);
    generate();
}

PlaneGrid::PlaneGrid(std::uint32_t gridSize)
    : gridSize(gridSize)
{
    if (gridSize == 0)
        throw std::invalid_argument("PlaneGrid: the resolution must be at least 1");
    generate();
}

void PlaneGrid::setFocus(std::complex<double> focus)
{
    const double reach = (gridSize / 2) / (gridSize * 0.5);
    laidOutFor = {std::clamp(focus.real(), -reach, reach), std::clamp(focus.imag(), -reach, reach)};
    generate();
}

void PlaneGrid::setView(const PlaneView& view)
{
    const bool samePlane = view.keepsProportions() == planeView.keepsProportions() && view.halfWidth() == planeView.halfWidth() &&
                           view.halfHeight() == planeView.halfHeight() && view.zoom() == planeView.zoom();
    planeView = view;
    if (!samePlane)
        generate();
}

// Both axes follow one scheme. The grid reaches H/D either side of the centre (the image's edge for
// an even N), times the extent. Its lines lie at whole steps of 1/D from the focus, as in the
// centred grid, so that the two sides and the two axes share their distances from it, and with
// them the mapping's logarithms; the last line each side is the edge. The line through the focus
// is replaced by -gap/D and +gap/D, which share a texture coordinate. Texture coordinates are
// running sums of 1/(N extent) a step, not index * step: for the square with the focus at the
// centre, coordinates and texture coordinates are, bit for bit, the symmetric grid's (so the last
// is 1.0000000000000004 for N = 50). An axis against the picture's runs its texture from 1 down.
std::vector<PlaneGrid::AxisLine> PlaneGrid::axisLines(double focus, double extent, bool reversed) const
{
    const double divisor = gridSize * 0.5;
    const double reach = (gridSize / 2) / divisor * extent;
    const double along = (reversed ? -focus : focus) * extent;
    const double before = reach + along, after = reach - along, step = 1.0 / gridSize / extent;
    const auto [stepsBefore, edgeCellBefore] = stepsOfSide(before * divisor);
    const auto [stepsAfter, edgeCellAfter] = stepsOfSide(after * divisor);
    const double gap = axisGap / divisor;

    std::vector<AxisLine> lines;
    double textureCoordinate = 0.0;
    if (before > 0.0) {
        lines.push_back({-before, textureCoordinate, false, true});
        textureCoordinate += edgeCellBefore * step;
    }
    for (std::uint32_t index = stepsBefore; index >= 1; --index) {
        lines.push_back({-static_cast<double>(index) / divisor, textureCoordinate, false, true});
        textureCoordinate += step;
    }
    // Zoomed in, what the window shows lies within the cells around the focus: lines at halved
    // distances from it, down to a few times closer than the zoom brings the window's nearest
    // point, keep the cells there small for the mapping's logarithm.
    const int halvings = planeView.zoom() > 1.0 ? int(std::ceil(std::log2(planeView.zoom()))) + 2 : 0;
    const double texturePerCoordinate = 0.5 / extent;
    for (int halving = 1; halving <= halvings; ++halving)
        if (std::ldexp(1.0 / divisor, -halving) < before)
            lines.push_back({-std::ldexp(1.0 / divisor, -halving), textureCoordinate - std::ldexp(1.0 / divisor, -halving) * texturePerCoordinate, false, true});
    lines.push_back({-gap, textureCoordinate, true, true});
    lines.push_back({gap, textureCoordinate, false, true});
    for (int halving = halvings; halving >= 1; --halving)
        if (std::ldexp(1.0 / divisor, -halving) < after)
            lines.push_back({std::ldexp(1.0 / divisor, -halving), textureCoordinate + std::ldexp(1.0 / divisor, -halving) * texturePerCoordinate, false, false});
    for (std::uint32_t index = 1; index <= stepsAfter; ++index) {
        textureCoordinate += step;
        lines.push_back({static_cast<double>(index) / divisor, textureCoordinate, false, false});
    }
    if (after > 0.0) {
        textureCoordinate += edgeCellAfter * step;
        lines.push_back({after, textureCoordinate, false, false});
    }
    if (reversed)
        for (AxisLine& line : lines)
            line.textureCoordinate = 1.0 - line.textureCoordinate;
    return lines;
}

// z = q - f runs along the picture's axes; z = -i (q - f) runs up the picture along its real part
// and leftward along its imaginary part, so rows are the picture's columns, right to left.
void PlaneGrid::generate()
{
    rows.clear();
    ++layoutCount;
    const bool turned = planeView.keepsProportions();
    const std::vector<AxisLine> columns = turned ? axisLines(laidOutFor.imag(), planeView.halfHeight(), false)
                                                 : axisLines(laidOutFor.real(), planeView.halfWidth(), false);
    for (const AxisLine& line : turned ? axisLines(laidOutFor.real(), planeView.halfWidth(), true) : axisLines(laidOutFor.imag(), planeView.halfHeight(), false))
        addRow({{0.0, line.coordinate}, false, 0.0, line.textureCoordinate}, columns, line.belowAxis);
}

void PlaneGrid::addRow(GridVertex rowTemplate, const std::vector<AxisLine>& columns, bool belowFocus)
{
    const double imaginary = rowTemplate.position.imag(), rowTexture = rowTemplate.v;
    const bool turned = planeView.keepsProportions();
    for (const AxisLine& column : columns) {
        rowTemplate.position = std::complex<double>(column.coordinate, imaginary) * planeView.zoom();
        rowTemplate.u = turned ? rowTexture : column.textureCoordinate;
        rowTemplate.v = turned ? column.textureCoordinate : rowTexture;
        rowTemplate.stripBreak = belowFocus && column.upToFocus;
        currentRow.push_back(rowTemplate);
    }
    rows.push_back(currentRow);
    currentRow.clear();
}
