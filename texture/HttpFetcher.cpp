// Files fetched over HTTP and HTTPS on a thread of its own that drives a libcurl multi handle, and
// the disk cache in front of it. Callers do the cache's work on their own threads; the network
// thread only transfers, and answers each URL with what it got: a body, "not modified", missing or
// failed. Retries, back-off and the per-host limit are the network thread's; freshness, stale
// entries served when the server cannot be reached, and the cache's bound are the callers'.
#include "HttpFetcher.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The longest pause a server's Retry-After gets: a longer one would leave the viewer looking stuck.
constexpr std::chrono::seconds longestRetryAfter{60};
// How long the more urgent files of a host have it to themselves.
constexpr std::chrono::milliseconds urgentAlone{500};
// The first line of every entry; a new layout gets a new number, and older viewers then miss.
constexpr char entryMagic[] = "complex-log-viewer cache 2";
// Eviction goes below the bound, so that the next few stores do not each scan the folder.
constexpr double evictedDownTo = 0.9;

template <typename Number>
bool parsed(const std::string& text, Number& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size();
}

// "1", "0.5", "20": seconds as people write them.
std::string inSeconds(std::chrono::milliseconds duration)
{
    std::ostringstream text;
    text << double(duration.count()) / 1000.0;
    return text.str();
}

