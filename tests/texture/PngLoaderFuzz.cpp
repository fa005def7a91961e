// libFuzzer target: loadPng on arbitrary bytes. Every input must either decode to a buffer of
// exactly width * height * 3 bytes or fail cleanly; the sanitizers report anything else.
#include "TextureCatalogue.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // loadPng reads a file, so each input goes through one, removed when the fuzzer exits.
    static const struct InputFile {
        std::string path = "/tmp/clv-fuzz-" + std::to_string(getpid()) + ".png";
        ~InputFile() { std::remove(path.c_str()); }
    } input;
    std::ofstream(input.path, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));

    TextureCatalogue catalogue;
    if (catalogue.loadPng(input.path.c_str())) {
        // Touch every byte the upload would read: ASan flags a buffer shorter than claimed.
        volatile unsigned sum = 0;
        for (std::size_t i = 0; i < std::size_t(catalogue.width) * catalogue.height * 3; ++i)
            sum = sum + catalogue.pixels[i];
        std::free(catalogue.pixels);
    }
    return 0;
}
