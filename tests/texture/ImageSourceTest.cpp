// Pictures through libvips: the PngSuite as the PNG loader decodes it, corrupt and damaged files of
// every format refused, the shrink on load keeping proportions and colours, followed row by row.
#include "BackgroundDecode.h"
#include "ImageSource.h"
#include "PngWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The picture in `path` as libvips decodes it, shrunk to fit `limit`, top row first; empty, and
// the reason in whyNot, if it cannot be.
Image decoded(const std::string& path, std::uint32_t limit, std::string& whyNot)
{
    const auto source = ImageSource::open(path, whyNot);
    if (!source)
        return Image{};
    const ImageSize size = source->shrunkSize(limit);
    std::vector<std::uint8_t> rgb(std::size_t(size.width) * size.height * 3);
    DecodeProgress progress;
    if (!source->decode(size, rgb.data(), whyNot, progress))
        return Image{};
    return fromBottomFirst(size.width, size.height, rgb.data());
}

TEST(ImageSource, ThePngSuiteAsThePngLoaderDecodesItAndItsCorruptFilesRefused)
{
    std::string whyNot;
    for (const auto& file : pngSuite(false))
        ASSERT_TRUE(readPng(file) == decoded(file, 1u << 20, whyNot)) << file << ": " << whyNot;
    // At the header or at the decode, with a reason; every time, as libvips's threads race.
    for (const auto& file : pngSuite(true))
        for (int attempt = 0; attempt < 300; ++attempt) {
            whyNot.clear();
            ASSERT_TRUE(decoded(file, 1u << 20, whyNot).rgb.empty() && !whyNot.empty()) << file << ", attempt " << attempt;
        }
}

// Pictures of every format cut short or overwritten mid-data: refused, whole or shrunk, with a
// reason, whatever libvips reports (an error, a warning, fewer rows). Left out, as nothing can tell:
// WebP and AVIF overwritten (no checksums), a pyramid shrunk from an intact level above the damage.
TEST(ImageSource, DamagedPicturesOfEveryFormatRefused)
{
    TempDir dir;
    ASSERT_EQ(runCommand("cd '" + dir.str() + "' && vips gaussnoise noise.v 600 400 --sigma 40 && vips cast noise.v grey.v uchar && "
                         "vips bandjoin 'grey.v grey.v grey.v' whole.v 2>&1").status, 0);
    const char* formats[] = {"png", "jpg[Q=90]", "jpg[interlace]", "tif[compression=lzw]", "tif[tile,tile-width=64,tile-height=64,compression=deflate]",
                             "tif[tile,pyramid,compression=jpeg]", "webp[Q=90]", "webp[lossless]", "gif", "avif"};
    for (const std::string format : formats) {
        const std::string extension = format.substr(0, format.find('[')), whole = dir.path("whole." + extension);
        ASSERT_EQ(runCommand("vips copy '" + dir.path("whole.v") + "' '" + whole + (format.size() > extension.size() ? format.substr(extension.size()) : "") + "' 2>&1").status, 0) << format;
        const std::string bytes = readFile(whole);
        std::string overwritten = bytes;   // with bytes that vary, as noise does
        for (std::size_t at = bytes.size() * 6 / 10; at < bytes.size() * 6 / 10 + 256; ++at)
            overwritten[at] = char(at * 37);
        for (const auto& [damage, damaged] : {std::pair{"cut", bytes.substr(0, bytes.size() * 6 / 10)}, std::pair{"overwritten", overwritten}}) {
            writeFile(dir.path(damage), damaged);
            for (const std::uint32_t limit : {1000u, 128u}) {
                std::string whyNot;
                const bool unseen = damage == std::string("overwritten") && (extension == "webp" || extension == "avif" || (limit < 600 && format.find("pyramid") != std::string::npos));
                EXPECT_TRUE(unseen || (decoded(dir.path(damage), limit, whyNot).rgb.empty() && !whyNot.empty())) << format << " " << damage << " within " << limit;
            }
        }
    }
}

TEST(ImageSource, ShrunkOnLoadToTheLimitKeepingProportionsAndColours)
{
    TempDir dir;
    // Red left of the middle, blue right of it; as a PNG (no shrink on load) and as a JPEG (scaled
    // decoding).
    const std::uint8_t red[] = {200, 30, 30}, blue[] = {20, 40, 220};
    std::string whyNot;
    for (const auto& [width, height, name, limit, shrunkHeight] : {std::tuple{300u, 200u, "halves.png", 64u, 43}, {1200u, 800u, "halves.jpg", 100u, 67}}) {
        std::vector<std::uint8_t> rgb;
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint8_t* colour = x < width / 2 ? red : blue;
                rgb.insert(rgb.end(), colour, colour + 3);
            }
        const std::string png = dir.path("halves-source.png");
        ASSERT_EQ(writePng(png, width, height, rgb.data()), "");
        ASSERT_EQ(runCommand("vips copy '" + png + "' '" + dir.path(name) + "[Q=95]' 2>&1").status, 0);
        const Image shrunk = decoded(dir.path(name), limit, whyNot);
        ASSERT_TRUE(shrunk.width == int(limit) && shrunk.height == shrunkHeight) << name << " " << shrunk.width << "x" << shrunk.height << " " << whyNot;
        for (int y = 0; y < shrunk.height; ++y)
            for (int x : {0, shrunk.width / 2 - 4, shrunk.width / 2 + 3, shrunk.width - 1})
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(shrunk.at(x, y)[c], (x < shrunk.width / 2 ? red : blue)[c], 3) << name << " " << x << ", " << y;
    }
    // Followed from a thread of its own, the share done counts rows: never past the whole, and
    // the whole once it is finished.
    const std::shared_ptr<const ImageSource> halves = ImageSource::open(dir.path("halves.png"), whyNot);
    const ImageSize size = halves->shrunkSize(64);
    BackgroundDecode following(size, [&](unsigned char* pixels, std::string& why, DecodeProgress& progress) { return halves->decode(size, pixels, why, progress); });
    float most = 0;
    ASSERT_TRUE(pollUntil([&] {
        most = std::max(most, following.done());
        return following.finished();
    }));
    EXPECT_TRUE(following.succeeded(whyNot) && following.done() == 1.0f && most <= 1.0f) << following.done() << " " << most;
    // A decode cancelled stops before it writes a row, fails, and says so.
    const auto source = ImageSource::open(dir.path("halves.jpg"), whyNot);
    ASSERT_TRUE(source) << whyNot;
    std::vector<std::uint8_t> rgb(std::size_t(100) * 67 * 3);
    DecodeProgress progress;
    progress.cancelled = true;
    EXPECT_FALSE(source->decode(source->shrunkSize(100), rgb.data(), whyNot, progress));
    EXPECT_TRUE(progress.rows == 0 && whyNot == "cancelled") << progress.rows << " " << whyNot;
}

} // namespace
