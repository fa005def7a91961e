// One frame of the viewer, an idle pass and a display of the full grid, against its floor: one
// display of a single quad that fills the window with the same texture. Both under the GL the
// viewer gets (Mesa's software renderer under Xvfb here), in 640 x 480 and in 1280 x 1000.
// A third figure, a regular mesh of 51 x 51 quads over the window with the same texture, is the
// floor for any picture made of that many cells: a software renderer pays per triangle too.
// Run from the folder with the texture images.
#include "Callbacks.h"
#include "Startup.h"
#include "ViewerState.h"

#include <GL/freeglut.h>
#include <benchmark/benchmark.h>


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

void frame(benchmark::State& state)
{
    resizeViewer(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        onIdle();
        onDisplay();
        glFinish();
    }
}

// Clears, draws quad strips of cells x cells quads over the window with the catalogue's texture,
// and shows the frame.
void displayTexturedMesh(int cells)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindTexture(GL_TEXTURE_2D, viewerState->grid->catalogue->textureName);
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
    glFinish();
}

void texturedQuad(benchmark::State& state)
{
    resizeViewer(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        displayTexturedMesh(1);
}

void texturedMesh(benchmark::State& state)
{
    resizeViewer(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        displayTexturedMesh(51);
}

BENCHMARK(frame)->Name("frame")->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(texturedQuad)->Name("textured_quad")->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(texturedMesh)->Name("textured_mesh")->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(frame)->Name("frame_1280x1000")->Args({1280, 1000})->Unit(benchmark::kMicrosecond);
BENCHMARK(texturedQuad)->Name("textured_quad_1280x1000")->Args({1280, 1000})->Unit(benchmark::kMicrosecond);

} // namespace
