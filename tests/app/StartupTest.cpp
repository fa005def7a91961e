// Starting the viewer: its two windows, the first picture, and a start without the first image.
#include "ViewerFixture.h"

#include <filesystem>

namespace {

TEST_F(ViewerTest, OpensBothWindowsAndShowsTheFirstImageFilled)
{
    start();
    const WindowGeometry main = session->mainWindow();
    EXPECT_EQ(main.x, 0);
    EXPECT_EQ(main.y, 0);
    EXPECT_EQ(main.width, 640);
    EXPECT_EQ(main.height, 480);
    ASSERT_NE(session->panelWindow().id, 0u) << "no window titled GLUI";

    // start() has waited for image 0 filled; it lies as the mapping at the widest angle puts it:
    // u up the window, v across.
    EXPECT_NEAR(initial.at(2, 477)[0], 0, 3);
    EXPECT_NEAR(initial.at(2, 477)[1], 0, 3);
    EXPECT_NEAR(initial.at(2, 2)[0], 255, 3);
    EXPECT_NEAR(initial.at(637, 477)[1], 255, 3);

    // The panel: the checkbox clear, the first radio button selected.
    const auto controls = panelControls();
    ASSERT_EQ(controls.size(), 5u);
    EXPECT_FALSE(controls[0].marked);
    EXPECT_TRUE(controls[1].marked);
    EXPECT_FALSE(controls[2].marked);
    EXPECT_FALSE(controls[3].marked);
    EXPECT_FALSE(controls[4].marked);
    // The panel fits its controls: no wider than its longest label needs.
    const WindowGeometry panel = session->panelWindow();
    EXPECT_LT(panel.width, 220);
    EXPECT_GT(panel.height, controls[4].y);
    EXPECT_LT(panel.height, controls[4].y + 40);
}

TEST_F(ViewerTest, WithoutTheFirstImageItEndsBeforeThePanelExists)
{
    std::filesystem::remove(dir.path("galaxie.png"));
    session = std::make_unique<ViewerSession>(VIEWER_PATH, dir.dir().string());
    EXPECT_EQ(session->waitForExit(), 255);
    EXPECT_EQ(session->output(), "Texture file not found ... exiting\n");
    EXPECT_EQ(session->createdTopLevelWindows(), 1) << "only the main window may have been created";
}

} // namespace