std::string inBytes(std::uint64_t bytes)
{
    return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

// A date as HTTP writes it, in seconds since the epoch; nullopt if it is none.
std::optional<std::int64_t> httpDate(const std::string& text)
{
    const time_t date = text.empty() ? -1 : curl_getdate(text.c_str(), nullptr);
    return date < 0 ? std::nullopt : std::optional<std::int64_t>(date);
}

// The entry's file name: FNV-1a, 128 bits, in hex. No text of the URL reaches the path; two URLs
// that meet on one name only cost each other misses, since the entry holds its URL.
std::string entryName(const std::string& url)
{
    unsigned __int128 hash = (static_cast<unsigned __int128>(0x6c62272e07bb0142) << 64) | 0x62b821756295c58d;
    const unsigned __int128 prime = (static_cast<unsigned __int128>(1) << 88) | 0x13b;
    for (const unsigned char c : url)
        hash = (hash ^ c) * prime;
    std::string name(32, '0');
    for (std::size_t digit = 0; digit < name.size(); ++digit)
        name[digit] = "0123456789abcdef"[unsigned(hash >> (124 - 4 * digit)) & 15];
    return name;
}

struct CacheEntry {
    std::string url, etag, lastModified;
    std::int64_t expires = 0;   // seconds since the epoch; stale from then on
    std::string body;
    // The server said there is no such file: a sparse pyramid's missing tiles are asked for as
    // often as its tiles, and without a network are as missing as with one.
    bool missing = false;
};

// What an answer says of keeping it: its validators and freshness.
struct Validity {
    std::string etag, lastModified, cacheControl, expires, date, age;
};

// When an answer goes stale, in seconds since the epoch: Cache-Control's max-age, else Expires,
// else a tenth of the time since the file last changed, else at once; nullopt if it is not to be
// kept at all. Spans between the server's own dates are taken, so that its clock may differ.
std::optional<std::int64_t> expiry(const Validity& answer, std::int64_t now)
{
    std::optional<std::int64_t> maxAge;
    bool alwaysRevalidate = false;
    std::istringstream directives(answer.cacheControl);
    for (std::string directive; std::getline(directives, directive, ',');) {
        directive.erase(0, directive.find_first_not_of(" \t"));
        directive.erase(directive.find_last_not_of(" \t") + 1);
        std::transform(directive.begin(), directive.end(), directive.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        std::int64_t seconds = 0;
        if (directive == "no-store")
            return std::nullopt;
        alwaysRevalidate |= directive == "no-cache";
        if (directive.rfind("max-age=", 0) == 0 && parsed(directive.substr(8), seconds))
            maxAge = seconds;
    }
    const std::int64_t date = httpDate(answer.date).value_or(now);
    std::int64_t age = 0;
    if (alwaysRevalidate)
        return now;
    if (maxAge)
        return now + *maxAge - (parsed(answer.age, age) ? age : 0);
    if (!answer.expires.empty())   // one that is no date has already passed
        return now + httpDate(answer.expires).value_or(date) - date;
    if (const auto modified = httpDate(answer.lastModified); modified && *modified < date)
        return now + (date - *modified) / 10;
    return now;
}

// The disk cache: an entry a file, <folder>/<its name's first two digits>/<name>, holding lines of
// the magic, the URL, the ETag, the Last-Modified, the expiry, the body's length and "missing" or
// "file", then the body.
// Another viewer may use the folder at the same time: entries are written aside and renamed into
// place, and a running total that the other's stores make wrong is set right by every eviction.
class DiskCache {
public:
    DiskCache(std::string folder, std::uint64_t bound) : folder(std::move(folder)), bound(bound) {}

    std::optional<CacheEntry> read(const std::string& url)
    {
        const std::string path = pathOf(url);
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::string lines[7];
        std::size_t at = 0;
        for (std::string& line : lines) {
            const std::size_t end = bytes.find('\n', at);
            if (end == std::string::npos)
                break;
            line = bytes.substr(at, end - at);
            at = end + 1;
        }
        if (lines[0] != entryMagic || lines[1] != url)
            return std::nullopt;
        CacheEntry entry{url, lines[2], lines[3], 0, bytes.substr(at), lines[6] == "missing"};
        std::uint64_t length = 0;
        if (!parsed(lines[4], entry.expires) || !parsed(lines[5], length) || length != entry.body.size() || (lines[6] != "missing" && lines[6] != "file")) {
            remove(url);   // torn, by a crash or a full disk: never to be served
            return std::nullopt;
        }
        return entry;
    }

    void store(const CacheEntry& entry)
    {
        for (const std::string* line : {&entry.url, &entry.etag, &entry.lastModified})
            if (line->find_first_of("\r\n") != std::string::npos)
                return;
        const std::string path = pathOf(entry.url);
        const std::string subfolder = fs::path(path).parent_path().string();
        mkdir(subfolder.c_str(), 0700);
        std::string aside = subfolder + "/." + fs::path(path).filename().string() + ".XXXXXX";
        const int file = mkstemp(aside.data());
        if (file < 0)
            return;
        const std::string header = std::string(entryMagic) + '\n' + entry.url + '\n' + entry.etag + '\n' + entry.lastModified + '\n' +
                                   std::to_string(entry.expires) + '\n' + std::to_string(entry.body.size()) + '\n' + (entry.missing ? "missing" : "file") + '\n';
        // No fsync, which would cost each tile a disk flush: an entry a power cut leaves short
        // fails the length check when read, and goes.
        const bool written = writeAll(file, header) && writeAll(file, entry.body);
        struct stat old {};
        const std::uint64_t replaced = stat(path.c_str(), &old) == 0 ? std::uint64_t(old.st_size) : 0;
        if (close(file) != 0 || !written || rename(aside.c_str(), path.c_str()) != 0) {
            unlink(aside.c_str());
            return;
        }
        const std::lock_guard<std::mutex> held(lock);
        if (!total)
            recount(false);   // what earlier runs left, this entry included
        else
            *total = *total + header.size() + entry.body.size() - std::min(replaced, *total);
        if (*total > bound)
            recount(true);
    }

    void remove(const std::string& url)
    {
        const std::string path = pathOf(url);
        struct stat found {};
        if (stat(path.c_str(), &found) != 0 || unlink(path.c_str()) != 0)
            return;
        const std::lock_guard<std::mutex> held(lock);
        if (total)
            *total -= std::min(std::uint64_t(found.st_size), *total);
    }

    // Marks the entry as used now, which keeps it from eviction longest.
    void touch(const std::string& url) { utimensat(AT_FDCWD, pathOf(url).c_str(), nullptr, 0); }

private:
    std::string pathOf(const std::string& url) const
    {
        const std::string name = entryName(url);
        return folder + "/" + name.substr(0, 2) + "/" + name;
    }

    static bool writeAll(int file, const std::string& bytes)
    {
        for (std::size_t at = 0; at < bytes.size();) {
            const ssize_t written = write(file, bytes.data() + at, bytes.size() - at);
            if (written <= 0)
                return false;
            at += std::size_t(written);
        }
        return true;
    }

    // Counts the entries from the folder; with `makeRoom`, removes the least recently used until
    // they take less than the bound. Under `lock`.
    void recount(bool makeRoom)
    {
        struct Found {
            fs::file_time_type used;
            std::uint64_t size;
            fs::path path;
        };
        std::vector<Found> entries;
        std::error_code outer, inner, error;
        total = 0;
        const auto abandoned = fs::file_time_type::clock::now() - std::chrono::hours(1);
        const fs::directory_iterator end;
        for (fs::directory_iterator subfolder(folder, outer); !outer && subfolder != end; subfolder.increment(outer))
            for (fs::directory_iterator file(subfolder->path(), inner); !inner && file != end; file.increment(inner)) {
                const std::string name = file->path().filename().string();
                const auto used = file->last_write_time(error);
                const std::uint64_t size = error ? 0 : file->file_size(error);
                if (error) {
                    error.clear();   // gone since it was listed
                } else if (name.size() == 32 && name.find_first_not_of("0123456789abcdef") == std::string::npos) {
                    entries.push_back({used, size, file->path()});
                    *total += size;
                } else if (name[0] == '.' && used < abandoned) {
                    fs::remove(file->path(), error);   // left by a viewer that ended while writing it
                    error.clear();
                }
            }
        if (!makeRoom)
            return;
        std::sort(entries.begin(), entries.end(), [](const Found& a, const Found& b) { return a.used < b.used; });
        for (auto oldest = entries.begin(); oldest != entries.end() && double(*total) > evictedDownTo * double(bound); ++oldest)
            if (fs::remove(oldest->path, error))
                *total -= std::min(oldest->size, *total);
    }

    const std::string folder;
    const std::uint64_t bound;
    std::mutex lock;
    std::optional<std::uint64_t> total;   // bytes of the entries' files, once counted
};

// One URL of one fetchAll. The caller fills in the request, the network thread the answer; the
// caller reads it once its batch's count of jobs left has come down to zero.
struct Job {
    enum class Answer { Body, NotModified, Missing, Failed };

    std::string url;
    std::string origin;                // scheme, host and port: what the connection limit counts
    int priority = 0;                  // the lower, the sooner it is started
    std::optional<CacheEntry> entry;   // a stale one, revalidated
    std::size_t* left = nullptr;       // jobs of its batch not answered yet, under the shared lock

    // The network thread's while the job is in flight.
    int tries = 0;
    Clock::time_point due;       // of the next try
    Clock::time_point started;   // the last try
    CURL* easy = nullptr;
    curl_slist* conditions = nullptr;
    std::uint64_t largest = 0;
    bool tooLarge = false;
    char error[CURL_ERROR_SIZE] = "";

    Answer answer = Answer::Failed;
    std::string body, whyNot;
    Validity validity;
};

std::size_t received(char* data, std::size_t size, std::size_t count, void* to)
{
    Job& job = *static_cast<Job*>(to);
    // Also without a Content-Length, and after decompression: a bomb stops here.
    if (job.body.size() + size * count > job.largest) {
        job.tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    job.body.append(data, size * count);
    return size * count;
}

// Failures that may pass if tried again. A connection refused is not one: the server is down, and
// says so at once; trying again would only keep the tiles it had waiting.
bool transient(CURLcode code)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return true;
    default:
        return false;
    }
}

// All values of one header of the last answer, after redirects.
std::string header(CURL* easy, const char* name)
{
    std::string value;
    curl_header* found = nullptr;
    for (std::size_t index = 0; curl_easy_header(easy, name, index, CURLH_HEADER, -1, &found) == CURLHE_OK; ++index) {
        value += (index ? ", " : "") + std::string(found->value);
        if (index + 1 >= found->amount)
            break;
    }
    return value;
}

// Retry-After, in seconds or as a date, within reason; nullopt if there is none.
std::optional<Clock::duration> retryAfter(CURL* easy)
{
    const std::string value = header(easy, "Retry-After");
    std::int64_t seconds = 0;
    if (!parsed(value, seconds)) {
        const auto date = httpDate(value);
        if (!date)
            return std::nullopt;
        seconds = *date - std::time(nullptr);
    }
    return std::chrono::seconds(std::clamp<std::int64_t>(seconds, 0, longestRetryAfter.count()));
}

} // namespace

