// The whole program as a person uses it, each test one sitting at the real viewer. The test images
// encode their own texels (red the column, green the row from the bottom), blue names the image, and
// a checker of single texels in blue turns to in-between blues wherever the texture is filtered.
#include "PngWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <complex>
#include <csignal>
#include <fstream>
#include <set>
#include <thread>

namespace {

const char* const imageFiles[] = {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"};
// AddressSanitizer's shadow memory and quarantine are no part of the viewer's resident memory.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool underAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool underAddressSanitizer = false;
#endif
constexpr int imageWidth = 255, imageHeight = 256;   // rows of 765 bytes: not a multiple of 4
constexpr int checker = 30;                          // the odd texels' blue above the image's own
int blueOf(int image) { return 20 + 60 * image; }
// The controls, where the panel pictures in the test data have them (46 pixels higher below two
// images, 23 lower for each image more than four).
constexpr int controlX = 17, controlY[] = {38, 82, 105, 128, 151}, exactY = 178, saveX = 50, saveY = 205;
constexpr int fieldX = 50, realY = 246, angleY = 321, centreX = 40, centreY = 291, proportionsY = 344;

void writeImages(const TempDir& dir)
{
    for (int image = 0; image < 4; ++image) {
        std::vector<std::uint8_t> rgb;
        for (int y = imageHeight - 1; y >= 0; --y)   // files store the top row first
            for (int x = 0; x < imageWidth; ++x)
                rgb.insert(rgb.end(), {std::uint8_t(x), std::uint8_t(y), std::uint8_t(blueOf(image) + (x + y) % 2 * checker)});
        ASSERT_EQ(writePng(dir.path(imageFiles[image]), imageWidth, imageHeight, rgb.data()), "");
    }
}

// What the main window shows: the morph angle, the focus, a picture's aspect (0: the square view).
struct View {
    float angle = 6.28318f;
    std::complex<double> focus = 0;
    double aspect = 0;
};

// The image point p = focus + z under the centre of pixel (px, py) of a picture of the main window:
// back through the fitting to w, then z = (1 + w / k)^k on the wedge |arg| < pi / k it fills;
// nothing outside the image. Square view: the real axis up the window, the view values k lowered
// to 3.14159 and 2. True proportions: z = -i (q - f) for the plane point q (longer side -1 to 1),
// upright in units of half the window's height; the view values go from fitting the picture at k = 1
// to the full turn across the width, twice its half diagonal at the top, at k = pi (scale) and 2.
std::optional<std::complex<double>> imagePoint(const View& view, double px, double py, const Image& picture)
{
    const double k = float(6.28318 / double(view.angle)), x = (px + 0.5) / picture.width * 2 - 1, y = 1 - (py + 0.5) / picture.height * 2;
    std::complex<double> p, image;
    if (view.aspect == 0) {
        const double scale = std::min(k, 3.14159), offset = std::min(k, 2.0);
        p = 1.0 + std::complex<double>(y * scale - offset, x * scale) / k;
        image = view.focus + std::pow(p, k);
    } else {
        const double a = std::min(1.0, view.aspect), b = std::min(1.0, 1 / view.aspect), right = double(picture.width) / picture.height;
        // The full turn across the width where the rims of the cut meet the bottom edge.
        const double widest = std::max(a / right, b), far = std::log(2 * std::hypot(a, b)), kMin = float(6.28318 / 0.01);
        double logScale = M_PI / right;
        for (int round = 0; round < 4; ++round)
            logScale = kMin * std::sin(M_PI / kMin) * std::exp(-(2 * logScale - far) / kMin) / right;
        const double scale = widest + (logScale - widest) * std::clamp((k - 1) / (M_PI - 1), 0.0, 1.0);
        const double offset = 1 + (logScale - far - 1) * std::clamp(k - 1, 0.0, 1.0);
        p = 1.0 + std::complex<double>(y * scale - offset, -x * right * scale) / k;
        const std::complex<double> z = std::pow(p, k);
        image = view.focus + std::complex<double>(-z.imag() / a, z.real() / b);
    }
    if (std::abs(std::arg(p)) * k >= M_PI || std::abs(image.real()) > 1 || std::abs(image.imag()) > 1)
        return std::nullopt;
    return image;
}

// Pixels of a lattice not showing the texel the view puts there (within a few), or not white where
// it puts nothing; skipped: the rim, the cut, and the large cells at the focus (strongly curved).
int mismatches(const Image& picture, const View& view)
{
    auto source = [&](int px, int py) { return imagePoint(view, px, py, picture); };
    int count = 0;
    for (int py = 0; py < picture.height; py += 12)
        for (int px = 0; px < picture.width; px += 12) {
            const auto p = source(px, py);
            if (p.has_value() != source(px + 3, py + 3).has_value() || (p && std::abs(*p - view.focus) < 0.15))
                continue;
            const double column = std::clamp(((p ? p->real() : 0) + 1) / 2 * imageWidth - 0.5, 0.0, imageWidth - 1.0);
            const double row = std::clamp(((p ? p->imag() : 0) + 1) / 2 * imageHeight - 0.5, 0.0, imageHeight - 1.0);
            const std::uint8_t* shown = picture.at(px, py);
            count += p ? std::abs(shown[0] - column) > 8 || std::abs(shown[1] - row) > 8 : !picture.white(px, py);
        }
    return count;
}

// Pictures whose every pixel tells its place to a small part of a pixel, "across" ones their column,
// "up" ones their row from the bottom: a red ramp (0 to 127 across, 128 to 255 up) says which wave of
// 64 pixels, the wave's phase (green and blue: sine and cosine) where in it. Filtering blurs the wave
// but does not shift it while it averages over less than a wave (40 texels at a corner focus's rim).
constexpr int tellingWave = 64;
void writeTelling(const std::string& path, int width, int height, bool up)
{
    std::vector<std::uint8_t> rgb;
    for (int y = height - 1; y >= 0; --y)   // files store the top row first
        for (int x = 0; x < width; ++x) {
            const double place = (up ? y : x) + 0.5, phase = 2 * M_PI * place / tellingWave;
            rgb.insert(rgb.end(), {std::uint8_t(std::lround(127 * place / (up ? height : width)) + (up ? 128 : 0)),
                                   std::uint8_t(std::lround(128 + 127 * std::sin(phase))), std::uint8_t(std::lround(128 + 127 * std::cos(phase)))});
        }
    ASSERT_EQ(writePng(path, width, height, rgb.data()), "");
}

// Whether a pixel shows a telling picture: not the white background, nor the black marker.
bool telling(const std::uint8_t* c)
{
    return c[0] + c[1] + c[2] != 3 * 255 && c[0] + c[1] + c[2] != 0;
}

bool tellsUp(const Image& shown)
{
    int drawn = 0, up = 0;
    for (std::size_t i = 0; i < shown.rgb.size(); i += 3)
        if (telling(&shown.rgb[i])) {
            ++drawn;
            up += shown.rgb[i] >= 128;
        }
    return drawn > 1000 && up == drawn;
}

// The place in a picture of width x height pixels (column, row from the bottom) that window pixel
// (x, y) shows in the pictures of an across and up pair of it; nothing where it shows none.
std::optional<std::complex<double>> toldPoint(const Image& across, const Image& up, int x, int y, int width, int height)
{
    if (x < 0 || y < 0 || x >= across.width || y >= across.height || !(across.width == up.width && across.height == up.height) ||
        !telling(across.at(x, y)) || !telling(up.at(x, y)))
        return std::nullopt;
    auto told = [](const std::uint8_t* c, int length) {
        const double inWave = std::atan2(c[1] - 128.0, c[2] - 128.0) / (2 * M_PI) * tellingWave;
        const double ramp = (c[0] & 127) / 127.0 * length;
        return inWave + std::round((ramp - inWave) / tellingWave) * tellingWave;
    };
    return std::complex<double>(told(across.at(x, y), width), told(up.at(x, y), height));
}

// The square view's position images, "columns.png" and "rows.png", strips that tell 2048 columns and
// rows, and the point of the image square a pixel of their pictures shows.
constexpr int positionTexels = 2048;
void writePositionImages(const TempDir& dir)
{
    writeTelling(dir.path("columns.png"), positionTexels, 4, false);
    writeTelling(dir.path("rows.png"), 4, positionTexels, true);
}
std::complex<double> decodedPoint(const Image& columns, const Image& rows, int px, int py)
{
    return toldPoint(columns, rows, px, py, positionTexels, positionTexels).value_or(NAN) / double(positionTexels / 2) - std::complex<double>(1, 1);
}

// The pictures of the two position images at one view, in the grid and exactly.
struct PositionPictures {
    Image gridColumns, gridRows, exactRows, exactColumns;
};

// How many pixels apart the view draws image points p and q near pixel (px, py); NaN off the image.
double pixelsApart(const View& view, const Image& picture, int px, int py, std::complex<double> p, std::complex<double> q)
{
    auto point = [&](double x, double y) { return imagePoint(view, x, y, picture).value_or(NAN); };
    const std::complex<double> at = point(px, py), alongX = point(px + 1, py) - at, alongY = point(px, py + 1) - at, error = p - q;
    const double determinant = alongX.real() * alongY.imag() - alongX.imag() * alongY.real();
    const double a = (error.real() * alongY.imag() - error.imag() * alongY.real()) / determinant;
    const double b = (alongX.real() * error.imag() - alongX.imag() * error.real()) / determinant;
    return std::hypot(a, b);
}

// Of the position images' drawn pixels farther than `skipped` from the focus, the share showing the
// point the mapping puts there within a pixel; in the image's last half texel, the outer texel.
double shareWithinAPixel(const Image& columns, const Image& rows, const View& view, double skipped = 0)
{
    constexpr double outerCentre = 1 - 1.0 / positionTexels;
    auto texelCentres = [=](std::complex<double> p) { return std::complex<double>(std::clamp(p.real(), -outerCentre, outerCentre), std::clamp(p.imag(), -outerCentre, outerCentre)); };
    int drawn = 0, within = 0;
    for (int py = 0; py < columns.height; ++py)
        for (int px = 0; px < columns.width; ++px) {
            const auto shown = imagePoint(view, px, py, columns);
            const double off = shown ? pixelsApart(view, columns, px, py, decodedPoint(columns, rows, px, py), texelCentres(*shown)) : NAN;
            if (columns.white(px, py) || std::isnan(off) || std::abs(*shown - view.focus) <= skipped)
                continue;
            ++drawn;
            within += off <= 1;
        }
    return drawn ? double(within) / drawn : 0;
}

// Of the drawn pixels in the top rows: the share whose blue is between the checker's two values
// (blended by filtering), and whether all show `image`.
std::pair<double, bool> blendedShareAndImage(const Image& picture, int image, int rows, int margin = 3)
{
    int drawn = 0, blended = 0, others = 0;
    for (int py = 0; py < rows; ++py)
        for (int px = 0; px < picture.width; ++px)
            if (const int blue = picture.at(px, py)[2] - blueOf(image); !picture.white(px, py)) {
                ++drawn;
                blended += blue > margin && blue < checker - margin;
                others += blue < -2 || blue > checker + 2;
            }
    return {drawn ? double(blended) / drawn : 0, others == 0 && drawn * 3 > picture.width * rows};
}

// Lines one pixel wide with the background on both sides; a filled picture has hardly any.
bool wireframe(const Image& picture)
{
    int linePixels = 0;
    for (int y = 1; y + 1 < picture.height; ++y)
        for (int x = 1; x + 1 < picture.width; ++x)
            linePixels += !picture.white(x, y) && ((picture.white(x - 1, y) && picture.white(x + 1, y)) ||
                                                   (picture.white(x, y - 1) && picture.white(x, y + 1)));
    return linePixels > 300;
}

// A viewer started in a folder, and what a person does to it.
struct Sitting : Viewer {
    explicit Sitting(const TempDir& dir, std::vector<std::string> arguments = {}, std::string program = VIEWER_PATH)
        : Viewer(std::move(program), dir.str(), std::move(arguments)) {}
    std::optional<Image> waitForMain(const std::function<bool(const Image&)>& wanted) { return waitFor(mainWindow, wanted); }
    Image mainPicture() { return waitForMain([](const Image&) { return true; }).value_or(Image{}); }
    bool shows(const Image& picture) { return waitForMain([&](const Image& p) { return p == picture; }).has_value(); }
    bool showsAngle(float angle) { return waitForMain([=](const Image& p) { return mismatches(p, {angle}) == 0; }).has_value(); }
    bool showsImage(int image) { return waitForMain([=](const Image& p) { return blendedShareAndImage(p, image, p.height).second; }).has_value(); }
    void keys(const std::string& names) { xdotool("mousemove 320 240 key " + names); }   // to the window under the pointer
    void drag(int button, int fromY, int toY)
    {
        const std::string b = std::to_string(button);
        xdotool("mousemove 300 " + std::to_string(fromY) + " mousedown " + b + " mousemove 300 " + std::to_string(toY) + " mouseup " + b);
    }
    void toSmallestAngle() { drag(3, 10, 470); drag(3, 10, 470); }
    // 'f' twice, through wireframe and back: all input sent before is handled.
    bool sync()
    {
        keys("f");
        const bool lines = waitForMain(wireframe).has_value();
        keys("f");
        return lines && waitForMain([](const Image& p) { return !wireframe(p); });
    }
    // A click in the panel, once it has grown to show what lies there.
    void clickAt(int x, int y)
    {
        pollUntil([&] { return find(panelWindow).height > y; });
        xdotool("mousemove " + std::to_string(find(panelWindow).x + x) + " " + std::to_string(y) + " click 1");
    }
    void click(int control) { clickAt(controlX, controlY[control]); }
    // Whether the panel, the pointer away, looks as its picture (maybe of its top part) in the test
    // data; the panel shown is kept for a look.
    bool panelLooksAsIn(const std::string& name)
    {
        xdotool("mousemove 320 240");
        const Image expected = readPng(TEST_DATA_DIR "/" + name);
        Image shown;
        const bool same = waitFor(panelWindow, [&](const Image& panel) { return (shown = panel).topLeft(expected.width, expected.height) == expected; }).has_value();
        writePng("shown-" + name, std::uint32_t(shown.width), std::uint32_t(shown.height), shown.rgb.data());
        return same;
    }
    // Types `text` into the panel's number field at (x, y), and Enter.
    void typeInto(int x, int y, const std::string& text)
    {
        clickAt(x, y);
        xdotool("key ctrl+a");
        xdotool("type -- " + text);
        xdotool("key Return");
    }
    // A click on the image or "Exact texturing" checkbox at y, seen there; the picture after it.
    Image pick(int y, const std::string& panel)
    {
        clickAt(controlX, y);
        EXPECT_TRUE(panelLooksAsIn(panel)) << panel;
        return sync() ? mainPicture() : Image{};
    }
    // With the position images given, the first in the grid: both in the grid and exactly, leaving
    // the first in the grid again, as it must look.
    PositionPictures positionPictures()
    {
        const PositionPictures pictures{sync() ? mainPicture() : Image{}, pick(controlY[2], "panel-rows.png"), pick(exactY - 46, "panel-rows-exact.png"),
                                        pick(controlY[1], "panel-columns-exact.png")};   // in this order
        EXPECT_TRUE(pick(exactY - 46, "panel-columns.png") == pictures.gridColumns);
        return pictures;
    }
    // Whether the viewer comes to rest: a second in which all its threads take (almost) no CPU.
    bool comesToRest()
    {
        auto cpuTicks = [this] {   // user and system time, in hundredths of a second
            std::ifstream stat("/proc/" + std::to_string(pid()) + "/stat");
            std::string field;
            long ticks = 0;
            for (int i = 1; i <= 15 && stat >> field; ++i)
                ticks += i >= 14 ? std::stol(field) : 0;
            return ticks;
        };
        return pollUntil([&] {
            const long before = cpuTicks();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            return cpuTicks() - before <= 1;
        });
    }
};

TEST(Viewer, OneSittingWithTheMouseTheKeysAndThePanel)
{
    TempDir dir;
    writeImages(dir);
    Sitting viewer(dir);
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output() << viewer.output("stderr");
    const WindowGeometry main = viewer.find(mainWindow);
    EXPECT_TRUE(main.x == 0 && main.y == 0 && main.width == 640 && main.height == 480);
    // The first image filled, on its side as the widest angle shows it, its texels blended.
    ASSERT_TRUE(viewer.showsAngle(6.28318f)) << "the first picture never matched the mapping at the widest angle";
    const Image plane = viewer.mainPicture();
    EXPECT_GT(blendedShareAndImage(plane, 0, plane.height).first, 0.5);
    // The panel's texts and controls exactly as drawn at start.
    EXPECT_TRUE(viewer.panelLooksAsIn("panel.png"));

    // Keys other than 'f' and Esc change nothing.
    viewer.keys("F a Z 1 0 space Return Up Down Left Right F1 F2 F11 F12 Home Page_Down");
    EXPECT_TRUE(viewer.sync() && viewer.shows(plane));
    // From rest (input must wake the viewer), a right drag 200 pixels down in one motion event: 100
    // steps of 0.02 toward the logarithm.
    ASSERT_TRUE(viewer.comesToRest());
    viewer.drag(3, 100, 300);
    const float angle = float(-100 * 0.02 + double(6.28318f));
    ASSERT_TRUE(viewer.showsAngle(angle));
    const Image morphed = viewer.mainPicture();
    // Drags that must not morph: the left and middle buttons, the right one pixel per motion event,
    // the right inside the panel, and the right after a click of the left, which was pressed last.
    viewer.drag(1, 100, 400);
    viewer.drag(2, 400, 100);
    std::string onePixelSteps = "mousemove 200 100 mousedown 3";
    for (int y = 101; y <= 120; ++y)
        onePixelSteps += " mousemove 200 " + std::to_string(y);
    viewer.xdotool(onePixelSteps + " mouseup 3");
    viewer.xdotool("mousemove 1420 10 mousedown 3 mousemove 1420 150 mouseup 3");
    viewer.xdotool("mousemove 250 100 mousedown 3 click 1 mousemove 250 400 mouseup 3");
    EXPECT_TRUE(viewer.sync() && viewer.shows(morphed));
    // Left pressed, then right, then left released: the right, pressed last, morphs.
    viewer.xdotool("mousemove 300 100 mousedown 1 mousedown 3 mouseup 1 mousemove 300 300 mouseup 3");
    EXPECT_TRUE(viewer.showsAngle(float(-100 * 0.02 + double(angle))));
    // Upward past the widest angle, then downward past the smallest: it stops at each.
    viewer.drag(3, 470, 10);
    EXPECT_TRUE(viewer.shows(plane));
    viewer.toSmallestAngle();
    ASSERT_TRUE(viewer.showsAngle(0.01f));
    const Image logView = viewer.mainPicture();
    EXPECT_GT(blendedShareAndImage(logView, 0, logView.height / 5).first, 0.5) << "the shrunk rim is not filtered";
    // Exact texturing filters it from mipmaps, the checker near its middle blue; so it does for an
    // image picked meanwhile, with mipmaps of its own.
    viewer.clickAt(controlX, exactY);
    EXPECT_TRUE(viewer.waitForMain([](const Image& p) { return blendedShareAndImage(p, 0, p.height / 5, 9).first > 0.95; }));
    viewer.click(2);
    EXPECT_TRUE(viewer.showsImage(1));
    viewer.click(1);
    EXPECT_TRUE(viewer.showsImage(0));
    viewer.clickAt(controlX, exactY);

    // Wireframe from the key and the checkbox, each following the other, the black 5 x 5 marker
    // between the lines (one may cross it).
    EXPECT_TRUE(viewer.comesToRest());
    viewer.keys("f");
    const Image lines = viewer.waitForMain(wireframe).value_or(Image{});
    int black = 0;
    for (std::size_t i = 0; i < lines.rgb.size(); i += 3)
        black += lines.rgb[i] + lines.rgb[i + 1] + lines.rgb[i + 2] == 0;
    EXPECT_TRUE(black >= 15 && black <= 25) << black;
    EXPECT_TRUE(viewer.panelLooksAsIn("panel-wireframe.png") && viewer.comesToRest());
    viewer.click(0);
    EXPECT_TRUE(viewer.shows(logView) && viewer.panelLooksAsIn("panel.png"));
    viewer.click(0);
    EXPECT_TRUE(viewer.shows(lines) && viewer.panelLooksAsIn("panel-wireframe.png"));
    viewer.keys("f");
    EXPECT_TRUE(viewer.shows(logView) && viewer.panelLooksAsIn("panel.png"));

    // Each image from the panel, its file read when picked: picked again after the file changed, as
    // it was; picked anew, changed.
    for (int image : {1, 2, 3, 0}) {
        viewer.click(1 + image);
        EXPECT_TRUE(viewer.showsImage(image) && viewer.panelLooksAsIn(image ? "panel-image" + std::to_string(image) + ".png" : "panel.png"));
    }
    std::filesystem::copy_file(dir.path("ctreemap.png"), dir.path("galaxie.png"), std::filesystem::copy_options::overwrite_existing);
    for (const auto& [control, image] : {std::pair{1, 0}, {2, 1}, {1, 3}}) {
        viewer.click(control);
        EXPECT_TRUE(viewer.sync() && viewer.showsImage(image)) << image;
    }

    // A wider, flatter window, made while the viewer is held up so that GLUT draws once for both the
    // resize and the exposure: the picture stretches with it.
    EXPECT_TRUE(viewer.comesToRest());
    kill(viewer.pid(), SIGSTOP);
    viewer.xdotool("windowsize --sync " + std::to_string(main.id) + " 900 300");
    kill(viewer.pid(), SIGCONT);
    EXPECT_TRUE(viewer.waitForMain([](const Image& p) { return p.width == 900 && p.height == 300 && mismatches(p, {0.01f}) == 0; }));
    // Esc ends it at once, also in the middle of a right drag.
    viewer.xdotool("mousemove 300 50 mousedown 3 mousemove 300 150 key Escape");
    EXPECT_EQ(viewer.exitStatus(), 0);
}

TEST(Viewer, PicturesOfYourOwnShownExactlyAndSaved)
{
    TempDir dir;
    writePositionImages(dir);
    writeImages(dir);
    // Files given take the four images' places: one button each, labelled with its name.
    Sitting viewer(dir, {"columns.png", dir.path("rows.png")});
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output("stderr");
    viewer.clickAt(controlX, proportionsY - 46);   // the square view, which these strips fill
    ASSERT_TRUE(viewer.panelLooksAsIn("panel-columns.png"));
    // At several angles the grid's pictures of both images, the exact ones, and the grid's again.
    float angle = 6.28318f;
    for (const int drag : {0, 200, 200, 460}) {
        viewer.drag(3, 10, 10 + drag);
        angle = std::max(0.01f, float(-(drag / 2) * 0.02 + double(angle)));
        const PositionPictures shown = viewer.positionPictures();
        const double exact = shareWithinAPixel(shown.exactColumns, shown.exactRows, {angle}), grid = shareWithinAPixel(shown.gridColumns, shown.gridRows, {angle});
        std::printf("pixels within a pixel of their texel at angle %.5f: exact %.2f%%, grid %.2f%%\n", angle, 100 * exact, 100 * grid);
        EXPECT_GE(exact, 0.995) << angle;
    }
    // Saved: exactly the window's pixels, in the working folder, under the next free number.
    for (const std::string name : {"complex-log-0001.png", "complex-log-0002.png"}) {
        viewer.clickAt(saveX, saveY - 46);
        EXPECT_TRUE(viewer.waitForOutput("stdout", "Saved " + dir.path(name) + "\n"));
        EXPECT_TRUE(readPng(dir.path(name)) == viewer.mainPicture()) << name;
    }
    // Wireframe is the same in both modes.
    viewer.keys("f");
    const Image lines = viewer.waitForMain(wireframe).value_or(Image{});
    viewer.clickAt(controlX, exactY - 46);
    ASSERT_TRUE(viewer.panelLooksAsIn("panel-exact-wireframe.png"));
    viewer.keys("f");
    ASSERT_TRUE(viewer.waitForMain([](const Image& p) { return !wireframe(p); }));
    viewer.keys("f");
    EXPECT_TRUE(viewer.shows(lines));

    // The working folder read-only, so the home folder, whose disk is full: the reason, nothing left
    // behind, and the viewer goes on.
    std::filesystem::create_directory(dir.path("home"));
    Sitting full(dir, {"-m", "sh", "-c", "mount --bind \"$PWD\" \"$PWD\" && mount -o remount,ro,bind \"$PWD\" && cd \"$PWD\" &&"
                                         " mount -t tmpfs -o size=4k tmpfs home && HOME=$PWD/home exec " VIEWER_PATH}, "/usr/bin/unshare");
    ASSERT_TRUE(full.waitForWindows()) << full.output("stderr");
    full.clickAt(saveX, saveY);
    EXPECT_TRUE(full.waitForOutput("stderr", "Cannot save the picture in " + dir.path("home") + ": No space left on device\n"));
    EXPECT_TRUE(std::filesystem::is_empty("/proc/" + std::to_string(full.pid()) + "/root" + dir.path("home")));
    EXPECT_TRUE(full.showsImage(0) && !full.exitStatus(std::chrono::seconds(0)));

    // Without shaders "Exact texturing" is greyed out and does nothing; standard error says why once.
    Sitting old(dir, {"MESA_GL_VERSION_OVERRIDE=1.4", VIEWER_PATH}, "/usr/bin/env");
    ASSERT_TRUE(old.waitForWindows() && old.showsAngle(6.28318f));
    const Image plane = old.mainPicture();
    old.clickAt(controlX, exactY);
    EXPECT_TRUE(old.sync() && old.shows(plane) && old.panelLooksAsIn("panel-no-shaders.png"));
    EXPECT_EQ(old.output("stderr"), "Exact texturing is not available: this OpenGL (1.4) has no shaders\n");
}

// The focus clicked, dragged at the widest and smallest angles, typed, and centred: each view must
// match the mapping around the focus the test works out from where it clicked and dragged.
TEST(Viewer, TheFocusClickedDraggedTypedAndCentred)
{
    TempDir dir;
    writePositionImages(dir);
    Sitting viewer(dir, {"columns.png", "rows.png"});
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output("stderr");
    viewer.clickAt(controlX, proportionsY - 46);
    ASSERT_TRUE(viewer.panelLooksAsIn("panel-columns.png"));
    View view;
    const Image centred = viewer.sync() ? viewer.mainPicture() : Image{};
    PositionPictures shown;
    // The grid's pictures match away from the focus, the exact ones everywhere.
    auto expectMatches = [&](const std::string& where) {
        shown = viewer.positionPictures();
        const double grid = shareWithinAPixel(shown.gridColumns, shown.gridRows, view, 0.25), exact = shareWithinAPixel(shown.exactColumns, shown.exactRows, view);
        std::printf("focus %s, (%.5f, %.5f) at angle %.5f: pixels within a pixel of their texel: exact %.2f%%, grid %.2f%% beyond 0.25\n",
                    where.c_str(), view.focus.real(), view.focus.imag(), view.angle, 100 * exact, 100 * grid);
        EXPECT_GE(grid, 0.97) << where;
        EXPECT_GE(exact, 0.995) << where;
    };
    // A Shift-click makes the image point under the pointer the focus, and the panel shows it.
    view.focus = imagePoint(view, 480, 120, centred).value();
    viewer.xdotool("mousemove 480 120 keydown shift click 1 keyup shift");
    EXPECT_TRUE(viewer.panelLooksAsIn("panel-focus-clicked.png"));
    expectMatches("clicked");

    // A Shift-drag keeps the point grabbed under the pointer: the focus moves by the z's difference.
    auto drag = [&](int fromX, int fromY, int toX, int toY, const std::string& where) {
        const std::complex<double> grabbed = imagePoint(view, fromX, fromY, centred).value();
        auto z = [&](int x, int y) { return imagePoint({view.angle, 0}, x, y, centred).value_or(NAN); };
        view.focus += z(fromX, fromY) - z(toX, toY);
        const auto at = [](int x, int y) { return " mousemove " + std::to_string(x) + " " + std::to_string(y); };
        viewer.xdotool(at(fromX, fromY) + " keydown shift mousedown 1" + at((2 * fromX + toX) / 3, (2 * fromY + toY) / 3) +
                       at((fromX + 2 * toX) / 3, (fromY + 2 * toY) / 3) + at(toX, toY) + " mouseup 1 keyup shift");
        expectMatches(where);
        const double off = pixelsApart(view, shown.exactColumns, toX, toY, decodedPoint(shown.exactColumns, shown.exactRows, toX, toY), grabbed);
        std::printf("the point grabbed is %.2f pixels from the pointer\n", off);
        EXPECT_LE(off, 2.0) << where;
    };
    drag(400, 200, 272, 284, "near a corner, dragged at the widest angle");
    // A click where no image is drawn does nothing; neither does a drag without Shift.
    viewer.xdotool("mousemove 600 50 keydown shift click 1 keyup shift mousemove 300 300 mousedown 1 mousemove 200 100 mouseup 1");
    EXPECT_TRUE(viewer.sync() && viewer.shows(shown.gridColumns));
    viewer.toSmallestAngle();
    view.angle = 0.01f;
    expectMatches("near a corner, at the smallest angle");
    // A point pulled to the bottom of the logarithmic view comes to the focus; then the viewer rests.
    drag(80, 100, 320, 440, "dragged at the smallest angle");
    EXPECT_TRUE(viewer.comesToRest());

    // Typed, the focus stays in the image: on its edge.
    viewer.typeInto(fieldX, realY - 46, "5");
    view.focus = {1, view.focus.imag()};
    EXPECT_TRUE(viewer.panelLooksAsIn("panel-focus-edge.png") && viewer.comesToRest());
    expectMatches("on an edge");
    const Image edge = shown.gridColumns;
    // The angle typed: 3 (while the viewer is held up, every key between the same two frames), below
    // the smallest (0.01), and above the widest, where a drag upward changes nothing.
    kill(viewer.pid(), SIGSTOP);
    viewer.typeInto(fieldX, angleY - 46, "3");
    kill(viewer.pid(), SIGCONT);
    ASSERT_TRUE(viewer.comesToRest());   // the panel takes the keys one a frame: all of them
    view.angle = 3.0f;
    expectMatches("on an edge at angle 3");
    viewer.typeInto(fieldX, angleY - 46, "-1");
    EXPECT_TRUE(viewer.sync() && viewer.shows(edge));
    viewer.typeInto(fieldX, angleY - 46, "9");
    const Image widest = viewer.sync() ? viewer.mainPicture() : Image{};
    viewer.drag(3, 400, 100);
    EXPECT_TRUE(viewer.sync() && viewer.shows(widest));
    // "Centre" brings back the first picture, exactly.
    viewer.clickAt(centreX, centreY - 46);
    EXPECT_TRUE(viewer.shows(centred));
}

// How a view shows a picture, at a lattice of pixels of a pair of its pictures: of the pixels drawn,
// those measured (smooth around them, away from the cut and edges), and of those the conformal ones
// (the Jacobian's singular values, window to picture, within 5%, orientation kept) and the upright
// ones (it a positive multiple of the identity within 5%), taken over a span of a few picture pixels.
struct Shape {
    int drawn = 0, measured = 0, conformal = 0, upright = 0;
    double share(int part) const { return measured ? double(part) / measured : 0; }
};
Shape shapeOf(const Image& across, const Image& up, int width, int height)
{
    Shape shape;
    auto point = [&](int x, int y) { return toldPoint(across, up, x, y, width, height); };
    for (int py = 4; py < across.height; py += 8)
        for (int px = 4; px < across.width; px += 8) {
            const auto centre = point(px, py);
            if (!centre)
                continue;
            ++shape.drawn;
            if (std::min(centre->real(), width - centre->real()) < 3 || std::min(centre->imag(), height - centre->imag()) < 3)
                continue;
            for (int step = 2; step <= 64; step *= 2) {
                const auto left = point(px - step, py), right = point(px + step, py), above = point(px, py - step), below = point(px, py + step);
                auto smooth = [](std::complex<double> a, std::complex<double> c, std::complex<double> b) { return std::abs(b - 2.0 * c + a) <= 0.2 * std::abs(b - a) + 1; };
                if (!left || !right || !above || !below || !smooth(*left, *centre, *right) || !smooth(*below, *centre, *above))
                    break;
                const std::complex<double> alongX = (*right - *left) / (2.0 * step), alongY = (*above - *below) / (2.0 * step);
                if (std::abs(alongX) * step < 3 && step < 64)
                    continue;
                const double a = alongX.real(), c = alongX.imag(), b = alongY.real(), d = alongY.imag();
                const double determinant = a * d - b * c, sum = a * a + b * b + c * c + d * d;
                const double larger = std::sqrt((sum + std::sqrt(std::max(0.0, sum * sum - 4 * determinant * determinant))) / 2);
                ++shape.measured;
                shape.conformal += determinant > 0 && larger <= 1.05 * std::abs(determinant) / larger;
                shape.upright += a > 0 && std::abs(b) <= 0.05 * a && std::abs(c) <= 0.05 * a && std::abs(d - a) <= 0.05 * a;
                break;
            }
        }
    return shape;
}

// Pictures of 2:1, 2:3 and 1:1 in true proportions, in the default window and a wide one: upright,
// whole and filling the window one way at the widest angle; conformal there, at a middle angle and,
// exactly, at the smallest, whose side edges show what lies below the focus. Shift-click; F11.
TEST(Viewer, YourPictureAsItIsUprightInItsProportionsAndConformal)
{
    TempDir dir;
    const struct {
        std::string name;
        int width, height;
    } pictures[] = {{"wide", 1024, 512}, {"tall", 512, 768}, {"square", 768, 768}};
    std::vector<std::string> files;
    for (const auto& picture : pictures)
        for (const bool up : {false, true}) {
            files.push_back((up ? "up-" : "across-") + picture.name + ".png");
            writeTelling(dir.path(files.back()), picture.width, picture.height, up);
        }
    Sitting viewer(dir, files);
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output("stderr");
    const int more = 23 * (int(files.size()) - 4);   // the controls below the images lie lower
    auto pick = [&](std::size_t file, bool up) {
        viewer.clickAt(controlX, controlY[1] + 23 * int(file));
        return viewer.waitForMain([=](const Image& p) { return tellsUp(p) == up; }).value_or(Image{});
    };
    auto now = [&] { return viewer.sync() ? viewer.mainPicture() : Image{}; };
    for (const auto& [windowWidth, windowHeight] : {std::pair{640, 480}, std::pair{1000, 400}}) {
        viewer.xdotool("windowsize --sync " + std::to_string(viewer.find(mainWindow).id) + " " + std::to_string(windowWidth) + " " + std::to_string(windowHeight));
        for (std::size_t pair = 0; pair < std::size(pictures); ++pair) {
            const int width = pictures[pair].width, height = pictures[pair].height;
            const std::string where = pictures[pair].name + " in " + std::to_string(windowWidth) + " x " + std::to_string(windowHeight);
            auto report = [&](const std::string& at, const Shape& shape) {
                std::printf("%s at %s: %d drawn, %d measured, %.1f%% conformal, %.1f%% upright\n", where.c_str(), at.c_str(), shape.drawn,
                            shape.measured, 100 * shape.share(shape.conformal), 100 * shape.share(shape.upright));
                EXPECT_TRUE(shape.measured >= 0.85 * shape.drawn && shape.share(shape.conformal) >= 0.95) << where << " at " << at;
            };
            // The widest angle, in the grid: upright, centred, filling the window one way.
            Image up = pick(2 * pair + 1, true), across = pick(2 * pair, false);
            const Shape widest = shapeOf(across, up, width, height);
            report("the widest angle", widest);
            EXPECT_GE(widest.share(widest.upright), 0.95) << where;
            // Its corners at the drawn rectangle's, which the picture's shape fits centred.
            const double fit = std::min(double(windowWidth) / width, double(windowHeight) / height);
            const int left = int(std::lround((windowWidth - width * fit) / 2)), top = int(std::lround((windowHeight - height * fit) / 2));
            const auto topLeft = toldPoint(across, up, left, top, width, height);
            const auto bottomRight = toldPoint(across, up, windowWidth - 1 - left, windowHeight - 1 - top, width, height);
            EXPECT_TRUE(topLeft && bottomRight && std::abs(*topLeft - std::complex<double>(0, height)) < 3 &&
                        std::abs(*bottomRight - std::complex<double>(width, 0)) < 3 && !toldPoint(across, up, left - 2, top - 2, width, height))
                << where;
            if (pair == 0 && windowWidth == 640) {
                // Shift-clicked, a point comes to the centre; "Centre" takes it back.
                const std::complex<double> clicked = toldPoint(across, up, 200, 140, width, height).value_or(NAN);
                viewer.xdotool("mousemove 200 140 keydown shift click 1 keyup shift");
                const Image acrossThere = now(), upThere = pick(2 * pair + 1, true);
                const auto centred = toldPoint(acrossThere, upThere, 320, 240, width, height);
                EXPECT_TRUE(centred && std::abs(*centred - clicked) <= 3) << clicked << " is shown at the centre as " << centred.value_or(NAN);
                viewer.clickAt(centreX, centreY + more);
                up = now();
                across = pick(2 * pair, false);
            }
            // A middle angle and the smallest, exactly.
            viewer.clickAt(controlX, exactY + more);
            viewer.drag(3, 10, 210);
            across = now();
            up = pick(2 * pair + 1, true);
            report("a middle angle", shapeOf(across, up, width, height));
            for (int drag = 0; drag < 3; ++drag)
                viewer.drag(3, 10, windowHeight - 10);
            up = now();
            across = pick(2 * pair, false);
            report("the smallest angle", shapeOf(across, up, width, height));
            // Its side edges straight below the focus (the centre), within the outer pixels' turn;
            // its middle straight above.
            int sides = 0, below = 0, middle = 0, above = 0;
            const double turn = std::tan(2 * M_PI * 8 / windowWidth);
            for (int y = 0; y < windowHeight; y += 4)
                for (const int x : {0, windowWidth / 2, windowWidth - 1})
                    if (const auto p = toldPoint(across, up, x, y, width, height)) {
                        const std::complex<double> fromFocus = *p - std::complex<double>(width / 2.0, height / 2.0);
                        const bool side = x != windowWidth / 2;
                        const double upward = side ? -1 : 1;   // how far it must lie up from the focus
                        (side ? sides : middle) += 1;
                        (side ? below : above) += upward * fromFocus.imag() > 0 && std::abs(fromFocus.real()) <= upward * fromFocus.imag() * turn + 2;
                    }
            EXPECT_TRUE(sides >= 10 && below >= 0.95 * sides && middle >= 10 && above >= 0.95 * middle)
                << where << ": " << below << " of " << sides << " below, " << above << " of " << middle << " above";
            viewer.clickAt(controlX, exactY + more);
            for (int drag = 0; drag < 4; ++drag)
                viewer.drag(3, windowHeight - 10, 10);
        }
    }
    // F11 fills the screen with the picture; again, and the window is where it was.
    viewer.keys("F11");
    EXPECT_TRUE(viewer.waitForMain([](const Image& p) { return p.width == 1600 && p.height == 1200; }));
    viewer.keys("F11");
    EXPECT_TRUE(viewer.waitForMain([](const Image& p) { return p.width == 1000 && p.height == 400; }));
    const WindowGeometry back = viewer.find(mainWindow);
    EXPECT_TRUE(back.x == 0 && back.y == 0);
}

// The largest difference between a picture of the main window at the widest angle and the 480 x 640
// image it shows there, a texel to a pixel, on its side: its columns up the window, its rows across.
int largestDifference(const Image& shown, const Image& image)
{
    if (shown.width != image.height || shown.height != image.width)
        return 256;
    int largest = 0;
    for (int py = 0; py < shown.height; ++py)
        for (int px = 0; px < shown.width; ++px)
            for (int c = 0; c < 3; ++c)
                largest = std::max(largest, std::abs(shown.at(px, py)[c] - image.at(image.width - 1 - py, image.height - 1 - px)[c]));
    return largest;
}

// The bytes of a JPEG file with an orientation tag, 6 (turned a quarter clockwise to be shown), in
// an Exif segment right after its start.
std::string withOrientation(std::string jpeg)
{
    const char exif[] = "\xff\xe1\x00\x22"
                        "Exif\0\0"
                        "II*\0\x08\0\0\0"                      // little-endian TIFF, the first directory at 8
                        "\x01\0"                                // one entry
                        "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"   // Orientation, a SHORT, 6
                        "\0\0\0\0";                              // no next directory
    return jpeg.insert(2, exif, sizeof exif - 1);
}

// One picture in every format the viewer names, shown as ImageMagick decodes it. Then a slow one:
// its progress in the panel while the main window keeps its picture and morphs; Esc ends it at once.
TEST(Viewer, EveryFormatShownAsAnIndependentDecoderDecodesIt)
{
    TempDir dir;
    constexpr int width = 480, height = 640;
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {std::uint8_t(x * 255 / (width - 1)), std::uint8_t(y * 255 / (height - 1)),
                                   std::uint8_t(std::lround(128 + 100 * std::sin(x / 15.0) * std::cos(y / 20.0)))});
    ASSERT_EQ(writePng(dir.path("picture.png"), width, height, rgb.data()), "");
    struct Format {
        std::string file, make;   // made from picture.png in the folder by a command
        int tolerance;            // in levels: rounding, or a lossy format's loss
    };
    const Format formats[] = {
        {"picture.png", "true", 1},
        {"deep.png", "convert picture.png -depth 16 deep.png", 1},
        {"grey-alpha.png", "convert picture.png -colorspace Gray -alpha set -channel A -evaluate set 60% +channel grey-alpha.png", 1},
        {"picture.jpg", "vips copy picture.png picture.jpg[Q=95]", 2},
        {"turned.jpg", "convert picture.png -rotate -90 turned-plain.jpg", 2},
        {"strips.tif", "vips copy picture.png strips.tif[compression=lzw]", 1},
        {"tiles.tif", "vips copy picture.png tiles.tif[tile,tile-width=64,tile-height=64,compression=deflate]", 1},
        {"pyramid.tif", "vips copy picture.png pyramid.tif[tile,tile-width=64,tile-height=64,pyramid,compression=deflate]", 1},
        {"deep.tif", "convert picture.png -depth 16 deep.tif", 1},
        {"alpha.tif", "vips bandjoin_const picture.png alpha.tif 128", 1},
        {"cmyk.tif", "vips colourspace picture.png cmyk.tif cmyk", 16},   // two colour engines
        {"lossy.webp", "vips copy picture.png lossy.webp[Q=95]", 3},
        {"lossless.webp", "vips copy picture.png lossless.webp[lossless]", 1},
        {"alpha.webp", "vips bandjoin_const picture.png alpha.v 200 && vips copy alpha.v alpha.webp[lossless]", 1},
        {"picture.gif", "vips copy picture.png picture.gif", 1},
        {"picture.avif", "vips copy picture.png picture.avif[lossless]", 2},   // its colours in YCbCr
    };
    std::vector<std::string> files;
    for (const Format& format : formats) {
        ASSERT_EQ(runCommand("cd '" + dir.str() + "' && " + format.make + " 2>&1").status, 0) << format.make;
        files.push_back(format.file);
    }
    writeFile(dir.path("turned.jpg"), withOrientation(readFile(dir.path("turned-plain.jpg"))));
    // Interlaced noise decodes slowly: PNG has no shrink on load, libvips reads an interlaced one
    // whole, and the test's texture limit keeps the texture small.
    ASSERT_EQ(runCommand("cd '" + dir.str() + "' && vips gaussnoise noise.v 6000 6000 --sigma 20 && vips cast noise.v grey.v uchar && "
                         "vips bandjoin 'grey.v grey.v grey.v' colour.v && vips copy colour.v slow.png[compression=1,filter=0,interlace] 2>&1").status, 0);
    files.push_back("slow.png");
    std::filesystem::create_directory(dir.path("tmp"));
    files.insert(files.begin(), {"CLV_TEXTURE_LIMIT=640", "TMPDIR=" + dir.path("tmp"), VIEWER_PATH});
    Sitting viewer(dir, files, "/usr/bin/env");
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output("stderr");
    // In the square view each of the picture's pixels lies on one of the window's.
    viewer.clickAt(controlX, proportionsY + 23 * (int(std::size(formats)) + 1 - 4));
    // ImageMagick's decode; CMYK through the picture's own colour profile, as the viewer converts it.
    auto independentDecode = [&](const Format& format) {
        const std::string colours = format.file == "cmyk.tif" ? "-profile /usr/share/color/icc/sRGB.icc" : "-colorspace sRGB";
        const std::string bytes = runCommand("cd '" + dir.str() + "' && convert " + format.file + " -auto-orient " + colours + " -alpha off -depth 8 rgb:-").output;
        return Image{width, height, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
    };
    for (std::size_t i = 0; i < std::size(formats); ++i) {
        if (i > 0)
            viewer.clickAt(controlX, controlY[1] + 23 * int(i));
        const Image expected = independentDecode(formats[i]);
        int difference = 256;
        viewer.waitForMain([&](const Image& shown) { return (difference = largestDifference(shown, expected)) <= formats[i].tolerance; });
        std::printf("%s shown within %d levels of ImageMagick's decode\n", formats[i].file.c_str(), difference);
        EXPECT_LE(difference, formats[i].tolerance) << formats[i].file;
    }

    const Image before = viewer.mainPicture();
    const int panelHeight = viewer.find(panelWindow).height;
    const int slowY = controlY[1] + 23 * int(std::size(formats));
    viewer.clickAt(controlX, slowY);
    // After half a second the panel tells how far it is on a line of its own; the picture stays.
    ASSERT_TRUE(pollUntil([&] { return viewer.find(panelWindow).height > panelHeight; }, std::chrono::seconds(10)));
    EXPECT_TRUE(viewer.shows(before));
    // Another picked meanwhile is the one shown, and the slow one's line goes.
    viewer.clickAt(controlX, controlY[1]);
    const Image first = independentDecode(formats[0]);
    EXPECT_TRUE(viewer.waitForMain([&](const Image& shown) { return largestDifference(shown, first) <= formats[0].tolerance; }));
    EXPECT_TRUE(pollUntil([&] { return viewer.find(panelWindow).height == panelHeight; }));
    viewer.clickAt(controlX, slowY);
    ASSERT_TRUE(pollUntil([&] { return viewer.find(panelWindow).height > panelHeight; }, std::chrono::seconds(10)));
    viewer.drag(3, 100, 300);
    EXPECT_TRUE(viewer.waitForMain([&](const Image& shown) { return largestDifference(shown, first) > formats[0].tolerance; }));
    ASSERT_GT(viewer.find(panelWindow).height, panelHeight) << "the picture was decoded before Esc";
    // libvips's temporary folder, which a JPEG's detail can fill with gigabytes, goes with it.
    EXPECT_FALSE(std::filesystem::is_empty(dir.path("tmp")));
    viewer.keys("Escape");
    // At once; LeakSanitizer's look at the heap as the process ends is not the viewer's.
    EXPECT_EQ(viewer.exitStatus(std::chrono::seconds(underAddressSanitizer ? 10 : 2)), 0) << viewer.output("stderr");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path("tmp")));
}

