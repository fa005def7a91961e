// What the tests share: commands, folders, files, a GL context, and the real viewer under an Xvfb of
// its own, driven by xdotool, its pixels read from the X server. Input never reaches a display the
// test did not start, waits poll with timeouts, and a start the Xvfb now and then refused is retried.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct CommandResult {
    std::string output;   // standard output, byte for byte
    int status;           // exit status, or -1 if it did not exit normally
};
CommandResult runCommand(const std::string& command);

// A fresh folder, removed with everything in it when the test ends.
struct TempDir {
    TempDir();
    ~TempDir() { std::filesystem::remove_all(root); }
    std::string path(const std::string& name) const { return (root / name).string(); }
    std::string str() const { return root.string(); }
    std::filesystem::path root;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// Polls `done` until it holds, and says whether it did within the limit.
bool pollUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration limit = std::chrono::seconds(30));

// tests/support/tile_server.py serving `root` on the loopback interface with these further arguments
// (--max-age, --log, faults as GLOB=KIND); stopped, and reaped, when it goes or on stop().
class TileServer {
public:
    explicit TileServer(const std::string& root, const std::vector<std::string>& arguments = {});
    ~TileServer() { stop(); }
    TileServer(const TileServer&) = delete;
    TileServer& operator=(const TileServer&) = delete;
    void stop();
    // "http://127.0.0.1:PORT/" followed by `path`.
    std::string url(const std::string& path = "") const { return "http://127.0.0.1:" + std::to_string(port) + "/" + path; }
    int port = 0;

private:
    pid_t process = -1;
};

// A GLUT window on the display the test runs under (a private Xvfb from scripts/test), opened on
// first use and made current, its viewport width x height whatever size it was opened at.
void openGlWindow(int width, int height);

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;   // top row first

    const std::uint8_t* at(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
    bool white(int x, int y) const { return at(x, y)[0] == 255 && at(x, y)[1] == 255 && at(x, y)[2] == 255; }
    bool operator==(const Image& other) const { return width == other.width && rgb == other.rgb; }
    // Its top left part, at most width x height.
    Image topLeft(int width, int height) const;
};
// An image from rows packed bottom row first, three bytes a pixel, as the viewer keeps them.
Image fromBottomFirst(std::uint32_t width, std::uint32_t height, const std::uint8_t* rgb);
// A PNG file as the viewer's loader decodes it; empty if it cannot.
Image readPng(const std::string& path);
// The files of the PngSuite in the test data: the valid ones, or the corrupt ones (x*.png).
std::vector<std::filesystem::path> pngSuite(bool corrupt);
// A PNG file's bytes, its header (and checksum) changed to claim width x height pixels, far too many.
std::string withClaimedSize(std::string png, std::uint32_t width, std::uint32_t height);

struct WindowGeometry {
    unsigned long id = 0;   // 0: not shown
    int x = 0, y = 0, width = 0, height = 0;
};

inline const std::string mainWindow = "Complex Logarithmic Mapping", panelWindow = "GLUI";

class Viewer {
public:
    // Starts `program` with `arguments` in `workDir`.
    Viewer(std::string program, std::string workDir, std::vector<std::string> arguments = {});
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Waits for both windows, then puts the panel right of the main window (there is no window
    // manager to place it). False if they did not appear.
    bool waitForWindows();
    WindowGeometry find(const std::string& title) const;
    bool xdotool(const std::string& arguments) const { return runCommand("DISPLAY=" + display + " xdotool " + arguments).status == 0; }
    // Polls the picture of the window with this title until `wanted` holds; nullopt if it never does.
    std::optional<Image> waitFor(const std::string& title, const std::function<bool(const Image&)>& wanted) const;
    // The exit status once the viewer has ended; nullopt if it still runs after `limit`.
    std::optional<int> exitStatus(std::chrono::steady_clock::duration limit = std::chrono::seconds(30));
    std::string output(const std::string& stream = "stdout") const { return readFile(logs.path(stream)); }
    // Polls the output until it holds `text`; false if it never does.
    bool waitForOutput(const std::string& stream, const std::string& text) const { return pollUntil([&] { return output(stream).find(text) != std::string::npos; }); }
    int windowsCreated();   // top-level windows created on the display so far
    pid_t pid() const { return process; }

private:
    void start();

    std::string program, workDir, display;
    std::vector<std::string> arguments;
    TempDir logs;   // the viewer's standard output and error
    pid_t server = 0, process = 0;
    struct _XDisplay* x = nullptr;   // Xlib's Display; its header's macros would clash with the tests'
    std::optional<int> status;
    int restarts = 0, created = 0;
};
