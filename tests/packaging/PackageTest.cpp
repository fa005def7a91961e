// The Debian package: built by CPack from this build, unpacked as dpkg would lay it out, and the
// viewer started through its launcher from an unrelated folder, as a person would start it.
#include "PngWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    // Debian's checker finds no error and no warning in it (nor a missing dependency).
    const CommandResult lintian = runCommand("lintian --fail-on error,warning '" + deb + "' 2>/dev/null");
    EXPECT_EQ(lintian.status, 0) << lintian.output;

    const fs::path root = dir.path("root");
    ASSERT_EQ(runCommand("dpkg-deb -x '" + deb + "' '" + root.string() + "'").status, 0);
    for (const char* image : {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"})
        EXPECT_TRUE(fs::is_regular_file(root / "usr/share/complex-log-viewer" / image)) << image;
    // The desktop entry, valid, starts the viewer itself in the folder of its images, with the
    // pictures and pyramids a file manager hands it, whose types the package names.
    const std::string desktop = (root / "usr/share/applications/complex-log-viewer.desktop").string();
    const std::string text = readFile(desktop);
    EXPECT_NE(text.find("\nPath=/usr/share/complex-log-viewer\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=/usr/libexec/complex-log-viewer/complex-log-viewer %F\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nMimeType=image/png;image/jpeg;image/tiff;image/webp;image/gif;image/heif;image/avif;application/x-mbtiles;application/"
                        "x-deepzoom;inode/directory;\n"),
              std::string::npos)
        << text;
    const std::string types = readFile((root / "usr/share/mime/packages/complex-log-viewer.xml").string());
    EXPECT_TRUE(types.find("<glob pattern=\"*.mbtiles\"/>") != std::string::npos && types.find("<glob pattern=\"*.dzi\"/>") != std::string::npos);
    EXPECT_EQ(runCommand("desktop-file-validate '" + desktop + "' 2>&1").output, "");
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
    // Given a picture by a path relative to where it was started, it shows that one, square in
    // its true proportions, white beside it.
    ASSERT_EQ(writePng(elsewhere.path("grey.png"), 2, 2, std::vector<std::uint8_t>(12, 100).data()), "");
    Viewer own((root / "usr/bin/complex-log-viewer").string(), elsewhere.str(), {"grey.png"});
    EXPECT_TRUE(own.waitForWindows() && own.waitFor(mainWindow, [](const Image& image) {
        return image.at(image.width / 2, image.height / 2)[0] == 100 &&
               std::all_of(image.rgb.begin(), image.rgb.end(), [](std::uint8_t c) { return c == 100 || c == 255; });
    })) << own.output() << own.output("stderr");
}

} // namespace
