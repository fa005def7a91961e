#include "MappedGrid.h"

#include "PowerLogarithm.h"

MappedGrid::MappedGrid(const PlaneGrid* grid, TextureCatalogue* catalogue)
    : grid(grid), catalogue(catalogue), table(grid->getRows())
{
    recompute(static_cast<float>(fullTurn));
}

void MappedGrid::recompute(float angle)
{
    if (angle == 0.0f)
        return;
    this->angle = angle;
    const float k = rootDegree(angle);
    viewScale = k;
    viewOffset = k;
    table.map(k, rows);
}
