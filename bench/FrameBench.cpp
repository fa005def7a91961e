// One frame of the viewer, an idle pass and a display of the full grid (also with exact texturing,
// which colours every pixel of it from its own source point; and during drags that move the angle
// or the focus, off the centre, each frame mapping the grid anew), against two floors under
// the GL the viewer gets (Mesa's software renderer under Xvfb here): a single quad that fills the
// window with the same texture, and a regular mesh of 51 x 51 textured quads over the window. The
// mesh is the floor of any picture of that many cells: a software renderer pays per triangle too.
// The three are measured interleaved, in short batches, keeping each one's best batch, so that the
// machine's drift while they run cancels out of their ratios. Run from the folder with the images.
#include "Callbacks.h"
#include "Startup.h"
#include "ViewerState.h"

#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <complex>
#include <functional>
#include <map>
#include <string>

namespace {

// The viewer as main starts it, without entering the main loop; once per process.
void openViewer()
{
    if (viewerState)
        return;
    int argc = 1;
    char name[] = "viewer_bench";
    char* argv[] = {name, nullptr};
    startViewer(&argc, argv);
}

// Resizes the main window and waits until GLUT has applied the new size.
void resizeViewer(int width, int height)
{
    openViewer();
    glutSetWindow(viewerState->mainWindow);
    glutReshapeWindow(width, height);
    while (glutGet(GLUT_WINDOW_WIDTH) != width || glutGet(GLUT_WINDOW_HEIGHT) != height)
        glutMainLoopEvent();
    onReshape(width, height);
}

// Clears, draws quad strips of cells x cells quads over the window with the catalogue's texture,
// and shows the frame.
void displayTexturedMesh(int cells)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindTexture(GL_TEXTURE_2D, viewerState->grid->catalogue->picture()->texture());
    glEnable(GL_TEXTURE_2D);
    for (int row = 0; row < cells; ++row) {
        glBegin(GL_QUAD_STRIP);
        for (int column = 0; column <= cells; ++column) {
            const double y = -1 + 2.0 * column / cells;
            glTexCoord2f(float(column) / cells, float(row) / cells);
            glVertex2d(-1 + 2.0 * row / cells, y);
            glTexCoord2f(float(column) / cells, float(row + 1) / cells);
            glVertex2d(-1 + 2.0 * (row + 1) / cells, y);
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    glutSwapBuffers();
}

// Puts the viewer at an angle and a focus, the picture in the square or in its true proportions,
// mapped and drawn once, so that a contender's timed frames meet nothing left over from another's.
void showView(float angle, std::complex<double> focus, bool trueProportions = false)
{
    viewerState->morphAngle = angle;
    viewerState->setFocus(focus);
    viewerState->trueProportions = trueProportions ? 1 : 0;
    onIdle();
    onDisplay();
}

struct Contender {
    std::string name;
    std::function<void()> setUp, frame;
};

// Where the drags run: off the centre, so the grid is laid out around a focus of no symmetry, at an
// angle between the plane and the logarithm.
constexpr float dragAngle = 1.0f;
const std::complex<double> dragFocus(0.3127, -0.2);

// Seconds a frame of each contender, the best of its batches, as counters named after it with
// the window size appended unless it is the viewer's own 640 x 480.
void frames(benchmark::State& state)
{
    const int width = int(state.range(0)), height = int(state.range(1));
    resizeViewer(width, height);
    auto plain = [] { showView(6.28318f, 0); };
    auto upright = [] { showView(6.28318f, 0, true); };
    auto dragged = [] { showView(dragAngle, dragFocus); };
    int step = 0;   // the drags go back and forth by one step of each
    const Contender contenders[] = {
        {"frame", plain, [] { onIdle(); onDisplay(); }},
        {"frame_exact", plain, [] {   // the same with exact texturing on
            viewerState->exactTexturing = 1;
            onIdle();
            onDisplay();
            viewerState->exactTexturing = 0;
        }},
        {"frame_true", upright, [] { onIdle(); onDisplay(); }},
        {"frame_exact_true", upright, [] {
            viewerState->exactTexturing = 1;
            onIdle();
            onDisplay();
            viewerState->exactTexturing = 0;
        }},
        {"frame_morph_drag", dragged, [&] {
            viewerState->morphAngle = float(dragAngle + 0.02 * (++step % 2));
            onIdle();
            onDisplay();
        }},
        {"frame_focus_drag", dragged, [&] {
            viewerState->setFocus(dragFocus + std::complex<double>(0.004, -0.003) * double(++step % 2));
            onIdle();
            onDisplay();
        }},
        {"textured_quad", plain, [] { displayTexturedMesh(1); }},
        {"textured_mesh", plain, [] { displayTexturedMesh(51); }},
    };
    const std::string size = width == 640 && height == 480 ? "" : "_" + std::to_string(width) + "x" + std::to_string(height);
    constexpr int rounds = 40, batch = 10;
    std::map<std::string, double> best;
    for (auto _ : state)
        for (int round = 0; round < rounds; ++round)
            for (const auto& [name, setUp, frame] : contenders) {
                setUp();
                glFinish();
                const auto start = std::chrono::steady_clock::now();
                for (int i = 0; i < batch; ++i)
                    frame();
                glFinish();
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / batch;
                if (!best.count(name) || seconds < best[name])
                    best[name] = seconds;
            }
    for (const auto& [name, seconds] : best)
        state.counters[name + size] = seconds;
    plain();
}
BENCHMARK(frames)->Args({640, 480})->Args({1280, 1000})->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
