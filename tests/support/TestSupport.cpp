#include "TestSupport.h"
#include "TextureCatalogue.h"

#include <GL/glut.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <zlib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

CommandResult runCommand(const std::string& command)
{
    std::string output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {"cannot start a shell for: " + command, -1};
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "clv-test-XXXXXX").string();
    root = mkdtemp(pattern.data());
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

Image Image::topLeft(int partWidth, int partHeight) const
{
    Image part{std::min(width, partWidth), std::min(height, partHeight), {}};
    for (int y = 0; y < part.height; ++y)
        part.rgb.insert(part.rgb.end(), at(0, y), at(0, y) + part.width * 3);
    return part;
}

Image fromBottomFirst(std::uint32_t width, std::uint32_t height, const std::uint8_t* rgb)
{
    Image image{int(width), int(height), {}};
    for (std::uint32_t row = height; row-- > 0;)
        image.rgb.insert(image.rgb.end(), rgb + std::size_t(row) * width * 3, rgb + std::size_t(row + 1) * width * 3);
    return image;
}

Image readPng(const std::string& path)
{
    TextureCatalogue reader;
    if (!reader.loadPng(path.c_str()))
        return Image{};
    const Image image = fromBottomFirst(reader.width, reader.height, reader.pixels);
    std::free(reader.pixels);
    return image;
}

std::vector<std::filesystem::path> pngSuite(bool corrupt)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(TEST_DATA_DIR) / "pngsuite"))
        if (entry.path().extension() == ".png" && entry.path().stem() != "PngSuite" && (entry.path().filename().c_str()[0] == 'x') == corrupt)
            files.push_back(entry.path());
    return files;
}

std::string withClaimedSize(std::string png, std::uint32_t width, std::uint32_t height)
{
    for (std::size_t b = 0; b < 8; ++b)   // IHDR's width and height, big-endian
        png[16 + b] = char((b < 4 ? width : height) >> (24 - 8 * (b % 4)));
    const auto crc = std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(png.data()) + 12, 17));
    for (std::size_t b = 0; b < 4; ++b)
        png[29 + b] = char(crc >> (24 - 8 * b));
    return png;
}

void openGlWindow(int width, int height)
{
    static int window = 0;
    if (window == 0) {
        int argc = 1;
        char name[] = "test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(width, height);
        window = glutCreateWindow("test");
    }
    glutSetWindow(window);
    glViewport(0, 0, width, height);
}

bool pollUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration limit)
{
    for (const auto deadline = std::chrono::steady_clock::now() + limit; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

namespace {

// The exit status of a child that ends within the limit (128 + signal if it was killed).
std::optional<int> reap(pid_t pid, std::chrono::steady_clock::duration limit)
{
    int status = 0;
    if (!pollUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit))
        return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts the server `words` (found on the PATH), which never outlives the test however it ends,
// with a pipe as its file `fd`: the first line it writes there, once it listens, and its process.
std::pair<std::string, pid_t> startServer(std::vector<std::string> words, int fd)
{
    int ends[2];
    if (pipe(ends) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t process = fork();
    if (process == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(ends[1], fd);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ends[1]);
    std::string line;
    for (char c; read(ends[0], &c, 1) == 1 && c != '\n';)
        line += c;
    close(ends[0]);
    return {line, process};
}

} // namespace

TileServer::TileServer(const std::string& root, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words{"python3", TILE_SERVER, root};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const auto [line, started] = startServer(words, 1);
    process = started;
    port = std::atoi(line.c_str());
    if (port <= 0)
        throw std::runtime_error("the tile server did not start (is python3 installed?)");
}

void TileServer::stop()
{
    if (process > 0 && kill(process, SIGKILL) == 0)
        waitpid(process, nullptr, 0);
    process = -1;
}

Viewer::Viewer(std::string program, std::string workDir, std::vector<std::string> arguments)
    : program(std::move(program)), workDir(std::move(workDir)), arguments(std::move(arguments))
{
    // Xvfb writes its display number once it accepts connections.
    const auto [number, started] = startServer({"sh", "-c", "exec Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 2>/dev/null"}, 3);
    display = ":" + number;
    server = started;
    // A window can change size between asking for its geometry and reading its pixels, and the X
    // server then refuses the read; Xlib's default handler would end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    if (!(x = XOpenDisplay(display.c_str())))
        throw std::runtime_error("no private X server (is Xvfb installed?)");
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, False);   // so that no window created from here on goes unseen
    start();
}

Viewer::~Viewer()
{
    XCloseDisplay(x);
    for (pid_t child : {status ? 0 : process, server})
        if (child && kill(child, SIGKILL) == 0)
            reap(child, std::chrono::seconds(30));
}

void Viewer::start()
{
    status.reset();
    if ((process = fork()) == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setenv("DISPLAY", display.c_str(), 1);
        dup2(open(logs.path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(logs.path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        std::vector<char*> argv{program.data()};
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (chdir(workDir.c_str()) == 0)
            execv(program.c_str(), argv.data());
        _exit(127);
    }
}

WindowGeometry Viewer::find(const std::string& title) const
{
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    WindowGeometry found;
    XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found.id; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(x, children[i], &name) && title == name && XGetWindowAttributes(x, children[i], &a) && a.map_state == IsViewable)
            found = {children[i], a.x, a.y, a.width, a.height};
        XFree(name);
    }
    XFree(children);
    return found;
}

bool Viewer::waitForWindows()
{
    if (!pollUntil([this] { return (find(mainWindow).id && find(panelWindow).id) || exitStatus(std::chrono::seconds(0)); }) || status)
        return false;
    // Far enough right that the main window can grow beside it.
    xdotool("windowmove " + std::to_string(find(panelWindow).id) + " 1360 0");
    // Its geometry, not its picture: a panel grown wider than the screen leaves cannot be read.
    return pollUntil([this] { return find(panelWindow).x == 1360; });
}

std::optional<Image> Viewer::waitFor(const std::string& title, const std::function<bool(const Image&)>& wanted) const
{
    Image image;
    const bool shown = pollUntil([&] {
        const WindowGeometry window = find(title);
        XImage* captured = window.id ? XGetImage(x, window.id, 0, 0, unsigned(window.width), unsigned(window.height), AllPlanes, ZPixmap) : nullptr;
        if (!captured)
            return false;   // not shown yet, or resized meanwhile: look again
        image = {window.width, window.height, {}};
        for (int py = 0; py < window.height; ++py)
            for (int px = 0; px < window.width; ++px) {
                const unsigned long pixel = XGetPixel(captured, px, py);
                image.rgb.insert(image.rgb.end(), {std::uint8_t(pixel >> 16), std::uint8_t(pixel >> 8), std::uint8_t(pixel)});
            }
        XDestroyImage(captured);
        return wanted(image);
    });
    return shown ? std::optional<Image>(image) : std::nullopt;
}

std::optional<int> Viewer::exitStatus(std::chrono::steady_clock::duration limit)
{
    // A viewer that the X server refused is started again, a few times.
    while (!status && (status = reap(process, limit)) && status == 1 &&
           output("stderr").find("failed to open display") != std::string::npos && restarts++ < 5)
        start();
    return status;
}

int Viewer::windowsCreated()
{
    XSync(x, False);
    while (XPending(x)) {
        XEvent event;
        XNextEvent(x, &event);
        created += event.type == CreateNotify && event.xcreatewindow.parent == DefaultRootWindow(x);
    }
    return created;
}
