#include "MappedGrid.h"

#include "PowerLogarithm.h"

#include <cmath>

MappedGrid::MappedGrid(const PlaneGrid* grid, TextureCatalogue* catalogue)
    : grid(grid), catalogue(catalogue), table(grid->getRows()), laidOutFor(grid->focus())
{
    recompute(static_cast<float>(fullTurn));
}

void MappedGrid::recompute(float angle)
{
    if (angle == 0.0f)
        return;
    if (grid->focus() != laidOutFor) {
        table = PowerLogarithmTable(grid->getRows());
        laidOutFor = grid->focus();
    }
    this->angle = angle;
    const float k = rootDegree(angle);
    viewScale = k;
    viewOffset = k;
    table.map(k, rows);
}

bool MappedGrid::isCurrent(float angle) const
{
    return angle == this->angle && grid->focus() == laidOutFor;
}

std::optional<std::complex<double>> MappedGrid::sourceAt(double x, double y) const
{
    const double k = rootDegree(angle);
    const auto [scale, offset] = loweredViewValues(k, k);
    const std::complex<double> p = 1.0 + std::complex<double>(y * scale - offset, x * scale) / k;
    // Beyond the rims of the cut the wedge the mapping fills ends: nothing is drawn there.
    if (std::abs(std::arg(p)) * k >= M_PI)
        return std::nullopt;
    return std::pow(p, k);
}
