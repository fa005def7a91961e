// Files from a loopback server that fails as networks do: a 404 asked once; errors, drops and cuts
// retried, then given up; Retry-After waited for; hangs timed out; oversized files and bad redirects
// refused at once; many files in place over few connections. The disk cache: fresh entries served,
// stale revalidated, torn fetched again; bounded; shared by two fetchers; served with no server.
#include "HttpFetcher.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <map>

namespace {

using namespace std::chrono_literals;
using Outcome = FetchResult::Outcome;
namespace fs = std::filesystem;

// The bytes of test file `n`, all different.
std::string contentOf(int n, std::size_t size = 3000)
{
    std::string bytes(size + std::size_t(n), '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = char(k * 31 + std::size_t(n) * 7 + (k >> 8));
    return bytes;
}

FetchOptions quick(const std::string& cacheFolder = "", int connectionsPerHost = 4)
{
    FetchOptions options;
    options.cacheFolder = cacheFolder;
    options.connectionsPerHost = connectionsPerHost;
    options.connectTimeout = options.wholeTimeout = 1s;
    options.attempts = 3;
    options.firstBackOff = 20ms;
    options.redirects = 3;
    return options;
}

int logged(const std::string& log, const std::string& line)
{
    const std::string text = "\n" + readFile(log), wanted = "\n" + line + "\n";
    int count = 0;
    for (auto at = text.find(wanted); at != std::string::npos; at = text.find(wanted, at + 1))
        ++count;
    return count;
}

// The server logs a request once answered, maybe after the client has it: wait, then count.
void expectLogged(const std::string& log, const std::map<std::string, int>& lines)
{
    pollUntil([&] { return std::all_of(lines.begin(), lines.end(), [&](const auto& line) { return logged(log, line.first) >= line.second; }); }, 5s);
    for (const auto& [line, count] : lines)
        EXPECT_EQ(logged(log, line), count) << line;
}

// The cache entry that holds `url`.
std::string entryOf(const std::string& cache, const std::string& url)
{
    for (const auto& file : fs::recursive_directory_iterator(cache))
        if (file.is_regular_file() && readFile(file.path()).find("\n" + url + "\n") != std::string::npos)
            return file.path();
    return "";
}

auto timedFetch(HttpFetcher& fetcher, std::vector<std::string> urls)
{
    return std::async(std::launch::async, [&fetcher, urls] {
        const auto start = std::chrono::steady_clock::now();
        auto results = fetcher.fetchAll(urls);
        return std::make_pair(std::move(results), std::chrono::steady_clock::now() - start);
    });
}

} // namespace

TEST(HttpFetcher, RetriesWhatMayPassAndNothingElse)
{
    TempDir root;
    for (int n = 0; n < 12; ++n)
        writeFile(root.path(std::to_string(n)), contentOf(n));
    for (const char* name : {"flaky", "429", "truncate", "hang", "slow"})
        writeFile(root.path(name), contentOf(100));
    const std::string log = root.path("log");
    TileServer server(root.str(), {"--log", log, "/500=500", "/flaky=flaky:2", "/429=429:1", "/drop=drop", "/truncate=truncate", "/oversize=oversize",
                                   "/loop=loop", "/ftp=ftp", "/hang=hang", "/slow=slow:3", "/[0-9]*=slow:0.25"});
    HttpFetcher fetcher(quick("", 16));
    // Twelve answers of a quarter second, two at a time: longer than a transfer may take, which
    // only holds if the transfers waiting for a connection are not yet timed.
    FetchOptions twoAtATime = quick("", 2);
    twoAtATime.attempts = 1;
    HttpFetcher queueing(twoAtATime);

    std::vector<std::string> urls, queuedUrls;
    for (const char* name : {"absent", "500", "flaky", "drop", "truncate", "oversize", "loop", "ftp"})
        urls.push_back(server.url(name));
    for (int n = 0; n < 12; ++n)
        queuedUrls.push_back(server.url(std::to_string(n)));
    auto faults = timedFetch(fetcher, urls), timeouts = timedFetch(fetcher, {server.url("hang"), server.url("slow")});
    auto retryAfter = timedFetch(fetcher, {server.url("429")}), queued = timedFetch(queueing, queuedUrls);

    const auto results = faults.get().first;
    const auto result = [&](std::size_t index) { return std::make_pair(results[index].outcome, results[index].whyNot); };
    EXPECT_EQ(result(0), std::make_pair(Outcome::Missing, std::string("HTTP 404")));
    EXPECT_EQ(result(1), std::make_pair(Outcome::Failed, std::string("HTTP 500, 3 tries")));
    EXPECT_TRUE(results[2].outcome == Outcome::Fetched && results[2].bytes == contentOf(100)) << results[2].whyNot;
    for (std::size_t cut : {3, 4})   // dropped, or cut short: tried again
        EXPECT_TRUE(result(cut).first == Outcome::Failed && result(cut).second.find(", 3 tries") != std::string::npos) << result(cut).second;
    EXPECT_EQ(result(5), std::make_pair(Outcome::Failed, std::string("larger than 16 MiB")));
    for (std::size_t refused : {6, 7})   // a redirect loop, a redirect to ftp (not followed): not tried again
        EXPECT_TRUE(result(refused).first == Outcome::Failed && result(refused).second.find("tries") == std::string::npos) << result(refused).second;
    EXPECT_NE(result(7).second.find("\"ftp\""), std::string::npos) << result(7).second;

    const auto [stuck, stuckTook] = timeouts.get();
    for (const FetchResult& timedOut : stuck)
        EXPECT_EQ(std::make_pair(timedOut.outcome, timedOut.whyNot), std::make_pair(Outcome::Failed, std::string("timed out after 1 s, 3 tries")));
    EXPECT_GE(stuckTook, 2900ms);
    EXPECT_LT(stuckTook, 5500ms);

    const auto [asked, askedTook] = retryAfter.get();
    EXPECT_TRUE(asked[0].outcome == Outcome::Fetched && asked[0].bytes == contentOf(100)) << asked[0].whyNot;
    EXPECT_GE(askedTook, 1s);

    // Many at once, each in its place.
    const auto [inTurn, inTurnTook] = queued.get();
    for (int n = 0; n < 12; ++n)
        EXPECT_TRUE(inTurn[n].outcome == Outcome::Fetched && inTurn[n].bytes == contentOf(n)) << n << ": " << inTurn[n].whyNot;
    EXPECT_GE(inTurnTook, 1400ms);

    expectLogged(log, {{"GET /absent 404", 1}, {"GET /500 500", 3}, {"GET /flaky 500", 2}, {"GET /flaky 200", 1},
                       {"GET /truncate truncate", 3}, {"GET /loop 302", 4}, {"GET /ftp 302", 1}, {"GET /hang hang", 3}, {"GET /429 429", 1},
                       {"GET /429 200", 1}});
    // libcurl itself tries again once when a connection it reused drops without a word.
    EXPECT_GE(logged(log, "GET /drop drop"), 3);
}

TEST(HttpFetcher, CacheServesFreshRevalidatesStaleKeepsItsBoundAndTakesTwoFetchersAtOnce)
{
    TempDir root;
    for (const char* name : {"fresh", "a", "b"})
        writeFile(root.path(name), contentOf(name[0]));
    for (int n = 0; n < 24; ++n)
        writeFile(root.path(std::to_string(n)), contentOf(n, 8000));
    const std::string cache = root.path("cache/tiles"), log = root.path("log");
    TileServer briefly(root.str(), {"--max-age", "2", "--log", log}), lasting(root.str(), {"--max-age", "60"}), revalidating(root.str());
    HttpFetcher fetcher(quick(cache));
    struct stat made {};   // made at once, for its owner alone
    EXPECT_EQ(stat(cache.c_str(), &made) == 0 ? made.st_mode & 0777 : 0, 0700u);
    const auto fromCache = [&](const std::string& url, const std::string& bytes) {
        const FetchResult result = fetcher.fetch(url);
        EXPECT_EQ(result.bytes, bytes) << url << ": " << result.whyNot;
        return result.fromCache;
    };

    // Fresh for two seconds: served without asking.
    const std::string fresh = briefly.url("fresh"), a = briefly.url("a"), b = briefly.url("b");
    EXPECT_FALSE(fromCache(fresh, contentOf('f')));
    EXPECT_FALSE(fromCache(a, contentOf('a')));
    EXPECT_FALSE(fromCache(b, contentOf('b')));
    EXPECT_TRUE(fromCache(fresh, contentOf('f')));
    // Fresh entries torn by hand, cut short or holding another URL, are fetched again, not served.
    const std::string entry = entryOf(cache, a);
    ASSERT_NE(entry, "");
    fs::resize_file(entry, fs::file_size(entry) / 2);
    EXPECT_FALSE(fromCache(a, contentOf('a')));
    fs::copy_file(entryOf(cache, b), entryOf(cache, a), fs::copy_options::overwrite_existing);
    EXPECT_FALSE(fromCache(a, contentOf('a')));
    // Once stale, revalidated once, and fresh again.
    EXPECT_TRUE(pollUntil([&] { return fromCache(fresh, contentOf('f')) && logged(log, "GET /fresh 304") > 0; }, 5s));
    EXPECT_TRUE(fromCache(fresh, contentOf('f')));

    expectLogged(log, {{"GET /fresh 200", 1}, {"GET /fresh 304", 1}, {"GET /a 200", 3}, {"GET /b 200", 1}});

    // The least recently used go first: file 0, served after each store, stays. Files' times
    // tick coarsely (4 ms here), so each store waits for a tick of its own.
    FetchOptions bounded = quick(root.path("bounded"));
    bounded.cacheBound = 64 << 10;
    HttpFetcher boundedFetcher(bounded);
    const auto fileTime = [&] { writeFile(root.path("tick"), ""); return fs::last_write_time(root.path("tick")); };
    for (int n = 0; n < 16; ++n) {
        const auto before = fileTime();
        pollUntil([&] { return fileTime() > before; });
        EXPECT_EQ(boundedFetcher.fetch(lasting.url(std::to_string(n))).bytes, contentOf(n, 8000));
        EXPECT_TRUE(boundedFetcher.fetch(lasting.url("0")).fromCache) << n;
    }
    std::uint64_t kept = 0;
    for (const auto& file : fs::recursive_directory_iterator(bounded.cacheFolder))
        kept += file.is_regular_file() ? file.file_size() : 0;
    EXPECT_LE(kept, bounded.cacheBound);
    EXPECT_TRUE(boundedFetcher.fetch(lasting.url("15")).fromCache);
    EXPECT_FALSE(boundedFetcher.fetch(lasting.url("1")).fromCache);

    // Two fetchers, as two viewers would, revalidating and rewriting the same entries at once.
    std::vector<std::string> urls;
    for (int n = 0; n < 24; ++n)
        urls.push_back(revalidating.url(std::to_string(n)));
    const FetchOptions shared = quick(root.path("shared"));
    const int watch = inotify_init1(IN_NONBLOCK);   // for entries written where they are read, which a crash would tear
    for (int n = 0; n < 256; ++n) {
        const std::string subfolder = shared.cacheFolder + "/" + "0123456789abcdef"[n / 16] + "0123456789abcdef"[n % 16];
        fs::create_directories(subfolder);
        inotify_add_watch(watch, subfolder.c_str(), IN_CLOSE_WRITE);
    }
    HttpFetcher one(shared), other(shared);
    const auto wrongAfterRounds = [&](HttpFetcher& each) {
        int wrong = 0;
        for (int round = 0; round < 4; ++round) {
            const auto results = each.fetchAll(urls);
            for (int n = 0; n < 24; ++n)
                wrong += results[n].outcome != Outcome::Fetched || results[n].bytes != contentOf(n, 8000);
        }
        return wrong;
    };
    auto first = std::async(std::launch::async, wrongAfterRounds, std::ref(one));
    auto second = std::async(std::launch::async, wrongAfterRounds, std::ref(other));
    EXPECT_EQ(first.get(), 0);
    EXPECT_EQ(second.get(), 0);
    int writtenInPlace = 0;   // files closed after writing that are not the hidden ones renamed into place
    alignas(inotify_event) char events[1 << 16];
    for (ssize_t length; (length = read(watch, events, sizeof events)) > 0;)
        for (ssize_t at = 0; at < length; at += ssize_t(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(events + at)->len))
            writtenInPlace += reinterpret_cast<inotify_event*>(events + at)->name[0] != '.';
    close(watch);
    EXPECT_EQ(writtenInPlace, 0);
    // Every entry whole: with the server gone, each is served from it.
    revalidating.stop();
    const auto offline = HttpFetcher(shared).fetchAll(urls);
    for (int n = 0; n < 24; ++n)
        EXPECT_TRUE(offline[n].fromCache && offline[n].bytes == contentOf(n, 8000)) << n << ": " << offline[n].whyNot;
}
