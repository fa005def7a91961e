// The real viewer under a private X server, driven as a person would drive it: xdotool for keys,
// clicks, drags and window moves, and the windows' pixels read back from the X server.
//
// Each session starts its own Xvfb on a free display number, so sessions can run side by side and
// input never reaches a display the test did not start. Every wait polls with a timeout.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;   // top row first

    const std::uint8_t* at(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
    bool white(int x, int y) const { return at(x, y)[0] == 255 && at(x, y)[1] == 255 && at(x, y)[2] == 255; }
    int whiteCount() const;
    bool operator==(const Image& other) const
    {
        return width == other.width && height == other.height && rgb == other.rgb;
    }
    void save(const std::string& path) const;
};

struct _XDisplay;   // Xlib's Display; its header's macros would clash with the test framework

struct WindowGeometry {
    unsigned long id = 0;   // the X window
    int x = 0, y = 0, width = 0, height = 0;
};

class PrivateXServer {
public:
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    const std::string& display() const { return name; }
    _XDisplay* connection() const { return x; }

private:
    pid_t pid = 0;
    std::string name;
    _XDisplay* x = nullptr;
};

class ViewerSession {
public:
    using Seconds = std::chrono::duration<double>;
    static constexpr Seconds timeout{30};

    // Starts the viewer program in workDir under a new X server.
    ViewerSession(const std::string& program, const std::string& workDir);
    ~ViewerSession();
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    // Waits until both windows are up, then moves the panel to the right of the main window (there
    // is no window manager to place it). False if they did not appear.
    bool waitForWindows();
    WindowGeometry mainWindow() const { return find("Complex Logarithmic Mapping").value_or(WindowGeometry{}); }
    WindowGeometry panelWindow() const { return find("GLUI").value_or(WindowGeometry{}); }
    std::optional<WindowGeometry> find(const std::string& title) const;

    // Runs xdotool with these arguments on this session's display; false if it failed.
    bool xdotool(const std::string& arguments) const;

    Image screenshot(const WindowGeometry& window) const;
    // Polls the window's picture until `wanted` holds; the last picture seen if it never does.
    std::optional<Image> waitForPicture(const std::function<WindowGeometry()>& window,
                                        const std::function<bool(const Image&)>& wanted, Seconds limit = timeout) const;

    bool running();
    // Exit status once the viewer has ended, or nullopt if it is still running after the limit.
    std::optional<int> waitForExit(Seconds limit = timeout);
    std::string output() const;   // the viewer's standard output so far
    // Top-level windows created on the display since the session started.
    int createdTopLevelWindows();

private:
    PrivateXServer server;
    std::string logDir;
    pid_t viewer = 0;
    std::optional<int> exitStatus;
    int createdWindows = 0;
};
