// Pyramids of every kind as their tools lay them out (gdal2tiles's XYZ and TMS, MBTiles, libvips's
// Deep Zoom and IIIF), from files or tile_server.py: every pixel from its place, whatever the tile
// size, row order or overlap; missing and damaged tiles from coarser levels; no pyramid, refused.
#include "ImageSource.h"
#include "PngWriter.h"
#include "Pyramid.h"
#include "ServedPyramid.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

namespace {

constexpr std::uint32_t tileSide = 64;

using Colour = std::array<double, 3>;

// Pixel (x, y from the top) of level `level` of the pyramids here: red and green its low bits, blue
// its level and its high bits.
Colour told(int level, long x, long y)
{
    return {double(x & 255), double(y & 255), double(level * 50 + (x >> 8) * 16 + (y >> 8))};
}

// A PNG of level `level` (of `size`): `part` (a tile) from (left, top), white beyond the level.
std::string levelPng(const TempDir& dir, int level, ImageSize size, long left, long top, ImageSize part = {tileSide, tileSide})
{
    std::vector<std::uint8_t> rgb;
    for (long y = top; y < top + long(part.height); ++y)
        for (long x = left; x < left + long(part.width); ++x) {
            const bool inside = x >= 0 && y >= 0 && x < long(size.width) && y < long(size.height);
            for (const double channel : inside ? told(level, x, y) : Colour{255, 255, 255})
                rgb.push_back(std::uint8_t(channel));
        }
    EXPECT_EQ(writePng(dir.path("tile.png"), part.width, part.height, rgb.data()), "");
    return readFile(dir.path("tile.png"));
}

// Writes every tile of levels of these sizes (the finest first) with `put(zoom, column, row,
// png)`, the zoom counted from the coarsest; rows from the top, or from the bottom edge.
void writeTiles(const TempDir& dir, const std::vector<ImageSize>& sizes, bool fromBottom,
                const std::function<void(int, std::uint32_t, std::uint32_t, const std::string&)>& put)
{
    for (int level = 0; level < int(sizes.size()); ++level) {
        const ImageSize size = sizes[std::size_t(level)];
        for (std::uint32_t row = 0; row * tileSide < size.height; ++row)
            for (std::uint32_t column = 0; column * tileSide < size.width; ++column) {
                const long top = fromBottom ? long(size.height) - long((row + 1) * tileSide) : long(row * tileSide);
                put(int(sizes.size()) - 1 - level, column, row, levelPng(dir, level, size, long(column * tileSide), top));
            }
    }
}

void putFile(const std::string& folder, int zoom, std::uint32_t column, std::uint32_t row, const std::string& png)
{
    const std::string path = folder + "/" + std::to_string(zoom) + "/" + std::to_string(column) + "/" + std::to_string(row) + ".png";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeFile(path, png);
}

// The pixels of `area` of `level` (all of it if none) further than `tolerance` from what
// `expected(x, y from the top)` says.
int misplaced(const PictureLevels& pyramid, int level, std::optional<PixelArea> window, const std::function<Colour(long, long)>& expected,
              std::string* damage = nullptr, double tolerance = 0)
{
    const PixelArea area = window.value_or(PixelArea{0, 0, pyramid.size(level).width, pyramid.size(level).height});
    std::vector<std::uint8_t> pixels(std::size_t(area.width) * area.height * 3);
    std::string whyNot, damaged;
    EXPECT_TRUE(pyramid.read(level, area, pixels.data(), whyNot, damaged)) << whyNot;
    if (damage)
        *damage = damaged;
    const long height = pyramid.size(level).height;
    int wrong = 0;
    for (std::uint32_t j = 0; j < area.height; ++j)
        for (std::uint32_t i = 0; i < area.width; ++i) {
            const Colour want = expected(long(area.x + i), height - 1 - long(area.y + j));
            const std::uint8_t* shown = &pixels[(std::size_t(j) * area.width + i) * 3];
            wrong += std::abs(shown[0] - want[0]) > tolerance || std::abs(shown[1] - want[1]) > tolerance || std::abs(shown[2] - want[2]) > tolerance;
        }
    return wrong;
}

// Windows across tile edges, at the picture's corners and in its middle.
int misplacedInWindows(const PictureLevels& pyramid, int level, ImageSize shown)
{
    int wrong = 0;
    const std::uint32_t side = std::min<std::uint32_t>(100, std::min(shown.width, shown.height));
    for (const auto& [x, y] : {std::pair{0u, 0u}, {shown.width - side, shown.height - side}, {(shown.width - side) / 2, (shown.height - side) / 3}})
        wrong += misplaced(pyramid, level, PixelArea{x, y + (pyramid.size(level).height - shown.height), side, side},
                           [&](long px, long py) { return told(level, px, py); });
    return wrong;
}

// The levels of a 300 x 200 picture, halved and rounded up down to one tile; of the world's grid.
const std::vector<ImageSize> pictureLevels{{300, 200}, {150, 100}, {75, 50}, {38, 25}};
const std::vector<ImageSize> world{{256, 256}, {128, 128}, {64, 64}};

// Levels of these sizes as {z}/{x}/{y}.png under `folder`, rows from the top or bottom.
void writeFolder(const TempDir& dir, const std::string& folder, const std::vector<ImageSize>& sizes, bool fromBottom)
{
    writeTiles(dir, sizes, fromBottom, [&](int zoom, std::uint32_t column, std::uint32_t row, const std::string& png) { putFile(folder, zoom, column, row, png); });
}

std::shared_ptr<HttpFetcher> quickFetcher()
{
    FetchOptions options;
    options.connectTimeout = options.wholeTimeout = std::chrono::seconds(10);
    options.attempts = 1;   // the errors asked for are not tried again
    return std::make_shared<HttpFetcher>(options);
}

} // namespace

