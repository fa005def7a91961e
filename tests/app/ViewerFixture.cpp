#include "ViewerFixture.h"

#include "TestPng.h"

#include <cmath>
#include <filesystem>

namespace {

const char* const fileNames[] = {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"};

} // namespace

int imageTag(int index)
{
    return 40 + 50 * index;
}

void writeTestImages(const TempDir& dir)
{
    const int side = 256;
    for (int index = 0; index < 4; ++index) {
        std::vector<std::uint8_t> rows;
        for (int y = side - 1; y >= 0; --y)   // files store the top row, t = 1, first
            for (int x = 0; x < side; ++x)
                rows.insert(rows.end(), {std::uint8_t(x), std::uint8_t(y), std::uint8_t(imageTag(index))});
        writeTestPng(dir.path(fileNames[index]), rgbImage(side, side, rows));
    }
}

std::vector<PanelControl> findPanelControls(const Image& panel)
{
    // The boxes of checkboxes and radio buttons are the only white in the panel, all at its left:
    // each is a band of rows with white in it.
    const int searchWidth = std::min(panel.width, 40);
    std::vector<PanelControl> controls;
    int bandTop = -1, left = searchWidth, right = -1;
    bool marked = false;
    for (int y = 0; y <= panel.height; ++y) {
        bool whiteInRow = false;
        for (int x = 0; y < panel.height && x < searchWidth; ++x) {
            const std::uint8_t* p = panel.at(x, y);
            if (panel.white(x, y)) {
                whiteInRow = true;
                left = std::min(left, x);
                right = std::max(right, x);
            }
            marked |= p[2] > 200 && p[0] < 140;   // the blue of a check mark or a radio dot
        }
        if (whiteInRow && bandTop < 0)
            bandTop = y;
        if (!whiteInRow && bandTop >= 0) {
            controls.push_back({(left + right) / 2, (bandTop + y - 1) / 2, marked});
            bandTop = -1;
            left = searchWidth;
            right = -1;
        }
        if (!whiteInRow)
            marked = false;
    }
    return controls;
}

void ViewerTest::SetUp()
{
    writeTestImages(dir);
}

void ViewerTest::TearDown()
{
    // Leave the last pictures behind for a look when a test failed.
    if (HasFailure() && session && session->running()) {
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(FRAME_DIR);
        for (const auto& [window, suffix] : {std::pair{session->mainWindow(), "-main.png"}, std::pair{session->panelWindow(), "-panel.png"}}) {
            const Image picture = session->screenshot(window);
            if (!picture.rgb.empty())
                picture.save(std::string(FRAME_DIR) + "/failed-" + name + suffix);
        }
    }
}

void ViewerTest::start()
{
    session = std::make_unique<ViewerSession>(VIEWER_PATH, dir.dir().string());
    ASSERT_TRUE(session->waitForWindows()) << "the viewer's windows did not appear; output: " << session->output();
    // The first picture once it is drawn: image 0, filled. Until then the window holds whatever
    // the X server put there.
    const auto first = waitForMain([](const Image& picture) { return showsImage(picture, 0); });
    ASSERT_TRUE(first) << "no first picture";
    initial = *first;
}

std::optional<Image> ViewerTest::waitForMain(const std::function<bool(const Image&)>& wanted) const
{
    return session->waitForPicture([this] { return session->mainWindow(); }, wanted);
}

bool ViewerTest::waitForMainToShow(const Image& picture) const
{
    return waitForMain([&](const Image& shown) { return shown == picture; }).has_value();
}

void ViewerTest::pointAtMain(int x, int y) const
{
    const WindowGeometry main = session->mainWindow();
    session->xdotool("mousemove " + std::to_string(main.x + x) + " " + std::to_string(main.y + y));
}

void ViewerTest::syncThroughWireframe() const
{
    pointAtMain();
    session->xdotool("key f");
    ASSERT_TRUE(waitForMain(isWireframe)) << "'f' did not switch to wireframe";
    session->xdotool("key f");
    ASSERT_TRUE(waitForMain([](const Image& picture) { return !isWireframe(picture); })) << "'f' did not switch back";
}

std::vector<PanelControl> ViewerTest::panelControls() const
{
    // Away from the panel, so that no control is drawn hovered.
    pointAtMain();
    const auto controls = session->waitForPicture([this] { return session->panelWindow(); },
                                                  [](const Image& panel) { return findPanelControls(panel).size() == 5; });
    return controls ? findPanelControls(*controls) : std::vector<PanelControl>{};
}

void ViewerTest::clickPanelControl(std::size_t index) const
{
    const auto controls = panelControls();
    ASSERT_EQ(controls.size(), 5u) << "the panel should show one checkbox and four radio buttons";
    const WindowGeometry panel = session->panelWindow();
    session->xdotool("mousemove " + std::to_string(panel.x + controls[index].x) + " " +
                     std::to_string(panel.y + controls[index].y) + " click 1");
}

void ViewerTest::drag(int button, int fromX, int fromY, int toX, int toY) const
{
    const WindowGeometry main = session->mainWindow();
    const std::string b = std::to_string(button);
    session->xdotool("mousemove " + std::to_string(main.x + fromX) + " " + std::to_string(main.y + fromY) + " mousedown " +
                     b + " mousemove " + std::to_string(main.x + toX) + " " + std::to_string(main.y + toY) + " mouseup " + b);
}

std::optional<std::complex<double>> predictedTextureCoordinates(float angle, int px, int py, int width, int height)
{
    // Window pixel to drawing coordinates, then back through the view fitting to w, and w = k (z^(1/k) - 1)
    // solved for z: z = (1 + w / k)^k, on the wedge |arg| < pi / k that the mapping fills.
    const double k = float(6.28318 / double(angle));
    const double scale = std::min(k, 3.14159), offset = std::min(k, 2.0);
    const double x = (px + 0.5) / width * 2 - 1;
    const double y = 1 - (py + 0.5) / height * 2;
    const std::complex<double> w(y * scale - offset, x * scale);
    const std::complex<double> p = 1.0 + w / k;
    if (std::abs(std::arg(p)) * k >= 3.14159265358979)
        return std::nullopt;
    const std::complex<double> z = std::pow(p, k);
    if (std::abs(z.real()) > 1 || std::abs(z.imag()) > 1)
        return std::nullopt;
    return std::complex<double>((z.real() + 1) / 2, (z.imag() + 1) / 2);
}

bool showsImage(const Image& picture, int index)
{
    if (picture.whiteCount() != 0)
        return false;
    for (int y = 5; y < picture.height; y += 40)
        for (int x = 5; x < picture.width; x += 40)
            if (std::abs(picture.at(x, y)[2] - imageTag(index)) > 2)
                return false;
    return true;
}

bool isWireframe(const Image& picture)
{
    // Lines one pixel wide with the background on both sides; a filled picture has hardly any.
    int linePixels = 0;
    for (int y = 1; y + 1 < picture.height; ++y)
        for (int x = 1; x + 1 < picture.width; ++x)
            if (!picture.white(x, y) &&
                ((picture.white(x - 1, y) && picture.white(x + 1, y)) || (picture.white(x, y - 1) && picture.white(x, y + 1))))
                ++linePixels;
    return linePixels > 300;
}
