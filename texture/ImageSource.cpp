#include "ImageSource.h"

#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <vector>

namespace {

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};
using ImagePtr = std::unique_ptr<VipsImage, Unref>;
using SourcePtr = std::unique_ptr<VipsSource, Unref>;

// libvips writes its warnings to standard error, one a row for a truncated PNG. They are kept here
// instead: those given since the reasons were last forgotten, the first of which is the reason
// when libvips fails without saying why. A decode under way is watched: a loader that meets the
// end of its data, or damage in it, may only warn and go on, filling the rest with black, so the
// first warning it gives stops it, but for those its header gave already (a colour profile
// ignored, say), which say nothing of its pixels. Never destroyed, since a decoding thread may
// still warn while the process exits.
struct DecodeWatch {
    VipsImage* image;
    const std::set<std::string>* ofHeader;
    std::string damage;   // the first warning of its own
};
struct Warnings {
    std::mutex lock;
    std::vector<std::string> given;   // since the reasons were forgotten, the first few
    std::set<DecodeWatch*> watched;
};
Warnings& warnings()
{
    static auto* kept = new Warnings;
    return *kept;
}

// libvips's messages of every level are kept from standard error; only warnings count.
void keepWarning(const gchar*, GLogLevelFlags level, const gchar* message, gpointer)
{
    if (!(level & G_LOG_LEVEL_WARNING))
        return;
    const std::lock_guard<std::mutex> lock(warnings().lock);
    if (warnings().given.size() < 64)
        warnings().given.push_back(message);
    for (DecodeWatch* watch : warnings().watched)
        if (watch->damage.empty() && !watch->ofHeader->count(message)) {
            watch->damage = message;
            vips_image_set_kill(watch->image, TRUE);
        }
}

// While it lives, the decode of `image` is watched for warnings but `ofHeader`.
class WatchedDecode {
public:
    WatchedDecode(VipsImage* image, const std::set<std::string>& ofHeader) : watch{image, &ofHeader, ""}
    {
        const std::lock_guard<std::mutex> lock(warnings().lock);
        warnings().watched.insert(&watch);
    }
    ~WatchedDecode()
    {
        const std::lock_guard<std::mutex> lock(warnings().lock);
        warnings().watched.erase(&watch);
    }
    // The warning that stopped it; empty if none did.
    std::string damage() const
    {
        const std::lock_guard<std::mutex> lock(warnings().lock);
        return watch.damage;
    }

private:
    DecodeWatch watch;
};

// libvips spills what it must decode whole (a large JPEG read a window at a time) to a file in its
// temporary folder, unlinked only once the decode is done: a viewer that ended in the middle would
// leave gigabytes behind. So libvips gets a folder of the viewer's own, removed at exit, and the
// folders of viewers no longer running are removed at start.
void useOwnTemporaryFolder()
{
    const char* temporary = std::getenv("TMPDIR");
    const std::filesystem::path base = temporary && *temporary ? temporary : "/tmp";
    const std::string prefix = "complex-log-viewer-";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(base, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove_all(entry.path(), ignored);
    }
    static const auto* own = new std::string((base / (prefix + std::to_string(getpid()))).string());
    if (mkdir(own->c_str(), 0700) != 0)
        return;
    setenv("TMPDIR", own->c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(*own, ignored);
    });
}

// libvips, started once: untrusted loaders blocked (they are not hardened against hostile files,
// and some decode the whole picture to read its header); no operation cache, since each pick reads
// its file anew and a cache would keep files open and memory held.
bool libvipsStarted()
{
    static const bool started = [] {
        useOwnTemporaryFolder();
        if (VIPS_INIT("complex-log-viewer") != 0)
            return false;
        vips_block_untrusted_set(TRUE);
        vips_cache_set_max(0);
        g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO), keepWarning, nullptr);
        return true;
    }();
    return started;
}

