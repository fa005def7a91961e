// libFuzzer target: pictures through libvips, whatever their format. Every input opens and decodes,
// every row within the size asked, or fails with a reason; the sanitizers report anything else.
#include "ImageSource.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t byteCount)
{
    // Pictures are read from files, so each input goes through one, removed when the fuzzer exits.
    static const struct InputFile {
        std::string path = "/tmp/clv-fuzz-picture-" + std::to_string(getpid());
        ~InputFile() { std::remove(path.c_str()); }
    } input;
    std::ofstream(input.path, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(byteCount));

    std::string whyNot;
    const auto source = ImageSource::open(input.path, whyNot);
    if (!source) {
        if (whyNot.empty())
            std::abort();
        return 0;
    }
    // A small limit keeps each decode quick; shrinking is what large pictures get.
    constexpr std::uint32_t limit = 64;
    // Exactly the buffer the size takes: ASan flags a decode that writes past it.
    const ImageSize size = source->shrunkSize(limit);
    std::vector<unsigned char> rgb(std::size_t(size.width) * size.height * 3);
    DecodeProgress progress;
    if (!source->decode(size, rgb.data(), whyNot, progress)) {
        if (whyNot.empty())
            std::abort();
        return 0;
    }
    if (size.width == 0 || size.height == 0 || size.width > limit || size.height > limit || progress.rows != size.height)
        std::abort();
    return 0;
}
