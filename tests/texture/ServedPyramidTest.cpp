// Served pyramids read back through their levels from tile_server.py on the loopback interface:
// tile templates and TileJSON with rows from either end, IIIF services as libvips writes them,
// every pixel from its own place; sparse and failing tiles, and documents that are none, too.
#include "PngWriter.h"
#include "ServedPyramid.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <tuple>

namespace {

std::shared_ptr<HttpFetcher> quickFetcher()
{
    FetchOptions options;
    options.connectTimeout = options.wholeTimeout = std::chrono::seconds(10);
    options.attempts = 1;   // the errors asked for are not tried again
    return std::make_shared<HttpFetcher>(options);
}

using Colour = std::array<double, 3>;

// Pixel (x, y from the top) of level `level` of the world pyramids here, 64-pixel tiles at zooms
// 0 to 2: red and green its place, blue its level.
Colour told(int level, long x, long y)
{
    return {double(x), double(y), double(level * 50)};
}

// Writes the world pyramid's tiles as {z}/{x}/{y}.png under `folder`, rows from the top or bottom.
void writeWorld(const std::string& folder, bool fromBottom)
{
    for (std::uint32_t zoom = 0, tiles = 1; zoom <= 2; ++zoom, tiles *= 2)
        for (std::uint32_t row = 0; row < tiles; ++row)
            for (std::uint32_t column = 0; column < tiles; ++column) {
                std::vector<std::uint8_t> rgb;
                for (long y = row * 64; y < (row + 1) * 64; ++y)
                    for (long x = column * 64; x < (column + 1) * 64; ++x)
                        for (const double channel : told(2 - int(zoom), x, y))
                            rgb.push_back(std::uint8_t(channel));
                const std::string path = folder + "/" + std::to_string(zoom) + "/" + std::to_string(column);
                std::filesystem::create_directories(path);
                EXPECT_EQ(writePng(path + "/" + std::to_string(fromBottom ? tiles - 1 - row : row) + ".png", 64, 64, rgb.data()), "");
            }
}

// The pixels of `window` of `level` (all of it if none) further than `tolerance` from what
// `expected(x, y from the top)` says.
int misplaced(const PictureLevels& pyramid, int level, const std::function<Colour(long, long)>& expected, double tolerance = 0,
              std::optional<PixelArea> window = std::nullopt, std::string* damage = nullptr)
{
    const PixelArea area = window.value_or(PixelArea{0, 0, pyramid.size(level).width, pyramid.size(level).height});
    std::vector<std::uint8_t> pixels(std::size_t(area.width) * area.height * 3);
    std::string whyNot, damaged;
    EXPECT_TRUE(pyramid.read(level, area, pixels.data(), whyNot, damaged)) << whyNot;
    if (damage)
        *damage = damaged;
    int wrong = 0;
    for (std::uint32_t j = 0; j < area.height; ++j)
        for (std::uint32_t i = 0; i < area.width; ++i) {
            const Colour want = expected(long(area.x + i), long(pyramid.size(level).height) - 1 - long(area.y + j));
            for (int c = 0; c < 3; ++c)
                wrong += std::abs(pixels[(std::size_t(j) * area.width + i) * 3 + std::size_t(c)] - want[std::size_t(c)]) > tolerance;
        }
    return wrong;
}

} // namespace