// What the callers and the network thread share; the last of them to let go frees it, so that the
// thread needs no joining, and the program may end at any moment.
struct HttpFetcher::Shared {
    FetchOptions options;
    std::unique_ptr<DiskCache> cache;   // null: none
    CURLM* multi = nullptr;
    std::mutex lock;
    std::condition_variable answered;
    std::vector<Job*> incoming;   // under `lock`, taken by the thread
    bool stopping = false;        // under `lock`

    ~Shared() { curl_multi_cleanup(multi); }

    void run();
    void start(Job& job);
    std::optional<Clock::duration> settle(Job& job, CURLcode code);
    void answer(Job& job);
    FetchResult result(Job& job);
};

void HttpFetcher::Shared::run()
{
    std::list<Job*> waiting;             // new, backing off, or waiting for a connection
    std::set<Job*> inFlight;
    std::map<std::string, int> busy;     // transfers in flight by origin
    // Jobs beyond the connection limit wait here rather than in libcurl, whose timeouts would run
    // while they wait.
    const int perOrigin = std::max(1, options.connectionsPerHost);
    for (;;) {
        {
            const std::lock_guard<std::mutex> held(lock);
            if (stopping)
                break;
            waiting.insert(waiting.end(), incoming.begin(), incoming.end());
            incoming.clear();
        }
        // The most urgent first, and among equals the first asked for. A less urgent one waits
        // while a more urgent one of its host is under way, for a moment at most: the finest
        // tiles at a new focus get the server to themselves, and a slow one holds nothing up.
        waiting.sort([](const Job* a, const Job* b) { return a->priority < b->priority; });
        const auto now = Clock::now();
        std::map<std::string, const Job*> mostUrgent;   // of the jobs in flight and started lately, by origin
        const auto takeNote = [&](const Job* job) {
            const Job*& urgent = mostUrgent[job->origin];
            if (now - job->started < urgentAlone && (!urgent || job->priority < urgent->priority))
                urgent = job;
        };
        for (const Job* job : inFlight)
            takeNote(job);
        Clock::duration wait = std::chrono::seconds(1);
        for (auto job = waiting.begin(); job != waiting.end();) {
            const Job* urgent = mostUrgent[(*job)->origin];
            if (busy[(*job)->origin] >= perOrigin) {
                ++job;
            } else if ((*job)->due > now) {
                wait = std::min(wait, (*job)->due - now);
                ++job;
            } else if (urgent && urgent->priority < (*job)->priority) {
                wait = std::min(wait, urgent->started + urgentAlone - now);
                ++job;
            } else {
                ++busy[(*job)->origin];
                inFlight.insert(*job);
                start(**job);
                takeNote(*job);
                job = waiting.erase(job);
            }
        }
        int running = 0, queued = 0;
        curl_multi_perform(multi, &running);
        bool someEnded = false;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            Job* job = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &job);
            const CURLcode code = message->data.result;
            someEnded = true;
            inFlight.erase(job);
            if (--busy[job->origin] == 0)
                busy.erase(job->origin);
            if (const auto backOff = settle(*job, code)) {
                job->due = Clock::now() + *backOff;
                waiting.push_back(job);
            } else {
                answer(*job);
            }
        }
        if (!someEnded)   // else a job may start at once in a connection just freed
            curl_multi_poll(multi, nullptr, 0, int(std::chrono::ceil<std::chrono::milliseconds>(wait).count()), nullptr);
    }
    for (Job* job : inFlight) {
        curl_multi_remove_handle(multi, job->easy);
        curl_easy_cleanup(job->easy);
        curl_slist_free_all(job->conditions);
        waiting.push_back(job);
    }
    {
        const std::lock_guard<std::mutex> held(lock);
        waiting.insert(waiting.end(), incoming.begin(), incoming.end());
    }
    for (Job* job : waiting) {
        job->answer = Job::Answer::Failed;
        job->whyNot = "the fetcher was closed";
        answer(*job);
    }
}

