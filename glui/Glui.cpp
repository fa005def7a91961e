// The panels and their master: building a panel's control list, drawing it, and the idle pass.
#include <GL/glui.h>

#include "PanelWindow.h"

#include <GL/freeglut.h>
#include <imgui.h>

#include <stdexcept>

GLUI_Master_Object GLUI_Master;

GLUI::GLUI(const std::string& name, int x, int y)
    : window(std::make_unique<PanelWindow>(name, x, y, [this] { drawFrame(); }))
{
}

void GLUI::adopt(std::unique_ptr<GLUI_Control> control, GLUI_Panel* panel)
{
    (panel ? panel->controls : controls).push_back(std::move(control));
    window->requestRedraw();
}

template <class Control> Control* GLUI::add(std::unique_ptr<Control> control, GLUI_Panel* panel)
{
    Control* added = control.get();
    adopt(std::move(control), panel);
    return added;
}

GLUI_StaticText* GLUI::add_statictext(const std::string& name)
{
    return add(std::make_unique<GLUI_StaticText>(name));
}

GLUI_Separator* GLUI::add_separator()
{
    return add(std::make_unique<GLUI_Separator>());
}

GLUI_Checkbox* GLUI::add_checkbox(const std::string& name, int* live_var, int id, GLUI_CB callback)
{
    return add(std::make_unique<GLUI_Checkbox>(name, live_var, id, callback));
}

GLUI_Button* GLUI::add_button(const std::string& name, int id, GLUI_CB callback)
{
    return add(std::make_unique<GLUI_Button>(name, id, callback));
}

GLUI_Button* GLUI::add_button_to_panel(GLUI_Panel* panel, const std::string& name, int id, GLUI_CB callback)
{
    return add(std::make_unique<GLUI_Button>(name, id, callback), panel);
}

GLUI_Panel* GLUI::add_panel(const std::string& name, int)
{
    return add(std::make_unique<GLUI_Panel>(name));
}

GLUI_Spinner* GLUI::add_spinner(const std::string& name, int data_type, void* live_var, int id, GLUI_CB callback)
{
    return add_spinner_to_panel(nullptr, name, data_type, live_var, id, callback);
}

GLUI_Spinner* GLUI::add_spinner_to_panel(GLUI_Panel* panel, const std::string& name, int data_type, void* live_var, int id,
                                         GLUI_CB callback)
{
    if (data_type != GLUI_SPINNER_FLOAT)
        throw std::invalid_argument("add_spinner: only float spinners are supported");
    return add(std::make_unique<GLUI_Spinner>(name, static_cast<float*>(live_var), id, callback), panel);
}

GLUI_RadioButton* GLUI::add_radiobutton_to_group(GLUI_RadioGroup* group, const std::string& name)
{
    group->buttons.push_back(std::make_unique<GLUI_RadioButton>(name));
    window->requestRedraw();
    return group->buttons.back().get();
}

void GLUI::drawFrame()
{
    bool changedByUser = false;
    for (std::size_t i = 0; i < controls.size(); ++i)
        changedByUser |= GLUI_Control::drawControl(*controls[i], int(i));
    if (changedByUser) {
        if (main_gfx_window != 0)
            glutPostWindowRedisplay(main_gfx_window);
        GLUI_Master.post_idle_pass();
    }
}

void GLUI::idle()
{
    bool changedByProgram = false;
    for (const auto& control : controls)
        changedByProgram |= control->followLiveVariable();
    if (changedByProgram)
        window->requestRedraw();
}

GLUI* GLUI_Master_Object::create_glui(const std::string& name, long flags, int x, int y)
{
    if (flags != 0)
        throw std::invalid_argument("create_glui: only top-level panels (flags 0) are supported");
    const int previousWindow = glutGetWindow();
    GLUI* panel = new GLUI(name, x, y);
    panels->push_back(panel);
    if (previousWindow != 0)
        glutSetWindow(previousWindow);
    return panel;
}

void GLUI_Master_Object::set_glutIdleFunc(void (*f)())
{
    idle_callback = f;
    post_idle_pass();
}

void GLUI_Master_Object::post_idle_pass()
{
    passRequested = true;
    glutIdleFunc(idlePass);
}

void GLUI_Master_Object::post_panel_pass()
{
    panelPassRequested = true;
    glutIdleFunc(idlePass);
}

void GLUI_Master_Object::run_idle_pass_if_asked()
{
    if (passRequested || panelPassRequested)
        idlePass();
}

void GLUI_Master_Object::idlePass()
{
    // A status line the program rewrites changes nothing the program's idle function applies,
    // which would draw the main window once more for it.
    const bool programToo = GLUI_Master.passRequested;
    GLUI_Master.passRequested = GLUI_Master.panelPassRequested = false;
    for (GLUI* panel : *GLUI_Master.panels)
        panel->idle();
    if (programToo && GLUI_Master.idle_callback)
        GLUI_Master.idle_callback();
    // Nothing asked for another pass meanwhile: rest until something does.
    if (!GLUI_Master.passRequested && !GLUI_Master.panelPassRequested)
        glutIdleFunc(nullptr);
}
