// The source grid's generation rule, checked as exact numbers.
#include "PlaneGrid.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string sevenDigits(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.7e", value);
    return text;
}

TEST(PlaneGrid, ViewerResolutionSpansTheSquareWith52RowsOf52)
{
    const auto rows = PlaneGrid(50).getRows();
    ASSERT_EQ(rows.size(), 52u);
    for (const GridRow& row : rows)
        ASSERT_EQ(row.size(), 52u);
    EXPECT_EQ(rows[0][0].position, std::complex<double>(-1, -1));
    EXPECT_EQ(rows[0][51].position, std::complex<double>(1, -1));
    EXPECT_EQ(rows[51][0].position, std::complex<double>(-1, 1));
    EXPECT_EQ(rows[51][51].position, std::complex<double>(1, 1));
    EXPECT_EQ(rows[24][0].position.imag(), -0.04);
    EXPECT_EQ(rows[27][0].position.imag(), 0.04);
    // Rows rise and vertices run rightward.
    for (std::size_t r = 1; r < rows.size(); ++r)
        EXPECT_LT(rows[r - 1][0].position.imag(), rows[r][0].position.imag());
    for (std::size_t c = 1; c < rows[0].size(); ++c)
        EXPECT_LT(rows[0][c - 1].position.real(), rows[0][c].position.real());
}

TEST(PlaneGrid, CentreLinesStraddleBothAxesAndNoVertexLiesOnOne)
{
    std::uint64_t gapBits = 0;
    std::memcpy(&gapBits, &axisGap, sizeof gapBits);
    EXPECT_EQ(gapBits, 0x3E8000000102F4FDull);

    const auto rows = PlaneGrid(50).getRows();
    for (std::size_t i = 0; i < 52; ++i) {
        EXPECT_EQ(sevenDigits(rows[25][i].position.imag()), "-4.7683716e-09");
        EXPECT_EQ(sevenDigits(rows[26][i].position.imag()), "4.7683716e-09");
        EXPECT_EQ(sevenDigits(rows[i][25].position.real()), "-4.7683716e-09");
        EXPECT_EQ(sevenDigits(rows[i][26].position.real()), "4.7683716e-09");
    }
    for (const GridRow& row : rows)
        for (const GridVertex& vertex : row) {
            EXPECT_NE(vertex.position.real(), 0.0);
            EXPECT_NE(vertex.position.imag(), 0.0);
        }
}

TEST(PlaneGrid, TextureCoordinatesAreRunningSumsSharedByTheCentreLines)
{
    const auto rows = PlaneGrid(50).getRows();
    EXPECT_EQ(rows[0][0].u, 0.0);
    EXPECT_EQ(rows[0][0].v, 0.0);
    EXPECT_EQ(rows[51][51].u, 1.0000000000000004);
    EXPECT_EQ(rows[51][51].v, 1.0000000000000004);
    EXPECT_EQ(rows[0][25].u, 0.5000000000000001);
    EXPECT_EQ(rows[0][26].u, 0.5000000000000001);
    EXPECT_EQ(rows[25][0].v, 0.5000000000000001);
    EXPECT_EQ(rows[26][0].v, 0.5000000000000001);
    // u follows the column and v the row, whichever row or column it is.
    for (std::size_t r = 0; r < 52; ++r)
        for (std::size_t c = 0; c < 52; ++c) {
            EXPECT_EQ(rows[r][c].u, rows[0][c].u);
            EXPECT_EQ(rows[r][c].v, rows[r][0].v);
        }
}

TEST(PlaneGrid, ExactlyTheRowBelowTheRealAxisIsFlagged)
{
    const auto rows = PlaneGrid(50).getRows();
    int flagged = 0;
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (const GridVertex& vertex : rows[r]) {
            flagged += vertex.stripBreak;
            EXPECT_EQ(vertex.stripBreak, r == 25);
        }
    EXPECT_EQ(flagged, 52);
}

TEST(PlaneGrid, GetRowsHandsOutIndependentCopies)
{
    const PlaneGrid grid(50);
    auto first = grid.getRows();
    const auto second = grid.getRows();
    first[3][4].position = {9, 9};
    first[3][4].stripBreak = true;
    first.pop_back();
    EXPECT_EQ(second.size(), 52u);
    EXPECT_EQ(second[3][4].position, std::complex<double>(-0.84, -0.88));
    EXPECT_FALSE(second[3][4].stripBreak);
    EXPECT_EQ(grid.getRows()[3][4].position, std::complex<double>(-0.84, -0.88));
}

TEST(PlaneGrid, TheRuleHoldsAtOtherResolutions)
{
    // N = 1: H = 0, so only the doubled centre lines, at -2 gap and +2 gap.
    const auto one = PlaneGrid(1).getRows();
    ASSERT_EQ(one.size(), 2u);
    ASSERT_EQ(one[0].size(), 2u);
    EXPECT_EQ(one[0][0].position, std::complex<double>(-2 * axisGap, -2 * axisGap));
    EXPECT_EQ(one[1][1].position, std::complex<double>(2 * axisGap, 2 * axisGap));
    EXPECT_TRUE(one[0][1].stripBreak);
    EXPECT_FALSE(one[1][0].stripBreak);
    for (const GridRow& row : one)
        for (const GridVertex& vertex : row) {
            EXPECT_EQ(vertex.u, 0.0);
            EXPECT_EQ(vertex.v, 0.0);
        }

    const auto two = PlaneGrid(2).getRows();
    ASSERT_EQ(two.size(), 4u);
    EXPECT_EQ(two[0][0].position, std::complex<double>(-1, -1));
    EXPECT_EQ(two[3][3].position, std::complex<double>(1, 1));
    EXPECT_EQ(two[1][3].v, 0.5);
    EXPECT_EQ(two[3][3].u, 1.0);
    EXPECT_TRUE(two[1][0].stripBreak);

    // N = 51: odd, so the outermost lines fall short of the square's edge, and so does the texture.
    const auto odd = PlaneGrid(51).getRows();
    ASSERT_EQ(odd.size(), 52u);
    ASSERT_EQ(odd[0].size(), 52u);
    EXPECT_EQ(odd[51][51].position, std::complex<double>(25 / 25.5, 25 / 25.5));
    EXPECT_EQ(sevenDigits(odd[51][51].u), "9.8039216e-01");
    for (std::size_t r = 0; r < odd.size(); ++r)
        EXPECT_EQ(odd[r][0].stripBreak, r == 25);

    // Resolution 0 would divide by zero for every coordinate.
    EXPECT_THROW(PlaneGrid(0), std::invalid_argument);
}

} // namespace
