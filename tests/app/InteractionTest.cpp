// Driving the main window: keys, drags with each button, and resizing.
#include "ViewerFixture.h"

namespace {

// Compares a picture with what the mapping predicts at a lattice of pixels: where the image
// should be, the colour must name the predicted texture coordinates; elsewhere the background.
int mismatchesWithPrediction(const Image& picture, float angle)
{
    int mismatches = 0;
    for (int py = 6; py < picture.height; py += 12)
        for (int px = 6; px < picture.width; px += 12) {
            const auto predicted = predictedTextureCoordinates(angle, px, py, picture.width, picture.height);
            // Stay clear of the image's rim and of the cut, where a pixel straddles two things, and
            // of the few large cells around the centre, where the drawn texture is interpolated
            // linearly over a strongly curved part of the mapping.
            const auto nearby = predictedTextureCoordinates(angle, px + 3, py + 3, picture.width, picture.height);
            if (predicted.has_value() != nearby.has_value() ||
                (predicted && std::abs(2.0 * *predicted - std::complex<double>(1, 1)) < 0.15))
                continue;
            const std::uint8_t* p = picture.at(px, py);
            const bool matches = predicted ? std::abs(p[0] - 255 * predicted->real()) < 8 && std::abs(p[1] - 255 * predicted->imag()) < 8
                                           : picture.white(px, py);
            mismatches += !matches;
        }
    return mismatches;
}

TEST_F(ViewerTest, EscapeEndsTheProgramAtOnceEvenDuringADrag)
{
    start();
    pointAtMain();
    session->xdotool("key Escape");
    EXPECT_EQ(session->waitForExit(), 0);

    start();
    const WindowGeometry main = session->mainWindow();
    session->xdotool("mousemove " + std::to_string(main.x + 300) + " " + std::to_string(main.y + 100) +
                     " mousedown 3 mousemove " + std::to_string(main.x + 300) + " " + std::to_string(main.y + 300) +
                     " key Escape");
    EXPECT_EQ(session->waitForExit(), 0);
    session->xdotool("mouseup 3");
}

TEST_F(ViewerTest, OtherKeysChangeNothing)
{
    start();
    pointAtMain();
    session->xdotool("key F a Z 1 0 space Return Up Down Left Right F1 F2 F12 Home Page_Down");
    syncThroughWireframe();
    EXPECT_TRUE(waitForMainToShow(initial));
    EXPECT_TRUE(session->running());
}

TEST_F(ViewerTest, RightDragDownwardMorphsTowardTheLogarithmAndUpwardStopsAtTheWidestAngle)
{
    start();
    drag(3, 300, 100, 300, 20);   // upward, already at the widest angle
    syncThroughWireframe();
    EXPECT_TRUE(waitForMainToShow(initial));
    EXPECT_EQ(mismatchesWithPrediction(initial, 6.28318f), 0);

    // 200 pixels down in one motion event: 100 steps of 0.02.
    drag(3, 300, 100, 300, 300);
    const float angle = float(-100 * 0.02 + double(6.28318f));
    const auto morphed = waitForMain([&](const Image& picture) { return mismatchesWithPrediction(picture, angle) == 0; });
    EXPECT_TRUE(morphed) << "the picture never matched the mapping at angle " << angle;

    // Further down, past the smallest angle: it stops there.
    drag(3, 300, 10, 300, 470);
    drag(3, 300, 10, 300, 470);
    EXPECT_TRUE(waitForMain([](const Image& picture) { return mismatchesWithPrediction(picture, 0.01f) == 0; }))
        << "the picture never matched the mapping at the smallest angle";
}

TEST_F(ViewerTest, DragsThatMustNotMorphLeaveThePictureAlone)
{
    start();
    drag(3, 300, 100, 300, 300);   // to an angle below the widest, so that a change either way shows
    const auto before = waitForMain([&](const Image& picture) { return !(picture == initial) && !isWireframe(picture); });
    ASSERT_TRUE(before);
    syncThroughWireframe();
    ASSERT_TRUE(waitForMainToShow(*before));

    drag(1, 300, 100, 300, 400);   // left
    drag(2, 300, 400, 300, 100);   // middle
    // Right button, one pixel per motion event: each step's odd pixel is dropped.
    const WindowGeometry main = session->mainWindow();
    std::string onePixelSteps = "mousemove " + std::to_string(main.x + 200) + " " + std::to_string(main.y + 100) + " mousedown 3";
    for (int i = 1; i <= 20; ++i)
        onePixelSteps += " mousemove " + std::to_string(main.x + 200) + " " + std::to_string(main.y + 100 + i);
    session->xdotool(onePixelSteps + " mouseup 3");
    // A right-button drag inside the panel belongs to the panel.
    const WindowGeometry panel = session->panelWindow();
    session->xdotool("mousemove " + std::to_string(panel.x + 60) + " " + std::to_string(panel.y + 10) +
                     " mousedown 3 mousemove " + std::to_string(panel.x + 60) + " " + std::to_string(panel.y + 150) +
                     " mouseup 3");
    // Right pressed, then left pressed and released: the left press decides, so no morph.
    session->xdotool("mousemove " + std::to_string(main.x + 250) + " " + std::to_string(main.y + 100) +
                     " mousedown 3 click 1 mousemove " + std::to_string(main.x + 250) + " " + std::to_string(main.y + 400) +
                     " mouseup 3");
    syncThroughWireframe();
    EXPECT_TRUE(waitForMainToShow(*before));
}

TEST_F(ViewerTest, ResizingStretchesThePictureToTheNewShape)
{
    start();
    session->xdotool("windowsize " + std::to_string(session->mainWindow().id) + " 900 300");
    const auto stretched = waitForMain([](const Image& picture) {
        return picture.width == 900 && picture.height == 300 && mismatchesWithPrediction(picture, 6.28318f) == 0;
    });
    EXPECT_TRUE(stretched) << "the picture did not stretch over the resized window";
}

} // namespace
