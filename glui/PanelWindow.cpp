#include "PanelWindow.h"

#include <GL/freeglut.h>
#include <imgui.h>
#include <imgui_impl_glut.h>
#include <imgui_impl_opengl2.h>
#include <imgui_internal.h>

#include <cmath>
#include <vector>

namespace {

// Every open panel, so that GLUT's callbacks can find the one whose window is current. Never
// destroyed, like the panels themselves.
std::vector<PanelWindow*>& openPanels()
{
    static auto* panels = new std::vector<PanelWindow*>;
    return *panels;
}

// Large enough for the first frame; the window shrinks to its controls right after.
constexpr int initialWidth = 240;
constexpr int initialHeight = 320;

// Frames drawn after an event, so that ImGui's hover and press states settle.
constexpr int settleFrames = 2;

} // namespace

PanelWindow::PanelWindow(const std::string& title, int x, int y, std::function<void()> drawContent)
    : drawContent(std::move(drawContent)), framesToDraw(settleFrames + 1)
{
    // GLUT's initial position and size are global; leave them as the program set them.
    const int savedX = glutGet(GLUT_INIT_WINDOW_X), savedY = glutGet(GLUT_INIT_WINDOW_Y);
    const int savedWidth = glutGet(GLUT_INIT_WINDOW_WIDTH), savedHeight = glutGet(GLUT_INIT_WINDOW_HEIGHT);
    glutInitWindowPosition(x, y);
    glutInitWindowSize(initialWidth, initialHeight);
    windowId = glutCreateWindow(title.c_str());
    glutInitWindowPosition(savedX, savedY);
    glutInitWindowSize(savedWidth, savedHeight);

    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutMouseFunc(onMouse);
    glutMotionFunc(onMotion);
    glutPassiveMotionFunc(onMotion);
    glutEntryFunc(onEntry);
    glutKeyboardFunc(onCharacter);
    glutKeyboardUpFunc(onCharacterUp);
    glutSpecialFunc(onSpecial);
    glutSpecialUpFunc(onSpecialUp);

    ImGuiContext* previous = ImGui::GetCurrentContext();
    context = ImGui::CreateContext();
    ImGui::SetCurrentContext(context);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;   // the panel keeps no files
    io.LogFilename = nullptr;
    ImGui::StyleColorsLight();
    ImGui::GetStyle().FrameBorderSize = 1.0f;
    ImGui_ImplGLUT_Init();
    ImGui_ImplOpenGL2_Init();
    ImGui::SetCurrentContext(previous);

    openPanels().push_back(this);
}

void PanelWindow::requestRedraw()
{
    framesToDraw = settleFrames + 1;
    glutPostWindowRedisplay(windowId);
}

PanelWindow* PanelWindow::panelOfCurrentWindow()
{
    const int window = glutGetWindow();
    for (PanelWindow* panel : openPanels())
        if (panel->windowId == window) {
            ImGui::SetCurrentContext(panel->context);
            return panel;
        }
    return nullptr;
}