// A 2048-pixel square picture over the (lowered) texture limit, red and green the low bits of column
// and row, blue a checker: at the smallest angle, at the focus first and moved, the file's pixels;
// where a pixel covers several, their mean; coarser levels in place; at rest once the levels are in.
TEST(Viewer, ADeepPictureShowsTheFilesOwnPixelsAtTheFocus)
{
    TempDir dir;
    constexpr int side = 2048;
    std::vector<std::uint8_t> rgb;
    for (int y = side - 1; y >= 0; --y)   // files store the top row first
        for (int x = 0; x < side; ++x)
            rgb.insert(rgb.end(), {std::uint8_t(x), std::uint8_t(y), std::uint8_t((x + y) % 2 * 255)});
    ASSERT_EQ(writePng(dir.path("deep.png"), side, side, rgb.data()), "");
    Sitting viewer(dir, {"CLV_TEXTURE_LIMIT=512", VIEWER_PATH, "deep.png"}, "/usr/bin/env");
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output("stderr");
    viewer.toSmallestAngle();
    // What a picture of it shows, pixel by pixel, for a focus.
    struct Detail {
        int near = 0, own = 0, covering = 0, averaged = 0, placed = 0, inPlace = 0, blended = 0;
        double blendedBlue = 0, blendedSpread = 0;
    };
    auto detailIn = [&](const Image& shown, const View& view) {
        Detail d;
        for (int py = 0; py < shown.height; ++py)
            for (int px = 0; px + 1 < shown.width; ++px) {
                const auto p = imagePoint(view, px, py, shown), right = imagePoint(view, px + 1, py, shown), below = imagePoint(view, px, py + 1, shown);
                if (!p || !right || !below || shown.white(px, py))
                    continue;
                // The file's pixel (column, row) there and the screen pixel's span. Magnified, near
                // a pixel's centre, its own: low bits and checker (wrapping low bits blend 255, 0).
                const double column = (p->real() + 1) / 2 * side - 0.5, row = (p->imag() + 1) / 2 * side - 0.5;
                const double span = std::max(std::abs(*right - *p), std::abs(*below - *p)) / 2 * side;
                const long x = std::lround(column), y = std::lround(row);
                const std::uint8_t* colour = shown.at(px, py);
                const bool wraps = (x + 1) % 256 < 2 || (y + 1) % 256 < 2;
                if (span < 0.35 && std::abs(column - x) < 0.2 && std::abs(row - y) < 0.2 && !wraps) {
                    ++d.near;
                    d.own += std::abs(std::remainder(colour[0] - x, 256.0)) <= 1 && std::abs(std::remainder(colour[1] - y, 256.0)) <= 1 &&
                             std::abs(colour[2] - (x + y) % 2 * 255) < 100;
                } else if (span > 3) {
                    ++d.covering;
                    d.averaged += std::abs(colour[2] - 127.5) < 24;
                } else if (span > 1.4 && span < 2) {
                    // Between the file's pixels and the next level, blended towards its means.
                    ++d.blended;
                    d.blendedBlue += colour[2];
                    d.blendedSpread += std::abs(colour[2] - 127.5);
                }
                // Means of the low bits keep them: at every level red and green tell the place.
                const double margin = 2 * span + 2, across = std::fmod(column + 256, 256), up = std::fmod(row + 256, 256);
                if (span > 1 && span < 6 && std::min(across, 256 - across) > margin && std::min(up, 256 - up) > margin) {
                    ++d.placed;
                    d.inPlace += std::abs(colour[0] - across) <= 2 && std::abs(colour[1] - up) <= 2;
                }
            }
        return d;
    };
    View view{0.01f, 0, 1.0};
    auto expectDetail = [&](const std::string& where) {
        ASSERT_TRUE(viewer.comesToRest()) << where;
        const Detail d = detailIn(viewer.mainPicture(), view);
        std::printf("focus %s: %d of %d pixels near it show the file's own, %d of %d covering several the mean, %d of %d coarser ones in "
                    "place, %d blended to %.1f, %.1f from the mean\n",
                    where.c_str(), d.own, d.near, d.averaged, d.covering, d.inPlace, d.placed, d.blended, d.blendedBlue / d.blended,
                    d.blendedSpread / d.blended);
        EXPECT_TRUE(d.near > 1000 && d.own >= 0.99 * d.near) << where;
        EXPECT_TRUE(d.covering > 2000 && d.averaged >= 0.95 * d.covering) << where;
        EXPECT_TRUE(d.placed > 2000 && d.inPlace >= 0.98 * d.placed) << where;
        EXPECT_TRUE(d.blended > 500 && std::abs(d.blendedBlue / d.blended - 127.5) < 12 && d.blendedSpread / d.blended < 16) << where;
    };
    expectDetail("at the centre");
    EXPECT_TRUE(viewer.panelLooksAsIn("panel-deep.png"));
    // Moved, by a click and by typing.
    view.focus = imagePoint(view, 480, 200, viewer.mainPicture()).value();
    viewer.xdotool("mousemove 480 200 keydown shift click 1 keyup shift");
    expectDetail("clicked");
    viewer.typeInto(fieldX, realY - 23 * 3, "0.62");
    viewer.typeInto(fieldX, realY - 23 * 3 + 23, "-0.41");
    view.focus = {0.62, -0.41};
    expectDetail("typed");
}