TEST(ServedPyramid, TemplatesAndTileJsonReadEachPixelFromItsPlace)
{
    TempDir dir;
    TileServer server(dir.str(), {"--fault", "/broken/*=500"});
    const auto fetcher = quickFetcher();
    writeWorld(dir.path("xyz"), false);
    writeWorld(dir.path("tms"), true);
    writeFile(dir.path("xyz/tiles.json"), R"({"tilejson": "3.0.0", "name": "World", "tiles": ["./{z}/{x}/{y}.png"], "maxzoom": 2, "tileSize": 64})");
    writeFile(dir.path("tms/tiles.json"), R"({"tiles": ["/tms/{z}/{x}/{y}.png"], "scheme": "tms", "minzoom": 1, "maxzoom": 2, "tilesize": 64})");
    writeFile(dir.path("local.json"), R"({"tiles": [")" + server.url("xyz/{z}/{x}/{y}.png") + R"("], "maxzoom": 2, "tilesize": 64})");
    // Each with its label and levels: TileJSON's tms scheme starts at zoom 1.
    const std::vector<std::tuple<std::string, std::string, int>> pyramids{{server.url("xyz/tiles.json"), "World", 3},
                                                                          {server.url("tms/tiles.json"), "127.0.0.1", 2},
                                                                          {"HTTP" + server.url("tms/{z}/{x}/{-y}.png#tilesize=64&maxzoom=2").substr(4), "127.0.0.1", 3},
                                                                          {dir.path("local.json"), "127.0.0.1", 3}};
    for (const auto& [argument, name, levels] : pyramids) {
        std::string label, whyNot;
        const auto pyramid = openServedPyramid(argument, fetcher, label, whyNot);
        ASSERT_TRUE(pyramid) << argument << ": " << whyNot;
        EXPECT_EQ(label, name);
        EXPECT_EQ(pyramid->count(), levels) << argument;
        for (int level = 0; level < pyramid->count(); ++level)
            EXPECT_EQ(misplaced(*pyramid, level, [&](long x, long y) { return told(level, x, y); }), 0) << argument << " level " << level;
    }

    // A bare template's zooms and tile size as most servers have them, 0 to 19 of 256 pixels, and
    // as deep as the viewer goes.
    std::string label, whyNot, damage;
    const auto world = openServedPyramid(server.url("xyz/{z}/{x}/{y}.png"), fetcher, label, whyNot);
    const auto deepest = openServedPyramid(server.url("xyz/{z}/{x}/{y}.png#maxzoom=22"), fetcher, label, whyNot);
    ASSERT_TRUE(world && deepest) << whyNot;
    EXPECT_EQ(world->count(), 20);
    EXPECT_EQ(world->size(0).height, 256u << 19);
    EXPECT_EQ(deepest->size(0).width, 1u << 30);

    // A missing tile is drawn from the next level without complaint; a failing one is named, and
    // so is one that would decode to far more pixels than a tile has.
    std::filesystem::remove(dir.path("xyz/2/1/1.png"));
    const std::vector<std::uint8_t> white(1000 * 1000 * 3, 255);
    ASSERT_EQ(writePng(dir.path("xyz/2/0/0.png"), 1000, 1000, white.data()), "");
    const auto sparse = openServedPyramid(server.url("xyz/tiles.json"), fetcher, label, whyNot);
    const auto broken = openServedPyramid(server.url("broken/{z}/{x}/{y}.png#tilesize=64&maxzoom=2"), fetcher, label, whyNot);
    ASSERT_TRUE(sparse && broken) << whyNot;
    EXPECT_EQ(misplaced(*sparse, 0, [](long x, long y) { return told(1, x / 2, y / 2); }, 0, PixelArea{64, 128, 64, 64}, &damage), 0);
    EXPECT_EQ(damage, "");
    EXPECT_EQ(misplaced(*sparse, 0, [](long x, long y) { return told(1, x / 2, y / 2); }, 0, PixelArea{0, 192, 64, 64}, &damage), 0);
    EXPECT_NE(damage.find("/2/0/0.png: it is 1000 x 1000 pixels, more than a tile of 64 x 64 may have"), std::string::npos) << damage;
    EXPECT_EQ(misplaced(*broken, 2, [](long, long) { return Colour{255, 255, 255}; }, 0, std::nullopt, &damage), 0);
    EXPECT_EQ(damage.rfind(server.url("broken/0/0/0.png: "), 0), 0u) << damage;
    EXPECT_NE(damage.find("500"), std::string::npos) << damage;
}

