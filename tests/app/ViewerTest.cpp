// The whole program as a person uses it, each test one sitting at the real viewer.
//
// The test images encode their own texels: red is the column, green the row from the bottom, and
// blue names the image, plus a checker of single texels that becomes in-between blues wherever the
// texture is filtered. So each pixel of the main window tells which point of which image it shows.
#include "PngWriter.h"
#include "TestSupport.h"
#include "TextureCatalogue.h"

#include <gtest/gtest.h>

#include <complex>

namespace {

const char* const imageFiles[] = {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"};
constexpr int imageWidth = 255, imageHeight = 256;   // rows of 765 bytes: not a multiple of 4
constexpr int checker = 30;                          // the odd texels' blue above the image's own
int blueOf(int image) { return 20 + 60 * image; }
// The checkbox and radio buttons, where the picture of the panel in the test data has them.
constexpr int controlX = 17, controlY[] = {38, 82, 105, 128, 151};

void writeImages(const TempDir& dir)
{
    for (int image = 0; image < 4; ++image) {
        std::vector<std::uint8_t> rgb;
        for (int y = imageHeight - 1; y >= 0; --y)   // files store the top row first
            for (int x = 0; x < imageWidth; ++x)
                rgb.insert(rgb.end(), {std::uint8_t(x), std::uint8_t(y), std::uint8_t(blueOf(image) + (x + y) % 2 * checker)});
        ASSERT_TRUE(writePng(dir.path(imageFiles[image]), imageWidth, imageHeight, rgb.data()));
    }
}

// Pixels of a lattice that do not show the texel the mapping at `angle` puts there (within a few
// texels), or are not white where it puts nothing. Each is traced back through the view's fitting
// to w, then to z = (1 + w / k)^k on the wedge |arg| < pi / k that the mapping fills. Pixels by the
// image's rim or the cut are skipped, and so are the large cells at the centre, where the texture
// is interpolated linearly over a strongly curved part of the mapping.
int mismatches(const Image& picture, float angle)
{
    const double k = float(6.28318 / double(angle)), scale = std::min(k, 3.14159), offset = std::min(k, 2.0);
    auto source = [&](int px, int py) -> std::optional<std::complex<double>> {
        const double x = (px + 0.5) / picture.width * 2 - 1, y = 1 - (py + 0.5) / picture.height * 2;
        const std::complex<double> p = 1.0 + std::complex<double>(y * scale - offset, x * scale) / k, z = std::pow(p, k);
        if (std::abs(std::arg(p)) * k >= M_PI || std::abs(z.real()) > 1 || std::abs(z.imag()) > 1)
            return std::nullopt;
        return z;
    };
    int count = 0;
    for (int py = 0; py < picture.height; py += 12)
        for (int px = 0; px < picture.width; px += 12) {
            const auto z = source(px, py);
            if (z.has_value() != source(px + 3, py + 3).has_value() || (z && std::abs(*z) < 0.15))
                continue;
            const double column = std::clamp(((z ? z->real() : 0) + 1) / 2 * imageWidth - 0.5, 0.0, imageWidth - 1.0);
            const double row = std::clamp(((z ? z->imag() : 0) + 1) / 2 * imageHeight - 0.5, 0.0, imageHeight - 1.0);
            const std::uint8_t* p = picture.at(px, py);
            count += z ? std::abs(p[0] - column) > 8 || std::abs(p[1] - row) > 8 : !picture.white(px, py);
        }
    return count;
}

// Of the drawn pixels in the top `rows` rows: the share whose blue lies between the checker's two
// values (the texels were blended by filtering), and whether all show `image`.
std::pair<double, bool> blendedShareAndImage(const Image& picture, int image, int rows)
{
    int drawn = 0, blended = 0, others = 0;
    for (int py = 0; py < rows; ++py)
        for (int px = 0; px < picture.width; ++px)
            if (const int blue = picture.at(px, py)[2] - blueOf(image); !picture.white(px, py)) {
                ++drawn;
                blended += blue > 3 && blue < checker - 3;
                others += blue < -2 || blue > checker + 2;
            }
    return {drawn ? double(blended) / drawn : 0, others == 0 && drawn * 3 > picture.width * rows};
}

// Wireframe leaves most of the window white: filled, the widest angle leaves none, the smallest
// an eighth.
bool wireframe(const Image& picture)
{
    int white = 0;
    for (int py = 0; py < picture.height; ++py)
        for (int px = 0; px < picture.width; ++px)
            white += picture.white(px, py);
    return white * 2 > picture.width * picture.height;
}

// A viewer started in a folder, and what a person does to it.
struct Sitting : Viewer {
    explicit Sitting(const TempDir& dir) : Viewer(VIEWER_PATH, dir.str()) {}
    std::optional<Image> waitForMain(const std::function<bool(const Image&)>& wanted) { return waitFor(mainWindow, wanted); }
    Image mainPicture() { return waitForMain([](const Image&) { return true; }).value_or(Image{}); }
    bool shows(const Image& picture) { return waitForMain([&](const Image& p) { return p == picture; }).has_value(); }
    bool showsAngle(float angle) { return waitForMain([=](const Image& p) { return mismatches(p, angle) == 0; }).has_value(); }
    bool showsImage(int image) { return waitForMain([=](const Image& p) { return blendedShareAndImage(p, image, p.height).second; }).has_value(); }
    void keys(const std::string& names) { xdotool("mousemove 320 240 key " + names); }   // to the window under the pointer
    void drag(int button, int fromY, int toY)
    {
        const std::string b = std::to_string(button);
        xdotool("mousemove 300 " + std::to_string(fromY) + " mousedown " + b + " mousemove 300 " + std::to_string(toY) + " mouseup " + b);
    }
    // 'f' twice, through wireframe and back: all input sent before has been handled.
    bool sync()
    {
        keys("f");
        const bool lines = waitForMain(wireframe).has_value();
        keys("f");
        return lines && waitForMain([](const Image& p) { return !wireframe(p); });
    }
    // Whether the controls hold the toolkit's blue mark (checked, selected) as wanted, shown with
    // the pointer away from them.
    bool marked(std::vector<bool> wanted)
    {
        xdotool("mousemove 320 240");
        return waitFor(panelWindow, [&](const Image& panel) {
            std::vector<bool> marks(5);
            for (int i = 0; i < 5 && panel.height > controlY[4]; ++i)
                for (int y = controlY[i] - 4; y <= controlY[i] + 4; ++y)
                    marks[i] = marks[i] || (panel.at(controlX, y)[2] > 200 && panel.at(controlX, y)[0] < 140);
            return marks == wanted;
        }).has_value();
    }
    void click(int control) { xdotool("mousemove " + std::to_string(find(panelWindow).x + controlX) + " " + std::to_string(controlY[control]) + " click 1"); }
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
    // The panel's texts and controls exactly as drawn at start; the one shown is kept for a look.
    viewer.xdotool("mousemove 320 240");
    const Image panel = viewer.waitFor(panelWindow, [](const Image& p) { return p.height > controlY[4]; }).value_or(Image{});
    writePng("panel-shown.png", std::uint32_t(panel.width), std::uint32_t(panel.height), panel.rgb.data());
    TextureCatalogue expected;
    ASSERT_TRUE(expected.loadPng(TEST_DATA_DIR "/panel.png") && int(expected.width * expected.height) == panel.width * panel.height);
    for (int row = 0; row < panel.height; ++row)
        ASSERT_TRUE(std::equal(panel.at(0, row), panel.at(0, row + 1), expected.pixels + (panel.height - 1 - row) * panel.width * 3))
            << "the panel looks different: see panel-shown.png";
    std::free(expected.pixels);

    // Keys other than 'f' and Esc change nothing.
    viewer.keys("F a Z 1 0 space Return Up Down Left Right F1 F2 F12 Home Page_Down");
    EXPECT_TRUE(viewer.sync() && viewer.shows(plane));
    // A right drag 200 pixels down in one motion event: 100 steps of 0.02 toward the logarithm.
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
    viewer.xdotool("mousemove 1460 10 mousedown 3 mousemove 1460 150 mouseup 3");
    viewer.xdotool("mousemove 250 100 mousedown 3 click 1 mousemove 250 400 mouseup 3");
    EXPECT_TRUE(viewer.sync() && viewer.shows(morphed));
    // Left pressed, then right, then left released: the right, pressed last, morphs (to where the
    // view's offset is lowered but not its scale).
    viewer.xdotool("mousemove 300 100 mousedown 1 mousedown 3 mouseup 1 mousemove 300 300 mouseup 3");
    EXPECT_TRUE(viewer.showsAngle(float(-100 * 0.02 + double(angle))));
    // Upward past the widest angle, then downward past the smallest: it stops at each.
    viewer.drag(3, 470, 10);
    EXPECT_TRUE(viewer.shows(plane));
    viewer.drag(3, 10, 470);
    viewer.drag(3, 10, 470);
    ASSERT_TRUE(viewer.showsAngle(0.01f));
    const Image logView = viewer.mainPicture();
    EXPECT_GT(blendedShareAndImage(logView, 0, logView.height / 5).first, 0.5) << "the shrunk rim is not filtered";

    // Wireframe from the key and from the checkbox, each following the other, with the black
    // 5 x 5 marker between the lines (a line may cross it).
    viewer.keys("f");
    const Image lines = viewer.waitForMain(wireframe).value_or(Image{});
    int black = 0;
    for (std::size_t i = 0; i < lines.rgb.size(); i += 3)
        black += lines.rgb[i] + lines.rgb[i + 1] + lines.rgb[i + 2] == 0;
    EXPECT_TRUE(black >= 15 && black <= 25) << black;
    EXPECT_TRUE(viewer.marked({true, true, false, false, false}));
    viewer.click(0);
    EXPECT_TRUE(viewer.shows(logView) && viewer.marked({false, true, false, false, false}));
    viewer.click(0);
    EXPECT_TRUE(viewer.shows(lines) && viewer.marked({true, true, false, false, false}));
    viewer.keys("f");
    EXPECT_TRUE(viewer.shows(logView) && viewer.marked({false, true, false, false, false}));

    // Each image from the panel. Its file is read when it is picked and not again: with the file
    // changed behind its back, picking it again changes nothing, picking it anew shows the change.
    for (int image : {1, 2, 3, 0}) {
        viewer.click(1 + image);
        std::vector<bool> selected(5);
        selected[1 + image] = true;
        EXPECT_TRUE(viewer.showsImage(image) && viewer.marked(selected)) << image;
    }
    std::filesystem::copy_file(dir.path("ctreemap.png"), dir.path("galaxie.png"), std::filesystem::copy_options::overwrite_existing);
    viewer.click(1);
    EXPECT_TRUE(viewer.sync() && viewer.showsImage(0));
    viewer.click(2);
    EXPECT_TRUE(viewer.showsImage(1));
    viewer.click(1);
    EXPECT_TRUE(viewer.showsImage(3));

    // A wider, flatter window: the picture stretches with it.
    viewer.xdotool("windowsize " + std::to_string(main.id) + " 900 300");
    EXPECT_TRUE(viewer.waitForMain([](const Image& p) { return p.width == 900 && p.height == 300 && mismatches(p, 0.01f) == 0; }));
    // Esc ends it at once, also in the middle of a right drag.
    viewer.xdotool("mousemove 300 100 mousedown 3 mousemove 300 200 key Escape");
    EXPECT_EQ(viewer.exitStatus(), 0);
}

TEST(Viewer, AnImageThatCannotBeLoadedEndsItWithTheMessage)
{
    TempDir dir;
    // The first image missing, or not a PNG: it ends before the panel window exists.
    for (const bool present : {false, true}) {
        if (present)
            writeFile(dir.path("galaxie.png"), {'n', 'o', 't', ' ', 'P', 'N', 'G', '\n'});
        Sitting failing(dir);
        EXPECT_EQ(failing.exitStatus(), 255);
        EXPECT_EQ(failing.output(), "Texture file not found ... exiting\n");
        EXPECT_EQ(failing.windowsCreated(), 1) << "only the main window may have been opened";
    }
    // An image removed after start and then picked: the previous one shows until then.
    writeImages(dir);
    Sitting viewer(dir);
    ASSERT_TRUE(viewer.waitForWindows());
    std::filesystem::remove(dir.path("treemap.png"));
    EXPECT_TRUE(viewer.showsImage(0));
    viewer.click(3);
    EXPECT_EQ(viewer.exitStatus(), 255);
    EXPECT_EQ(viewer.output(), "Texture file not found ... exiting\n");
}

} // namespace
