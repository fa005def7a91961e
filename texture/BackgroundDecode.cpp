#include "BackgroundDecode.h"

#include <sys/mman.h>

#include <cstdlib>
#include <thread>

namespace {

// A buffer from malloc. One of hundreds of megabytes is backed by huge pages where the system
// offers them: faulting it in 4 KiB at a time can cost more than decoding into it.
unsigned char* pictureBuffer(std::size_t bytes)
{
    constexpr std::size_t hugePage = std::size_t(2) << 20;
    if (bytes < 8 * hugePage)
        return static_cast<unsigned char*>(std::malloc(bytes));
    const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
    void* buffer = std::aligned_alloc(hugePage, rounded);
    if (buffer)
        madvise(buffer, rounded, MADV_HUGEPAGE);
    return static_cast<unsigned char*>(buffer);
}

} // namespace

// What the thread and its owner share; the last of the two to let go frees it.
struct BackgroundDecode::Shared {
    ImageSize size{0, 0};
    unsigned char* pixels = nullptr;
    DecodeProgress progress;
    std::atomic<bool> finished{false};
    bool decoded = false;   // written by the thread before `finished`
    std::string whyNot;

    ~Shared() { std::free(pixels); }
};

BackgroundDecode::BackgroundDecode(ImageSize size, Decoder decoder)
    : shared(std::make_shared<Shared>())
{
    shared->size = size;
    shared->pixels = pictureBuffer(std::size_t(shared->size.width) * shared->size.height * 3);
    if (!shared->pixels) {
        shared->whyNot = "out of memory";
        shared->finished = true;
        return;
    }
    std::thread([shared = shared, decoder = std::move(decoder)] {
        shared->decoded = decoder(shared->pixels, shared->whyNot, shared->progress);
        shared->finished.store(true, std::memory_order_release);
    }).detach();
}

BackgroundDecode::~BackgroundDecode()
{
    shared->progress.cancelled = true;
}

ImageSize BackgroundDecode::size() const
{
    return shared->size;
}

const unsigned char* BackgroundDecode::pixels() const
{
    return shared->pixels;
}

std::uint32_t BackgroundDecode::rowsDone() const
{
    return shared->progress.rows.load(std::memory_order_acquire);
}

float BackgroundDecode::done() const
{
    return shared->size.height ? float(rowsDone()) / float(shared->size.height) : 0.0f;
}

double BackgroundDecode::seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

bool BackgroundDecode::finished() const
{
    return shared->finished.load(std::memory_order_acquire);
}

bool BackgroundDecode::succeeded(std::string& whyNot) const
{
    whyNot = shared->whyNot;
    return shared->decoded;
}

unsigned char* BackgroundDecode::release()
{
    unsigned char* pixels = shared->pixels;
    shared->pixels = nullptr;
    return pixels;
}
