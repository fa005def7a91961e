// The controls: each draws itself into the panel's ImGui frame and reports a change by the user.
#include <GL/glui.h>

#include <imgui.h>

void GLUI_CB::operator()(GLUI_Control* control) const
{
    if (callback)
        callback(control->get_id());
}

GLUI_Control::GLUI_Control(int* live_var, int id, GLUI_CB callback)
    : live_int(live_var), user_id(id), callback(callback)
{
    if (live_int)
        int_val = *live_int;
}

void GLUI_Control::userChose(int value)
{
    int_val = value;
    if (live_int)
        *live_int = value;
    callback(this);
}

bool GLUI_Control::followLiveVariable()
{
    if (!live_int || *live_int == int_val)
        return false;
    int_val = *live_int;
    return true;
}

GLUI_StaticText::GLUI_StaticText(std::string text)
    : GLUI_Control(nullptr, -1, GLUI_CB()), text(std::move(text))
{
}

bool GLUI_StaticText::draw()
{
    ImGui::TextUnformatted(text.c_str());
    return false;
}

GLUI_Separator::GLUI_Separator()
    : GLUI_Control(nullptr, -1, GLUI_CB())
{
}

bool GLUI_Separator::draw()
{
    ImGui::Separator();
    return false;
}

GLUI_Checkbox::GLUI_Checkbox(std::string name, int* live_var, int id, GLUI_CB callback)
    : GLUI_Control(live_var, id, callback), name(std::move(name))
{
}

bool GLUI_Checkbox::draw()
{
    bool checked = int_val != 0;
    if (!ImGui::Checkbox(name.c_str(), &checked))
        return false;
    userChose(checked ? 1 : 0);
    return true;
}

GLUI_Button::GLUI_Button(std::string name, int id, GLUI_CB callback)
    : GLUI_Control(nullptr, id, callback), name(std::move(name))
{
}

bool GLUI_Button::draw()
{
    if (!ImGui::Button(name.c_str()))
        return false;
    userChose(int_val);
    return true;
}

GLUI_RadioGroup::GLUI_RadioGroup(GLUI* parent, int* live_var, int user_id, GLUI_CB callback)
    : GLUI_Control(live_var, user_id, callback)
{
    parent->adopt(std::unique_ptr<GLUI_Control>(this));
}

bool GLUI_RadioGroup::draw()
{
    bool changed = false;
    for (std::size_t number = 0; number < buttons.size(); ++number)
        if (ImGui::RadioButton(buttons[number]->label().c_str(), int_val == int(number)) && int_val != int(number)) {
            userChose(int(number));
            changed = true;
        }
    return changed;
}
