#include "TiledLevels.h"

#include "ImageSource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

namespace {

// What the decoded tiles kept may take.
constexpr std::size_t cacheBytes = std::size_t(16) << 20;
// How many tiles one read fetches and decodes before it places them.
constexpr std::uint32_t tilesAtOnce = 32;
// How long a tile that could not be read is not asked for again.
constexpr std::chrono::seconds failureRemembered{5};

} // namespace

// The tiles decoded last, and the tiles known to be missing or damaged, by place.
struct TiledLevels::Cache {
    using Place = std::tuple<int, std::uint32_t, std::uint32_t>;
    std::mutex lock;
    std::list<std::pair<Place, std::shared_ptr<const TilePixels>>> recent;   // the most recent first; null: none there
    std::map<Place, decltype(recent)::iterator> byPlace;
    std::size_t bytes = 0;
    std::map<Place, std::chrono::steady_clock::time_point> failed;   // tiles that could not be read, and when

    // Whether the tile could not be read a moment ago: it is not asked for again within the same
    // look at the place (its window and the coarser levels drawn for it), but later it is.
    bool failedLately(const Place& place)
    {
        const std::lock_guard<std::mutex> held(lock);
        const auto found = failed.find(place);
        if (found == failed.end())
            return false;
        if (std::chrono::steady_clock::now() - found->second < failureRemembered)
            return true;
        failed.erase(found);
        return false;
    }
    void fail(const Place& place)
    {
        const std::lock_guard<std::mutex> held(lock);
        failed[place] = std::chrono::steady_clock::now();
    }

    // Whether the tile need not be asked for: kept (null if it is known to be missing or damaged),
    // or it could not be read a moment ago.
    bool known(const Place& place, std::shared_ptr<const TilePixels>& tile) { return find(place, tile) || failedLately(place); }

    bool find(const Place& place, std::shared_ptr<const TilePixels>& tile)
    {
        const std::lock_guard<std::mutex> held(lock);
        const auto found = byPlace.find(place);
        if (found == byPlace.end())
            return false;
        recent.splice(recent.begin(), recent, found->second);
        tile = found->second->second;
        return true;
    }
    void keep(const Place& place, std::shared_ptr<const TilePixels> tile)
    {
        const std::lock_guard<std::mutex> held(lock);
        if (byPlace.count(place))
            return;
        bytes += tile ? tile->pixels.size() : 0;
        recent.emplace_front(place, std::move(tile));
        byPlace[place] = recent.begin();
        while (bytes > cacheBytes || recent.size() > 65536) {
            bytes -= recent.back().second ? recent.back().second->pixels.size() : 0;
            byPlace.erase(recent.back().first);
            recent.pop_back();
        }
    }
};

std::vector<FetchedTile> TileStore::fetchAll(const std::vector<TilePlace>& places) const
{
    std::vector<FetchedTile> fetched(places.size());
    for (std::size_t index = 0; index < places.size(); ++index)
        fetched[index].read = fetch(places[index].level, places[index].column, places[index].row, fetched[index].bytes, fetched[index].whyNot);
    return fetched;
}

TiledLevels::TiledLevels(TileLayout layout, std::unique_ptr<TileStore> store)
    : layout(std::move(layout)), store(std::move(store)), cache(std::make_unique<Cache>())
{
}

TiledLevels::~TiledLevels() = default;

std::shared_ptr<const TilePixels> TiledLevels::tile(int level, std::uint32_t column, std::uint32_t row, std::string& damage) const
{
    std::shared_ptr<const TilePixels> found;
    if (cache->known({level, column, row}, found))
        return found;
    FetchedTile fetched;
    fetched.read = store->fetch(level, column, row, fetched.bytes, fetched.whyNot);
    return decoded({level, column, row}, fetched, damage);
}

std::shared_ptr<const TilePixels> TiledLevels::decoded(const TilePlace& place, FetchedTile& fetched, std::string& damage) const
{
    auto pixels = std::make_shared<TilePixels>();
    if (!fetched.read || (fetched.bytes && !decodeTile(*fetched.bytes, {layout.tileWidth + 2 * layout.overlap, layout.tileHeight + 2 * layout.overlap}, *pixels, fetched.whyNot))) {
        if (damage.empty())
            damage = store->tileName(place.level, place.column, place.row) + ": " + fetched.whyNot;
        pixels.reset();
    } else if (!fetched.bytes) {
        pixels.reset();
    }
    // A tile that could not be read (a server down, a transfer cut) is asked for again with the
    // next window that needs it; one missing or damaged is known to be so.
    if (fetched.read)
        cache->keep({place.level, place.column, place.row}, pixels);
    else
        cache->fail({place.level, place.column, place.row});
    return pixels;
}

