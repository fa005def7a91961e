// The clipmap with a real GL and workers: after every streaming step each level's atlas tile holds
// exactly its window, its mipmap that window's means; once settled, each window holds the focus.
#include "Clipmap.h"
#include "ImageSource.h"
#include "PngWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

TEST(Clipmap, EveryTileShownHoldsItsWholeWindowWhileTheLevelsFollowTheFocus)
{
    openGlWindow(64, 64);
    TempDir dir;
    // 2048 pixels square, each telling its place, so that no two windows look alike.
    constexpr int side = 2048;
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            rgb.insert(rgb.end(), {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x / 256 * 8 + y / 256)});
    ASSERT_EQ(writePng(dir.path("deep.png"), side, side, rgb.data()), "");
    std::string whyNot;
    const auto source = ImageSource::open(dir.path("deep.png"), whyNot);
    ASSERT_TRUE(source) << whyNot;
    std::shared_ptr<const PictureLevels> pyramid = openFileLevels(*source, 3, whyNot);
    ASSERT_TRUE(pyramid) << whyNot;
    // Windows of 512: a strip of the uploads is less than a window, so there are steps between.
    const std::vector<std::uint8_t> copy(256 * 256 * 3, 0);
    Clipmap clipmap(pyramid, 3, 512, copy.data(), {256, 256});

    const ImageSize atlas = clipmap.atlasSize();
    auto atlasTexels = [&](int mip) {
        std::vector<std::uint8_t> texels(std::size_t(atlas.width >> mip) * (atlas.height >> mip) * 3);
        glBindTexture(GL_TEXTURE_2D, clipmap.atlas());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, mip, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        return texels;
    };
    auto expectTilesWhole = [&](const std::string& when) {
        const std::vector<std::uint8_t> texels = atlasTexels(0), halves = atlasTexels(1);
        for (std::size_t level = 0; level < clipmap.levels().size(); ++level) {
            const Clipmap::Level& shown = clipmap.levels()[level];
            const PixelArea& window = shown.window;
            if (window.width == 0)
                continue;
            std::vector<std::uint8_t> own(std::size_t(window.width) * window.height * 3);
            ASSERT_TRUE(pyramid->read(int(level), window, own.data(), whyNot, whyNot)) << whyNot;
            auto texel = [&](const std::vector<std::uint8_t>& from, int mip, std::uint32_t x, std::uint32_t y) {
                return &from[((std::size_t((shown.tileY >> mip) + y) * (atlas.width >> mip)) + (shown.tileX >> mip) + x) * 3];
            };
            for (std::uint32_t y = 0; y < window.height; ++y)
                for (std::uint32_t x = 0; x < window.width; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const std::uint8_t* pixel = &own[(std::size_t(y) * window.width + x) * 3];
                        ASSERT_EQ(texel(texels, 0, x, y)[c], pixel[c]) << when << ": level " << level << " at " << x << ", " << y;
                        if (x % 2 || y % 2 || x + 1 >= window.width || y + 1 >= window.height)
                            continue;
                        const int rowBytes = int(window.width) * 3;
                        const double mean = (pixel[c] + pixel[c + 3] + pixel[c + rowBytes] + pixel[c + rowBytes + 3]) / 4.0;
                        ASSERT_LE(std::abs(texel(halves, 1, x / 2, y / 2)[c] - mean), 1.0) << when << ": level " << level << "'s mipmap at " << x << ", " << y;
                    }
        }
    };

    for (const auto& [focus, where] : {std::pair{std::complex<double>(0, 0), "at the centre"}, {{0.7, -0.5}, "moved"}, {{-0.95, 0.9}, "in a corner"}}) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int steps = 0;
        do {
            steps += clipmap.follow(focus);
            expectTilesWhole(where);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (!clipmap.settled() && std::chrono::steady_clock::now() < deadline);
        ASSERT_TRUE(clipmap.settled()) << where;
        EXPECT_GE(steps, 1) << where;
        for (std::size_t level = 0; level < clipmap.levels().size(); ++level) {
            const Clipmap::Level& shown = clipmap.levels()[level];
            const double x = (focus.real() + 1) / 2 * shown.size.width, y = (focus.imag() + 1) / 2 * shown.size.height;
            EXPECT_TRUE(x >= shown.window.x && x <= shown.window.x + shown.window.width && y >= shown.window.y && y <= shown.window.y + shown.window.height)
                << where << ": level " << level;
        }
    }
}

} // namespace
