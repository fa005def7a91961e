// make_textures OUTPUT_DIR: draws the viewer's four texture images into OUTPUT_DIR.
#include "Textures.h"

#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr int outputSize = 1024;
constexpr int oversampling = 2;

bool make(const std::string& path, const std::function<void(Canvas&)>& draw)
{
    Canvas canvas(outputSize, oversampling);
    draw(canvas);
    const std::string failure = canvas.writePng(path);
    if (failure.empty())
        return true;
    std::fprintf(stderr, "make_textures: cannot write %s: %s\n", path.c_str(), failure.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_textures OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const bool written = make(dir + "galaxie.png", drawGalaxy) && make(dir + "cantonales.png", drawElectionMap) &&
                         make(dir + "treemap.png", [](Canvas& c) { drawTreemap(c, false); }) &&
                         make(dir + "ctreemap.png", [](Canvas& c) { drawTreemap(c, true); });
    return written ? 0 : 1;
}
