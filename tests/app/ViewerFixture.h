// A running viewer with four test images in its working directory, and what the tests read off it.
//
// The images are gradients whose colour encodes the texture coordinates (red = 255 s across,
// green = 255 t up) and whose blue channel names the image, so a pixel of the main window tells
// which point of which image is shown there.
#pragma once

#include "TempDir.h"
#include "ViewerSession.h"

#include <gtest/gtest.h>

#include <complex>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Blue of texture image i.
int imageTag(int index);
// Writes the four images under the viewer's file names into dir.
void writeTestImages(const TempDir& dir);

// The checkbox and radio buttons of the panel, found by their white boxes, top to bottom.
struct PanelControl {
    int x, y;      // centre, in panel window pixels
    bool marked;   // checked, or selected
};
std::vector<PanelControl> findPanelControls(const Image& panel);

class ViewerTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the viewer and waits for both windows; the first picture is `initial`.
    void start();

    Image mainPicture() const { return waitForMain([](const Image&) { return true; }).value_or(Image{}); }
    // Waits until the main window shows a picture for which wanted holds.
    std::optional<Image> waitForMain(const std::function<bool(const Image&)>& wanted) const;
    // Waits until the main window shows exactly `picture` again.
    bool waitForMainToShow(const Image& picture) const;
    // Points the pointer at the main window (keys go to the window under the pointer).
    void pointAtMain(int x = 320, int y = 240) const;
    // Types 'f' twice and waits for wireframe and back: all input sent before has been handled.
    void syncThroughWireframe() const;
    // Clicks control i of the panel, as found on its picture.
    void clickPanelControl(std::size_t index) const;
    // The panel's controls as shown with the pointer away from them.
    std::vector<PanelControl> panelControls() const;

    // A drag with a button (1 left, 2 middle, 3 right) from one point of the main window to
    // another, in one motion event.
    void drag(int button, int fromX, int fromY, int toX, int toY) const;

    TempDir dir;
    std::unique_ptr<ViewerSession> session;
    Image initial;
};

// At angle `angle`, whether pixel (px, py) of a width x height main window (py from the top)
// must show the image at texture coordinates (s, t), or the white background (nullopt).
std::optional<std::complex<double>> predictedTextureCoordinates(float angle, int px, int py, int width, int height);

// True if the picture shows texture image `index` filled over the whole window.
bool showsImage(const Image& picture, int index);

// True if the picture is wireframe: thin lines with the white background between them.
bool isWireframe(const Image& picture);