TEST(Viewer, AnImageThatCannotBeLoadedEndsItWithTheMessage)
{
    TempDir dir;
    // The first image missing, or not a PNG: it ends before the panel window exists.
    for (const bool present : {false, true}) {
        if (present)
            writeFile(dir.path("galaxie.png"), "not PNG\n");
        Sitting failing(dir);
        EXPECT_EQ(failing.exitStatus(), 255);
        EXPECT_EQ(failing.output(), "Texture file not found ... exiting\n");
        EXPECT_EQ(failing.windowsCreated(), 1) << "only the main window may have been opened";
    }
    // A file given that cannot be loaded: the same, with its path and libvips's reason; before any
    // window where its header shows it, else when it is decoded.
    writeImages(dir);
    writeFile(dir.path("text.png"), "not PNG\n");
    writeFile(dir.path("empty.jpg"), "");
    std::filesystem::create_directory(dir.path("folder.png"));
    writeFile(dir.path("lost.dzi"), R"(<Image TileSize="254" Overlap="1" Format="jpeg"><Size Width="1000" Height="800"/></Image>)");
    writeFile(dir.path("huge.png"), withClaimedSize(readFile(dir.path("galaxie.png")), 1000000, 1000000));
    for (const std::string cut : {"cut.png", "cut.tif", "cut.webp"}) {
        ASSERT_EQ(runCommand("cd '" + dir.str() + "' && vips copy treemap.png whole-" + cut).status, 0);
        const std::string whole = readFile(dir.path("whole-" + cut));
        writeFile(dir.path(cut), whole.substr(0, whole.size() / 2));
    }
    const struct {
        std::vector<std::string> arguments;
        std::string reason;
    } refusals[] = {
        {{"missing.png"}, "missing.png: unable to open for read; unix error: No such file or directory"},
        {{"text.png"}, "text.png: VipsForeignLoad: \"text.png\" is not a known file format"},
        {{"empty.jpg"}, "empty.jpg: VipsForeignLoad: \"empty.jpg\" is not a known file format"},
        {{"folder.png"}, "folder.png: not a folder of tiles: it has no zoom folders named 0, 1, 2 and so on"},
        {{"lost.dzi"}, "lost.dzi: its tiles are missing: there is no folder lost_files"},
        {{"galaxie.png", "missing.png"}, "missing.png: unable to open for read; unix error: No such file or directory"},
        {{"huge.png"}, "huge.png: its header claims 1000000 x 1000000 pixels, more than the viewer's limit of 16 gigapixels"},
        {{"cut.webp"}, "cut.webp: webp: unable to parse image"},
        {{"cut.tif"}, "cut.tif: not a JPEG, PNG, WebP, TIFF, GIF or HEIF picture, or a damaged one (libvips: magickload: operation is blocked)"},
    };
    for (const auto& [arguments, reason] : refusals) {
        Sitting refused(dir, arguments);
        EXPECT_TRUE(refused.exitStatus() == 255 && refused.output() == "Texture file not found ... exiting\n") << reason;
        EXPECT_EQ(refused.output("stderr"), reason + "\n");
        EXPECT_EQ(refused.windowsCreated(), 0) << reason;
    }
    // Damaged further in, or cut short under a header of 100,000 x 100,000 pixels: refused when
    // decoded, the path and reason on standard error and in the panel, and the viewer goes on with
    // what it had (white at first), the others to pick; picked again, the file is tried again.
    writeFile(dir.path("bomb.png"), withClaimedSize(readFile(dir.path("galaxie.png")), 100000, 100000));
    Sitting damaged(dir, {"cut.png", "galaxie.png", "bomb.png"});
    ASSERT_TRUE(damaged.waitForWindows()) << damaged.output("stderr");
    EXPECT_TRUE(damaged.waitForOutput("stderr", "cut.png: "));
    EXPECT_TRUE(damaged.waitForMain([](const Image& p) { return std::all_of(p.rgb.begin(), p.rgb.end(), [](std::uint8_t c) { return c == 255; }); }));
    const int saying = damaged.find(panelWindow).height;
    damaged.clickAt(controlX, controlY[2]);
    EXPECT_TRUE(damaged.showsImage(0) && pollUntil([&] { return damaged.find(panelWindow).height < saying; }));
    damaged.clickAt(controlX, controlY[3]);
    EXPECT_TRUE(damaged.waitForOutput("stderr", "bomb.png: Not enough image data\n"));
    EXPECT_TRUE(pollUntil([&] { return damaged.find(panelWindow).height == saying; }) && damaged.sync() && damaged.showsImage(0));
    std::filesystem::copy_file(dir.path("whole-cut.png"), dir.path("bomb.png"), std::filesystem::copy_options::overwrite_existing);
    damaged.clickAt(controlX, controlY[3]);
    EXPECT_TRUE(damaged.showsImage(2));
    EXPECT_FALSE(damaged.exitStatus(std::chrono::seconds(0)));
    // An image removed after start and then picked: the previous one shows until then.
    Sitting viewer(dir);
    ASSERT_TRUE(viewer.waitForWindows());
    std::filesystem::remove(dir.path("treemap.png"));
    EXPECT_TRUE(viewer.showsImage(0));
    viewer.click(3);
    EXPECT_EQ(viewer.exitStatus(), 255);
    EXPECT_EQ(viewer.output(), "Texture file not found ... exiting\n");
}

} // namespace

