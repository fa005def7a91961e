// make_pyramids FOLDER: the pyramids the detail benchmark opens, made once, of PNG tiles 256
// pixels square: FOLDER/world, an XYZ folder 2^28 pixels a side (zoom 0 to 20), and
// FOLDER/world.mbtiles, the same down to zoom 12 (2^20 pixels a side). Both are whole down to zoom
// 4 (4096 pixels, the viewer's copy) and below that have only the tiles within three of the
// benchmark's jump places, as deep pyramids are sparse. The tiles are noise over a gradient, so
// that they cost what photographs cost to decode. Each is made under another name until whole.
#include "JumpPlaces.h"
#include "PngWriter.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int tileSide = 256, wholeTo = 4, xyzDeepest = 20, mbtilesDeepest = 12;

// The tile's PNG file, made if it is not there yet.
std::string tileFile(const std::filesystem::path& folder, int zoom, long x, long y)
{
    const std::filesystem::path file = folder / std::to_string(zoom) / std::to_string(x) / (std::to_string(y) + ".png");
    if (std::filesystem::exists(file))
        return file.string();
    std::filesystem::create_directories(file.parent_path());
    std::vector<std::uint8_t> rgb;
    std::uint32_t noise = std::uint32_t(zoom * 7919 + x * 104729 + y * 1299709);
    for (int row = 0; row < tileSide; ++row)
        for (int column = 0; column < tileSide; ++column) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 26);
            rgb.insert(rgb.end(), {std::uint8_t(column / 2 + grain), std::uint8_t(row / 2 + grain), std::uint8_t(zoom * 12 + grain)});
        }
    if (!writePng(file.string(), tileSide, tileSide, rgb.data()).empty())
        return "";
    return file.string();
}

// The tiles of a zoom: all of them down to wholeTo, then those near the jump places. XYZ rows,
// from the top.
std::set<std::pair<long, long>> tilesOf(int zoom)
{
    const long count = 1L << zoom;
    std::set<std::pair<long, long>> tiles;
    for (long x = 0; zoom <= wholeTo && x < count; ++x)
        for (long y = 0; y < count; ++y)
            tiles.insert({x, y});
    for (const std::complex<double>& place : jumpPlaces)
        for (long dx = -3; dx <= 3; ++dx)
            for (long dy = -3; dy <= 3; ++dy) {
                const long x = long((place.real() + 1) / 2 * count) + dx, y = long((1 - place.imag()) / 2 * count) + dy;
                if (x >= 0 && y >= 0 && x < count && y < count)
                    tiles.insert({x, y});
            }
    return tiles;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pyramids FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1], xyz = folder / "world", mbtiles = folder / "world.mbtiles";
    if (!std::filesystem::exists(xyz)) {
        const std::filesystem::path making = folder / "making-world";
        for (int zoom = 0; zoom <= xyzDeepest; ++zoom)
            for (const auto& [x, y] : tilesOf(zoom))
                if (tileFile(making, zoom, x, y).empty())
                    return 1;
        std::filesystem::rename(making, xyz);
    }
    if (!std::filesystem::exists(mbtiles)) {
        const std::string making = (folder / "making-world.mbtiles").string();
        std::filesystem::remove(making);
        sqlite3* database = nullptr;
        sqlite3_stmt* insert = nullptr;
        if (sqlite3_open(making.c_str(), &database) != SQLITE_OK ||
            sqlite3_exec(database,
                         "CREATE TABLE metadata (name TEXT, value TEXT); CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
                         "tile_data BLOB); CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row); INSERT INTO metadata VALUES "
                         "('name', 'world'), ('format', 'png'), ('minzoom', '0'), ('maxzoom', '12'); BEGIN",
                         nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(database, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &insert, nullptr) != SQLITE_OK)
            return 1;
        for (int zoom = 0; zoom <= mbtilesDeepest; ++zoom)
            for (const auto& [x, y] : tilesOf(zoom)) {
                std::ifstream file(tileFile(xyz, zoom, x, y), std::ios::binary);
                const std::string png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
                // MBTiles counts rows from the bottom.
                sqlite3_bind_int(insert, 1, zoom);
                sqlite3_bind_int64(insert, 2, x);
                sqlite3_bind_int64(insert, 3, (1L << zoom) - 1 - y);
                sqlite3_bind_blob(insert, 4, png.data(), int(png.size()), SQLITE_TRANSIENT);
                if (sqlite3_step(insert) != SQLITE_DONE)
                    return 1;
                sqlite3_reset(insert);
            }
        sqlite3_finalize(insert);
        if (sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK || sqlite3_close(database) != SQLITE_OK)
            return 1;
        std::filesystem::rename(making, mbtiles);
    }
    return 0;
}
