// Files from HTTP and HTTPS servers, for pyramids served as tiles and the documents that describe
// them: fetched through libcurl's multi interface on a thread of its own, many at once over a
// bounded number of reused connections a host, and kept in a disk cache shared by every viewer of
// the user. It knows nothing of levels, tiles' pixels or the GL.
//
// What it does about the network: only http and https, also on redirects, which are bounded; a
// User-Agent that names the viewer; timeouts for connecting and for a whole file; retries with
// growing back-off for timeouts, dropped connections and server errors (5xx), none for a missing
// file (404 and the like); 429 and Retry-After honoured; a file larger than the limit refused.
// What it does about the cache: an entry a URL, named by a hash of it that no URL can steer,
// holding the URL itself (a different URL is a miss), the server's validators and freshness; whole
// or absent (written aside and renamed into place); fresh entries served without asking, stale
// ones revalidated (If-None-Match, If-Modified-Since) and served as they are when the server cannot
// be reached; a file the server says is missing kept as missing for as long as it says; bounded,
// the least recently used going first.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FetchResult {
    enum class Outcome { Fetched, Missing, Failed };
    Outcome outcome = Outcome::Failed;
    std::string bytes;        // the file, when fetched
    std::string whyNot;       // when missing or failed, on one line: "HTTP 404", "timed out after 20 s", ...
    bool fromCache = false;   // served from the disk cache, without a transfer
};

struct FetchOptions {
    std::string cacheFolder;                              // empty: no disk cache
    std::uint64_t cacheBound = std::uint64_t(1) << 30;    // bytes
    int connectionsPerHost = 4;
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds wholeTimeout{20000};        // for one transfer, start to end
    int attempts = 4;                                     // of a transfer that times out, drops or meets a server error
    std::chrono::milliseconds firstBackOff{200};          // doubled after each
    std::uint64_t largest = std::uint64_t(16) << 20;      // bytes of one file
    int redirects = 5;
};

class HttpFetcher {
public:
    explicit HttpFetcher(FetchOptions options);
    // Lets go of its thread, which ends once what is in flight is given up.
    ~HttpFetcher();
    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    // Fetches every URL at once, as many at a time as the options allow, and returns their
    // results in the same order. Any thread, several at once; blocks the caller only. What waits
    // for a connection starts in the order of `priority`, the lowest first.
    std::vector<FetchResult> fetchAll(const std::vector<std::string>& urls, int priority = 0);
    FetchResult fetch(const std::string& url) { return fetchAll({url}).front(); }

    // The user's cache folder for the viewer: $XDG_CACHE_HOME/complex-log-viewer/tiles, else
    // ~/.cache/complex-log-viewer/tiles.
    static std::string defaultCacheFolder();

private:
    struct Shared;
    std::shared_ptr<Shared> shared;
};