void forgetReasons()
{
    vips_error_clear();
    const std::lock_guard<std::mutex> lock(warnings().lock);
    warnings().given.clear();
}

// The warnings given since the reasons were forgotten.
std::set<std::string> warningsGiven()
{
    const std::lock_guard<std::mutex> lock(warnings().lock);
    return {warnings().given.begin(), warnings().given.end()};
}

// Why libvips failed with the file at `path`, on one line: its error buffer, or else its first
// warning.
std::string libvipsReason(const std::string& path)
{
    char* buffer = vips_error_buffer_copy();
    std::string reason = buffer ? buffer : "";
    g_free(buffer);
    while (!reason.empty() && reason.back() == '\n')
        reason.pop_back();
    for (std::size_t at; (at = reason.find('\n')) != std::string::npos;)
        reason.replace(at, 1, "; ");
    // The reason follows the path where it is printed.
    if (reason.compare(0, path.size() + 2, path + ": ") == 0)
        reason.erase(0, path.size() + 2);
    if (reason.empty()) {
        const std::lock_guard<std::mutex> lock(warnings().lock);
        reason = warnings().given.empty() ? "libvips cannot read it" : warnings().given.front();
    }
    // A blocked loader is still the one libvips picks for the file.
    if (reason.find("operation is blocked") != std::string::npos)
        reason = "not a JPEG, PNG, WebP, TIFF, GIF or HEIF picture, or a damaged one (libvips: " + reason + ")";
    return reason;
}

// Replaces image by what `operation` makes of it; false if it fails.
template <class Operation> bool apply(ImagePtr& image, Operation operation)
{
    VipsImage* result = nullptr;
    if (operation(image.get(), &result) != 0)
        return false;
    image.reset(result);
    return true;
}

// 8-bit RGB, three bands: CMYK converted to sRGB through its own colour profile if it has one (or
// else libvips's; the thumbnail of a large picture has converted it through libvips's already),
// other colour spaces than RGB and grey converted to sRGB, 16-bit samples cut to their high byte,
// other formats clipped, grey made RGB, alpha and other extra bands dropped.
bool toRgb8(ImagePtr& image)
{
    switch (vips_image_guess_interpretation(image.get())) {
    case VIPS_INTERPRETATION_CMYK:
        if (image->Bands >= 4 && !apply(image, [](VipsImage* in, VipsImage** out) {
                return vips_icc_transform(in, out, "srgb", "embedded", TRUE, "input_profile", "cmyk", nullptr);
            }))
            return false;
        break;
    case VIPS_INTERPRETATION_B_W:
    case VIPS_INTERPRETATION_GREY16:
    case VIPS_INTERPRETATION_sRGB:
    case VIPS_INTERPRETATION_RGB:
    case VIPS_INTERPRETATION_RGB16:
    case VIPS_INTERPRETATION_MULTIBAND:
        break;
    default:
        if (vips_colourspace_issupported(image.get()) &&
            !apply(image, [](VipsImage* in, VipsImage** out) { return vips_colourspace(in, out, VIPS_INTERPRETATION_sRGB, nullptr); }))
            return false;
    }
    if (image->BandFmt == VIPS_FORMAT_USHORT && !apply(image, [](VipsImage* in, VipsImage** out) { return vips_rshift_const1(in, out, 8, nullptr); }))
        return false;
    if (image->BandFmt != VIPS_FORMAT_UCHAR && !apply(image, [](VipsImage* in, VipsImage** out) { return vips_cast_uchar(in, out, nullptr); }))
        return false;
    if (image->Bands < 3)
        return apply(image, [](VipsImage* in, VipsImage** out) {
            VipsImage* grey = nullptr;
            if (vips_extract_band(in, &grey, 0, nullptr) != 0)
                return -1;
            VipsImage* three[] = {grey, grey, grey};
            const int status = vips_bandjoin(three, out, 3, nullptr);
            g_object_unref(grey);
            return status;
        });
    if (image->Bands > 3)
        return apply(image, [](VipsImage* in, VipsImage** out) { return vips_extract_band(in, out, 0, "n", 3, nullptr); });
    return true;
}