// XYZ folders of 16-pixel tiles, whole to zoom 2, below only around `places` (picture points,
// across and up); red and green the low bits of column and row from the top, blue zoom and checker.
constexpr int pyramidTile = 16, pyramidChecker = 4;
std::uint8_t pyramidBlue(int zoom) { return std::uint8_t(zoom * 9); }
void writePyramid(const std::string& folder, int deepest, const std::vector<std::complex<double>>& places)
{
    for (int zoom = 0; zoom <= deepest; ++zoom) {
        const long tiles = 1L << zoom;
        std::set<std::pair<long, long>> written;
        for (long x = 0; x < tiles; ++x)
            for (long y = 0; y < tiles && zoom <= 2; ++y)
                written.insert({x, y});
        for (const std::complex<double>& place : places)
            for (long dx = -2; dx <= 2; ++dx)
                for (long dy = -2; dy <= 2; ++dy)
                    written.insert({std::clamp(long((place.real() + 1) / 2 * tiles) + dx, 0L, tiles - 1),
                                    std::clamp(long((1 - place.imag()) / 2 * tiles) + dy, 0L, tiles - 1)});
        for (const auto& [x, y] : written) {
            std::vector<std::uint8_t> rgb;
            for (long row = y * pyramidTile; row < (y + 1) * pyramidTile; ++row)
                for (long column = x * pyramidTile; column < (x + 1) * pyramidTile; ++column)
                    rgb.insert(rgb.end(), {std::uint8_t(column), std::uint8_t(row), std::uint8_t(pyramidBlue(zoom) + (column + row) % 2 * pyramidChecker)});
            const std::string columnFolder = folder + "/" + std::to_string(zoom) + "/" + std::to_string(x);
            std::filesystem::create_directories(columnFolder);
            ASSERT_EQ(writePng(columnFolder + "/" + std::to_string(y) + ".png", pyramidTile, pyramidTile, rgb.data()), "");
        }
    }
}

