// glGenerateMipmap, OpenGL 3.0's: the exact texturing that draws a clipmap needs it already.
#define GL_GLEXT_PROTOTYPES
#include "Clipmap.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// A window's next level: each pixel the mean of the (up to) four it covers, rounded; sides halved,
// rounded up. Rows packed, bottom first, as the window's. Not shrinkImage: for an odd side its
// partition is not the blocks of two that GL's next mipmap level covers.
std::vector<unsigned char> halved(const std::vector<unsigned char>& pixels, std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t halfWidth = (width + 1) / 2, halfHeight = (height + 1) / 2;
    std::vector<unsigned char> half(std::size_t(halfWidth) * halfHeight * 3);
    for (std::uint32_t y = 0; y < halfHeight; ++y)
        for (std::uint32_t x = 0; x < halfWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                unsigned sum = 0, count = 0;
                for (std::uint32_t dy = 0; dy < 2 && 2 * y + dy < height; ++dy)
                    for (std::uint32_t dx = 0; dx < 2 && 2 * x + dx < width; ++dx, ++count)
                        sum += pixels[(std::size_t(2 * y + dy) * width + 2 * x + dx) * 3 + std::size_t(c)];
                half[(std::size_t(y) * halfWidth + x) * 3 + std::size_t(c)] = static_cast<unsigned char>((sum + count / 2) / count);
            }
    return half;
}

void forget(std::vector<PixelArea>& areas, const PixelArea& area)
{
    const auto found = std::find(areas.begin(), areas.end(), area);
    if (found != areas.end())
        areas.erase(found);
}

// How many rows of windows one follow() uploads at most: about three quarters of a megabyte, a
// fraction of a frame's time.
constexpr std::size_t stripBytes = 768 * 1024;
constexpr int workerCount = 2;

} // namespace

// What the main loop and the workers share; the last of them to let go frees it.
struct Clipmap::Work {
    struct Request {
        int level;
        PixelArea area;
    };
    struct Arrival {
        int level;
        PixelArea area;
        std::vector<unsigned char> pixels;   // empty if the read failed
        std::vector<unsigned char> half;     // its next level, halved
        std::string whyNot;
        std::string damage;                  // a tile drawn from coarser levels, and why
    };

    std::shared_ptr<const PictureLevels> levels;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Request> queue;   // the finest levels first
    std::vector<Arrival> arrivals;
    bool stopping = false;

    // A worker: reads the windows asked for, one after the other, until the clipmap goes. It runs
    // only on time the program's loop and the GL leave over, so that frames keep their pace
    // while windows stream in.
    void serve()
    {
        const sched_param idle{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            wake.wait(held, [this] { return stopping || !queue.empty(); });
            if (stopping)
                return;
            const Request request = queue.front();
            queue.pop_front();
            held.unlock();
            Arrival arrival{request.level, request.area, std::vector<unsigned char>(std::size_t(request.area.width) * request.area.height * 3), {}, "", ""};
            if (levels->read(request.level, request.area, arrival.pixels.data(), arrival.whyNot, arrival.damage))
                arrival.half = halved(arrival.pixels, request.area.width, request.area.height);
            else
                arrival.pixels.clear();
            held.lock();
            arrivals.push_back(std::move(arrival));
        }
    }
};

// A window arrived, going up a strip at a time into the tile of its level not shown: its rows,
// then its next level's.
struct Clipmap::Upload {
    PixelArea area;
    std::vector<unsigned char> pixels, half;
    std::uint32_t rowsDone = 0;   // of both
};

Clipmap::Clipmap(std::shared_ptr<const PictureLevels> levels, int count, std::uint32_t windowSide, const unsigned char* copyPixels, ImageSize copySize)
    : work(std::make_shared<Work>()), side(windowSide), copy(copySize)
{
    for (int level = 0; level < count; ++level)
        shown.push_back({levels->size(level), {0, 0, 0, 0}, 0, 0});
    shownTile.assign(std::size_t(count), 0);
    wanted.assign(std::size_t(count), PixelArea{0, 0, 0, 0});
    underWay.resize(std::size_t(count));
    uploads.resize(std::size_t(count));
    failed.assign(std::size_t(count), false);
    work->levels = std::move(levels);
    makeAtlas(copyPixels);
    for (int worker = 0; worker < workerCount; ++worker)
        std::thread([work = work] { work->serve(); }).detach();
}

Clipmap::~Clipmap()
{
    {
        const std::lock_guard<std::mutex> held(work->lock);
        work->stopping = true;
        work->queue.clear();
    }
    work->wake.notify_all();
    if (atlasName)
        glDeleteTextures(1, &atlasName);
}

