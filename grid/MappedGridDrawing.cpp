// Drawing the mapped grid: immediate mode, everything re-sent every frame.
//
// Each pair of neighbouring rows is one quad strip, vertex i of the lower row then vertex i of the
// upper. The strip is restarted before every pair whose lower vertex is flagged: on the row just
// below the focus, every column up to the first right of it. So the cells over the cut, whose
// corners the mapping sends to opposite edges of the picture, are never drawn. With exact texturing the same cells are drawn,
// and the program colours them.
#include "MappedGrid.h"

#include "ExactTexturing.h"
#include "PowerLogarithm.h"

#include <GL/gl.h>

#include <algorithm>
#include <tuple>

namespace {

void emitVertex(const GridVertex& vertex, const PlaneView& view, double scale, double offset)
{
    glTexCoord2f(static_cast<float>(vertex.u), static_cast<float>(vertex.v));
    const std::complex<double> drawn = view.drawingOf(vertex.position, scale, offset);
    glVertex2d(drawn.real(), drawn.imag());
}

} // namespace

void MappedGrid::draw()
{
    const PlaneView& view = grid->view();
    const float k = rootDegree(angle);
    // The square lowers the values it holds as each vertex pair goes out; a picture in its own
    // proportions takes them from its view.
    if (view.keepsProportions() && rows.size() > 1)
        std::tie(viewScale, viewOffset) = view.viewValues(k);

    // Texturing is off here (every draw ends by disabling it), so the marker is plain black: at
    // the centre in the square, at the focus, w = -k, in a picture's true proportions.
    glColor3f(0.0f, 0.0f, 0.0f);
    glPointSize(5.0f);
    glBegin(GL_POINTS);
    if (view.keepsProportions()) {
        const std::complex<double> focus = view.drawingOf(-k, viewScale, viewOffset);
        glVertex2d(focus.real(), focus.imag());
    } else {
        glVertex2i(0, 0);
    }
    glEnd();

    glColor3f(1.0f, 0.0f, 0.0f);
    glPointSize(1.0f);
    Picture* picture = catalogue->picture();
    glBindTexture(GL_TEXTURE_2D, picture ? picture->texture() : 0);
    glEnable(GL_TEXTURE_2D);
    bool exact = false;
    if (exactTexturing && picture && rows.size() > 1) {
        lowerViewValues();
        exact = exactTexturing->begin(*picture, k, viewScale, viewOffset, grid->focus(), view);
    }

    for (std::size_t r = 0; r + 1 < rows.size(); ++r) {
        const GridRow& lower = rows[r];
        const GridRow& upper = rows[r + 1];
        // Rows are always equally long; if they ever weren't, never read past the shorter one.
        const std::size_t length = std::min(lower.size(), upper.size());
        glBegin(GL_QUAD_STRIP);
        for (std::size_t i = 0; i < length; ++i) {
            if (lower[i].stripBreak) {
                glEnd();
                glBegin(GL_QUAD_STRIP);
            }
            lowerViewValues();
            emitVertex(lower[i], view, viewScale, viewOffset);
            emitVertex(upper[i], view, viewScale, viewOffset);
        }
        glEnd();
    }
    if (exact)
        exactTexturing->end();
    glDisable(GL_TEXTURE_2D);
}

void MappedGrid::lowerViewValues()
{
    if (!grid->view().keepsProportions())
        std::tie(viewScale, viewOffset) = PlaneView::lowered(viewScale, viewOffset);
}