void HttpFetcher::Shared::start(Job& job)
{
    job.started = Clock::now();
    job.easy = curl_easy_init();
    job.body.clear();
    job.tooLarge = false;
    job.error[0] = '\0';
    job.largest = options.largest;
    job.conditions = nullptr;
    if (job.entry && !job.entry->etag.empty())
        job.conditions = curl_slist_append(job.conditions, ("If-None-Match: " + job.entry->etag).c_str());
    if (job.entry && !job.entry->lastModified.empty())
        job.conditions = curl_slist_append(job.conditions, ("If-Modified-Since: " + job.entry->lastModified).c_str());
    CURL* easy = job.easy;
    curl_easy_setopt(easy, CURLOPT_URL, job.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &job);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, received);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &job);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, job.error);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, job.conditions);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, long(options.redirects));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "complex-log-viewer/1.0");
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(options.connectTimeout.count()));
    // A revalidation gets no longer than a connection would: the entry is there to be shown.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long((job.entry ? std::min(options.connectTimeout, options.wholeTimeout) : options.wholeTimeout).count()));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(options.largest));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_multi_add_handle(multi, easy);
}

// Reads what the transfer brought into the job and lets its handle go; the back-off before the
// next try if there is to be one.
std::optional<Clock::duration> HttpFetcher::Shared::settle(Job& job, CURLcode code)
{
    long status = 0;
    curl_off_t sentAfter = 0;
    curl_easy_getinfo(job.easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(job.easy, CURLINFO_PRETRANSFER_TIME_T, &sentAfter);
    ++job.tries;
    job.answer = Job::Answer::Failed;
    job.whyNot.clear();
    bool again = false;
    std::optional<Clock::duration> asked;   // by the server
    if (code == CURLE_OK && status / 100 == 2) {
        job.answer = Job::Answer::Body;
    } else if (code == CURLE_OK && status == 304 && job.entry) {
        job.answer = Job::Answer::NotModified;
    } else if (code == CURLE_OK) {
        job.whyNot = "HTTP " + std::to_string(status);
        again = status == 408 || status == 429 || status >= 500;
        if (status == 429)
            asked = retryAfter(job.easy);
        else if (!again && status >= 400)
            job.answer = Job::Answer::Missing;
    } else if (job.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        job.whyNot = "larger than " + inBytes(options.largest);
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        again = true;
        job.whyNot = sentAfter > 0 ? "timed out after " + inSeconds(options.wholeTimeout) + " s"
                                   : "no connection within " + inSeconds(std::min(options.connectTimeout, options.wholeTimeout)) + " s";
    } else {
        again = transient(code);
        job.whyNot = job.error[0] ? job.error : curl_easy_strerror(code);
    }
    if (job.answer != Job::Answer::Failed)
        job.validity = {header(job.easy, "ETag"), header(job.easy, "Last-Modified"), header(job.easy, "Cache-Control"),
                        header(job.easy, "Expires"), header(job.easy, "Date"), header(job.easy, "Age")};
    curl_multi_remove_handle(multi, job.easy);
    curl_easy_cleanup(job.easy);
    curl_slist_free_all(job.conditions);
    // A stale entry is revalidated once: if the server cannot say, what was fetched before shows
    // at once, as it does without a network.
    if (again && job.tries < options.attempts && !job.entry)
        return asked ? *asked : Clock::duration(options.firstBackOff * (1LL << std::min(job.tries - 1, 20)));
    if (again && job.tries > 1)
        job.whyNot += ", " + std::to_string(job.tries) + " tries";
    return std::nullopt;
}

void HttpFetcher::Shared::answer(Job& job)
{
    // The caller may go on as soon as its count is down: the job is not touched after it.
    const std::lock_guard<std::mutex> held(lock);
    if (--*job.left == 0)
        answered.notify_all();
}

// The result of a job the network has answered, and what it changes in the cache.
FetchResult HttpFetcher::Shared::result(Job& job)
{
    FetchResult result;
    const std::int64_t now = std::time(nullptr);
    const auto served = [&](const CacheEntry& entry) {
        result.outcome = entry.missing ? FetchResult::Outcome::Missing : FetchResult::Outcome::Fetched;
        result.bytes = entry.body;
        result.whyNot = entry.missing ? "missing" : "";
        result.fromCache = true;
    };
    switch (job.answer) {
    case Job::Answer::Body:
        if (const auto expires = cache ? expiry(job.validity, now) : std::nullopt)
            cache->store({job.url, job.validity.etag, job.validity.lastModified, *expires, job.body});
        else if (cache && job.entry)
            cache->remove(job.url);
        result.outcome = FetchResult::Outcome::Fetched;
        result.bytes = std::move(job.body);
        break;
    case Job::Answer::NotModified: {
        CacheEntry& entry = *job.entry;
        if (!job.validity.etag.empty())
            entry.etag = job.validity.etag;
        if (!job.validity.lastModified.empty())
            entry.lastModified = job.validity.lastModified;
        if (const auto expires = expiry(job.validity, now)) {
            entry.expires = *expires;
            cache->store(entry);
        } else {
            cache->remove(job.url);
        }
        served(entry);
        break;
    }
    case Job::Answer::Missing:
        if (const auto expires = cache ? expiry(job.validity, now) : std::nullopt)
            cache->store({job.url, job.validity.etag, job.validity.lastModified, *expires, "", true});
        else if (cache && job.entry)
            cache->remove(job.url);
        result.outcome = FetchResult::Outcome::Missing;
        result.whyNot = job.whyNot;
        break;
    case Job::Answer::Failed:
        // Without a network, what was fetched before still shows.
        if (job.entry) {
            cache->touch(job.url);
            served(*job.entry);
        } else {
            result.whyNot = job.whyNot;
        }
        break;
    }
    return result;
}

HttpFetcher::HttpFetcher(FetchOptions options) : shared(std::make_shared<Shared>())
{
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    shared->options = std::move(options);
    shared->multi = curl_multi_init();
    curl_multi_setopt(shared->multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(std::max(1, shared->options.connectionsPerHost)));
    const std::string& folder = shared->options.cacheFolder;
    if (!folder.empty()) {
        std::error_code ignored;   // without a cache folder every store fails quietly, and fetches go on
        fs::create_directories(fs::path(folder).parent_path(), ignored);
        mkdir(folder.c_str(), 0700);   // tiles seen are the user's own business
        shared->cache = std::make_unique<DiskCache>(folder, shared->options.cacheBound);
    }
    std::thread([shared = shared] { shared->run(); }).detach();
}

HttpFetcher::~HttpFetcher()
{
    const std::lock_guard<std::mutex> held(shared->lock);
    shared->stopping = true;
    curl_multi_wakeup(shared->multi);
}

std::vector<FetchResult> HttpFetcher::fetchAll(const std::vector<std::string>& urls, int priority)
{
    std::vector<FetchResult> results(urls.size());
    std::vector<Job> jobs(urls.size());
    std::vector<Job*> asked;
    std::size_t left = 0;
    const std::int64_t now = std::time(nullptr);
    for (std::size_t index = 0; index < urls.size(); ++index) {
        Job& job = jobs[index];
        job.url = urls[index];
        job.origin = job.url.substr(0, job.url.find('/', job.url.find("://") + 3));
        job.left = &left;
        job.priority = priority;
        if (shared->cache && (job.entry = shared->cache->read(job.url)) && job.entry->expires > now) {
            shared->cache->touch(job.url);
            results[index] = job.entry->missing ? FetchResult{FetchResult::Outcome::Missing, "", "missing", true}
                                                : FetchResult{FetchResult::Outcome::Fetched, std::move(job.entry->body), "", true};
        } else {
            asked.push_back(&job);
        }
    }
    if (!asked.empty()) {
        std::unique_lock<std::mutex> held(shared->lock);
        left = asked.size();
        shared->incoming.insert(shared->incoming.end(), asked.begin(), asked.end());
        curl_multi_wakeup(shared->multi);
        shared->answered.wait(held, [&] { return left == 0; });
    }
    for (Job* job : asked)
        results[std::size_t(job - jobs.data())] = shared->result(*job);
    return results;
}

std::string HttpFetcher::defaultCacheFolder()
{
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (cacheHome && cacheHome[0] == '/')
        base = cacheHome;
    else if (home && home[0])
        base = std::string(home) + "/.cache";
    else
        return "";   // no home: no cache rather than one in the working folder
    return base + "/complex-log-viewer/tiles";
}
