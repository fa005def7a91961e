#include "PlaneGrid.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr std::uint32_t viewerGridSize = 50;

// How many of an axis's cells lie before the focus: in proportion to the distances from the focus
// to the two edges, and at least one on a side that has any length.
std::uint32_t cellsBeforeFocus(std::uint32_t cells, double before, double after)
{
    if (cells == 0 || before <= 0.0)
        return 0;
    if (after <= 0.0)
        return cells;
    const auto share = static_cast<std::uint32_t>(std::lround(cells * before / (before + after)));
    return std::clamp<std::uint32_t>(share, 1, cells - 1);
}

} // namespace

PlaneGrid::PlaneGrid(const std::vector<std::string>& imageFiles)
    : catalogue(std::make_unique<TextureCatalogue>(imageFiles)), gridSize(viewerGridSize)
{
    catalogue->selectTexture(0);
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
    rows.clear();
    generate();
}

// Both axes follow one scheme. The grid reaches H/D either side of the centre (the image's edge for
// an even N), and its 2H cells are shared between the two sides of the focus. The line through the
// focus is replaced by -gap/D and +gap/D, which share a texture coordinate. Texture coordinates are
// running sums, not index * step, and coordinates are index / cells * extent: with the focus at the
// centre these are, bit for bit, the symmetric grid's index / D and sums of 1 / N (so the last is
// 1.0000000000000004 for N = 50).
std::vector<PlaneGrid::AxisLine> PlaneGrid::axisLines(double focus) const
{
    const std::uint32_t cells = gridSize / 2 * 2;
    const double divisor = gridSize * 0.5;
    const double reach = (gridSize / 2) / divisor;
    const double before = reach + focus, after = reach - focus;
    const std::uint32_t cellsBefore = cellsBeforeFocus(cells, before, after), cellsAfter = cells - cellsBefore;
    const double gap = axisGap / divisor;

    std::vector<AxisLine> lines;
    double textureCoordinate = 0.0;
    for (std::uint32_t index = cellsBefore; index >= 1; --index) {
        lines.push_back({-static_cast<double>(index) / cellsBefore * before, textureCoordinate, false, true});
        textureCoordinate += before / 2 / cellsBefore;
    }
    lines.push_back({-gap, textureCoordinate, true, true});
    lines.push_back({gap, textureCoordinate, false, true});
    for (std::uint32_t index = 1; index <= cellsAfter; ++index) {
        textureCoordinate += after / 2 / cellsAfter;
        lines.push_back({static_cast<double>(index) / cellsAfter * after, textureCoordinate, false, false});
    }
    return lines;
}

void PlaneGrid::generate()
{
    const std::vector<AxisLine> columns = axisLines(laidOutFor.real());
    for (const AxisLine& line : axisLines(laidOutFor.imag()))
        addRow({{0.0, line.coordinate}, false, 0.0, line.textureCoordinate}, columns, line.belowAxis);
}

void PlaneGrid::addRow(GridVertex rowTemplate, const std::vector<AxisLine>& columns, bool belowFocus)
{
    const double imaginary = rowTemplate.position.imag();
    for (const AxisLine& column : columns) {
        rowTemplate.position = {column.coordinate, imaginary};
        rowTemplate.u = column.textureCoordinate;
        rowTemplate.stripBreak = belowFocus && column.upToFocus;
        currentRow.push_back(rowTemplate);
    }
    rows.push_back(currentRow);
    currentRow.clear();
}