struct Writing {
    unsigned char* pixels;
    ImageSize size;
    DecodeProgress& progress;
};

// Rows as libvips computes them, top first and whole rows at a time, into the buffer bottom row
// first; a cancelled decode stops here.
int writeRows(VipsRegion* region, VipsRect* area, void* target)
{
    auto* writing = static_cast<Writing*>(target);
    if (writing->progress.cancelled)
        return -1;
    const std::size_t rowBytes = std::size_t(writing->size.width) * 3;
    for (int y = area->top; y < area->top + area->height; ++y)
        std::memcpy(writing->pixels + (writing->size.height - 1 - std::size_t(y)) * rowBytes + std::size_t(area->left) * 3,
                    VIPS_REGION_ADDR(region, area->left, y), std::size_t(area->width) * 3);
    writing->progress.rows.store(std::uint32_t(area->top + area->height), std::memory_order_release);
    return 0;
}

} // namespace

std::unique_ptr<ImageSource> ImageSource::open(const std::string& path, std::string& whyNot)
{
    if (!libvipsStarted()) {
        whyNot = "libvips does not start: " + libvipsReason(path);
        return nullptr;
    }
    forgetReasons();
    // Through a source, so that a file name ending in [...] is not read as options.
    const SourcePtr source(vips_source_new_from_file(path.c_str()));
    const ImagePtr image(source ? vips_image_new_from_source(source.get(), "", "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", VIPS_FAIL_ON_ERROR, nullptr)
                                : nullptr);
    if (!image) {
        whyNot = libvipsReason(path);
        return nullptr;
    }
    ImageSize shown{std::uint32_t(image->Xsize), std::uint32_t(image->Ysize)};
    if (vips_image_get_orientation_swap(image.get()))
        std::swap(shown.width, shown.height);
    if (std::uint64_t(shown.width) * shown.height > maxPicturePixels) {
        whyNot = "its header claims " + std::to_string(shown.width) + " x " + std::to_string(shown.height) +
                 " pixels, more than the viewer's limit of 16 gigapixels";
        return nullptr;
    }
    return std::unique_ptr<ImageSource>(new ImageSource(path, shown, vips_image_get_orientation(image.get()) > 1, warningsGiven()));
}

bool ImageSource::decode(ImageSize target, unsigned char* bottomFirst, std::string& whyNot, DecodeProgress& progress) const
{
    forgetReasons();
    const SourcePtr source(vips_source_new_from_file(path.c_str()));
    ImagePtr image;
    if (source && target.width == shown.width && target.height == shown.height && !turned) {
        // As it is: the thumbnail would convert 16-bit grey by rounding, not by its high byte.
        image.reset(vips_image_new_from_source(source.get(), "", "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", VIPS_FAIL_ON_ERROR, nullptr));
    } else if (source) {
        // Shrunk on load where the format can, and turned as its orientation tag says.
        VipsImage* shrunk = nullptr;
        if (vips_thumbnail_source(source.get(), &shrunk, int(target.width), "height", int(target.height), "size", VIPS_SIZE_FORCE, "fail_on",
                                  VIPS_FAIL_ON_ERROR, nullptr) == 0)
            image.reset(shrunk);
    }
    if (!image || !toRgb8(image)) {
        whyNot = libvipsReason(path);
        return false;
    }
    if (std::uint32_t(image->Xsize) != target.width || std::uint32_t(image->Ysize) != target.height) {
        whyNot = "libvips made it " + std::to_string(image->Xsize) + " x " + std::to_string(image->Ysize) + " pixels";
        return false;
    }
    Writing writing{bottomFirst, target, progress};
    // libvips's threads can lose a loader's error near the end of the picture, and report success;
    // the reason is still in its error buffer. What opening left there (HEIF's probing seeks) is
    // no failure. A loader that runs out of data, or meets damage, may only warn, or deliver fewer
    // rows: the picture is not whole either way. (A warning of another picture's read at the same
    // moment refuses this one too: better than showing one that is not whole.)
    vips_error_clear();
    const WatchedDecode watched(image.get(), headerWarnings);
    const bool sunk = vips_sink_disc(image.get(), writeRows, &writing) == 0 && !*vips_error_buffer();
    const std::string damage = watched.damage();
    const std::uint32_t rows = progress.rows.load();
    std::string failure;
    if (progress.cancelled)
        failure = "cancelled";
    else if (!damage.empty())
        failure = damage;
    else if (!sunk)
        failure = libvipsReason(path);
    else if (rows != target.height)
        failure = "its data ends after " + std::to_string(rows) + " of " + std::to_string(target.height) + " rows";
    const bool written = failure.empty();
    if (!written)
        whyNot = failure;
    image.reset();
    vips_thread_shutdown();   // what libvips keeps for this thread
    return written;
}

