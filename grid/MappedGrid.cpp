#include "MappedGrid.h"

#include "PowerLogarithm.h"

#include <cmath>

MappedGrid::MappedGrid(const PlaneGrid* grid, TextureCatalogue* catalogue)
    : grid(grid), catalogue(catalogue), table(grid->getRows()), tabledLayout(grid->layout())
{
    recompute(static_cast<float>(fullTurn));
}

void MappedGrid::recompute(float angle)
{
    if (angle == 0.0f)
        return;
    if (grid->layout() != tabledLayout) {
        table = PowerLogarithmTable(grid->getRows());
        tabledLayout = grid->layout();
    }
    this->angle = angle;
    const float k = rootDegree(angle);
    viewScale = k;
    viewOffset = k;
    table.map(k, rows);
}

bool MappedGrid::isCurrent(float angle) const
{
    return angle == this->angle && grid->layout() == tabledLayout;
}

std::optional<std::complex<double>> MappedGrid::sourceAt(double x, double y) const
{
    const double k = rootDegree(angle);
    const PlaneView& view = grid->view();
    const auto [scale, offset] = view.viewValues(k);
    const std::complex<double> p = 1.0 + view.wAt({x, y}, scale, offset) / k;
    // Beyond the rims of the cut the wedge the mapping fills ends: nothing is drawn there.
    if (std::abs(std::arg(p)) * k >= M_PI)
        return std::nullopt;
    return view.offsetOf(std::pow(p, k));
}
