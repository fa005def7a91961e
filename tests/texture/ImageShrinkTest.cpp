// Shrinking images that the GL cannot hold: the size keeps its proportions, the pixels their colours.
#include "ImageShrink.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

TEST(ImageShrink, SizeKeepsProportionsAndNeverDropsASide)
{
    EXPECT_EQ(sizeWithin({800, 600}, 1024).width, 800u);
    const ImageSize wide = sizeWithin({20000, 10000}, 16384);
    EXPECT_EQ(wide.width, 16384u);
    EXPECT_EQ(wide.height, 8192u);
    const ImageSize tall = sizeWithin({3, 9}, 4);
    EXPECT_EQ(tall.width, 1u);
    EXPECT_EQ(tall.height, 4u);
    const ImageSize sliver = sizeWithin({100000, 1}, 100);
    EXPECT_EQ(sliver.width, 100u);
    EXPECT_EQ(sliver.height, 1u);
    // Sides near the 32-bit limit must not overflow on the way.
    const ImageSize huge = sizeWithin({4000000000u, 2000000000u}, 16384);
    EXPECT_EQ(huge.width, 16384u);
    EXPECT_EQ(huge.height, 8192u);
}

TEST(ImageShrink, AveragesEachBlockAndKeepsRowOrder)
{
    // 4 x 2, bottom row first: left half dark, right half bright, rows differing in blue.
    const std::vector<unsigned char> pixels = {
        0, 0, 0,    10, 20, 0,    200, 200, 0,  210, 220, 0,    // bottom row
        0, 0, 100,  10, 20, 100,  200, 200, 100, 210, 220, 100, // top row
    };
    unsigned char* shrunk = shrinkImage(pixels.data(), {4, 2}, {2, 1});
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(shrunk, shrunk + 6), (std::vector<unsigned char>{5, 10, 50, 205, 210, 50}));
    std::free(shrunk);

    unsigned char* rowsKept = shrinkImage(pixels.data(), {4, 2}, {1, 2});
    ASSERT_NE(rowsKept, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(rowsKept, rowsKept + 6), (std::vector<unsigned char>{105, 110, 0, 105, 110, 100}));
    std::free(rowsKept);
}

TEST(ImageShrink, UnevenRatiosStillCoverEverySourcePixelOnce)
{
    // A flat image must stay exactly flat whatever the ratio, or some pixels were skipped or doubled.
    const std::vector<unsigned char> flat(std::size_t(7) * 5 * 3, 77);
    unsigned char* shrunk = shrinkImage(flat.data(), {7, 5}, {3, 2});
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(shrunk, shrunk + 18), std::vector<unsigned char>(18, 77));
    std::free(shrunk);
}

} // namespace
