// The power-logarithm mapping, checked against the values it must give, to the digits given.
#include "MappedGrid.h"
#include "PlaneGrid.h"
#include "PowerLogarithm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using Complex = std::complex<double>;

bool bitIdentical(const std::vector<GridRow>& a, const std::vector<GridRow>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t r = 0; r < a.size(); ++r) {
        if (a[r].size() != b[r].size())
            return false;
        for (std::size_t i = 0; i < a[r].size(); ++i) {
            const GridVertex& x = a[r][i];
            const GridVertex& y = b[r][i];
            if (std::memcmp(&x.position, &y.position, sizeof x.position) != 0 || x.stripBreak != y.stripBreak ||
                std::memcmp(&x.u, &y.u, sizeof x.u) != 0 || std::memcmp(&x.v, &y.v, sizeof x.v) != 0)
                return false;
        }
    }
    return true;
}

TEST(Mapping, RootDegreeIsRoundedToSinglePrecision)
{
    EXPECT_EQ(rootDegree(6.28318f), 0.99999994039535522f);
    EXPECT_EQ(double(rootDegree(6.28318f)), 1.0 - 0x1p-24);
    EXPECT_EQ(rootDegree(0.01f), 628.3179931640625f);
    EXPECT_NEAR(rootDegree(3.14159f), 1.9999999, 5e-8);
}

TEST(Mapping, SinglePointsAtTheWidestAngleMapToTheShiftedPlane)
{
    const float k = rootDegree(6.28318f);
    const Complex i = powerLogarithm({0, 1}, k);
    EXPECT_NEAR(i.real(), -1.0, 1e-7);
    EXPECT_NEAR(i.imag(), 0.99999994, 5e-9);
    const Complex half = powerLogarithm({0.5, 0}, k);
    EXPECT_NEAR(half.real(), -0.5, 1e-7);
    EXPECT_EQ(half.imag(), 0.0);
}

TEST(Mapping, SinglePointsAtHalfTurnAreTheSquareRoot)
{
    const Complex w = powerLogarithm({0, 1}, rootDegree(3.14159f));
    EXPECT_NEAR(w.real(), -0.58579, 5e-6);
    EXPECT_NEAR(w.imag(), 1.41421, 5e-6);
}

TEST(Mapping, OneMapsToExactlyZeroAtEveryAngle)
{
    for (float angle : {6.28318f, 5.0f, 3.14159f, 1.0f, 0.3f, 0.05f, 0.01f}) {
        const Complex w = powerLogarithm({1, 0}, rootDegree(angle));
        EXPECT_EQ(w.real(), 0.0) << angle;
        EXPECT_EQ(w.imag(), 0.0) << angle;
    }
}

TEST(Mapping, ConstructionMapsTheWidestAngle)
{
    const PlaneGrid grid(50);
    const MappedGrid mapped(&grid, nullptr);
    ASSERT_EQ(mapped.rows.size(), 52u);
    for (const GridRow& row : mapped.rows)
        EXPECT_EQ(row.size(), 52u);
    EXPECT_EQ(mapped.viewScale, 0.99999994039535522);
    EXPECT_EQ(mapped.viewOffset, 0.99999994039535522);
}

TEST(Mapping, SmallestAngleApproachesTheLogarithmAndOpensTheCut)
{
    const PlaneGrid grid(50);
    MappedGrid mapped(&grid, nullptr);
    mapped.recompute(0.01f);
    EXPECT_EQ(mapped.viewScale, 628.3179931640625);
    EXPECT_EQ(mapped.viewOffset, 628.3179931640625);

    const Complex aboveCut = mapped.rows[26][0].position;   // z = -1 + 4.77e-9 i
    const Complex belowCut = mapped.rows[25][0].position;   // z = -1 - 4.77e-9 i
    EXPECT_NEAR(aboveCut.real(), -0.0078540, 5e-8);
    EXPECT_NEAR(aboveCut.imag(), 3.1415796, 5e-8);
    EXPECT_NEAR(belowCut.real(), -0.0078540, 5e-8);
    EXPECT_NEAR(belowCut.imag(), -3.1415796, 5e-8);
    const Complex corner = mapped.rows[51][51].position;    // z = 1 + i, Log z = 0.34657 + 0.78540 i
    EXPECT_NEAR(corner.real(), 0.34618, 5e-6);
    EXPECT_NEAR(corner.imag(), 0.78583, 5e-6);
    // The four vertices nearest the origin stay finite, near ln|z| = -18.8.
    for (int r : {25, 26})
        for (int c : {25, 26}) {
            EXPECT_TRUE(std::isfinite(mapped.rows[r][c].position.real()));
            EXPECT_NEAR(mapped.rows[r][c].position.real(), -18.5, 0.3);
        }
}

TEST(Mapping, ZeroAngleChangesNothing)
{
    const PlaneGrid grid(50);
    MappedGrid mapped(&grid, nullptr);
    mapped.recompute(1.5f);
    mapped.viewScale = 3.14159;   // as a draw leaves it
    const auto rowsBefore = mapped.rows;
    for (float zero : {0.0f, -0.0f}) {
        mapped.recompute(zero);
        EXPECT_TRUE(bitIdentical(mapped.rows, rowsBefore));
        EXPECT_EQ(mapped.viewScale, 3.14159);
        EXPECT_EQ(mapped.viewOffset, double(rootDegree(1.5f)));
    }
}

// recompute takes shortcuts (logarithms kept from the first call, values shared between symmetric
// points); what it gives must still be exactly the mapping evaluated from its definition, with
// each vertex's flag and texture coordinates carried over.
TEST(Mapping, RecomputeIsBitIdenticalToTheDirectEvaluation)
{
    std::vector<float> angles;
    // Every angle a drag of one step at a time passes through, from the widest to the smallest.
    for (float angle = 6.28318f; angle > 0.01f; angle = float(-1 * 0.02 + double(angle)))
        angles.push_back(angle);
    // And angles anywhere in the range, and beyond it.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> anywhere(0.01f, 6.28318f);
    for (int i = 0; i < 500; ++i)
        angles.push_back(anywhere(random));
    for (float angle : {0.01f, 1e-6f, 3.14159f, 6.28318f, 7.0f, 100.0f, -1.0f, -6.28318f})
        angles.push_back(angle);

    const PlaneGrid grid(50);
    const auto source = grid.getRows();
    MappedGrid mapped(&grid, nullptr);
    int mismatches = 0;
    for (float angle : angles) {
        mapped.recompute(angle);
        std::vector<GridRow> direct = source;
        for (GridRow& row : direct)
            for (GridVertex& vertex : row)
                vertex.position = powerLogarithm(vertex.position, rootDegree(angle));
        if (!bitIdentical(mapped.rows, direct))
            ADD_FAILURE() << "angle " << angle << " differs" << (++mismatches > 5 ? " (stopping)" : "");
        if (mismatches > 5)
            break;
    }
    // Whatever recompute keeps of the source, it never writes back into the grid.
    EXPECT_TRUE(bitIdentical(grid.getRows(), source));
}

TEST(Mapping, RecomputeRestoresRowsThatWereChanged)
{
    const PlaneGrid grid(50);
    MappedGrid mapped(&grid, nullptr);
    mapped.recompute(2.0f);
    const auto expected = mapped.rows;
    mapped.rows.resize(3);
    mapped.rows[1].pop_back();
    mapped.rows[2][0].u = 7;
    mapped.rows.push_back(GridRow(60));
    mapped.recompute(2.0f);
    EXPECT_TRUE(bitIdentical(mapped.rows, expected));
}

} // namespace