namespace {

// A picture's levels as libvips images: 8-bit RGB, read at random.
class FileLevels : public PictureLevels {
public:
    ~FileLevels() override
    {
        for (VipsImage* level : levels)
            g_object_unref(level);
    }
    int count() const override { return int(levels.size()); }
    ImageSize size(int level) const override
    {
        const VipsImage* image = levels[std::size_t(level)];
        return {std::uint32_t(image->Xsize), std::uint32_t(image->Ysize)};
    }
    bool read(int level, const PixelArea& area, unsigned char* bottomFirst, std::string& whyNot, std::string&) const override;

    std::vector<VipsImage*> levels;
};

bool FileLevels::read(int level, const PixelArea& area, unsigned char* bottomFirst, std::string& whyNot, std::string&) const
{
    VipsImage* image = levels[std::size_t(level)];
    // libvips counts rows from the top.
    const VipsRect rect{int(area.x), image->Ysize - int(area.y + area.height), int(area.width), int(area.height)};
    VipsRegion* region = vips_region_new(image);
    const bool read = region && vips_region_prepare(region, &rect) == 0;
    if (read) {
        const std::size_t rowBytes = std::size_t(area.width) * 3;
        for (int row = 0; row < rect.height; ++row)
            std::memcpy(bottomFirst + std::size_t(rect.height - 1 - row) * rowBytes, VIPS_REGION_ADDR(region, rect.left, rect.top + row), rowBytes);
    } else {
        whyNot = libvipsReason(vips_image_get_filename(image) ? vips_image_get_filename(image) : "");
    }
    if (region)
        g_object_unref(region);
    return read;
}

} // namespace