std::map<std::pair<std::uint32_t, std::uint32_t>, std::shared_ptr<const TilePixels>> TiledLevels::fetchMissing(
    int level, std::uint32_t firstColumn, std::uint32_t lastColumn, std::uint32_t firstRow, std::uint32_t lastRow, std::string& damage) const
{
    std::vector<TilePlace> wanted;
    std::shared_ptr<const TilePixels> found;
    for (std::uint32_t row = firstRow; row <= lastRow; ++row)
        for (std::uint32_t column = firstColumn; column <= lastColumn; ++column)
            if (!cache->known({level, column, row}, found))
                wanted.push_back({level, column, row});
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::shared_ptr<const TilePixels>> fetchedNow;
    if (wanted.size() < 2)
        return fetchedNow;
    std::vector<FetchedTile> fetched = store->fetchAll(wanted);
    for (std::size_t index = 0; index < wanted.size(); ++index)
        fetchedNow[{wanted[index].column, wanted[index].row}] = decoded(wanted[index], fetched[index], damage);
    return fetchedNow;
}

// The level's pixels are placed in grid coordinates: columns from the left, rows from the edge
// the layout's rows are counted from. Tile (c, r) starts at c * tileWidth, r * tileHeight of
// them, less the overlap it carries of its neighbours before it.
bool TiledLevels::read(int level, const PixelArea& area, unsigned char* bottomFirst, std::string&, std::string& damage) const
{
    const ImageSize levelSize = size(level);
    const std::uint32_t tileWidth = layout.tileWidth, tileHeight = layout.tileHeight, overlap = layout.overlap;
    // The area in grid rows, and back: grid row g of the area is its row `rowOf(g)` from the bottom.
    const std::uint32_t gridTop = layout.rowsFromBottom ? area.y : levelSize.height - area.y - area.height;
    auto rowOf = [&](std::uint32_t gridRow) { return layout.rowsFromBottom ? gridRow - gridTop : area.height - 1 - (gridRow - gridTop); };
    const std::size_t rowBytes = std::size_t(area.width) * 3;
    // The tiles not kept yet, all at once, a server answering them side by side; for a large area
    // a few rows of them at a time, so that what is decoded and not yet placed stays bounded.
    // Those that could not be read are not kept, and not asked for again in this read.
    const std::uint32_t columnFrom = area.x / tileWidth, columnTo = (area.x + area.width - 1) / tileWidth;
    const std::uint32_t rowFrom = gridTop / tileHeight, rowTo = (gridTop + area.height - 1) / tileHeight;
    const std::uint32_t rowsAtOnce = std::max<std::uint32_t>(1, tilesAtOnce / (columnTo - columnFrom + 1));
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::shared_ptr<const TilePixels>> fetchedNow;
    for (std::uint32_t row = rowFrom; row <= rowTo; ++row) {
        if ((row - rowFrom) % rowsAtOnce == 0)
            fetchedNow = fetchMissing(level, columnFrom, columnTo, row, std::min(rowTo, row + rowsAtOnce - 1), damage);
        for (std::uint32_t column = columnFrom; column <= columnTo; ++column) {
            // The part of the area this tile stands for, in grid coordinates.
            const std::uint32_t left = std::max(area.x, column * tileWidth), right = std::min(area.x + area.width, (column + 1) * tileWidth);
            const std::uint32_t top = std::max(gridTop, row * tileHeight), bottom = std::min(gridTop + area.height, (row + 1) * tileHeight);
            const auto now = fetchedNow.find({column, row});
            const std::shared_ptr<const TilePixels> pixels = now != fetchedNow.end() ? now->second : tile(level, column, row, damage);
            // Where the tile's own pixels start, in grid coordinates; it must reach the end of its part.
            const std::uint32_t firstColumn = column * tileWidth - (column > 0 ? overlap : 0);
            const std::uint32_t firstRow = row * tileHeight - (row > 0 && !layout.rowsFromBottom ? overlap : 0);
            const bool whole = pixels && firstColumn + pixels->size.width >= right &&
                               (layout.rowsFromBottom ? pixels->size.height >= bottom - row * tileHeight
                                                      : firstRow + pixels->size.height >= bottom);
            if (pixels && !whole && damage.empty())
                damage = store->tileName(level, column, row) + ": it is " + std::to_string(pixels->size.width) + " x " + std::to_string(pixels->size.height) +
                         " pixels, too small for its place";
            if (!whole) {
                // In the area's own coordinates, counted from its bottom.
                const std::uint32_t lowest = std::min(rowOf(top), rowOf(bottom - 1)), highest = std::max(rowOf(top), rowOf(bottom - 1));
                const PixelArea part{left, area.y + lowest, right - left, highest - lowest + 1};
                std::vector<unsigned char> filled(std::size_t(part.width) * part.height * 3);
                fillFromCoarser(level, part, filled.data(), damage);
                for (std::uint32_t y = 0; y < part.height; ++y)
                    std::memcpy(bottomFirst + (std::size_t(lowest + y) * area.width + (left - area.x)) * 3, &filled[std::size_t(y) * part.width * 3],
                                std::size_t(part.width) * 3);
                continue;
            }
            for (std::uint32_t gridRow = top; gridRow < bottom; ++gridRow) {
                // A tile's rows are stored top first; in a grid laid from the bottom, its last row is the grid's first.
                const std::uint32_t tileRow = layout.rowsFromBottom ? pixels->size.height - 1 - (gridRow - row * tileHeight) : gridRow - firstRow;
                std::memcpy(bottomFirst + std::size_t(rowOf(gridRow)) * rowBytes + std::size_t(left - area.x) * 3,
                            &pixels->pixels[(std::size_t(tileRow) * pixels->size.width + (left - firstColumn)) * 3], std::size_t(right - left) * 3);
            }
        }
    }
    return true;
}

