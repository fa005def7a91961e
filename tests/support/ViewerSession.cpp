#include "ViewerSession.h"

#include "TestPng.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto pollInterval = std::chrono::milliseconds(20);

// Waits for a child process to end within the limit; its exit status, or nullopt.
std::optional<int> reap(pid_t pid, ViewerSession::Seconds limit)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (Clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(pollInterval);
    }
}

// A window can change size between asking for its geometry and reading its pixels; the X server
// then refuses the read. Xlib's default handler would end the test, so errors are only noted.
bool xRequestFailed = false;
int noteXError(Display*, XErrorEvent*)
{
    xRequestFailed = true;
    return 0;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    if (!reap(pid, ViewerSession::Seconds(5))) {
        kill(pid, SIGKILL);
        reap(pid, ViewerSession::Seconds(5));
    }
}

} // namespace

int Image::whiteCount() const
{
    int count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            count += white(x, y);
    return count;
}

void Image::save(const std::string& path) const
{
    writeTestPng(path, rgbImage(std::uint32_t(width), std::uint32_t(height), rgb));
}

PrivateXServer::PrivateXServer()
{
    int displayPipe[2];
    if (pipe(displayPipe) != 0)
        throw std::runtime_error("pipe failed");
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);   // never outlive the test, however it ends
        dup2(displayPipe[1], 3);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        dup2(devNull, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1600x1200x24", "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    close(displayPipe[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    char c;
    while (read(displayPipe[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(displayPipe[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not start (is it installed?)");
    name = ":" + number;
    XSetErrorHandler(noteXError);
    x = XOpenDisplay(name.c_str());
    if (!x)
        throw std::runtime_error("cannot connect to " + name);
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, False);   // so that no window created from here on goes unseen
}

PrivateXServer::~PrivateXServer()
{
    if (x)
        XCloseDisplay(x);
    if (pid > 0)
        stop(pid);
}

ViewerSession::ViewerSession(const std::string& program, const std::string& workDir)
{
    char pattern[] = "/tmp/clv-viewer-XXXXXX";
    logDir = mkdtemp(pattern);
    viewer = fork();
    if (viewer == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setenv("DISPLAY", server.display().c_str(), 1);
        if (chdir(workDir.c_str()) != 0)
            _exit(126);
        dup2(open((logDir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open((logDir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execl(program.c_str(), program.c_str(), nullptr);
        _exit(127);
    }
}

ViewerSession::~ViewerSession()
{
    if (running())
        stop(viewer);
    std::error_code ignored;
    std::filesystem::remove_all(logDir, ignored);
}

std::optional<WindowGeometry> ViewerSession::find(const std::string& title) const
{
    Display* x = server.connection();
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::optional<WindowGeometry> found;
    if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count))
        return found;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(x, children[i], &name) && name && title == name && XGetWindowAttributes(x, children[i], &attributes) &&
            attributes.map_state == IsViewable)
            found = WindowGeometry{children[i], attributes.x, attributes.y, attributes.width, attributes.height};
        XFree(name);
    }
    XFree(children);
    return found;
}

bool ViewerSession::waitForWindows()
{
    const auto deadline = Clock::now() + timeout;
    while (!(find("Complex Logarithmic Mapping") && find("GLUI"))) {
        if (Clock::now() > deadline || !running())
            return false;
        std::this_thread::sleep_for(pollInterval);
    }
    // Far enough right that the main window can grow without going under the panel.
    const int panelX = 1400;
    xdotool("windowmove " + std::to_string(panelWindow().id) + " " + std::to_string(panelX) + " 0");
    while (panelWindow().x != panelX) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(pollInterval);
    }
    return true;
}

bool ViewerSession::xdotool(const std::string& arguments) const
{
    const std::string command = "DISPLAY=" + server.display() + " xdotool " + arguments;
    return std::system(command.c_str()) == 0;
}

Image ViewerSession::screenshot(const WindowGeometry& window) const
{
    Image image;
    xRequestFailed = false;
    XImage* captured = XGetImage(server.connection(), window.id, 0, 0, unsigned(window.width), unsigned(window.height),
                                 AllPlanes, ZPixmap);
    if (!captured || xRequestFailed) {
        if (captured)
            XDestroyImage(captured);
        return image;   // empty: the caller looks again
    }
    image.width = window.width;
    image.height = window.height;
    image.rgb.reserve(std::size_t(window.width) * window.height * 3);
    for (int y = 0; y < window.height; ++y)
        for (int x = 0; x < window.width; ++x) {
            const unsigned long pixel = XGetPixel(captured, x, y);
            image.rgb.push_back(std::uint8_t((pixel & captured->red_mask) >> 16));
            image.rgb.push_back(std::uint8_t((pixel & captured->green_mask) >> 8));
            image.rgb.push_back(std::uint8_t(pixel & captured->blue_mask));
        }
    XDestroyImage(captured);
    return image;
}

std::optional<Image> ViewerSession::waitForPicture(const std::function<WindowGeometry()>& window,
                                                   const std::function<bool(const Image&)>& wanted, Seconds limit) const
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const WindowGeometry geometry = window();
        if (geometry.id != 0) {
            Image image = screenshot(geometry);
            if (!image.rgb.empty() && wanted(image))
                return image;
        }
        if (Clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(pollInterval);
    }
}

bool ViewerSession::running()
{
    if (!exitStatus)
        exitStatus = reap(viewer, Seconds(0));
    return !exitStatus;
}

std::optional<int> ViewerSession::waitForExit(Seconds limit)
{
    if (!exitStatus)
        exitStatus = reap(viewer, limit);
    return exitStatus;
}

std::string ViewerSession::output() const
{
    std::vector<std::uint8_t> bytes = readFile(logDir + "/stdout");
    return std::string(bytes.begin(), bytes.end());
}

int ViewerSession::createdTopLevelWindows()
{
    Display* x = server.connection();
    XSync(x, False);
    while (XPending(x)) {
        XEvent event;
        XNextEvent(x, &event);
        if (event.type == CreateNotify && event.xcreatewindow.parent == DefaultRootWindow(x))
            ++createdWindows;
    }
    return createdWindows;
}
