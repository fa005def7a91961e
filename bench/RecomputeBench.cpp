// One recompute of the viewer's 52 x 52 grid, against the mapping evaluated directly from its
// definition: a copy of the source rows, one complex power per vertex, rows rebuilt from empty.
// Both sweep the same angles, so neither can reuse the previous call's work.
#include "MappedGrid.h"
#include "PlaneGrid.h"
#include "PowerLogarithm.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int angleCount = 64;

float sweptAngle(int i)
{
    return 0.01f + (6.28318f - 0.01f) * float(i % angleCount) / angleCount;
}

void recompute_direct(benchmark::State& state)
{
    const PlaneGrid grid(50);
    std::vector<GridRow> rows;
    int i = 0;
    for (auto _ : state) {
        const float k = rootDegree(sweptAngle(i++));
        rows.clear();
        const std::vector<GridRow> source = grid.getRows();
        for (const GridRow& sourceRow : source) {
            GridRow row;
            row.reserve(sourceRow.size());
            for (const GridVertex& vertex : sourceRow)
                row.push_back({powerLogarithm(vertex.position, k), vertex.stripBreak, vertex.u, vertex.v});
            rows.push_back(std::move(row));
        }
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(recompute_direct);

void recompute(benchmark::State& state)
{
    const PlaneGrid grid(50);
    MappedGrid mapped(&grid, nullptr);
    int i = 0;
    for (auto _ : state) {
        mapped.recompute(sweptAngle(i++));
        benchmark::DoNotOptimize(mapped.rows.data());
    }
}
BENCHMARK(recompute);

} // namespace