const PictureLevels& Clipmap::pyramid() const
{
    return *work->levels;
}

namespace {

std::uint32_t wholeWindows(std::uint32_t length, std::uint32_t side)
{
    return std::max<std::uint32_t>(1, (length + side - 1) / side);
}

} // namespace

// The tiles go beside the copy, in as many rows as its windows, or under it, in as many columns,
// whichever keeps the atlas's longer side the shorter: a long thin picture's many levels would
// otherwise make an atlas wider than a GL allows.
struct Clipmap::Layout {
    Layout(int levels, std::uint32_t windowSide, ImageSize copySize)
        : side(windowSide), copyColumns(wholeWindows(copySize.width, side)), copyRows(wholeWindows(copySize.height, side)),
          tiles(2 * std::uint32_t(levels))
    {
        const std::uint32_t columnsBeside = (tiles + copyRows - 1) / copyRows, rowsUnder = (tiles + copyColumns - 1) / copyColumns;
        beside = std::max(copyColumns + columnsBeside, copyRows) <= std::max(copyColumns, copyRows + rowsUnder);
        size = beside ? ImageSize{(copyColumns + columnsBeside) * side, copyRows * side} : ImageSize{copyColumns * side, (copyRows + rowsUnder) * side};
    }
    std::pair<std::uint32_t, std::uint32_t> tileAt(std::uint32_t tile) const
    {
        return beside ? std::pair{(copyColumns + tile / copyRows) * side, tile % copyRows * side}
                      : std::pair{tile % copyColumns * side, (copyRows + tile / copyColumns) * side};
    }
    std::uint32_t side, copyColumns, copyRows, tiles;
    bool beside;
    ImageSize size;
};

ImageSize Clipmap::atlasSizeFor(int levels, std::uint32_t windowSide, ImageSize copySize)
{
    return Layout(levels, windowSide, copySize).size;
}

std::uint64_t Clipmap::textureBytes(int levels, std::uint32_t windowSide, ImageSize copySize)
{
    const ImageSize atlas = atlasSizeFor(levels, windowSide, copySize);
    return std::uint64_t(atlas.width) * atlas.height * 4 * 4 / 3;
}

std::pair<std::uint32_t, std::uint32_t> Clipmap::tileAt(std::uint32_t tile) const
{
    return Layout(int(shown.size()), side, copy).tileAt(tile);
}

