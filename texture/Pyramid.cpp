#include "Pyramid.h"

#include "ServedPyramid.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

bool endsWith(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

} // namespace

bool isPyramid(const std::string& path)
{
    std::error_code ignored;
    return isServedPyramid(path) || std::filesystem::is_directory(path, ignored) || endsWith(path, ".mbtiles") || endsWith(path, ".dzi");
}

std::shared_ptr<const TiledLevels> openPyramid(const std::string& path, std::string& label, std::string& whyNot)
{
    if (isServedPyramid(path)) {
        // One fetcher for every served pyramid: its connections and its cache are the process's.
        static const auto fetcher = [] {
            FetchOptions options;
            options.cacheFolder = HttpFetcher::defaultCacheFolder();
            // The tests' servers hang and stall on purpose; they lower the timeouts to seconds.
            if (const char* seconds = std::getenv("CLV_HTTP_TIMEOUT"); seconds && std::atoi(seconds) > 0) {
                options.connectTimeout = options.wholeTimeout = std::chrono::seconds(std::atoi(seconds));
                options.firstBackOff = std::chrono::milliseconds(50);
            }
            return std::make_shared<HttpFetcher>(options);
        }();
        return openServedPyramid(path, fetcher, label, whyNot);
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        return openTileFolder(path, whyNot);
    if (endsWith(path, ".mbtiles"))
        return openMBTiles(path, whyNot);
    return openDeepZoom(path, whyNot);
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& whyNot)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream read;
    if (file)
        read << file.rdbuf();
    if (!file || file.bad()) {
        whyNot = "cannot read " + path;
        return false;
    }
    bytes = read.str();
    return true;
}

std::string xmlAttribute(const std::string& text, const std::string& element, const std::string& attribute)
{
    // The whole name, not the start of a longer one.
    std::size_t start = text.find("<" + element);
    while (start != std::string::npos && start + element.size() + 1 < text.size() &&
           !std::isspace(static_cast<unsigned char>(text[start + element.size() + 1])) && text[start + element.size() + 1] != '/' &&
           text[start + element.size() + 1] != '>')
        start = text.find("<" + element, start + 1);
    if (start == std::string::npos)
        return "";
    const std::size_t end = text.find('>', start);
    const std::string tag = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (std::size_t at = tag.find(attribute + "="); at != std::string::npos; at = tag.find(attribute + "=", at + 1)) {
        if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1])))
            continue;
        const std::size_t open = at + attribute.size() + 1;
        const char quote = open < tag.size() ? tag[open] : '\0';
        const std::size_t close = tag.find(quote, open + 1);
        if ((quote == '"' || quote == '\'') && close != std::string::npos)
            return tag.substr(open + 1, close - open - 1);
    }
    return "";
}
