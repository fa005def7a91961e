// The Debian package: built by CPack from this build, unpacked as dpkg would lay it out, and the
// viewer started from the unpacked folder through its launcher, as a person would start it.
#include "Command.h"
#include "TempDir.h"
#include "TestPng.h"
#include "ViewerSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string desktopEntryValue(const std::string& entry, const std::string& key)
{
    const auto at = entry.find("\n" + key + "=");
    if (at == std::string::npos)
        return "";
    const auto begin = at + key.size() + 2;
    return entry.substr(begin, entry.find('\n', begin) - begin);
}

TEST(Package, InstallsAViewerThatStartsFromItsUnpackedFolder)
{
    TempDir dir;
    const CommandResult cpack = runCommand("cd '" BUILD_DIR "' && '" CPACK_COMMAND "' -G DEB -B '" + dir.path("package") + "' 2>&1");
    ASSERT_EQ(cpack.status, 0) << cpack.output;
    fs::path deb;
    for (const auto& entry : fs::directory_iterator(dir.path("package")))
        if (entry.path().extension() == ".deb")
            deb = entry.path();
    ASSERT_FALSE(deb.empty()) << "no .deb made: " << cpack.output;

    // Its dependencies were worked out from the libraries the viewer links.
    const CommandResult depends = runCommand("dpkg-deb -f '" + deb.string() + "' Depends");
    ASSERT_EQ(depends.status, 0);
    EXPECT_NE(depends.output.find("libpng16"), std::string::npos) << depends.output;
    EXPECT_NE(depends.output.find("libglut3"), std::string::npos) << depends.output;

    const fs::path root = dir.path("root");
    ASSERT_EQ(runCommand("dpkg-deb -x '" + deb.string() + "' '" + root.string() + "'").status, 0);
    const fs::path share = root / "usr/share/complex-log-viewer";
    for (const char* image : {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"})
        EXPECT_TRUE(fs::is_regular_file(share / image)) << image;

    // The desktop entry starts the viewer in the folder of its images.
    const std::vector<std::uint8_t> bytes = readFile((root / "usr/share/applications/complex-log-viewer.desktop").string());
    const std::string entry(bytes.begin(), bytes.end());
    EXPECT_EQ(desktopEntryValue(entry, "Path"), "/usr/share/complex-log-viewer");
    const std::string exec = desktopEntryValue(entry, "Exec");
    ASSERT_FALSE(exec.empty());
    EXPECT_TRUE(fs::is_regular_file(root / exec.substr(1))) << exec;

    // The launcher on the PATH, started from somewhere else, finds the images itself.
    const fs::path launcher = root / "usr/bin/complex-log-viewer";
    ASSERT_TRUE(fs::is_regular_file(launcher));
    TempDir elsewhere;
    ViewerSession session(launcher.string(), elsewhere.dir().string());
    ASSERT_TRUE(session.waitForWindows()) << "the unpacked viewer did not open its windows: " << session.output();
    // The galaxy: a picture of many colours, not an empty window.
    const auto picture = session.waitForPicture([&] { return session.mainWindow(); }, [](const Image& image) {
        std::set<std::uint32_t> colours;
        for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3)
            colours.insert(std::uint32_t(image.rgb[i]) << 16 | std::uint32_t(image.rgb[i + 1]) << 8 | image.rgb[i + 2]);
        return colours.size() > 1000;
    });
    EXPECT_TRUE(picture) << "the unpacked viewer showed no image";
    session.xdotool("mousemove 320 240 key Escape");
    EXPECT_EQ(session.waitForExit(), 0);
}

} // namespace