std::unique_ptr<PictureLevels> openFileLevels(const ImageSource& picture, int count, std::string& whyNot)
{
    const std::string& path = picture.file();
    forgetReasons();
    // A page of the file, -1 for its first image, read at random.
    auto load = [&](int page) {
        const SourcePtr source(vips_source_new_from_file(path.c_str()));
        return ImagePtr(!source    ? nullptr
                        : page < 0 ? vips_image_new_from_source(source.get(), "", "access", VIPS_ACCESS_RANDOM, "fail_on", VIPS_FAIL_ON_ERROR, nullptr)
                                   : vips_image_new_from_source(source.get(), "", "page", page, "access", VIPS_ACCESS_RANDOM, "fail_on",
                                                                VIPS_FAIL_ON_ERROR, nullptr));
    };
    ImagePtr first = load(-1);
    if (!first) {
        whyNot = libvipsReason(path);
        return nullptr;
    }
    const char* loader = nullptr;
    const bool tiff = vips_image_get_typeof(first.get(), "vips-loader") && vips_image_get_string(first.get(), "vips-loader", &loader) == 0 &&
                      std::strncmp(loader, "tiffload", 8) == 0;
    const int pages = tiff ? vips_image_get_n_pages(first.get()) : 1;
    const bool turned = vips_image_get_orientation(first.get()) > 1;
    // Shown as the picture is: turned as its tag says, in 8-bit RGB.
    auto shown = [&](ImagePtr image) {
        if (image && turned && !apply(image, [](VipsImage* in, VipsImage** out) { return vips_autorot(in, out, nullptr); }))
            image.reset();
        if (image && !toRgb8(image))
            image.reset();
        return image;
    };

    auto levels = std::make_unique<FileLevels>();
    ImagePtr level = shown(std::move(first));
    for (int index = 0; level && index < count; ++index) {
        levels->levels.push_back(level.release());
        if (index + 1 == count)
            break;
        VipsImage* previous = levels->levels.back();
        // The file's own next level if it has one of the size that halving gives, else a shrink.
        if (index + 1 < pages) {
            level = shown(load(index + 1));
            if (level && (std::abs(level->Xsize - (previous->Xsize + 1) / 2) > 1 || std::abs(level->Ysize - (previous->Ysize + 1) / 2) > 1))
                level.reset();
        }
        if (!level) {
            VipsImage* shrunk = nullptr;
            if (vips_shrink(previous, &shrunk, 2.0, 2.0, nullptr) == 0)
                level.reset(shrunk);
        }
    }
    if (levels->count() < count) {
        whyNot = libvipsReason(path);
        return nullptr;
    }
    return levels;
}

bool decodeTile(const std::string& bytes, const ImageSize& largest, TilePixels& tile, std::string& whyNot)
{
    if (!libvipsStarted()) {
        whyNot = "libvips does not start";
        return false;
    }
    // A tile is small and read whole: a warning of damage fails it at once.
    ImagePtr image(vips_image_new_from_buffer(bytes.data(), bytes.size(), "", "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", VIPS_FAIL_ON_WARNING, nullptr));
    // Its header alone: a few bytes may claim a picture that would take all memory decoded.
    if (image && (std::uint32_t(image->Xsize) > largest.width || std::uint32_t(image->Ysize) > largest.height)) {
        whyNot = "it is " + std::to_string(image->Xsize) + " x " + std::to_string(image->Ysize) + " pixels, more than a tile of " +
                 std::to_string(largest.width) + " x " + std::to_string(largest.height) + " may have";
        return false;
    }
    if (image && vips_image_hasalpha(image.get()) &&
        !apply(image, [](VipsImage* in, VipsImage** out) {
            VipsArrayDouble* white = vips_array_double_newv(1, 255.0);
            const int status = vips_flatten(in, out, "background", white, "max_alpha", in->BandFmt == VIPS_FORMAT_USHORT ? 65535.0 : 255.0, nullptr);
            vips_area_unref(VIPS_AREA(white));
            return status;
        }))
        image.reset();
    // Read on this thread through a region: libvips's pool of threads can lose a loader's error
    // and report a damaged tile whole (one in ten, cut after its header), and for a tile costs
    // more than the decoding; the caller is one of several reading side by side anyway.
    VipsRegion* region = image && toRgb8(image) ? vips_region_new(image.get()) : nullptr;
    const VipsRect whole{0, 0, image ? image->Xsize : 0, image ? image->Ysize : 0};
    const bool read = region && vips_region_prepare(region, &whole) == 0;
    if (read) {
        tile.size = {std::uint32_t(whole.width), std::uint32_t(whole.height)};
        tile.pixels.resize(std::size_t(whole.width) * whole.height * 3);
        for (int row = 0; row < whole.height; ++row)
            std::memcpy(&tile.pixels[std::size_t(row) * whole.width * 3], VIPS_REGION_ADDR(region, 0, row), std::size_t(whole.width) * 3);
    } else {
        whyNot = libvipsReason("");
    }
    if (region)
        g_object_unref(region);
    return read;
}
