#include "ControlPanel.h"

#include "ViewerState.h"

namespace {

void requestPicture(int)
{
    viewerState->pictureRequested = true;
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

    panelWindow->set_main_gfx_window(viewerState->mainWindow);
}
