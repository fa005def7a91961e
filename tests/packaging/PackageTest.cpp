// The Debian package: built by CPack from this build, unpacked as dpkg would lay it out, and the
// viewer started through its launcher from an unrelated folder, as a person would start it.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;

TEST(Package, InstallsAViewerThatStartsFromItsUnpackedFolder)
{
    TempDir dir;
    const CommandResult cpack = runCommand("cd '" BUILD_DIR "' && '" CPACK_COMMAND "' -G DEB -B '" + dir.path("package") + "' 2>&1");
    ASSERT_EQ(cpack.status, 0) << cpack.output;
    const std::string deb = runCommand("ls " + dir.path("package") + "/*.deb | tr -d '\\n'").output;
    // Its dependencies were worked out from the libraries the viewer links.
    const std::string depends = runCommand("dpkg-deb -f '" + deb + "' Depends").output;
    EXPECT_NE(depends.find("libpng16"), std::string::npos) << depends;
    EXPECT_NE(depends.find("libglut3"), std::string::npos) << depends;

    const fs::path root = dir.path("root");
    ASSERT_EQ(runCommand("dpkg-deb -x '" + deb + "' '" + root.string() + "'").status, 0);
    for (const char* image : {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"})
        EXPECT_TRUE(fs::is_regular_file(root / "usr/share/complex-log-viewer" / image)) << image;
    // The desktop entry starts the viewer itself in the folder of its images.
    const std::vector<std::uint8_t> entry = readFile((root / "usr/share/applications/complex-log-viewer.desktop").string());
    const std::string text(entry.begin(), entry.end());
    EXPECT_NE(text.find("\nPath=/usr/share/complex-log-viewer\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=/usr/libexec/complex-log-viewer/complex-log-viewer"), std::string::npos) << text;
    EXPECT_TRUE(fs::is_regular_file(root / "usr/libexec/complex-log-viewer/complex-log-viewer"));

    // The launcher on the PATH, started from elsewhere, finds the images itself: the galaxy, a
    // picture of many colours, and Esc ends it with 0.
    TempDir elsewhere;
    Viewer viewer((root / "usr/bin/complex-log-viewer").string(), elsewhere.str());
    ASSERT_TRUE(viewer.waitForWindows()) << viewer.output() << viewer.output("stderr");
    EXPECT_TRUE(viewer.waitFor(mainWindow, [](const Image& image) {
        std::set<std::uint32_t> colours;
        for (std::size_t i = 0; i < image.rgb.size(); i += 3)
            colours.insert(std::uint32_t(image.rgb[i]) << 16 | std::uint32_t(image.rgb[i + 1]) << 8 | image.rgb[i + 2]);
        return colours.size() > 1000;
    }));
    viewer.xdotool("mousemove 320 240 key Escape");
    EXPECT_EQ(viewer.exitStatus(), 0);
}

} // namespace