void Clipmap::makeAtlas(const unsigned char* copyPixels)
{
    const ImageSize size = atlasSize();
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGenTextures(1, &atlasName);
    glBindTexture(GL_TEXTURE_2D, atlasName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, GLsizei(size.width), GLsizei(size.height), 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    // The copy in whole windows, its edges carried on to theirs, so that its mipmaps do not fade
    // into what lies beside it.
    const std::uint32_t width = wholeWindows(copy.width, side) * side, height = wholeWindows(copy.height, side) * side;
    std::vector<unsigned char> padded;
    if (width != copy.width || height != copy.height) {
        padded.resize(std::size_t(width) * height * 3);
        for (std::uint32_t y = 0; y < height; ++y) {
            unsigned char* row = &padded[std::size_t(y) * width * 3];
            if (y >= copy.height) {
                std::memcpy(row, row - std::size_t(width) * 3, std::size_t(width) * 3);
                continue;
            }
            std::memcpy(row, copyPixels + std::size_t(y) * copy.width * 3, std::size_t(copy.width) * 3);
            for (std::uint32_t x = copy.width; x < width; ++x)
                std::memcpy(row + std::size_t(x) * 3, row + std::size_t(copy.width - 1) * 3, 3);
        }
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(width), GLsizei(height), GL_RGB, GL_UNSIGNED_BYTE, padded.empty() ? copyPixels : padded.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
}

bool Clipmap::follow(std::complex<double> focus)
{
    takeArrivals();
    const bool changed = uploadStrips();
    for (int level = 0; level < int(shown.size()); ++level) {
        wanted[std::size_t(level)] = windowAround(focus, level);
        const PixelArea& area = wanted[std::size_t(level)];
        const auto& asked = underWay[std::size_t(level)];
        const auto& upload = uploads[std::size_t(level)];
        if (!failed[std::size_t(level)] && !(shown[std::size_t(level)].window == area) && std::find(asked.begin(), asked.end(), area) == asked.end() &&
            !(upload && upload->area == area))
            ask(level, area);
    }
    return changed;
}

bool Clipmap::settled() const
{
    for (std::size_t level = 0; level < shown.size(); ++level)
        if (!failed[level] && (!(shown[level].window == wanted[level]) || !underWay[level].empty() || uploads[level]))
            return false;
    return true;
}

bool Clipmap::uploading() const
{
    if (std::any_of(uploads.begin(), uploads.end(), [](const auto& upload) { return upload != nullptr; }))
        return true;
    const std::lock_guard<std::mutex> held(work->lock);
    return !work->arrivals.empty();
}

PixelArea Clipmap::windowAround(std::complex<double> focus, int level) const
{
    const ImageSize size = shown[std::size_t(level)].size;
    const std::uint32_t width = std::min(side, size.width), height = std::min(side, size.height);
    const double step = std::max<std::uint32_t>(1, side / 4);
    auto placed = [&](double centre, std::uint32_t extent, std::uint32_t length) {
        const double snapped = std::round((centre - extent / 2.0) / step) * step;
        return std::uint32_t(std::clamp(snapped, 0.0, double(length - extent)));
    };
    return {placed((focus.real() + 1) / 2 * size.width, width, size.width), placed((focus.imag() + 1) / 2 * size.height, height, size.height),
            width, height};
}

void Clipmap::ask(int level, const PixelArea& area)
{
    {
        const std::lock_guard<std::mutex> held(work->lock);
        // A request of this level that no worker has taken yet gives way to the new one.
        auto& asked = underWay[std::size_t(level)];
        for (auto request = work->queue.begin(); request != work->queue.end();)
            if (request->level == level) {
                forget(asked, request->area);
                request = work->queue.erase(request);
            } else {
                ++request;
            }
        const auto before = std::find_if(work->queue.begin(), work->queue.end(), [&](const Work::Request& request) { return request.level > level; });
        work->queue.insert(before, {level, area});
        asked.push_back(area);
    }
    work->wake.notify_one();
}

void Clipmap::takeArrivals()
{
    std::vector<Work::Arrival> arrived;
    {
        const std::lock_guard<std::mutex> held(work->lock);
        arrived.swap(work->arrivals);
    }
    for (Work::Arrival& arrival : arrived) {
        forget(underWay[std::size_t(arrival.level)], arrival.area);
        if (tileDamage.empty())
            tileDamage = arrival.damage;
        if (arrival.pixels.empty()) {
            failed[std::size_t(arrival.level)] = true;
            readFailure = arrival.whyNot;
            continue;
        }
        // The newest window of a level replaces one still going up: the tile it goes to is not shown.
        uploads[std::size_t(arrival.level)].reset(new Upload{arrival.area, std::move(arrival.pixels), std::move(arrival.half), 0});
    }
}

bool Clipmap::uploadStrips()
{
    std::uint32_t rowsLeft = std::uint32_t(std::max<std::size_t>(1, stripBytes / (std::size_t(side) * 3)));
    bool changed = false;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, atlasName);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (std::size_t level = 0; level < shown.size() && rowsLeft > 0; ++level) {
        Upload* upload = uploads[level].get();
        if (!upload)
            continue;
        const auto [tileX, tileY] = tileAt(2 * std::uint32_t(level) + 1 - shownTile[level]);
        const std::uint32_t height = upload->area.height, halfHeight = (height + 1) / 2;
        while (rowsLeft > 0 && upload->rowsDone < height + halfHeight) {
            // The window's rows first, then its next level's, in the tile's place at that level.
            const bool half = upload->rowsDone >= height;
            const std::uint32_t row = half ? upload->rowsDone - height : upload->rowsDone;
            const std::uint32_t width = half ? (upload->area.width + 1) / 2 : upload->area.width;
            const std::uint32_t rows = std::min(rowsLeft, (half ? halfHeight : height) - row);
            glTexSubImage2D(GL_TEXTURE_2D, half ? 1 : 0, GLint(half ? tileX / 2 : tileX), GLint((half ? tileY / 2 : tileY) + row), GLsizei(width),
                            GLsizei(rows), GL_RGB, GL_UNSIGNED_BYTE, (half ? upload->half : upload->pixels).data() + std::size_t(row) * width * 3);
            upload->rowsDone += rows;
            rowsLeft -= rows;
        }
        if (upload->rowsDone == height + halfHeight) {
            shownTile[level] = 1 - shownTile[level];
            shown[level].window = upload->area;
            shown[level].tileX = tileX;
            shown[level].tileY = tileY;
            uploads[level].reset();
            changed = true;
        }
    }
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    return changed;
}
