#include "PlaneGrid.h"

#include <stdexcept>

namespace {

constexpr std::uint32_t viewerGridSize = 50;

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

// Both axes follow one scheme: the coordinates -H/D to H/D, with 0 replaced by -gap/D and +gap/D,
// and texture coordinates as a running sum that the two centre lines share. A running sum, not
// index * step, so the last one is 1.0000000000000004 for N = 50.
std::vector<PlaneGrid::AxisLine> PlaneGrid::axisLines() const
{
    const auto half = static_cast<std::int64_t>(gridSize / 2);
    const double divisor = gridSize * 0.5;
    const double step = 1.0 / gridSize;
    std::vector<AxisLine> lines;
    double textureCoordinate = 0.0;
    for (std::int64_t index = -half; index <= half; ++index) {
        if (index == 0) {
            lines.push_back({-axisGap / divisor, textureCoordinate, true});
            lines.push_back({axisGap / divisor, textureCoordinate, false});
        } else {
            lines.push_back({static_cast<double>(index) / divisor, textureCoordinate, false});
        }
        textureCoordinate += step;
    }
    return lines;
}

void PlaneGrid::generate()
{
    for (const AxisLine& line : axisLines())
        addRow({{0.0, line.coordinate}, line.belowAxis, 0.0, line.textureCoordinate});
}

void PlaneGrid::addRow(GridVertex rowTemplate)
{
    const double imaginary = rowTemplate.position.imag();
    for (const AxisLine& line : axisLines()) {
        rowTemplate.position = {line.coordinate, imaginary};
        rowTemplate.u = line.textureCoordinate;
        currentRow.push_back(rowTemplate);
    }
    rows.push_back(currentRow);
    currentRow.clear();
}
