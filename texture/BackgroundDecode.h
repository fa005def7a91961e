// A picture decoded on a thread of its own, so that the program's loop goes on meanwhile. The
// thread only decodes: it touches no GL and nothing of the program's, and hands the picture over
// once it is done. Dropping the decode cancels it; its thread then ends on its own.
#pragma once

#include "ImageSource.h"

#include <chrono>
#include <memory>
#include <string>

class BackgroundDecode {
public:
    // Starts decoding `source`, shrunk to fit `limit` (see ImageSource::decode).
    BackgroundDecode(std::shared_ptr<const ImageSource> source, std::uint32_t limit);
    ~BackgroundDecode();
    BackgroundDecode(const BackgroundDecode&) = delete;
    BackgroundDecode& operator=(const BackgroundDecode&) = delete;

    bool finished() const;
    float done() const;      // the share decoded so far, 0 to 1
    double seconds() const;  // since it started
    // Once finished: true and the picture, or false and why.
    bool result(DecodedPicture& picture, std::string& whyNot);

private:
    struct Shared;
    std::shared_ptr<Shared> shared;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};
