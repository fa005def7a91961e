// A pyramid kept as tiles, whatever holds them (a folder, an MBTiles file, a Deep Zoom image): the
// levels the clipmap reads, each window composed of the tiles it covers, decoded by libvips. What
// holds them only fetches a tile's bytes; the grid they lie on is described by a TileLayout.
//
// Pyramids are sparse: where a tile is missing, or cannot be decoded, its place is drawn from the
// finest coarser level that has it, each coarser pixel covering the finer ones it stands for;
// where no level has it, white, the colour around the picture. Nothing of this fails a read: a
// tile that cannot be decoded is named once, with why, and drawn as a missing one.
// Decoded tiles are kept, the most recently used, up to 16 MiB, so that a window moved by a step, or
// the coarse tile that many missing ones are drawn from, costs no decode again; a tile that could
// not be read at all is not kept: it is left alone for a few seconds (the window that asked for it,
// and the coarser levels drawn in its place, do not ask again), and asked for again after that.
#pragma once

#include "PictureLevels.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct TilePixels;

struct TileLayout {
    std::uint32_t tileWidth = 256, tileHeight = 256;
    // Deep Zoom's: a tile also holds this many of its neighbours' pixels on each side it has one.
    std::uint32_t overlap = 0;
    // TMS and MBTiles count rows from the bottom, their grid laid from the picture's bottom edge;
    // the others from the top edge.
    bool rowsFromBottom = false;
    std::vector<ImageSize> levels;   // the finest first
};

// Where a tile lies: its level, column and row, as the layout counts them.
struct TilePlace {
    int level;
    std::uint32_t column, row;
};

// A tile's file as fetched: the bytes, or nothing if the pyramid has none there; `read` false and
// why if it cannot be read.
struct FetchedTile {
    bool read = true;
    std::optional<std::string> bytes;
    std::string whyNot;
};

class TileStore {
public:
    virtual ~TileStore() = default;
    // Into `bytes`, the file of the tile at `column` and `row` (as the layout counts them) of
    // `level`, or nothing if the pyramid has none there; false and why if it cannot be read.
    // Any thread, several at once.
    virtual bool fetch(int level, std::uint32_t column, std::uint32_t row, std::optional<std::string>& bytes, std::string& whyNot) const = 0;
    // The files of all these tiles, in order: one by one, or all at once where the store can
    // (a server, whose answers take their time). Any thread, several at once.
    virtual std::vector<FetchedTile> fetchAll(const std::vector<TilePlace>& places) const;
    // How the tile is named to the user: its file, or its place.
    virtual std::string tileName(int level, std::uint32_t column, std::uint32_t row) const = 0;
};

class TiledLevels : public PictureLevels {
public:
    TiledLevels(TileLayout layout, std::unique_ptr<TileStore> store);
    ~TiledLevels() override;

    int count() const override { return int(layout.levels.size()); }
    ImageSize size(int level) const override { return layout.levels[std::size_t(level)]; }
    bool read(int level, const PixelArea& area, unsigned char* bottomFirst, std::string& whyNot, std::string& damage) const override;

    // Reads all of `level` into `bottomFirst` (rows packed, the bottom row first), a row of tiles
    // at a time, on this thread and one more; `rowsDone(rows)` is told, on either, how many rows
    // from the top are in. Stops, false, as soon as it returns false. For the picture's copy.
    bool readWhole(int level, unsigned char* bottomFirst, std::string& damage, const std::function<bool(std::uint32_t rows)>& rowsDone) const;

private:
    struct Cache;
    // The tile, decoded, from the cache or the store; null if it is missing or damaged.
    std::shared_ptr<const TilePixels> tile(int level, std::uint32_t column, std::uint32_t row, std::string& damage) const;
    // The tile fetched, decoded and kept; null if it is missing or damaged, which `damage` then says.
    std::shared_ptr<const TilePixels> decoded(const TilePlace& place, FetchedTile& fetched, std::string& damage) const;
    // Fetches, decodes and keeps the tiles of `level` in these columns and rows that are not kept
    // yet, all at once; each of them, by column and row, null if missing or damaged.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::shared_ptr<const TilePixels>> fetchMissing(
        int level, std::uint32_t firstColumn, std::uint32_t lastColumn, std::uint32_t firstRow, std::uint32_t lastRow, std::string& damage) const;
    // Draws `area` of `level` from the next coarser level, or white if there is none.
    void fillFromCoarser(int level, const PixelArea& area, unsigned char* bottomFirst, std::string& damage) const;

    TileLayout layout;
    std::unique_ptr<TileStore> store;
    std::unique_ptr<Cache> cache;
};

