#include "ControlPanel.h"

#include "ViewerState.h"

namespace {

void requestPicture(int)
{
    viewerState->pictureRequested = true;
}

void centreFocus(int)
{
    viewerState->setFocus(0.0);
}

// The spinners take any number typed; the focus and the angle keep their limits, and the
// spinners then show them.
void keepFocusInImage(int)
{
    viewerState->takeFocusTyped();
}

void keepZoomInLimits(int)
{
    viewerState->keepZoomInLimits();
}

void keepAngleInLimits(int)
{
    viewerState->morphAngle = ViewerState::clampedAngle(viewerState->morphAngle);
}

} // namespace

void buildControlPanel()
{
    viewerState->panel = panelWindow;
    viewerState->wireframe = 0;   // before the checkbox exists, so that it starts clear

    panelWindow->add_statictext("Grid Options");
    panelWindow->add_separator();
    panelWindow->add_checkbox("Wireframe", &viewerState->wireframe, 1, GLUI_CB());
    panelWindow->add_separator();
    panelWindow->add_statictext("Select Texture: ");

    // Button i selects the catalogue's file i; the labels are only labels.
    viewerState->textureGroup = new GLUI_RadioGroup(panelWindow, nullptr, -1, GLUI_CB());
    for (const std::string& label : viewerState->grid->catalogue->labels)
        panelWindow->add_radiobutton_to_group(viewerState->textureGroup, label);

    panelWindow->add_separator();
    GLUI_Checkbox* exact = panelWindow->add_checkbox("Exact texturing", &viewerState->exactTexturing);
    if (!viewerState->exactProgram)
        exact->disable();

    // The idle pass saves the picture, with the main window's GL context current.
    panelWindow->add_separator();
    panelWindow->add_button("Save picture", -1, requestPicture);

    // The focus and the angle, which follow the main window's clicks and drags.
    GLUI_Panel* focus = panelWindow->add_panel("Focus");
    panelWindow->add_spinner_to_panel(focus, "Real", GLUI_SPINNER_FLOAT, &viewerState->focusReal, -1, keepFocusInImage);
    panelWindow->add_spinner_to_panel(focus, "Imaginary", GLUI_SPINNER_FLOAT, &viewerState->focusImaginary, -1, keepFocusInImage);
    panelWindow->add_button_to_panel(focus, "Centre", -1, centreFocus);
    panelWindow->add_spinner("Angle", GLUI_SPINNER_FLOAT, &viewerState->morphAngle, -1, keepAngleInLimits)->set_step(0.02f);
    // The picture upright, in its own proportions, and conformal from the file to the screen.
    panelWindow->add_checkbox("True proportions", &viewerState->trueProportions);
    // The picture scaled about the focus before the mapping, as the wheel and the keys + and - do.
    panelWindow->add_spinner("Zoom", GLUI_SPINNER_FLOAT, &viewerState->zoom, -1, keepZoomInLimits);
    // How far a picture being decoded is, when that takes a while, and how deep a picture deeper
    // than one texture goes; empty otherwise.
    viewerState->loadingText = panelWindow->add_statictext("");
    viewerState->depthText = panelWindow->add_statictext("");

    panelWindow->set_main_gfx_window(viewerState->mainWindow);
}
