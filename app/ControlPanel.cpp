#include "ControlPanel.h"

#include "ViewerState.h"

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
    panelWindow->add_radiobutton_to_group(viewerState->textureGroup, "Galaxie.png");
    panelWindow->add_radiobutton_to_group(viewerState->textureGroup, "Cantonales.png");
    panelWindow->add_radiobutton_to_group(viewerState->textureGroup, "Treemap.png");
    panelWindow->add_radiobutton_to_group(viewerState->textureGroup, "ColorTreemap.png");

    panelWindow->set_main_gfx_window(viewerState->mainWindow);
}
