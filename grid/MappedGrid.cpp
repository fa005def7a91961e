#include "MappedGrid.h"

#include "PowerLogarithm.h"

MappedGrid::MappedGrid(const PlaneGrid* grid, TextureCatalogue* catalogue)
    : grid(grid), catalogue(catalogue)
{
    recompute(static_cast<float>(fullTurn));
}

void MappedGrid::recompute(float angle)
{
    if (angle == 0.0f)
        return;
    rows.clear();
    const float k = rootDegree(angle);
    viewScale = k;
    viewOffset = k;

    const std::vector<GridRow> sourceRows = grid->getRows();
    for (auto rowCursor = sourceRows.begin(); rowCursor != sourceRows.end(); ++rowCursor) {
        GridRow currentRow;
        currentRow.reserve(rowCursor->size());
        for (auto vertexCursor = rowCursor->begin(); vertexCursor != rowCursor->end(); ++vertexCursor)
            currentRow.push_back({powerLogarithm(vertexCursor->position, k), vertexCursor->stripBreak, vertexCursor->u,
                                  vertexCursor->v});
        rows.push_back(std::move(currentRow));
    }
}