// At rest, zoomed in fully at the smallest angle on a pyramid `deepest` zooms deep, the focus at
// its (column, row) (low bits compared): the bottom edge shows the deepest level's own pixels, 8
// screen pixels a side, unblended, in place, the focus's column a dozen rows up; within budget.
void expectDeepestPixels(Sitting& viewer, int deepest, long column, long row, const std::string& where)
{
    // A viewer waiting for a server takes no CPU: the deepest level is waited for first.
    viewer.waitForMain([&](const Image& shown) {
        const std::uint8_t* c = shown.at(shown.width / 2, shown.height - 1);
        return c[2] == pyramidBlue(deepest) + (c[0] + c[1]) % 2 * pyramidChecker;
    });
    ASSERT_TRUE(viewer.comesToRest()) << where;
    const Image shown = viewer.mainPicture();
    auto near = [](int shown, long wanted, int within) { return std::abs(std::remainder(shown - wanted, 256.0)) <= within; };
    int band = 0, deepestShown = 0, placed = 0;
    for (int y = shown.height - 50; y < shown.height; ++y)
        for (int x = 200; x < 440; ++x, ++band) {
            const std::uint8_t* c = shown.at(x, y);
            deepestShown += c[2] == pyramidBlue(deepest) + (c[0] + c[1]) % 2 * pyramidChecker;
            placed += near(c[0], column, 16) && near(c[1], row, 40);
        }
    // Across the bottom edge and up the middle, runs of one colour as long as the pixels are wide,
    // the same both ways.
    const std::uint8_t* above = shown.at(shown.width / 2, shown.height - 1);
    auto runs = [&](int x0, int y0, int dx, int dy, int length) {
        int changes = 0;
        for (int i = 1; i < length; ++i)
            changes += !std::equal(shown.at(x0 + i * dx, y0 + i * dy), shown.at(x0 + i * dx, y0 + i * dy) + 3, shown.at(x0 + (i - 1) * dx, y0 + (i - 1) * dy));
        return double(length) / std::max(changes, 1);
    };
    const double across = runs(200, shown.height - 5, 1, 0, 240), up = runs(320, shown.height - 41, 0, 1, 40);
    std::printf("%s: %d of %d pixels at the bottom edge show the deepest level, %d in place; above the focus %d, %d; runs of %.1f across, %.1f up\n",
                where.c_str(), deepestShown, band, placed, above[0], above[1], across, up);
    writePng("shown-deepest.png", std::uint32_t(shown.width), std::uint32_t(shown.height), shown.rgb.data());   // kept for a look
    EXPECT_GE(deepestShown, 0.95 * band) << where << viewer.output("stderr");
    EXPECT_GE(placed, 0.95 * band) << where;
    EXPECT_TRUE(near(above[0], column, 1) && near(above[1], row - 13, 4)) << where;
    EXPECT_TRUE(across > 4.5 && across < 11 && up / across > 0.7 && up / across < 1.4) << where;
    const std::string status = readFile("/proc/" + std::to_string(viewer.pid()) + "/status");
    const long residentKiB = std::stol(status.substr(status.find("VmRSS:") + 6));
    EXPECT_TRUE(underAddressSanitizer || residentKiB < 512 * 1024) << residentKiB << " KiB resident";
}