TEST(ServedPyramid, IiifServicesAsLibvipsWritesThem)
{
    TempDir dir;
    TileServer server(dir.str(), {"--log", dir.path("log")});
    const auto fetcher = quickFetcher();
    // 245 x 181, each pixel's red and green its place: levels of 123 x 91 and 62 x 46, halves
    // rounded up, in tiles of 64 with narrower ones at the right and bottom edges.
    std::vector<std::uint8_t> rgb;
    for (std::uint8_t y = 0; y < 181; ++y)
        for (std::uint8_t x = 0; x < 245; ++x)
            rgb.insert(rgb.end(), {x, y, 100});
    ASSERT_EQ(writePng(dir.path("picture.png"), 245, 181, rgb.data()), "");
    std::filesystem::create_directories(dir.path("iiif"));
    const std::string dzsave = "vips dzsave " + dir.path("picture.png") + " --tile-size 64 --id " + server.url("iiif") + " ";
    ASSERT_EQ(runCommand(dzsave + dir.path("iiif/v2") + " --layout iiif --suffix .png").status, 0);
    ASSERT_EQ(runCommand(dzsave + dir.path("iiif/v3") + " --layout iiif3 --suffix '.jpg[Q=100]'").status, 0);
    // The same tiles as a service that shrinks on request, listing none but its own size's.
    nlohmann::json info = nlohmann::json::parse(readFile(dir.path("iiif/v2/info.json")));
    info["profile"][0] = "http://iiif.io/api/image/2/level1.json";
    info["tiles"][0]["scaleFactors"] = {1};
    writeFile(dir.path("iiif/v2/level1.json"), info.dump());

    // libvips lists the factors 1 and 2; the whole picture at 4, one tile, goes unlisted.
    for (const std::string document : {"iiif/v2/info.json", "iiif/v3/info.json", "iiif/v2/level1.json"}) {
        std::string label, whyNot;
        const auto pyramid = openServedPyramid(server.url(document), fetcher, label, whyNot);
        ASSERT_TRUE(pyramid) << document << ": " << whyNot;
        EXPECT_EQ(label, "127.0.0.1");
        ASSERT_EQ(pyramid->count(), 3) << document;
        EXPECT_EQ(pyramid->size(2).width, 62u);
        EXPECT_EQ(pyramid->size(2).height, 46u);
        for (int level = 0; level < 3; ++level) {
            const double shrink = std::ldexp(1.0, level), centre = (shrink - 1) / 2;
            const double tolerance = level == 0 && document != "iiif/v3/info.json" ? 0 : 5;   // PNG's own pixels are exact
            EXPECT_EQ(misplaced(*pyramid, level, [&](long x, long y) { return Colour{x * shrink + centre, y * shrink + centre, 100}; }, tolerance), 0)
                << document << " level " << level;
        }
    }
    EXPECT_EQ(readFile(dir.path("log")).find(" 404"), std::string::npos) << "asked for tiles libvips did not write";
}

TEST(ServedPyramid, WhatIsNoServedPyramidIsRefusedWithWhy)
{
    EXPECT_TRUE(isServedPyramid("HTTPS://example.org/info.json") && isServedPyramid("maps/tiles.json"));
    EXPECT_FALSE(isServedPyramid("maps/tiles.png") || isServedPyramid("ftp://example.org/tiles.json.gz"));
    TempDir dir;
    TileServer server(dir.str());
    const auto fetcher = quickFetcher();
    // Documents served, but the last, read from disk with no server for its tiles to be relative to.
    const std::vector<std::array<std::string, 3>> documents{
        {"cut.json", R"({"tiles": [)", "end of input"},
        {"other.json", R"({"tiles": [{"width": 256}]})", "not a TileJSON document"},
        {"deep.json", R"({"tiles": ["/{z}/{x}/{y}.png"], "tileSize": 512})", "2^30"},   // down to zoom 22
        {"ftp.json", R"({"tiles": ["ftp://127.0.0.1/{z}/{x}/{y}.png"]})", "ftp://"},
        {"flat.json", R"({"tiles": ["/{x}/{y}.png"]})", "{z}"},
        {"sizeless.json", R"({"type": "ImageService3", "id": "http://127.0.0.1/a", "height": 9})", "width"},
        {"relative.json", R"({"tiles": ["{z}/{x}/{y}.png"]})", "http"}};
    std::vector<std::pair<std::string, std::string>> refused{{server.url("absent.json"), "404"},
                                                             {server.url("{z}/{x}/{y}.png#zoom=3"), "zoom=3"}};
    for (const auto& [name, text, why] : documents) {
        writeFile(dir.path(name), text);
        refused.emplace_back(name == "relative.json" ? dir.path(name) : server.url(name), why);
    }
    for (const auto& [argument, why] : refused) {
        std::string label, whyNot;
        EXPECT_FALSE(openServedPyramid(argument, fetcher, label, whyNot)) << argument;
        EXPECT_NE(whyNot.find(why), std::string::npos) << argument << ": " << whyNot;
        EXPECT_EQ(whyNot.find("json.exception"), std::string::npos) << whyNot;
    }
}
