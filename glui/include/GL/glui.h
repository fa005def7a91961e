// A small GLUI: the part of GLUI 2.3x's interface that this viewer uses, spelled as GLUI spells it,
// drawn and run by Dear ImGui on GLUT.
//
// What it does, as GLUI does: create_glui opens a separate top-level GLUT window with its own GL
// context, which sizes itself to its controls; controls show top to bottom in the order added; a
// checkbox writes 1 or 0 into its live variable when the user changes it, and shows the variable's
// value when the program changes it, and so does a float spinner; the buttons of a radio group are
// numbered 0, 1, 2, ... in the order added; a button runs its callback when clicked; a panel groups
// the controls added to it under its title, in a frame; a change by the user requests a redraw of
// the main graphics window; set_glutIdleFunc lets every panel do its idle work before it calls the
// program's idle function.
// Panels are never closed or destroyed.
// Beyond GLUI: the idle pass runs only when something can have changed, so that a program at rest
// costs nothing. A change the user makes in a panel asks for a pass, and so does the program with
// post_idle_pass after events of its own windows; a change the program makes to what a control
// shows asks for a pass of the panels alone, which leaves the program's idle function out. A pass
// during which nobody asked for another takes the idle function away, and GLUT sleeps in its loop
// until the next request.
// A spinner is a number field with arrows that step it: typed text is taken on Enter, and text that
// is not a finite number is refused, the value kept.
// What it doesn't: other controls, integer spinners, limits, subwindows, panels within panels, a
// live variable for the radio group, or GLUI's own look.
#pragma once

#include <memory>
#include <string>
#include <vector>

class GLUI;
class GLUI_Control;
class PanelWindow;

typedef void (*GLUI_Update_CB)(int id);

enum { GLUI_SPINNER_FLOAT = 2 };
enum { GLUI_PANEL_EMBOSSED = 1 };

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
    float get_float_val() const { return float_val; }
    // The program's choice, shown from the next frame of the panel on.
    void set_int_val(int value);
    int get_id() const { return user_id; }
    // A disabled control is drawn greyed out and does not answer the user.
    void enable() { enabled = true; }
    void disable() { enabled = false; }

protected:
    GLUI_Control(int id, GLUI_CB callback);   // without a live variable
    GLUI_Control(int* live_var, int id, GLUI_CB callback);
    GLUI_Control(float* live_var, int id, GLUI_CB callback);
    // Records a value the user chose, in the control and its live variable, and runs the callback.
    void userChose(int value);
    void userChose(float value);
    // Draws a control, named `id` among its neighbours, into the panel window's current frame,
    // greyed out if disabled; true if the user changed its value.
    static bool drawControl(GLUI_Control& control, int id);

    // Has the panel follow a change the program made, at the next pass of the panels, which it asks for.
    void followProgram();

    int int_val = 0;
    float float_val = 0.0f;

private:
    friend class GLUI;
    friend class GLUI_Panel;
    virtual bool draw() = 0;
    // Takes over a value the program wrote into the live variable; true if there was one.
    virtual bool followLiveVariable();

    int* live_int = nullptr;
    float* live_float = nullptr;
    bool changedByProgram = false;
    int user_id;
    GLUI_CB callback;
    bool enabled = true;
};

class GLUI_StaticText : public GLUI_Control {
public:
    explicit GLUI_StaticText(std::string text);
    // Shows `text` from the next idle pass on, which it asks for. An empty text takes no room.
    void set_text(const std::string& text);

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

class GLUI_Spinner : public GLUI_Control {
public:
    GLUI_Spinner(std::string name, float* live_var, int id, GLUI_CB callback);
    // Beyond GLUI: what one click of an arrow adds or takes away.
    void set_step(float step) { this->step = step; }

private:
    bool draw() override;
    std::string name;
    float step = 0.01f;
};

// A titled frame around the controls added to it.
class GLUI_Panel : public GLUI_Control {
public:
    explicit GLUI_Panel(std::string name);

private:
    friend class GLUI;
    bool draw() override;
    bool followLiveVariable() override;
    std::string name;
    std::vector<std::unique_ptr<GLUI_Control>> controls;
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
    GLUI_Panel* add_panel(const std::string& name, int type = GLUI_PANEL_EMBOSSED);
    // data_type must be GLUI_SPINNER_FLOAT, and live_var a float's address.
    GLUI_Spinner* add_spinner(const std::string& name, int data_type, void* live_var = nullptr, int id = -1,
                              GLUI_CB callback = GLUI_CB());
    GLUI_Spinner* add_spinner_to_panel(GLUI_Panel* panel, const std::string& name, int data_type, void* live_var = nullptr,
                                       int id = -1, GLUI_CB callback = GLUI_CB());
    GLUI_Button* add_button_to_panel(GLUI_Panel* panel, const std::string& name, int id = -1, GLUI_CB callback = GLUI_CB());
    // The GLUT window to redraw whenever the user changes a control.
    void set_main_gfx_window(int window_id) { main_gfx_window = window_id; }

    GLUI(const GLUI&) = delete;
    GLUI& operator=(const GLUI&) = delete;

private:
    friend class GLUI_Master_Object;
    friend class GLUI_RadioGroup;
    GLUI(const std::string& name, int x, int y);

    // Appends a control below the others, in `panel` or else in the window, which owns it from
    // here on.
    void adopt(std::unique_ptr<GLUI_Control> control, GLUI_Panel* panel = nullptr);
    template <class Control> Control* add(std::unique_ptr<Control> control, GLUI_Panel* panel = nullptr);
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
    // Asks for a pass of the panels alone, after the program changed what a control shows.
    void post_panel_pass();
    // Beyond GLUI, for a program that runs GLUT's loop itself (glutMainLoopEvent, which leaves the
    // idle function alone): the idle pass, if one was asked for.
    void run_idle_pass_if_asked();

private:
    static void idlePass();

    // Panels live until the process ends, as in GLUI; kept where exit leaves them alone.
    std::vector<GLUI*>* panels = new std::vector<GLUI*>;
    void (*idle_callback)() = nullptr;
    bool passRequested = false;        // the program's idle function included
    bool panelPassRequested = false;
};

extern GLUI_Master_Object GLUI_Master;
