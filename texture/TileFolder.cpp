// A folder of tiles as gdal2tiles writes them, {z}/{x}/{y}.{extension}.
// - TMS, with its tilemapresource.xml: rows counted from the bottom. Its raster profile gives the
//   picture's size (its bounding box over the deepest zoom's units per pixel), laid from the
//   bottom-left corner; the others are the whole world's grid, 2^z tiles a side (2^(z+1) wide for
//   the geodetic one).
// - XYZ, without it: rows counted from the top. Its size is the grid as far as its tiles reach,
//   at the deepest zoom or as far as a coarser zoom's whole tiles reach; the extent that
//   gdal2tiles's viewer page gives a picture of its raster profile is taken where there is one.
// Tiles may be of any size; what is transparent in them (gdal2tiles pads the picture's edges)
// lies on white.
#include "Pyramid.h"

#include "ImageSource.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>

namespace fs = std::filesystem;

namespace {

class FolderTiles : public TileStore {
public:
    FolderTiles(fs::path folder, int deepest, std::string extension) : folder(std::move(folder)), deepest(deepest), extension(std::move(extension)) {}
    bool fetch(int level, std::uint32_t column, std::uint32_t row, std::optional<std::string>& bytes, std::string& whyNot) const override
    {
        const fs::path file = folder / relative(level, column, row);
        std::error_code error;
        if (!fs::exists(file, error))
            return !error;
        bytes.emplace();
        return readWholeFile(file.string(), *bytes, whyNot);
    }
    std::string tileName(int level, std::uint32_t column, std::uint32_t row) const override { return "tile " + relative(level, column, row); }

private:
    std::string relative(int level, std::uint32_t column, std::uint32_t row) const
    {
        return std::to_string(deepest - level) + "/" + std::to_string(column) + "/" + std::to_string(row) + "." + extension;
    }
    fs::path folder;
    int deepest;
    std::string extension;
};

// The number a file or folder is named by, before its extension; -1 if it is not one.
long numberNamed(const fs::path& entry)
{
    const std::string stem = entry.stem().string();
    return stem.empty() || stem.size() > 9 || stem.find_first_not_of("0123456789") != std::string::npos ? -1 : std::stol(stem);
}

// The numbered entries of a folder, by number.
std::map<long, fs::path> numbered(const fs::path& folder)
{
    std::map<long, fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (numberNamed(entry->path()) >= 0)
            entries[numberNamed(entry->path())] = entry->path();
    return entries;
}

// How far the tiles of one zoom reach: the greatest column and row, from at most a few hundred of
// its columns' folders (all of a sparse zoom's, the first and last of a dense one's).
std::pair<long, long> reachOf(const std::map<long, fs::path>& columns)
{
    long lastRow = -1;
    std::size_t looked = 0;
    for (auto column = columns.begin(); column != columns.end(); ++column, ++looked)
        if (columns.size() <= 256 || looked < 128 || looked + 128 >= columns.size())
            if (const auto rows = numbered(column->second); !rows.empty())
                lastRow = std::max(lastRow, rows.rbegin()->first);
    return {columns.empty() ? -1 : columns.rbegin()->first, lastRow};
}

// The first tile file found at a zoom, for its extension and size.
fs::path sampleTile(const std::map<long, fs::path>& columns)
{
    for (const auto& [number, column] : columns)
        for (const auto& [row, file] : numbered(column))
            if (fs::is_regular_file(file))
                return file;
    return {};
}

} // namespace

std::unique_ptr<TiledLevels> openTileFolder(const std::string& path, std::string& whyNot)
{
    const fs::path folder(path);
    std::map<long, fs::path> zooms = numbered(folder);
    std::string resource;
    std::error_code error;
    const bool tms = fs::exists(folder / "tilemapresource.xml", error);
    if (tms && !readWholeFile((folder / "tilemapresource.xml").string(), resource, whyNot))
        return nullptr;
    if (zooms.empty()) {
        whyNot = "not a folder of tiles: it has no zoom folders named 0, 1, 2 and so on";
        return nullptr;
    }
    const int deepest = int(zooms.rbegin()->first), coarsest = int(zooms.begin()->first);
    const std::map<long, fs::path> deepestColumns = numbered(zooms.rbegin()->second);
    const fs::path sample = sampleTile(deepestColumns);
    std::string bytes;
    TilePixels tile;
    if (sample.empty() || !readWholeFile(sample.string(), bytes, whyNot) || !decodeTile(bytes, largestTile, tile, whyNot)) {
        whyNot = sample.empty() ? "not a folder of tiles: zoom " + std::to_string(deepest) + " has no tiles" : sample.string() + ": " + whyNot;
        return nullptr;
    }
    TileLayout layout;
    layout.tileWidth = tile.size.width;
    layout.tileHeight = tile.size.height;
    layout.rowsFromBottom = tms;
    const std::string extension = sample.extension().string().substr(1);
    // The deepest level's size in pixels; each coarser one is its half, rounded up.
    double width = 0, height = 0;
    const std::string profile = xmlAttribute(resource, "TileSets", "profile");
    if (tms && profile == "raster") {
        // Units per pixel at the deepest zoom: that of the coarsest tile set, halved down to it.
        const double units = std::atof(xmlAttribute(resource, "TileSet", "units-per-pixel").c_str()) /
                             std::ldexp(1.0, deepest - std::atoi(xmlAttribute(resource, "TileSet", "href").c_str()));
        width = std::round((std::atof(xmlAttribute(resource, "BoundingBox", "maxx").c_str()) - std::atof(xmlAttribute(resource, "BoundingBox", "minx").c_str())) / units);
        height = std::round((std::atof(xmlAttribute(resource, "BoundingBox", "maxy").c_str()) - std::atof(xmlAttribute(resource, "BoundingBox", "miny").c_str())) / units);
    } else if (tms) {
        width = std::ldexp(double(layout.tileWidth), deepest + (profile == "geodetic" ? 1 : 0));
        height = std::ldexp(double(layout.tileHeight), deepest);
    } else {
        std::string page;
        std::smatch extent;
        std::string ignored;
        if (readWholeFile((folder / "openlayers.html").string(), page, ignored) &&
            std::regex_search(page, extent, std::regex(R"(extent:\s*\[\s*0\s*,\s*-(\d+)\s*,\s*(\d+)\s*,\s*0\s*\])"))) {
            width = std::stod(extent[2]);
            height = std::stod(extent[1]);
        } else {
            for (const auto& [zoom, columns] : zooms) {
                const auto [lastColumn, lastRow] = zoom == deepest ? reachOf(deepestColumns) : reachOf(numbered(columns));
                const double scale = std::ldexp(1.0, deepest - int(zoom));
                width = std::max(width, (double(lastColumn) + 1) * scale * layout.tileWidth);
                height = std::max(height, (double(lastRow) + 1) * scale * layout.tileHeight);
            }
        }
    }
    if (!(width >= 1 && height >= 1 && width <= std::ldexp(1.0, 30) && height <= std::ldexp(1.0, 30))) {
        whyNot = "its size cannot be told, or is more than 2^30 pixels a side";
        return nullptr;
    }
    for (int zoom = deepest; zoom >= coarsest; --zoom) {
        const double shrink = std::ldexp(1.0, deepest - zoom);
        layout.levels.push_back({std::uint32_t(std::ceil(width / shrink)), std::uint32_t(std::ceil(height / shrink))});
    }
    return std::make_unique<TiledLevels>(std::move(layout), std::make_unique<FolderTiles>(folder, deepest, extension));
}
