// The controls: each draws itself into the panel's ImGui frame and reports a change by the user.
#include <GL/glui.h>

#include <imgui.h>

#include <cmath>

void GLUI_CB::operator()(GLUI_Control* control) const
{
    if (callback)
        callback(control->get_id());
}

GLUI_Control::GLUI_Control(int id, GLUI_CB callback)
    : user_id(id), callback(callback)
{
}

GLUI_Control::GLUI_Control(int* live_var, int id, GLUI_CB callback)
    : live_int(live_var), user_id(id), callback(callback)
{
    if (live_int)
        int_val = *live_int;
}

GLUI_Control::GLUI_Control(float* live_var, int id, GLUI_CB callback)
    : live_float(live_var), user_id(id), callback(callback)
{
    if (live_float)
        float_val = *live_float;
}

void GLUI_Control::userChose(int value)
{
    int_val = value;
    if (live_int)
        *live_int = value;
    callback(this);
}

void GLUI_Control::userChose(float value)
{
    float_val = value;
    if (live_float)
        *live_float = value;
    callback(this);
}

void GLUI_Control::set_int_val(int value)
{
    int_val = value;
    if (live_int)
        *live_int = value;
    followProgram();
}

void GLUI_Control::followProgram()
{
    changedByProgram = true;
    GLUI_Master.post_panel_pass();
}

bool GLUI_Control::followLiveVariable()
{
    if (changedByProgram) {
        changedByProgram = false;
        return true;
    }
    if (live_int && *live_int != int_val) {
        int_val = *live_int;
        return true;
    }
    if (live_float && *live_float != float_val) {
        float_val = *live_float;
        return true;
    }
    return false;
}

bool GLUI_Control::drawControl(GLUI_Control& control, int id)
{
    ImGui::PushID(id);
    ImGui::BeginDisabled(!control.enabled);
    const bool changed = control.draw();
    ImGui::EndDisabled();
    ImGui::PopID();
    return changed;
}

GLUI_StaticText::GLUI_StaticText(std::string text)
    : GLUI_Control(-1, GLUI_CB()), text(std::move(text))
{
}

void GLUI_StaticText::set_text(const std::string& newText)
{
    if (newText == text)
        return;
    text = newText;
    followProgram();
}

bool GLUI_StaticText::draw()
{
    if (!text.empty())
        ImGui::TextUnformatted(text.c_str());
    return false;
}


GLUI_Separator::GLUI_Separator()
    : GLUI_Control(-1, GLUI_CB())
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
    : GLUI_Control(id, callback), name(std::move(name))
{
}

bool GLUI_Button::draw()
{
    if (!ImGui::Button(name.c_str()))
        return false;
    userChose(int_val);
    return true;
}

GLUI_Spinner::GLUI_Spinner(std::string name, float* live_var, int id, GLUI_CB callback)
    : GLUI_Control(live_var, id, callback), name(std::move(name))
{
}

bool GLUI_Spinner::draw()
{
    // Wide enough for the arrows and a number of five decimals.
    ImGui::SetNextItemWidth(ImGui::GetFontSize() * 9);
    float value = float_val;
    if (!ImGui::InputFloat(name.c_str(), &value, step, step * 10, "%.5f", ImGuiInputTextFlags_EnterReturnsTrue) ||
        !std::isfinite(value) || value == float_val)
        return false;
    userChose(value);
    return true;
}

GLUI_Panel::GLUI_Panel(std::string name)
    : GLUI_Control(-1, GLUI_CB()), name(std::move(name))
{
}

bool GLUI_Panel::draw()
{
    ImGui::TextUnformatted(name.c_str());
    const ImGuiStyle& style = ImGui::GetStyle();
    ImGui::Indent(style.FramePadding.x * 2);
    ImGui::BeginGroup();
    bool changed = false;
    for (std::size_t i = 0; i < controls.size(); ++i)
        changed |= drawControl(*controls[i], int(i));
    ImGui::EndGroup();
    ImGui::Unindent(style.FramePadding.x * 2);
    // The frame, a padding's width around the controls.
    const ImVec2 padding = style.FramePadding;
    const ImVec2 min = ImGui::GetItemRectMin(), max = ImGui::GetItemRectMax();
    ImGui::GetWindowDrawList()->AddRect(ImVec2(min.x - padding.x, min.y - padding.y), ImVec2(max.x + padding.x, max.y + padding.y),
                                        ImGui::GetColorU32(ImGuiCol_Border));
    // Room for the frame on the right and below.
    ImGui::SameLine(0, 0);
    ImGui::Dummy(ImVec2(padding.x * 2, 0));
    ImGui::Dummy(ImVec2(0, padding.y));
    return changed;
}

bool GLUI_Panel::followLiveVariable()
{
    bool changed = false;
    for (const auto& control : controls)
        changed |= control->followLiveVariable();
    return changed;
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
