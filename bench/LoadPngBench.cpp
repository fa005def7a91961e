// loadPng of each texture image against libpng's own simplified reading API decoding the same
// file to 8-bit RGB: the decode that libpng itself offers as the easy way. Run from the folder
// with the texture images.
#include "TextureCatalogue.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdlib>
#include <string>

namespace {

const char* const imageFiles[] = {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"};

void loadPng(benchmark::State& state, const char* file)
{
    TextureCatalogue catalogue;
    for (auto _ : state) {
        if (!catalogue.loadPng(file)) {
            state.SkipWithError("loadPng failed");
            return;
        }
        std::free(catalogue.pixels);
    }
}

void libpngSimplified(benchmark::State& state, const char* file)
{
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, file)) {
            state.SkipWithError(image.message);
            return;
        }
        image.format = PNG_FORMAT_RGB;
        auto* pixels = static_cast<png_bytep>(std::malloc(PNG_IMAGE_SIZE(image)));
        if (!png_image_finish_read(&image, nullptr, pixels, 0, nullptr)) {
            std::free(pixels);
            state.SkipWithError(image.message);
            return;
        }
        std::free(pixels);
    }
}

const bool registered = [] {
    for (const char* file : imageFiles) {
        benchmark::RegisterBenchmark((std::string("loadpng/") + file).c_str(), loadPng, file)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("libpng_simplified/") + file).c_str(), libpngSimplified, file)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