void TiledLevels::fillFromCoarser(int level, const PixelArea& area, unsigned char* bottomFirst, std::string& damage) const
{
    if (level + 1 >= count()) {
        std::memset(bottomFirst, 255, std::size_t(area.width) * area.height * 3);
        return;
    }
    // Each pixel takes the coarser pixel its centre lies in; the levels' sides may be halves rounded up.
    const ImageSize fine = size(level), coarse = size(level + 1);
    auto coarserOf = [](std::uint32_t at, std::uint32_t fineSide, std::uint32_t coarseSide) {
        return std::min(coarseSide - 1, std::uint32_t((std::uint64_t(at) * 2 + 1) * coarseSide / (std::uint64_t(fineSide) * 2)));
    };
    const std::uint32_t x0 = coarserOf(area.x, fine.width, coarse.width), x1 = coarserOf(area.x + area.width - 1, fine.width, coarse.width);
    const std::uint32_t y0 = coarserOf(area.y, fine.height, coarse.height), y1 = coarserOf(area.y + area.height - 1, fine.height, coarse.height);
    const PixelArea coarser{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    std::vector<unsigned char> pixels(std::size_t(coarser.width) * coarser.height * 3);
    std::string whyNot;
    read(level + 1, coarser, pixels.data(), whyNot, damage);
    for (std::uint32_t y = 0; y < area.height; ++y) {
        const std::uint32_t from = coarserOf(area.y + y, fine.height, coarse.height) - y0;
        for (std::uint32_t x = 0; x < area.width; ++x)
            std::memcpy(bottomFirst + (std::size_t(y) * area.width + x) * 3,
                        &pixels[(std::size_t(from) * coarser.width + coarserOf(area.x + x, fine.width, coarse.width) - x0) * 3], 3);
    }
}

bool TiledLevels::readWhole(int level, unsigned char* bottomFirst, std::string& damage, const std::function<bool(std::uint32_t rows)>& rowsDone) const
{
    const ImageSize whole = size(level);
    const std::uint32_t bands = (whole.height + layout.tileHeight - 1) / layout.tileHeight;
    std::atomic<std::uint32_t> next{0};
    std::atomic<bool> stopped{false};
    std::mutex lock;
    std::vector<bool> done(bands, false);
    std::uint32_t inFromTop = 0;   // bands
    // Each thread takes the next band until there are none; the rows in are those of the bands
    // done in a run from the top.
    auto work = [&] {
        for (std::uint32_t band; !stopped && (band = next++) < bands;) {
            const std::uint32_t top = band * layout.tileHeight, rows = std::min(layout.tileHeight, whole.height - top);
            const PixelArea area{0, whole.height - top - rows, whole.width, rows};
            std::string whyNot, found;
            read(level, area, bottomFirst + std::size_t(area.y) * whole.width * 3, whyNot, found);
            const std::lock_guard<std::mutex> held(lock);
            if (damage.empty())
                damage = found;
            done[band] = true;
            while (inFromTop < bands && done[inFromTop])
                ++inFromTop;
            if (!rowsDone(std::min(whole.height, inFromTop * layout.tileHeight)))
                stopped = true;
        }
    };
    std::thread helper(work);
    work();
    helper.join();
    return !stopped;
}
