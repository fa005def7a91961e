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

// Stand-in for pi: the five-decimal number, not the exact value.
constexpr double halfTurn = 3.14159;
constexpr double maxViewOffset = 2.0;

void emitVertex(const GridVertex& vertex, double scale, double offset)
{
    glTexCoord2f(static_cast<float>(vertex.u), static_cast<float>(vertex.v));
    // The real axis runs up the window and the imaginary axis across it.
    glVertex2d(vertex.position.imag() / scale, (offset + vertex.position.real()) / scale);
}

} // namespace

void MappedGrid::draw()
{
    // Texturing is off here (every draw ends by disabling it), so the marker is plain black.
    glColor3f(0.0f, 0.0f, 0.0f);
    glPointSize(5.0f);
    glBegin(GL_POINTS);
    glVertex2i(0, 0);
    glEnd();

    glColor3f(1.0f, 0.0f, 0.0f);
    glPointSize(1.0f);
    glBindTexture(GL_TEXTURE_2D, catalogue->textureName);
    glEnable(GL_TEXTURE_2D);
    const bool exact = exactTexturing && rows.size() > 1;
    if (exact) {
        lowerViewValues();
        exactTexturing->begin(*catalogue, rootDegree(angle), viewScale, viewOffset, grid->focus());
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
            emitVertex(lower[i], viewScale, viewOffset);
            emitVertex(upper[i], viewScale, viewOffset);
        }
        glEnd();
    }
    if (exact)
        exactTexturing->end();
    glDisable(GL_TEXTURE_2D);
}

std::pair<double, double> MappedGrid::loweredViewValues(double scale, double offset)
{
    return {scale > halfTurn ? halfTurn : scale, offset > maxViewOffset ? maxViewOffset : offset};
}

void MappedGrid::lowerViewValues()
{
    std::tie(viewScale, viewOffset) = loweredViewValues(viewScale, viewOffset);
}
