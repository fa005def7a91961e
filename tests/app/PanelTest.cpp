// The control panel: the Wireframe checkbox, the 'f' key, and the choice of texture.
#include "ViewerFixture.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace {

// Counts how often each file of a directory is opened.
class FileOpenCounter {
public:
    explicit FileOpenCounter(const std::string& dir) : descriptor(inotify_init1(IN_NONBLOCK))
    {
        inotify_add_watch(descriptor, dir.c_str(), IN_OPEN);
    }
    ~FileOpenCounter() { close(descriptor); }

    int opens(const std::string& name)
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t length; (length = read(descriptor, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len > 0)
                    ++counts[event->name];
                at += sizeof(inotify_event) + event->len;
            }
        return counts[name];
    }

private:
    int descriptor;
    std::map<std::string, int> counts;
};

TEST_F(ViewerTest, TheWireframeCheckboxSwitchesBetweenLinesAndFill)
{
    start();
    clickPanelControl(0);
    EXPECT_TRUE(waitForMain(isWireframe)) << "checking Wireframe did not show lines";
    EXPECT_TRUE(panelControls()[0].marked);
    clickPanelControl(0);
    EXPECT_TRUE(waitForMainToShow(initial)) << "clearing Wireframe did not fill the grid again";
    EXPECT_FALSE(panelControls()[0].marked);
}

TEST_F(ViewerTest, TheFKeySwitchesWireframeAndTheCheckboxFollows)
{
    start();
    pointAtMain();
    session->xdotool("key f");
    EXPECT_TRUE(waitForMain(isWireframe));
    EXPECT_TRUE(panelControls()[0].marked) << "the checkbox does not show the wireframe that 'f' switched on";
    // And the checkbox still works from there: clearing it fills the grid.
    clickPanelControl(0);
    EXPECT_TRUE(waitForMainToShow(initial));
    EXPECT_FALSE(panelControls()[0].marked);
}

TEST_F(ViewerTest, EachRadioButtonShowsItsImageReadingTheFileOnce)
{
    FileOpenCounter files(dir.dir().string());
    start();
    EXPECT_EQ(files.opens("galaxie.png"), 1);
    const char* const names[] = {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"};
    for (int index : {1, 2, 3, 0}) {
        SCOPED_TRACE(names[index]);
        const int opensBefore = files.opens(names[index]);
        clickPanelControl(std::size_t(1 + index));
        EXPECT_TRUE(waitForMain([&](const Image& picture) { return showsImage(picture, index); }));
        const auto controls = panelControls();
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(controls[std::size_t(1 + other)].marked, other == index);
        EXPECT_EQ(files.opens(names[index]), opensBefore + 1);
    }
    // Picking the selected button again reads nothing.
    clickPanelControl(1);
    syncThroughWireframe();
    EXPECT_EQ(files.opens("galaxie.png"), 2);
}

TEST_F(ViewerTest, PickingAnImageWhoseFileWasRemovedEndsWithTheMessage)
{
    start();
    std::filesystem::remove(dir.path("treemap.png"));
    EXPECT_TRUE(showsImage(mainPicture(), 0));
    clickPanelControl(3);
    EXPECT_EQ(session->waitForExit(), 255);
    EXPECT_EQ(session->output(), "Texture file not found ... exiting\n");
}

} // namespace