// The deepest level's column and row from the top of a picture point typed into the focus's
// spinners, which hold floats.
std::pair<long, long> deepestOf(std::complex<double> point, int deepest)
{
    const double side = std::ldexp(double(pyramidTile), deepest);
    return {long((double(float(point.real())) + 1) / 2 * side), long((1 - double(float(point.imag()))) / 2 * side)};
}

// Zoomed in with the wheel as far as it goes at the smallest angle, the focus typed.
void zoomInAt(Sitting& viewer, std::complex<double> focus)
{
    viewer.toSmallestAngle();
    viewer.xdotool("mousemove 320 240 click --repeat 120 --delay 5 4");
    viewer.typeInto(fieldX, realY - 23 * 3, std::to_string(focus.real()));
    viewer.typeInto(fieldX, realY - 23 * 3 + 23, std::to_string(focus.imag()));
}

// A pyramid 2^30 pixels a side, a tile cut short: zoomed in fully, its deepest pixels where the focus
// is typed, where a Shift-click at depth puts it (to the pixel), near the far corner; the tile told.
TEST(Viewer, APyramidShowsItsDeepestPixelsAtTheFocusZoomedIn)
{
    TempDir dir;
    constexpr int deepest = 26;
    writePyramid(dir.path("world"), deepest, {{0.3, 0.2}, {0.985, 0.985}});
    const std::string damaged = "world/12/" + std::to_string(long(1.3 / 2 * 4096)) + "/" + std::to_string(long(0.8 / 2 * 4096)) + ".png";
    writeFile(dir.path(damaged), readFile(dir.path(damaged)).substr(0, 60));

    Sitting viewer(dir, {"CLV_TEXTURE_LIMIT=128", VIEWER_PATH, "world"}, "/usr/bin/env");
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output("stderr");
    zoomInAt(viewer, {0.3, 0.2});
    const auto [column, row] = deepestOf({0.3, 0.2}, deepest);
    expectDeepestPixels(viewer, deepest, column, row, "where it has its tiles");
    // Its damaged tile, one of those around the focus, told once its level's window has been read.
    EXPECT_TRUE(viewer.waitForOutput("stderr", "world: tile " + damaged.substr(6) + ": ")) << viewer.output("stderr");
    // A Shift-click at depth: the pixel under the pointer becomes the focus, to the pixel.
    const Image beforeClick = viewer.mainPicture();
    const long clickedColumn = beforeClick.at(380, 455)[0], clickedRow = beforeClick.at(380, 455)[1];
    viewer.xdotool("mousemove 380 455 keydown shift click 1 keyup shift");
    expectDeepestPixels(viewer, deepest, clickedColumn, clickedRow, "clicked at depth");
    viewer.typeInto(fieldX, realY - 23 * 3, "0.985");
    viewer.typeInto(fieldX, realY - 23 * 3 + 23, "0.985");
    const auto [farColumn, farRow] = deepestOf({0.985, 0.985}, deepest);
    expectDeepestPixels(viewer, deepest, farColumn, farRow, "near the far corner");
}