void PanelWindow::drawFrame()
{
    inputEvents.applyNextFrame(inputState);
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(float(glutGet(GLUT_WINDOW_WIDTH)), float(glutGet(GLUT_WINDOW_HEIGHT)));
    io.MousePos = ImVec2(inputState.x, inputState.y);
    for (int button = 0; button < 3; ++button)
        io.MouseDown[button] = inputState.down[button];
    for (std::size_t key = 0; key < inputState.keys.size(); ++key)
        io.KeysDown[key] = inputState.keys[key];
    io.KeyCtrl = inputState.ctrl;
    io.KeyShift = inputState.shift;
    io.KeyAlt = inputState.alt;
    for (const unsigned character : inputState.characters)
        io.AddInputCharacter(character);
    inputState.characters.clear();

    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGLUT_NewFrame();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::Begin("##panel", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings);
    drawContent();
    // The extent of what was just drawn. ImGui's own auto-resize would clamp it to the current
    // window size, and so could never grow a window that started too small.
    const ImGuiWindow* window = ImGui::GetCurrentWindow();
    const ImVec2 padding = ImGui::GetStyle().WindowPadding;
    const ImVec2 fitted(window->DC.CursorMaxPos.x - window->Pos.x + padding.x, window->DC.CursorMaxPos.y - window->Pos.y + padding.y);
    ImGui::End();
    ImGui::Render();

    glViewport(0, 0, int(io.DisplaySize.x), int(io.DisplaySize.y));
    const ImVec4 background = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    glClearColor(background.x, background.y, background.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glutSwapBuffers();

    const int width = int(std::ceil(fitted.x)), height = int(std::ceil(fitted.y));
    if (width > 0 && height > 0 &&
        (width != glutGet(GLUT_WINDOW_WIDTH) || height != glutGet(GLUT_WINDOW_HEIGHT)))
        glutReshapeWindow(width, height);

    if (!inputEvents.empty() || --framesToDraw > 0)
        glutPostRedisplay();
}

void PanelWindow::push(const InputEvent& event)
{
    inputEvents.push(event);
    requestRedraw();
}

void PanelWindow::pushKey(InputEvent::Kind kind, int index)
{
    // The modifiers can be read only inside GLUT's input callbacks.
    const int modifiers = glutGetModifiers();
    push({kind, index, 0, 0, (modifiers & GLUT_ACTIVE_CTRL) != 0, (modifiers & GLUT_ACTIVE_SHIFT) != 0, (modifiers & GLUT_ACTIVE_ALT) != 0});
}

void PanelWindow::onDisplay()
{
    if (PanelWindow* panel = panelOfCurrentWindow())
        panel->drawFrame();
}

void PanelWindow::onReshape(int width, int height)
{
    if (PanelWindow* panel = panelOfCurrentWindow()) {
        ImGui_ImplGLUT_ReshapeFunc(width, height);
        panel->requestRedraw();
    }
}

void PanelWindow::onMouse(int button, int state, int x, int y)
{
    // GLUT numbers left, middle, right; ImGui left, right, middle. Wheel steps are not used.
    const int imguiButton = button == GLUT_LEFT_BUTTON ? 0 : button == GLUT_RIGHT_BUTTON ? 1 : button == GLUT_MIDDLE_BUTTON ? 2 : -1;
    PanelWindow* panel = panelOfCurrentWindow();
    if (panel && imguiButton >= 0)
        panel->push({state == GLUT_DOWN ? InputEvent::Press : InputEvent::Release, imguiButton, float(x), float(y), false, false, false});
}

void PanelWindow::onMotion(int x, int y)
{
    if (PanelWindow* panel = panelOfCurrentWindow())
        panel->push({InputEvent::Move, 0, float(x), float(y), false, false, false});
}

void PanelWindow::onEntry(int state)
{
    if (PanelWindow* panel = panelOfCurrentWindow(); panel && state == GLUT_LEFT)
        panel->push({InputEvent::Move, 0, -FLT_MAX, -FLT_MAX, false, false, false});
}

void PanelWindow::onCharacter(unsigned char key, int, int)
{
    if (PanelWindow* panel = panelOfCurrentWindow())
        panel->pushKey(InputEvent::KeyDown, key);
}

void PanelWindow::onCharacterUp(unsigned char key, int, int)
{
    if (PanelWindow* panel = panelOfCurrentWindow())
        panel->pushKey(InputEvent::KeyUp, key);
}

// ImGui's GLUT backend numbers special keys from 256.
void PanelWindow::onSpecial(int key, int, int)
{
    if (PanelWindow* panel = panelOfCurrentWindow())
        panel->pushKey(InputEvent::KeyDown, 256 + key);
}

void PanelWindow::onSpecialUp(int key, int, int)
{
    if (PanelWindow* panel = panelOfCurrentWindow())
        panel->pushKey(InputEvent::KeyUp, 256 + key);
}