TEST(Pyramid, EveryKindReadsEachPixelFromItsPlace)
{
    TempDir dir;
    std::string whyNot, label;
    // XYZ, rows from the top: its size the grid its tiles make, or what gdal2tiles's page says.
    writeFolder(dir, dir.path("xyz"), pictureLevels, false);
    auto xyz = openPyramid(dir.path("xyz"), label, whyNot);
    ASSERT_TRUE(xyz) << whyNot;
    EXPECT_EQ(xyz->count(), 4);
    EXPECT_TRUE(xyz->size(0).width == 512 && xyz->size(0).height == 512);   // the coarsest level's one tile, 8 times
    for (int level = 0; level < 2; ++level)
        EXPECT_EQ(misplacedInWindows(*xyz, level, pictureLevels[std::size_t(level)]), 0) << "XYZ level " << level;
    writeFile(dir.path("xyz/openlayers.html"), "var layer = new ol.layer.Tile({ source: new ol.source.TileImage({ extent: [0,-200,300,0], ");
    xyz = openPyramid(dir.path("xyz"), label, whyNot);
    ASSERT_TRUE(xyz) << whyNot;
    EXPECT_TRUE(xyz->size(0).width == 300 && xyz->size(1).height == 100);
    EXPECT_EQ(misplacedInWindows(*xyz, 0, pictureLevels[0]), 0) << "XYZ with its extent";

    // TMS in the raster profile: rows from the bottom, the picture laid from its bottom-left corner.
    writeFolder(dir, dir.path("tms"), pictureLevels, true);
    writeFile(dir.path("tms/tilemapresource.xml"), R"(<?xml version="1.0" encoding="utf-8"?>
    <TileMap version="1.0.0">
      <BoundingBox minx="0.0" miny="-200.0" maxx="300.0" maxy="0.0"/>
      <Origin x="0.0" y="-200.0"/>
      <TileFormat width="64" height="64" mime-type="image/png" extension="png"/>
      <TileSets profile="raster">
        <TileSet href="0" units-per-pixel="8.0" order="0"/>
        <TileSet href="1" units-per-pixel="4.0" order="1"/>
        <TileSet href="2" units-per-pixel="2.0" order="2"/>
        <TileSet href="3" units-per-pixel="1.0" order="3"/>
      </TileSets>
    </TileMap>)");
    const auto tms = openPyramid(dir.path("tms"), label, whyNot);
    ASSERT_TRUE(tms) << whyNot;
    EXPECT_TRUE(tms->size(0).width == 300 && tms->size(0).height == 200);
    for (int level = 0; level < 4; ++level)
        EXPECT_EQ(misplacedInWindows(*tms, level, pictureLevels[std::size_t(level)]), 0) << "TMS level " << level;
    // Read whole, as the copy is, the rows told in are in, from the top, every time.
    const ImageSize whole = tms->size(0);
    std::vector<std::uint8_t> pixels(std::size_t(whole.width) * whole.height * 3);
    std::string damage;
    int early = 0;
    std::uint32_t reported = 0;
    EXPECT_TRUE(tms->readWhole(0, pixels.data(), damage, [&](std::uint32_t rows) {
        for (reported = rows; rows > 0; --rows)
            for (std::uint32_t x = 0; x < whole.width; x += 7)
                early += !std::equal(&pixels[(std::size_t(whole.height - rows) * whole.width + x) * 3], &pixels[(std::size_t(whole.height - rows) * whole.width + x) * 3] + 3,
                                     told(0, long(x), long(rows - 1)).begin());
        return true;
    }));
    EXPECT_EQ(reported, whole.height);
    EXPECT_EQ(early, 0);

    // MBTiles: each zoom the world's grid, rows from the bottom; left as it was.
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(dir.path("world.mbtiles").c_str(), &database), SQLITE_OK);
    sqlite3_exec(database,
                 "CREATE TABLE metadata (name TEXT, value TEXT); CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
                 "tile_data BLOB); INSERT INTO metadata VALUES ('minzoom', '0'), ('maxzoom', '2'), ('format', 'png');",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    writeTiles(dir, world, true, [&](int zoom, std::uint32_t column, std::uint32_t row, const std::string& png) {
        sqlite3_bind_int(insert, 1, zoom);
        sqlite3_bind_int(insert, 2, int(column));
        sqlite3_bind_int(insert, 3, int(row));
        sqlite3_bind_blob(insert, 4, png.data(), int(png.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    });
    sqlite3_finalize(insert);
    sqlite3_close(database);
    const std::string before = readFile(dir.path("world.mbtiles"));
    const auto mbtiles = openPyramid(dir.path("world.mbtiles"), label, whyNot);
    ASSERT_TRUE(mbtiles) << whyNot;
    EXPECT_EQ(mbtiles->count(), 3);
    for (int level = 0; level < 3; ++level)
        EXPECT_EQ(misplacedInWindows(*mbtiles, level, world[std::size_t(level)]), 0) << "MBTiles level " << level;
    EXPECT_EQ(readFile(dir.path("world.mbtiles")), before);

    // Deep Zoom as libvips writes it: tiles of 50 with 3 pixels of overlap.
    writeFile(dir.path("picture.png"), levelPng(dir, 0, pictureLevels[0], 0, 0, pictureLevels[0]));
    ASSERT_EQ(runCommand("vips dzsave " + dir.path("picture.png") + " " + dir.path("zoom") + " --tile-size 50 --overlap 3 --suffix .png").status, 0);
    const auto deepZoom = openPyramid(dir.path("zoom.dzi"), label, whyNot);
    ASSERT_TRUE(deepZoom) << whyNot;
    EXPECT_EQ(deepZoom->count(), 10);   // down to a pixel
    EXPECT_TRUE(deepZoom->size(1).width == 150 && deepZoom->size(3).height == 25);
    EXPECT_EQ(misplacedInWindows(*deepZoom, 0, pictureLevels[0]), 0) << "Deep Zoom";
}

TEST(Pyramid, MissingAndDamagedTilesDrawnFromCoarserLevelsAndBadOnesRefused)
{
    TempDir dir;
    writeTiles(dir, pictureLevels, false, [&](int zoom, std::uint32_t column, std::uint32_t row, const std::string& png) {
        // Of the finest level, tile (1, 1) is missing and (2, 1) cut short; of the next, (1, 0).
        if ((zoom == 3 && column == 1 && row == 1) || (zoom == 2 && column == 1 && row == 0))
            return;
        putFile(dir.path("sparse"), zoom, column, row, zoom == 3 && column == 2 && row == 1 ? png.substr(0, png.size() / 2) : png);
    });
    std::string whyNot, damage, label;
    const auto sparse = openPyramid(dir.path("sparse"), label, whyNot);
    ASSERT_TRUE(sparse) << whyNot;
    // The finest level's tile (1, 1), 64 to 128 across and down, from the next level; (2, 1), whose
    // place that level lacks too, from the one after.
    const ImageSize finest = sparse->size(0);
    EXPECT_EQ(misplaced(*sparse, 0, PixelArea{64, finest.height - 128, 64, 64}, [](long x, long y) { return told(1, x / 2, y / 2); }, &damage), 0);
    EXPECT_EQ(misplaced(*sparse, 0, PixelArea{128, finest.height - 128, 64, 64}, [](long x, long y) { return told(2, x / 4, y / 4); }, &damage), 0);
    EXPECT_NE(damage.find("tile 3/2/1.png: "), std::string::npos) << damage;
    // Every time, though libvips's threads can lose a loader's error (in one of ten such small tiles).
    std::vector<std::uint8_t> noise(16 * 16 * 3);
    std::generate(noise.begin(), noise.end(), [n = 0u]() mutable { return std::uint8_t(n++ * 7919 >> 3); });
    ASSERT_EQ(writePng(dir.path("noise.png"), 16, 16, noise.data()), "");
    TilePixels tile;
    for (int attempt = 0; attempt < 2000; ++attempt)
        ASSERT_FALSE(decodeTile(readFile(dir.path("noise.png")).substr(0, 60), {16, 16}, tile, whyNot)) << attempt;
    EXPECT_EQ(misplaced(*sparse, 0, PixelArea{0, finest.height - 64, 64, 64}, [](long x, long y) { return told(0, x, y); }), 0);
    // No coarser level has it: white, the colour around the picture.
    std::filesystem::remove(dir.path("sparse/0/0/0.png"));
    const auto bare = openPyramid(dir.path("sparse"), label, whyNot);
    ASSERT_TRUE(bare) << whyNot;
    EXPECT_EQ(misplaced(*bare, 3, PixelArea{0, 0, 38, 25}, [](long, long) { return Colour{255, 255, 255}; }), 0);

    // Pyramids that cannot be read, each with why.
    writeFile(dir.path("lost.dzi"), R"(<Image TileSize="254" Overlap="1" Format="jpeg"><Size Width="1000" Height="800"/></Image>)");
    writeFile(dir.path("odd.dzi"), R"(<Image TileSize="254" Overlap="1"><Size Width="1000"/></Image>)");
    writeFile(dir.path("empty.mbtiles"), "");
    writeFile(dir.path("text.mbtiles"), "not a database at all, only text");
    std::filesystem::create_directories(dir.path("plain/notes"));
    for (const std::string name : {"lost.dzi", "odd.dzi", "empty.mbtiles", "text.mbtiles", "plain", "absent.dzi"}) {
        whyNot.clear();
        EXPECT_FALSE(openPyramid(dir.path(name), label, whyNot)) << name;
        EXPECT_FALSE(whyNot.empty()) << name;
    }
}

TEST(ServedPyramid, TemplatesAndTileJsonReadEachPixelFromItsPlaceAndWhatIsNoneRefused)
{
    TempDir dir;
    TileServer server(dir.str(), {"/broken/*=flaky:1"});
    const auto fetcher = quickFetcher();
    writeFolder(dir, dir.path("xyz"), world, false);
    writeFolder(dir, dir.path("broken"), world, false);
    writeFolder(dir, dir.path("tms"), world, true);
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
            EXPECT_EQ(misplaced(*pyramid, level, std::nullopt, [&](long x, long y) { return told(level, x, y); }), 0) << argument << " level " << level;
    }

    // A bare template's zooms and tile size as most servers have them, 0 to 19 of 256 pixels, and
    // as deep as the viewer goes.
    std::string label, whyNot, damage;
    const auto world = openServedPyramid(server.url("xyz/{z}/{x}/{y}.png"), fetcher, label, whyNot);
    const auto deepest = openServedPyramid(server.url("xyz/{z}/{x}/{y}.png#maxzoom=22"), fetcher, label, whyNot);
    ASSERT_TRUE(world && deepest) << whyNot;
    EXPECT_EQ(world->count(), 20);
    EXPECT_TRUE(world->size(0).height == 256u << 19 && deepest->size(0).width == 1u << 30);

    // A missing tile is drawn from the next level without complaint; a failing one is named, and
    // so is one that would decode to far more pixels than a tile has.
    std::filesystem::remove(dir.path("xyz/2/1/1.png"));
    const std::vector<std::uint8_t> white(1000 * 1000 * 3, 255);
    ASSERT_EQ(writePng(dir.path("xyz/2/0/0.png"), 1000, 1000, white.data()), "");
    const auto sparse = openServedPyramid(server.url("xyz/tiles.json"), fetcher, label, whyNot);
    const auto broken = openServedPyramid(server.url("broken/{z}/{x}/{y}.png#tilesize=64&maxzoom=2"), fetcher, label, whyNot);
    ASSERT_TRUE(sparse && broken) << whyNot;
    EXPECT_EQ(misplaced(*sparse, 0, PixelArea{64, 128, 64, 64}, [](long x, long y) { return told(1, x / 2, y / 2); }, &damage), 0);
    EXPECT_EQ(damage, "");
    EXPECT_EQ(misplaced(*sparse, 0, PixelArea{0, 192, 64, 64}, [](long x, long y) { return told(1, x / 2, y / 2); }, &damage), 0);
    EXPECT_NE(damage.find("/2/0/0.png: it is 1000 x 1000 pixels, more than a tile of 64 x 64 may have"), std::string::npos) << damage;
    EXPECT_EQ(misplaced(*broken, 2, std::nullopt, [](long, long) { return Colour{255, 255, 255}; }, &damage), 0);
    EXPECT_EQ(damage.rfind(server.url("broken/0/0/0.png: "), 0), 0u) << damage;
    EXPECT_NE(damage.find("500"), std::string::npos) << damage;
    // Not asked for again at once, but a few seconds later, when the server has it.
    EXPECT_EQ(misplaced(*broken, 2, std::nullopt, [](long, long) { return Colour{255, 255, 255}; }), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5100));
    EXPECT_EQ(misplaced(*broken, 2, std::nullopt, [](long x, long y) { return told(2, x, y); }), 0);

    // What is no served pyramid, refused with why.
    EXPECT_TRUE(isServedPyramid("HTTPS://example.org/info.json") && isServedPyramid("maps/tiles.json"));
    EXPECT_FALSE(isServedPyramid("maps/tiles.png") || isServedPyramid("ftp://example.org/tiles.json.gz"));
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
        whyNot.clear();
        EXPECT_FALSE(openServedPyramid(argument, fetcher, label, whyNot)) << argument;
        EXPECT_NE(whyNot.find(why), std::string::npos) << argument << ": " << whyNot;
        EXPECT_EQ(whyNot.find("json.exception"), std::string::npos) << whyNot;
    }
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
        EXPECT_TRUE(pyramid->size(2).width == 62 && pyramid->size(2).height == 46) << document;
        for (int level = 0; level < 3; ++level) {
            const double shrink = std::ldexp(1.0, level), centre = (shrink - 1) / 2;
            const double tolerance = level == 0 && document != "iiif/v3/info.json" ? 0 : 5;   // PNG's own pixels are exact
            EXPECT_EQ(misplaced(*pyramid, level, std::nullopt, [&](long x, long y) { return Colour{x * shrink + centre, y * shrink + centre, 100}; }, nullptr, tolerance), 0)
                << document << " level " << level;
        }
    }
    EXPECT_EQ(readFile(dir.path("log")).find(" 404"), std::string::npos) << "asked for tiles libvips did not write";
}
