// An MBTiles file, read through SQLite, read-only: its metadata table gives the zoom range and
// the tiles' format, and zoom z is the whole world's grid of 2^z tiles a side, rows counted from
// the bottom as the format says. One connection serves every thread, a statement at a time.
#include "Pyramid.h"

#include "ImageSource.h"

#include <sqlite3.h>

#include <cmath>
#include <mutex>

namespace {

// The deepest a pyramid may go: positions are carried to 2^30 pixels a side.
constexpr int deepestSideLog2 = 30;

class MBTilesTiles : public TileStore {
public:
    // Takes the connection.
    explicit MBTilesTiles(sqlite3* database) : database(database)
    {
        sqlite3_prepare_v2(database, "SELECT tile_data FROM tiles WHERE zoom_level = ? AND tile_column = ? AND tile_row = ?", -1, &statement, nullptr);
    }
    ~MBTilesTiles() override
    {
        sqlite3_finalize(statement);
        sqlite3_close(database);
    }
    bool fetch(int level, std::uint32_t column, std::uint32_t row, std::optional<std::string>& bytes, std::string& whyNot) const override
    {
        const std::lock_guard<std::mutex> held(lock);
        sqlite3_bind_int(statement, 1, maxZoom - level);
        sqlite3_bind_int64(statement, 2, column);
        sqlite3_bind_int64(statement, 3, row);
        const int status = sqlite3_step(statement);
        if (status == SQLITE_ROW)
            bytes.emplace(static_cast<const char*>(sqlite3_column_blob(statement, 0)), std::size_t(sqlite3_column_bytes(statement, 0)));
        else if (status != SQLITE_DONE)
            whyNot = sqlite3_errmsg(database);
        sqlite3_reset(statement);
        return status == SQLITE_ROW || status == SQLITE_DONE;
    }
    std::string tileName(int level, std::uint32_t column, std::uint32_t row) const override
    {
        return "tile " + std::to_string(maxZoom - level) + "/" + std::to_string(column) + "/" + std::to_string(row);
    }
    bool prepared() const { return statement != nullptr; }
    void countFrom(int deepestZoom) { maxZoom = deepestZoom; }

private:
    sqlite3* database;
    sqlite3_stmt* statement = nullptr;
    int maxZoom = 0;   // level 0's
    mutable std::mutex lock;
};

// The text of the first column of the first row of `query`, or empty.
std::string firstValue(sqlite3* database, const char* query)
{
    sqlite3_stmt* statement = nullptr;
    std::string value;
    if (sqlite3_prepare_v2(database, query, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW &&
        sqlite3_column_type(statement, 0) != SQLITE_NULL)
        value.assign(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return value;
}

bool isNumber(const std::string& text)
{
    return !text.empty() && text.size() < 4 && text.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

std::unique_ptr<TiledLevels> openMBTiles(const std::string& path, std::string& whyNot)
{
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        whyNot = std::string("SQLite cannot open it: ") + (database ? sqlite3_errmsg(database) : "out of memory");
        sqlite3_close(database);
        return nullptr;
    }
    auto tiles = std::make_unique<MBTilesTiles>(database);
    std::string minZoom = firstValue(database, "SELECT value FROM metadata WHERE name = 'minzoom'");
    std::string maxZoom = firstValue(database, "SELECT value FROM metadata WHERE name = 'maxzoom'");
    if (!isNumber(minZoom) || !isNumber(maxZoom)) {
        minZoom = firstValue(database, "SELECT MIN(zoom_level) FROM tiles");
        maxZoom = firstValue(database, "SELECT MAX(zoom_level) FROM tiles");
    }
    const std::string format = firstValue(database, "SELECT value FROM metadata WHERE name = 'format'");
    if (!tiles->prepared() || !isNumber(minZoom) || !isNumber(maxZoom) || std::stoi(minZoom) > std::stoi(maxZoom)) {
        whyNot = "not an MBTiles file of raster tiles: " + std::string(tiles->prepared() ? "it has no tiles, or no zoom range" : sqlite3_errmsg(database));
        return nullptr;
    }
    if (format == "pbf") {
        whyNot = "its tiles are vector tiles (pbf), not pictures";
        return nullptr;
    }
    const int coarsest = std::stoi(minZoom), deepest = std::stoi(maxZoom);
    tiles->countFrom(deepest);
    // The tiles' size, from one of the deepest.
    sqlite3_stmt* statement = nullptr;
    std::string bytes;
    if (sqlite3_prepare_v2(database, "SELECT tile_data FROM tiles WHERE zoom_level = ? LIMIT 1", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_bind_int(statement, 1, deepest) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        bytes.assign(static_cast<const char*>(sqlite3_column_blob(statement, 0)), std::size_t(sqlite3_column_bytes(statement, 0)));
    sqlite3_finalize(statement);
    TilePixels tile;
    if (!decodeTile(bytes, largestTile, tile, whyNot)) {
        whyNot = "its tiles cannot be read: " + (bytes.empty() ? std::string("it has none at zoom ") + maxZoom : whyNot);
        return nullptr;
    }
    TileLayout layout;
    layout.tileWidth = layout.tileHeight = tile.size.width;
    layout.rowsFromBottom = true;
    if (tile.size.width != tile.size.height || double(tile.size.width) * std::ldexp(1.0, deepest) > std::ldexp(1.0, deepestSideLog2)) {
        whyNot = "its tiles are " + std::to_string(tile.size.width) + " x " + std::to_string(tile.size.height) + " pixels at zoom " + maxZoom +
                 ": the viewer takes square tiles and pyramids of up to 2^30 pixels a side";
        return nullptr;
    }
    for (int zoom = deepest; zoom >= coarsest; --zoom)
        layout.levels.push_back({tile.size.width << zoom, tile.size.width << zoom});
    return std::make_unique<TiledLevels>(std::move(layout), std::move(tiles));
}
