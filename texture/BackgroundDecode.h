// A picture decoded on a thread of its own, into a buffer others may read from as its rows come,
// so that the program's loop goes on meanwhile and can upload what is done. The thread only
// decodes: it touches no GL and nothing of the program's. Dropping the decode cancels it; its
// thread then ends on its own.
#pragma once

#include "ImageSource.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class BackgroundDecode {
public:
    // How a picture of `size` is decoded into its buffer, rows counted in the progress as they
    // come from the top (see ImageSource::decode); false and why if it cannot be.
    using Decoder = std::function<bool(unsigned char* bottomFirst, std::string& whyNot, DecodeProgress& progress)>;
    // Starts decoding a picture of `size` with `decoder`.
    BackgroundDecode(ImageSize size, Decoder decoder);
    ~BackgroundDecode();
    BackgroundDecode(const BackgroundDecode&) = delete;
    BackgroundDecode& operator=(const BackgroundDecode&) = delete;

    ImageSize size() const;
    // 8-bit RGB, rows packed, bottom row first; the top rowsDone() rows are final.
    const unsigned char* pixels() const;
    std::uint32_t rowsDone() const;
    float done() const;      // the share decoded so far, 0 to 1
    double seconds() const;  // since it started
    // Once finished: every row is done if it succeeded; if not, whyNot says why.
    bool finished() const;
    bool succeeded(std::string& whyNot) const;
    // Once finished and successful: the buffer, the caller's to free().
    unsigned char* release();

private:
    struct Shared;
    std::shared_ptr<Shared> shared;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};
