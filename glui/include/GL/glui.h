// A small GLUI: the part of GLUI 2.3x's interface that this viewer uses, spelled as GLUI spells it,
// drawn and run by Dear ImGui on GLUT.
//
// What it does, as GLUI does: create_glui opens a separate top-level GLUT window with its own GL
// context, which sizes itself to its controls; controls show top to bottom in the order added; a
// checkbox writes 1 or 0 into its live variable when the user changes it, and shows the variable's
// value when the program changes it; the buttons of a radio group are numbered 0, 1, 2, ... in the
// order added; a button runs its callback when clicked; a change by the user requests a redraw of
// the main graphics window; set_glutIdleFunc lets every panel do its idle work before it calls the
// program's idle function.
// Panels are never closed or destroyed.
// Beyond GLUI: the idle pass runs only when something can have changed, so that a program at rest
// costs nothing. A change the user makes in a panel asks for a pass, and so does the program with
// post_idle_pass after events of its own windows; a pass during which nobody asked for another
// takes the idle function away, and GLUT sleeps in its loop until the next request.
// What it doesn't: other controls, subwindows, nested panels, a live variable for the radio group,
// keyboard editing, or GLUI's own look.
#pragma once

#include <memory>
#include <string>
#include <vector>

class GLUI;
class GLUI_Control;
class PanelWindow;

typedef void (*GLUI_Update_CB)(int id);

// A control's callback: empty, or a function that receives the control's id.
class GLUI_CB {
public:
    GLUI_CB() = default;
    GLUI_CB(GLUI_Update_CB callback) : callback(callback) {}
    void operator()(GLUI_Control* control) const;

private:
    GLUI_Update_CB callback = nullptr;
};

class GLUI_Control {
public:
    virtual ~GLUI_Control() = default;
    GLUI_Control(const GLUI_Control&) = delete;
    GLUI_Control& operator=(const GLUI_Control&) = delete;

    int get_int_val() const { return int_val; }
    int get_id() const { return user_id; }
    // A disabled control is drawn greyed out and does not answer the user.
    void enable() { enabled = true; }
    void disable() { enabled = false; }

protected:
    GLUI_Control(int* live_var, int id, GLUI_CB callback);
    // Records a value the user chose, in the control and its live variable, and runs the callback.
    void userChose(int value);

    int int_val = 0;

private:
    friend class GLUI;
    // Draws the control into the panel's current frame; true if the user changed its value.
    virtual bool draw() = 0;
    // Takes over a value the program wrote into the live variable; true if there was one.
    bool followLiveVariable();

    int* live_int;
    int user_id;
    GLUI_CB callback;
    bool enabled = true;
};

class GLUI_StaticText : public GLUI_Control {
public:
    explicit GLUI_StaticText(std::string text);

private:
    bool draw() override;
    std::string text;
};

class GLUI_Separator : public GLUI_Control {
public:
    GLUI_Separator();

private:
    bool draw() override;
};

class GLUI_Checkbox : public GLUI_Control {
public:
    GLUI_Checkbox(std::string name, int* live_var, int id, GLUI_CB callback);

private:
    bool draw() override;
    std::string name;
};

class GLUI_Button : public GLUI_Control {
public:
    GLUI_Button(std::string name, int id, GLUI_CB callback);

private:
    bool draw() override;
    std::string name;
};

class GLUI_RadioButton {
public:
    explicit GLUI_RadioButton(std::string name) : name(std::move(name)) {}
    const std::string& label() const { return name; }

private:
    std::string name;
};

class GLUI_RadioGroup : public GLUI_Control {
public:
    // Adds itself to the parent panel, below the controls already there. Its value, the number of
    // the selected button, starts at 0.
    GLUI_RadioGroup(GLUI* parent, int* live_var = nullptr, int user_id = -1, GLUI_CB callback = GLUI_CB());

private:
    friend class GLUI;
    bool draw() override;
    std::vector<std::unique_ptr<GLUI_RadioButton>> buttons;
};

class GLUI {
public:
    GLUI_StaticText* add_statictext(const std::string& name);
    GLUI_Separator* add_separator();
    GLUI_Checkbox* add_checkbox(const std::string& name, int* live_var = nullptr, int id = -1,
                                GLUI_CB callback = GLUI_CB());
    GLUI_RadioButton* add_radiobutton_to_group(GLUI_RadioGroup* group, const std::string& name);
    GLUI_Button* add_button(const std::string& name, int id = -1, GLUI_CB callback = GLUI_CB());
    // The GLUT window to redraw whenever the user changes a control.
    void set_main_gfx_window(int window_id) { main_gfx_window = window_id; }

    GLUI(const GLUI&) = delete;
    GLUI& operator=(const GLUI&) = delete;

private:
    friend class GLUI_Master_Object;
    friend class GLUI_RadioGroup;
    GLUI(const std::string& name, int x, int y);

    // Appends a control below the others; the panel owns it from here on.
    void adopt(std::unique_ptr<GLUI_Control> control);
    template <class Control> Control* add(std::unique_ptr<Control> control);
    void drawFrame();
    void idle();

    std::unique_ptr<PanelWindow> window;
    std::vector<std::unique_ptr<GLUI_Control>> controls;
    int main_gfx_window = 0;
};

class GLUI_Master_Object {
public:
    // Opens a panel window titled `name`. flags must be 0 (a top-level window); x and y of -1
    // leave the position to the window system. The window current before the call stays current.
    GLUI* create_glui(const std::string& name, long flags = 0, int x = -1, int y = -1);
    // Registers GLUT's idle function: each pass lets every panel do its idle work, then calls f.
    void set_glutIdleFunc(void (*f)());
    // Asks for one more idle pass, after an event that may have changed what the pass applies.
    void post_idle_pass();

private:
    static void idlePass();

    // Panels live until the process ends, as in GLUI; kept where exit leaves them alone.
    std::vector<GLUI*>* panels = new std::vector<GLUI*>;
    void (*idle_callback)() = nullptr;
    bool passRequested = false;
};

extern GLUI_Master_Object GLUI_Master;
