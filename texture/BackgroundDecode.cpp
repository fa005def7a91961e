#include "BackgroundDecode.h"

#include <thread>

// What the thread and its owner share; the last of the two to let go frees it.
struct BackgroundDecode::Shared {
    DecodeProgress progress;
    std::atomic<bool> finished{false};
    bool decoded = false;   // written by the thread before `finished`
    DecodedPicture picture;
    std::string whyNot;
};

BackgroundDecode::BackgroundDecode(std::shared_ptr<const ImageSource> source, std::uint32_t limit)
    : shared(std::make_shared<Shared>())
{
    std::thread([shared = shared, source = std::move(source), limit] {
        shared->decoded = source->decode(limit, shared->picture, shared->whyNot, shared->progress);
        shared->finished.store(true, std::memory_order_release);
    }).detach();
}

BackgroundDecode::~BackgroundDecode()
{
    shared->progress.cancelled = true;
}

bool BackgroundDecode::finished() const
{
    return shared->finished.load(std::memory_order_acquire);
}

float BackgroundDecode::done() const
{
    return shared->progress.done;
}

double BackgroundDecode::seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

bool BackgroundDecode::result(DecodedPicture& picture, std::string& whyNot)
{
    if (!shared->decoded) {
        whyNot = shared->whyNot;
        return false;
    }
    picture = std::move(shared->picture);
    return true;
}
