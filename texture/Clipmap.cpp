#include "Clipmap.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

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
        std::string whyNot;
    };

    std::shared_ptr<const PictureLevels> levels;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Request> queue;   // the finest levels first
    std::vector<Arrival> arrivals;
    bool stopping = false;

    // A worker: reads the windows asked for, one after the other, until the clipmap goes.
    void serve()
    {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            wake.wait(held, [this] { return stopping || !queue.empty(); });
            if (stopping)
                return;
            const Request request = queue.front();
            queue.pop_front();
            held.unlock();
            Arrival arrival{request.level, request.area, std::vector<unsigned char>(std::size_t(request.area.width) * request.area.height * 3), ""};
            if (!levels->read(request.level, request.area, arrival.pixels.data(), arrival.whyNot))
                arrival.pixels.clear();
            held.lock();
            arrivals.push_back(std::move(arrival));
        }
    }
};

// A window arrived, going up a strip at a time into the tile of its level not shown.
struct Clipmap::Upload {
    PixelArea area;
    std::vector<unsigned char> pixels;
    std::uint32_t rowsDone = 0;
};

Clipmap::Clipmap(std::shared_ptr<const PictureLevels> levels, std::uint32_t windowSide)
    : work(std::make_shared<Work>()), side(windowSide)
{
    const int count = levels->count();
    for (int level = 0; level < count; ++level)
        shown.push_back({levels->size(level), {0, 0, 0, 0}, 0, 0});
    shownTile.assign(std::size_t(count), 0);
    wanted.assign(std::size_t(count), PixelArea{0, 0, 0, 0});
    underWay.resize(std::size_t(count));
    uploads.resize(std::size_t(count));
    failed.assign(std::size_t(count), false);
    columns = std::uint32_t(std::ceil(std::sqrt(2.0 * count)));
    work->levels = std::move(levels);
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

ImageSize Clipmap::atlasSize() const
{
    const std::uint32_t tiles = 2 * std::uint32_t(shown.size());
    return {columns * side, (tiles + columns - 1) / columns * side};
}

std::uint64_t Clipmap::textureBytes(int levels, std::uint32_t windowSide)
{
    return 2 * std::uint64_t(levels) * windowSide * windowSide * 4;
}

bool Clipmap::follow(std::complex<double> focus)
{
    if (!atlasName) {
        const ImageSize size = atlasSize();
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGenTextures(1, &atlasName);
        glBindTexture(GL_TEXTURE_2D, atlasName);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, GLsizei(size.width), GLsizei(size.height), 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    }
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
        if (arrival.pixels.empty()) {
            failed[std::size_t(arrival.level)] = true;
            readFailure = arrival.whyNot;
            continue;
        }
        // The newest window of a level replaces one still going up: the tile it goes to is not shown.
        uploads[std::size_t(arrival.level)].reset(new Upload{arrival.area, std::move(arrival.pixels), 0});
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
        const std::uint32_t tile = 2 * std::uint32_t(level) + 1 - shownTile[level];
        const std::uint32_t tileX = tile % columns * side, tileY = tile / columns * side;
        const std::uint32_t rows = std::min(rowsLeft, upload->area.height - upload->rowsDone);
        glTexSubImage2D(GL_TEXTURE_2D, 0, GLint(tileX), GLint(tileY + upload->rowsDone), GLsizei(upload->area.width), GLsizei(rows), GL_RGB,
                        GL_UNSIGNED_BYTE, upload->pixels.data() + std::size_t(upload->rowsDone) * upload->area.width * 3);
        upload->rowsDone += rows;
        rowsLeft -= rows;
        if (upload->rowsDone == upload->area.height) {
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