// Such a pyramid served through TileJSON, the disk cache the test's, nine zooms spoilt each its own
// way (hang, slow, drop, truncate, oversize, loop, ftp, 500, 404): the viewer keeps drawing, shows
// the deepest pixels, tells what failed, rests, ends at Esc; then, the server stopped, from cache.
TEST(Viewer, APyramidFromAServerSturdyWhenTheNetworkIsNot)
{
    TempDir dir;
    constexpr int deepest = 16;
    const std::complex<double> focus{-0.5, 0.6};
    writePyramid(dir.path("world"), deepest, {focus});
    const auto [column, row] = deepestOf(focus, deepest);
    const std::vector<std::string> environment{"XDG_CACHE_HOME=" + dir.path("cache"), "CLV_TEXTURE_LIMIT=128", "CLV_HTTP_TIMEOUT=1", VIEWER_PATH, "world.json"};
    {
        TileServer server(dir.str(), {"/world/8/*=hang", "/world/9/*=slow:0.3", "/world/10/*=drop", "/world/11/*=truncate", "/world/12/*=oversize",
                                      "/world/13/*=loop", "/world/14/*=ftp", "/world/15/*=500", "/world/7/*=404"});
        writeFile(dir.path("world.json"), R"({"tilejson": "3.0.0", "name": "loopback world", "tiles": [")" + server.url("world/{z}/{x}/{y}.png") +
                                              R"("], "minzoom": 0, "maxzoom": 16, "tileSize": 16})");
        Sitting viewer(dir, environment, "/usr/bin/env");
        ASSERT_TRUE(viewer.waitForWindows()) << viewer.output("stderr");
        zoomInAt(viewer, focus);
        const Image before = viewer.mainPicture();
        const auto dragged = std::chrono::steady_clock::now();
        viewer.drag(3, 200, 190);
        EXPECT_TRUE(viewer.waitForMain([&](const Image& shown) { return !(shown == before); }) && std::chrono::steady_clock::now() - dragged < std::chrono::seconds(1))
            << "a drag while tiles hang";
        viewer.drag(3, 10, 470);
        expectDeepestPixels(viewer, deepest, column, row, "served with faults");
        EXPECT_TRUE(viewer.waitForOutput("stderr", "world.json: " + server.url("world/"))) << viewer.output("stderr");
        viewer.xdotool("mousemove 320 240 key Escape");
        EXPECT_EQ(viewer.exitStatus(std::chrono::seconds(3)), 0);
    }
    Sitting offline(dir, environment, "/usr/bin/env");
    ASSERT_TRUE(offline.waitForWindows()) << offline.output("stderr");
    zoomInAt(offline, focus);
    expectDeepestPixels(offline, deepest, column, row, "from the cache, the server stopped");
}
