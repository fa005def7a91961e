// Everything the main window's callbacks and the control panel share, in one place: the grid and
// its mapped image, the mouse, the morph angle, the focus, the main window, and the panel's live
// values.
//
// handleMotion turns a right-button drag into a change of the morph angle, and a drag that grabbed
// the image (Shift and the left button) into a move of the focus; handleGrab takes the grab and, for
// a click, makes the picture point under the pointer the focus. updateFrame, the idle pass, applies
// the angle, the focus, the Wireframe and True proportions checkboxes and the texture choice and
// requests a redraw. The
// pass runs after whatever can change those, and not otherwise: at rest the viewer sleeps.
// Exactly one instance exists, built by main right after the main window, reached through
// viewerState, and never destroyed.
#pragma once

#include "ExactTexturing.h"
#include "MappedGrid.h"
#include "PlaneGrid.h"

#include <GL/glui.h>

#include <array>
#include <complex>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ViewerState {
public:
    // Builds the grid, wearing the images of `catalogue` with the first selected, and its mapping,
    // and sets the main window's GL state. The main window must be the current GLUT window.
    ViewerState(int mainWindow, std::unique_ptr<TextureCatalogue> catalogue);

    // A motion event of the main window (a button is held): with the right button, every 2 pixels
    // upward widen the angle by 0.02 and every 2 downward close it, within its limits. With the
    // image grabbed, the focus moves so that the grabbed point stays under the pointer.
    void handleMotion(int x, int y);

    // A press or release of a button in the main window, after onMouse has recorded it. Shift and
    // the left button grab the image point under the pointer; any other press lets it go; the
    // release of a grab that did not move is a click, which makes the point the focus if it lies
    // in the image. True if the focus changed.
    bool handleGrab(int button, int state, bool shift, int x, int y);

    // The morph angle within its limits, 0.01 and 6.28318, compared in double precision as the
    // drag compares it.
    static float clampedAngle(double angle);
    // Makes `point` the focus, held within the picture, kept in double precision: the spinners
    // show it rounded.
    void setFocus(std::complex<double> point);
    std::complex<double> focus() const { return focusPoint; }
    // The Focus spinners' values typed: each one that differs from the focus shown replaces its part.
    void takeFocusTyped();

    // Scales the picture about the focus by `factor` (the wheel's and the keys' 1.25 a notch),
    // within its limits.
    void zoomBy(double factor);
    // The zoom typed into its spinner, or any zoom, held within its limits: from 1, the whole
    // picture, to where its own pixels (its deepest level's) are 8 window pixels wide at the
    // window's bottom edge at the smallest angle, or 1 if they are wider there already.
    void keepZoomInLimits();
    double greatestZoom() const;

    // Lays the picture into the main window of this size as "True proportions" says, and loads
    // the projection for it. The main window must be current.
    void fitView(int width, int height);
    // F11, with true proportions: the main window fills the screen, or is given back its place.
    void toggleFullScreen();

    // The idle pass: maps the grid for the current angle if it is new, applies the panel's settings
    // to the main window, saves its picture if that was asked for, and requests its redraw.
    void updateFrame();

    // Draws the main window's picture into its current buffer: what onDisplay shows. Until the
    // first picture of a file given is decoded, it is blank.
    void drawPicture();

    // Finishes on the main loop what threads of their own do: uploads the rows of a picture being
    // decoded as they come and shows it once it is whole, with how far it is in the panel if it
    // takes longer than half a second; has the detail of a picture deeper than one texture follow
    // the focus, its windows going up as they arrive, and has the panel say how deep it goes. A
    // timer keeps calling it while there is such work. True if what is drawn has changed.
    bool followBackgroundWork();

    std::int32_t polygonMode;        // GL_FILL or GL_LINE
    std::int32_t windowWidth;        // of the main window when the state was built
    std::int32_t windowHeight;
    std::unique_ptr<PlaneGrid> grid;
    std::unique_ptr<MappedGrid> mappedGrid;
    std::int32_t mouseButton = 0;    // the GLUT button of the last press
    std::int32_t lastMouseX = 0;     // pointer at the last mouse or motion event, y growing downward
    std::int32_t lastMouseY = 0;
    float morphAngle;                // radians, from 0.01 to 6.28318; the "Angle" spinner's live variable
    // The focus, the point of the image square that the mapping magnifies, as the "Focus"
    // spinners show it: their live variables.
    float focusReal = 0.0f;
    float focusImaginary = 0.0f;
    float zoom = 1.0f;               // the "Zoom" spinner's live variable
    GLUI* panel = nullptr;
    std::int32_t mainWindow;
    std::int32_t wireframe = 0;      // the Wireframe checkbox's live variable
    std::int32_t currentTexture;     // the texture index applied last
    GLUI_RadioGroup* textureGroup = nullptr;
    bool pictureRequested = false;   // by the panel's "Save picture", for the next idle pass
    std::int32_t exactTexturing = 0;     // the "Exact texturing" checkbox's live variable
    std::int32_t trueProportions = 0;    // the "True proportions" checkbox's live variable
    std::unique_ptr<ExactTexturing> exactProgram;   // null where the GL offers no shaders
    GLUI_StaticText* loadingText = nullptr;         // the panel's line on a picture being decoded, or refused
    GLUI_StaticText* depthText = nullptr;           // the panel's line on how deep the picture goes
    bool backgroundTimerSet = false;                // a timer calls followBackgroundWork

private:

    // Where the picture point drawn under the centre of window pixel (x, y) in the picture last
    // mapped lies from the focus; nothing where the mapping puts no point.
    std::optional<std::complex<double>> sourcePointAt(int x, int y) const;
    // The radio group shows the picture shown, or the one being decoded: a file that could not be
    // shown gives the button back to the picture that stays (to none if there is none yet).
    void showChoice();

    std::complex<double> focusPoint{0.0, 0.0};      // the focus itself
    const Picture* damageTold = nullptr;            // the picture whose damaged tile was told
    std::optional<std::complex<double>> grabbed;   // the picture point held under the pointer
    bool grabMoved = false;                         // the pointer moved since the grab
    // The main window's place before it filled the screen; nothing while it does not.
    std::optional<std::array<int, 4>> windowedPlace;
};

extern ViewerState* viewerState;
