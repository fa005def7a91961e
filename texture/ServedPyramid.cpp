// Served pyramids: each kind comes down to a TileLayout and the URL of each tile.
// - A tile URL template, bare or from a TileJSON document: zoom z is the whole world's grid of
//   2^z tiles a side, its pixels tileSide * 2^z a side; {y} counts rows from the top and {-y} from
//   the bottom, TileJSON's "tms" scheme the other way round. A bare template may say its tile size
//   and zooms in its fragment, which servers never see: "#tilesize=512&minzoom=0&maxzoom=17".
// - An IIIF Image API service: level l is the picture shrunk by 2^l, each tile a region of the
//   full picture asked for at its shrunk size.
#include "ServedPyramid.h"

#include "Pyramid.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

using nlohmann::json;

namespace {

// Positions are carried to 2^30 pixels a side.
constexpr int deepestSideLog2 = 30;

using TileUrl = std::function<std::string(int level, std::uint32_t column, std::uint32_t row)>;

class ServedTiles : public TileStore {
public:
    ServedTiles(std::shared_ptr<HttpFetcher> fetcher, TileUrl urlOf) : fetcher(std::move(fetcher)), urlOf(std::move(urlOf)) {}
    bool fetch(int level, std::uint32_t column, std::uint32_t row, std::optional<std::string>& bytes, std::string& whyNot) const override
    {
        return taken(fetcher->fetch(urlOf(level, column, row)), bytes, whyNot);
    }
    std::vector<FetchedTile> fetchAll(const std::vector<TilePlace>& places) const override
    {
        std::vector<std::string> urls;
        for (const TilePlace& place : places)
            urls.push_back(urlOf(place.level, place.column, place.row));
        // The finest levels first: their window is the one the focus is waiting for.
        std::vector<FetchResult> results = fetcher->fetchAll(urls, places.empty() ? 0 : places.front().level);
        std::vector<FetchedTile> fetched(places.size());
        for (std::size_t index = 0; index < places.size(); ++index)
            fetched[index].read = taken(std::move(results[index]), fetched[index].bytes, fetched[index].whyNot);
        return fetched;
    }
    std::string tileName(int level, std::uint32_t column, std::uint32_t row) const override { return urlOf(level, column, row); }

private:
    // A missing tile is no fault: served pyramids are sparse below their first levels.
    static bool taken(FetchResult result, std::optional<std::string>& bytes, std::string& whyNot)
    {
        if (result.outcome == FetchResult::Outcome::Fetched)
            bytes = std::move(result.bytes);
        else if (result.outcome == FetchResult::Outcome::Failed)
            whyNot = result.whyNot;
        return result.outcome != FetchResult::Outcome::Failed;
    }
    std::shared_ptr<HttpFetcher> fetcher;
    TileUrl urlOf;
};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

bool isWebUrl(const std::string& text)
{
    return startsWith(lower(text), "http://") || startsWith(lower(text), "https://");
}

// The URL with its scheme in lower case, which is how servers and libcurl expect it.
std::string normalScheme(const std::string& url)
{
    const std::size_t colon = url.find(':');
    return lower(url.substr(0, colon)) + url.substr(colon);
}

std::string withoutFragment(const std::string& url)
{
    return url.substr(0, url.find('#'));
}

// Where the authority of a URL ends: at its path, query or fragment.
std::size_t authorityEnd(const std::string& url)
{
    const std::size_t start = url.find("://") + 3;
    return std::min(url.find_first_of("/?#", start), url.size());
}

// The host a URL names, without user or port.
std::string hostOf(const std::string& url)
{
    if (url.find("://") == std::string::npos)
        return "";
    std::string authority = url.substr(url.find("://") + 3, authorityEnd(url) - url.find("://") - 3);
    authority = authority.substr(authority.find('@') == std::string::npos ? 0 : authority.find('@') + 1);
    const std::size_t port = authority.rfind(':');
    return port != std::string::npos && authority.find(']', port) == std::string::npos ? authority.substr(0, port) : authority;
}

// `reference` read relative to the web URL `base`, as a browser would; libcurl removes the "." and
// ".." segments it may leave.
std::string resolved(const std::string& base, const std::string& reference)
{
    const std::size_t colon = reference.find(':');
    if (colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(reference[0])) &&
        reference.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-") == colon)
        return reference;
    if (startsWith(reference, "//"))
        return base.substr(0, base.find(':') + 1) + reference;
    const std::string root = base.substr(0, authorityEnd(base)), path = base.substr(0, base.find_first_of("?#", root.size()));
    if (startsWith(reference, "/"))
        return root + reference;
    return (path.size() > root.size() ? path.substr(0, path.rfind('/') + 1) : root + "/") + reference;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool isTemplate(const std::string& url)
{
    return url.find("{z}") != std::string::npos && url.find("{x}") != std::string::npos &&
           (url.find("{y}") != std::string::npos || url.find("{-y}") != std::string::npos);
}

// The levels of a template's zooms, from `deepest` (level 0) to `coarsest`.
std::unique_ptr<TiledLevels> openTemplate(const std::string& url, std::shared_ptr<HttpFetcher> fetcher, std::int64_t tileSide, std::int64_t coarsest,
                                          std::int64_t deepest, bool tmsScheme, std::string& whyNot)
{
    if (!isTemplate(url) || !isWebUrl(url)) {
        whyNot = "its tile URL " + url + " is not an http or https URL with {z}, {x} and {y} (or {-y}) in it";
        return nullptr;
    }
    const std::int64_t largest = std::int64_t(1) << deepestSideLog2;
    if (tileSide < 1 || coarsest < 0 || coarsest > deepest || deepest > deepestSideLog2 || tileSide > largest || (tileSide << deepest) > largest) {
        whyNot = "its tiles of " + std::to_string(tileSide) + " pixels at zooms " + std::to_string(coarsest) + " to " + std::to_string(deepest) +
                 " make no pyramid of up to 2^30 pixels a side";
        return nullptr;
    }
    TileLayout layout;
    layout.tileWidth = layout.tileHeight = std::uint32_t(tileSide);
    // {-y} flips the rows of the scheme; with the layout's rows counted from the same edge as the
    // template's, its row goes in as it is.
    const bool flipped = url.find("{-y}") != std::string::npos && url.find("{y}") == std::string::npos;
    layout.rowsFromBottom = tmsScheme != flipped;
    for (std::int64_t zoom = deepest; zoom >= coarsest; --zoom)
        layout.levels.push_back({std::uint32_t(tileSide << zoom), std::uint32_t(tileSide << zoom)});
    auto urlOf = [url = normalScheme(url), deepest, tmsScheme, fromBottom = layout.rowsFromBottom](int level, std::uint32_t column, std::uint32_t row) {
        const std::int64_t zoom = deepest - level;
        const std::uint32_t flippedRow = std::uint32_t((std::int64_t(1) << zoom) - 1 - row);
        const std::uint32_t bottomRow = fromBottom ? row : flippedRow, topRow = fromBottom ? flippedRow : row;
        std::string tile = url;
        replaceAll(tile, "{z}", std::to_string(zoom));
        replaceAll(tile, "{x}", std::to_string(column));
        replaceAll(tile, "{y}", std::to_string(tmsScheme ? bottomRow : topRow));
        replaceAll(tile, "{-y}", std::to_string(tmsScheme ? topRow : bottomRow));
        return tile;
    };
    return std::make_unique<TiledLevels>(std::move(layout), std::make_unique<ServedTiles>(std::move(fetcher), std::move(urlOf)));
}

std::unique_ptr<TiledLevels> openBareTemplate(const std::string& argument, std::shared_ptr<HttpFetcher> fetcher, std::string& whyNot)
{
    std::int64_t tileSide = 256, coarsest = 0, deepest = 19;
    const std::size_t hash = argument.find('#');
    std::string fragment = hash == std::string::npos ? "" : argument.substr(hash + 1);
    while (!fragment.empty()) {
        const std::string setting = fragment.substr(0, fragment.find('&'));
        fragment = fragment.find('&') == std::string::npos ? "" : fragment.substr(fragment.find('&') + 1);
        const std::string key = setting.substr(0, setting.find('=')), value = setting.substr(std::min(setting.find('='), setting.size() - 1) + 1);
        std::int64_t* const target = key == "tilesize" ? &tileSide : key == "minzoom" ? &coarsest : key == "maxzoom" ? &deepest : nullptr;
        if (!target || setting.find('=') == std::string::npos || value.empty() || value.size() > 6 ||
            value.find_first_not_of("0123456789") != std::string::npos) {
            whyNot = "its fragment's \"" + setting + "\" is not tilesize, minzoom or maxzoom = a whole number";
            return nullptr;
        }
        *target = std::stoll(value);
    }
    return openTemplate(withoutFragment(argument), std::move(fetcher), tileSide, coarsest, deepest, false, whyNot);
}

// The whole number `object` has for `key`, `fallback` if it has none, nothing if it is not one.
std::optional<std::int64_t> wholeNumber(const json& object, const char* key, std::int64_t fallback)
{
    if (!object.contains(key))
        return fallback;
    if (!object[key].is_number_integer())
        return std::nullopt;
    return object[key].get<std::int64_t>();
}

std::string text(const json& object, const char* key)
{
    return object.contains(key) && object[key].is_string() ? object[key].get<std::string>() : "";
}

// `documentUrl` is empty for a local file, whose relative tile URLs lead to no server.
std::unique_ptr<TiledLevels> openTileJson(const json& document, const std::string& documentUrl, std::shared_ptr<HttpFetcher> fetcher,
                                          std::string& label, std::string& whyNot)
{
    const std::optional<std::int64_t> coarsest = wholeNumber(document, "minzoom", 0), deepest = wholeNumber(document, "maxzoom", 22);
    const std::optional<std::int64_t> tileSide = wholeNumber(document, document.contains("tileSize") ? "tileSize" : "tilesize", 256);
    const std::string scheme = document.contains("scheme") ? text(document, "scheme") : "xyz";
    if (!coarsest || !deepest || !tileSide || (scheme != "xyz" && scheme != "tms")) {
        whyNot = "its minzoom, maxzoom or tile size is not a whole number, or its scheme neither xyz nor tms";
        return nullptr;
    }
    std::string url = document["tiles"][0].get<std::string>();
    if (!isWebUrl(url) && !documentUrl.empty())
        url = resolved(documentUrl, url);
    label = text(document, "name").empty() ? hostOf(url) : text(document, "name");
    return openTemplate(url, std::move(fetcher), *tileSide, *coarsest, *deepest, scheme == "tms", whyNot);
}

bool mentions(const json& value, const std::string& part)
{
    if (value.is_array())
        return std::any_of(value.begin(), value.end(), [&](const json& item) { return mentions(item, part); });
    return value.is_string() && value.get<std::string>().find(part) != std::string::npos;
}

bool isIiif(const json& document)
{
    return text(document, "protocol") == "http://iiif.io/api/image" || startsWith(text(document, "type"), "ImageService") ||
           (document.contains("@context") && mentions(document["@context"], "iiif.io/api/image"));
}

// The compliance level its profile names (version 2's first item is its URL), 0 if none.
int complianceOf(const json& document)
{
    const json profile = document.value("profile", json());
    const json& name = profile.is_array() && !profile.empty() ? profile[0] : profile;
    return mentions(name, "level2") ? 2 : mentions(name, "level1") ? 1 : 0;
}

// The format tiles are asked in: the first the service prefers that the viewer decodes, else jpg,
// which every service has but a static one that lists others only (libvips writes one format, and
// names it in version 2's profile).
std::string formatOf(const json& document)
{
    const std::set<std::string> decoded{"jpg", "png", "webp", "gif", "tif"};
    for (const json& format : document.value("preferredFormats", json::array()))
        if (format.is_string() && decoded.count(format.get<std::string>()))
            return format.get<std::string>();
    std::vector<std::string> listed;
    for (const json& format : document.value("extraFormats", json::array()))
        if (format.is_string())
            listed.push_back(format.get<std::string>());
    for (const json& item : document.value("profile", json()))
        if (item.is_object())
            for (const json& format : item.value("formats", json::array()))
                if (format.is_string())
                    listed.push_back(format.get<std::string>());
    if (listed.empty() || std::count(listed.begin(), listed.end(), "jpg"))
        return "jpg";
    const auto known = std::find_if(listed.begin(), listed.end(), [&](const std::string& format) { return decoded.count(format) > 0; });
    return known == listed.end() ? "jpg" : *known;
}

std::unique_ptr<TiledLevels> openIiif(const json& document, std::shared_ptr<HttpFetcher> fetcher, std::string& label, std::string& whyNot)
{
    const bool third = text(document, "type") == "ImageService3" || (document.contains("@context") && mentions(document["@context"], "image/3"));
    std::string id = text(document, third ? "id" : "@id");
    while (!id.empty() && id.back() == '/')
        id.pop_back();
    const json tiles = document.value("tiles", json::array());
    const json tile = tiles.is_array() && !tiles.empty() && tiles[0].is_object() ? tiles[0] : json::object();
    const int compliance = complianceOf(document);
    const std::optional<std::int64_t> width = wholeNumber(document, "width", 0), height = wholeNumber(document, "height", 0);
    // A service that can cut any region is asked for tiles of 512 if it suggests none.
    const std::optional<std::int64_t> tileWidth = wholeNumber(tile, "width", compliance > 0 ? 512 : 0);
    const std::optional<std::int64_t> tileHeight = wholeNumber(tile, "height", tileWidth.value_or(0));
    const std::int64_t largest = std::int64_t(1) << deepestSideLog2;
    if (!isWebUrl(id) || !width || !height || !tileWidth || !tileHeight || *width < 1 || *height < 1 || *width > largest || *height > largest ||
        *tileWidth < 1 || *tileHeight < 1 || *tileWidth > largest || *tileHeight > largest) {
        whyNot = "an IIIF info.json without an http or https " + std::string(third ? "id" : "@id") +
                 ", a width and height of up to 2^30 pixels, or (for a static service) the tiles it has";
        return nullptr;
    }
    // Levels of the scale factors listed, 2^l for level l, and coarser ones until a level is one
    // tile, where the service can shrink to any scale; a static service has only those listed,
    // but libvips, which lists all but its coarsest level, also has the next if it is one tile.
    int coarsest = -1;
    for (const json& factor : tile.value("scaleFactors", json::array()))
        for (int level = 0; level <= deepestSideLog2; ++level)
            if (factor.is_number_integer() && factor.get<std::int64_t>() == std::int64_t(1) << level)
                coarsest = std::max(coarsest, level);
    auto oneTile = [&](int level) {
        return ((*width - 1) >> level) + 1 <= *tileWidth && ((*height - 1) >> level) + 1 <= *tileHeight;
    };
    if (compliance > 0)
        while (coarsest < 0 || !oneTile(coarsest))
            ++coarsest;
    else if ((coarsest < 0 || !oneTile(coarsest)) && oneTile(coarsest + 1))
        ++coarsest;
    if (coarsest < 0) {
        whyNot = "a static IIIF service that lists no scale factor of a power of two";
        return nullptr;
    }
    TileLayout layout;
    layout.tileWidth = std::uint32_t(*tileWidth);
    layout.tileHeight = std::uint32_t(*tileHeight);
    for (int level = 0; level <= coarsest; ++level)
        layout.levels.push_back({std::uint32_t(((*width - 1) >> level) + 1), std::uint32_t(((*height - 1) >> level) + 1)});
    // The region in full-size pixels, and its size shrunk by the level's factor, rounded up.
    auto urlOf = [id = normalScheme(id), format = formatOf(document), third, width = *width, height = *height, tileWidth = *tileWidth,
                  tileHeight = *tileHeight](int level, std::uint32_t column, std::uint32_t row) {
        const std::int64_t x = (column * tileWidth) << level, y = (row * tileHeight) << level;
        const std::int64_t w = std::min(tileWidth << level, width - x), h = std::min(tileHeight << level, height - y);
        const std::string across = std::to_string(((w - 1) >> level) + 1), down = third ? std::to_string(((h - 1) >> level) + 1) : "";
        return id + "/" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "," + std::to_string(h) + "/" + across + "," + down +
               "/0/default." + format;
    };
    label = hostOf(id);   // a service has no name of its own
    return std::make_unique<TiledLevels>(std::move(layout), std::make_unique<ServedTiles>(std::move(fetcher), std::move(urlOf)));
}

} // namespace

bool isServedPyramid(const std::string& argument)
{
    const std::string name = lower(argument);
    return isWebUrl(name) || (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0);
}

std::unique_ptr<TiledLevels> openServedPyramid(const std::string& argument, std::shared_ptr<HttpFetcher> fetcher, std::string& label, std::string& whyNot)
{
    const bool web = isWebUrl(argument);
    if (web && isTemplate(withoutFragment(argument))) {
        label = hostOf(argument);
        return openBareTemplate(argument, std::move(fetcher), whyNot);
    }
    const std::string documentUrl = web ? normalScheme(withoutFragment(argument)) : "";
    std::string bytes;
    if (web) {
        FetchResult fetched = fetcher->fetch(documentUrl);
        if (fetched.outcome != FetchResult::Outcome::Fetched) {
            whyNot = "cannot fetch it: " + fetched.whyNot;
            return nullptr;
        }
        bytes = std::move(fetched.bytes);
    } else if (!readWholeFile(argument, bytes, whyNot)) {
        return nullptr;
    }
    json document;
    try {
        document = json::parse(bytes);
    } catch (const json::parse_error& error) {
        // Without nlohmann's "[json.exception.parse_error.101] " before its message.
        const std::string message = error.what();
        const std::size_t start = message.find("] ");
        whyNot = "its JSON cannot be read: " + message.substr(start == std::string::npos ? 0 : start + 2, 200);
        return nullptr;
    }
    if (document.is_object() && isIiif(document))
        return openIiif(document, std::move(fetcher), label, whyNot);
    if (document.is_object() && document.contains("tiles") && document["tiles"].is_array() && !document["tiles"].empty() &&
        document["tiles"][0].is_string())
        return openTileJson(document, documentUrl, std::move(fetcher), label, whyNot);
    whyNot = "not a TileJSON document, an IIIF info.json or a tile URL template";
    return nullptr;
}
