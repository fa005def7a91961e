#include "SavePicture.h"

#include "PngWriter.h"
#include "ViewerState.h"

#include <GL/glut.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int largestNumber = 9999;

// Renames the written file to the first free complex-log-NNNN.png of its folder; that name, or an
// empty string with errno set. RENAME_NOREPLACE makes finding the name and taking it one step, so
// not even another program can slip in between.
std::string giveFreeName(const std::string& written, const std::string& folder)
{
    for (int number = 1; number <= largestNumber; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "/complex-log-%04d.png", number);
        const std::string path = folder + name;
        if (renameat2(AT_FDCWD, written.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
            return path;
        if (errno != EEXIST)
            return "";
    }
    errno = EEXIST;
    return "";
}

void reportFailure(const std::string& folder, const std::string& reason)
{
    std::fprintf(stderr, "Cannot save the picture in %s: %s\n", folder.c_str(), reason.c_str());
}

} // namespace

void savePicture()
{
    const int width = glutGet(GLUT_WINDOW_WIDTH), height = glutGet(GLUT_WINDOW_HEIGHT);
    // Drawn anew into the back buffer: what the window shows, whatever covers it on the screen.
    viewerState->drawPicture();
    std::vector<std::uint8_t> bottomFirst(std::size_t(width) * height * 3), topFirst(bottomFirst.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomFirst.data());
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (int row = 0; row < height; ++row)
        std::memcpy(&topFirst[row * rowBytes], &bottomFirst[(height - 1 - row) * rowBytes], rowBytes);

    const char* home = std::getenv("HOME");
    std::error_code ignored;
    const std::string folder = access(".", W_OK) == 0 || !home ? std::filesystem::current_path(ignored).string() : home;
    // Written under a temporary name first, so that a failed write never leaves a partial picture.
    std::string written = folder + "/.complex-log-XXXXXX";
    const int descriptor = mkstemp(written.data());
    if (descriptor < 0) {
        reportFailure(folder, std::strerror(errno));
        return;
    }
    close(descriptor);
    std::string failure = writePng(written, std::uint32_t(width), std::uint32_t(height), topFirst.data());
    if (failure.empty()) {
        const std::string saved = giveFreeName(written, folder);
        if (!saved.empty()) {
            std::printf("Saved %s\n", saved.c_str());
            std::fflush(stdout);
            return;
        }
        failure = std::strerror(errno);
    }
    std::remove(written.c_str());
    reportFailure(folder, failure);
}
