// A Deep Zoom image: the .dzi file gives the picture's size, the tile size, the overlap and the
// format; level l of its _files folder is the picture shrunk to ceil(size / 2^(top - l)), top the
// level of its own pixels, in tiles named column_row from the top-left corner.
#include "Pyramid.h"

#include <cmath>
#include <filesystem>

namespace {

class DeepZoomTiles : public TileStore {
public:
    DeepZoomTiles(std::filesystem::path folder, int top, std::string format) : folder(std::move(folder)), top(top), format(std::move(format)) {}
    bool fetch(int level, std::uint32_t column, std::uint32_t row, std::optional<std::string>& bytes, std::string& whyNot) const override
    {
        const std::filesystem::path file = folder / std::to_string(top - level) / (std::to_string(column) + "_" + std::to_string(row) + "." + format);
        std::error_code error;
        if (!std::filesystem::exists(file, error))
            return !error;
        bytes.emplace();
        return readWholeFile(file.string(), *bytes, whyNot);
    }
    std::string tileName(int level, std::uint32_t column, std::uint32_t row) const override
    {
        return "tile " + std::to_string(top - level) + "/" + std::to_string(column) + "_" + std::to_string(row) + "." + format;
    }

private:
    std::filesystem::path folder;
    int top;
    std::string format;
};

std::uint32_t number(const std::string& text)
{
    return text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9 ? 0 : std::uint32_t(std::stoul(text));
}

} // namespace

std::unique_ptr<TiledLevels> openDeepZoom(const std::string& path, std::string& whyNot)
{
    std::string text;
    if (!readWholeFile(path, text, whyNot))
        return nullptr;
    const std::uint32_t width = number(xmlAttribute(text, "Size", "Width")), height = number(xmlAttribute(text, "Size", "Height"));
    const std::uint32_t tileSide = number(xmlAttribute(text, "Image", "TileSize"));
    const std::string overlap = xmlAttribute(text, "Image", "Overlap"), format = xmlAttribute(text, "Image", "Format");
    if (width == 0 || height == 0 || tileSide == 0 || (!overlap.empty() && number(overlap) == 0 && overlap != "0") || format.empty() ||
        format.find_first_of("/\\") != std::string::npos) {
        whyNot = "not a Deep Zoom image: its Image element lacks a valid TileSize, Overlap, Format or Size";
        return nullptr;
    }
    std::filesystem::path folder(path);
    folder.replace_extension();
    folder += "_files";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        whyNot = "its tiles are missing: there is no folder " + folder.string();
        return nullptr;
    }
    const int top = int(std::ceil(std::log2(double(std::max(width, height)))));
    // Down to the coarsest level it has: a pyramid written to one tile stops there.
    int coarsest = top;
    while (coarsest > 0 && std::filesystem::is_directory(folder / std::to_string(coarsest - 1), error))
        --coarsest;
    TileLayout layout;
    layout.tileWidth = layout.tileHeight = tileSide;
    layout.overlap = number(overlap);
    for (int level = top; level >= coarsest; --level) {
        const double shrink = std::ldexp(1.0, top - level);
        layout.levels.push_back({std::uint32_t(std::ceil(width / shrink)), std::uint32_t(std::ceil(height / shrink))});
    }
    return std::make_unique<TiledLevels>(std::move(layout), std::make_unique<DeepZoomTiles>(folder, top, format));
}
