// The source grid, the mapping and its drawing: exact numbers, and what reaches a real GL through
// its feedback mode.
#include "MappedGrid.h"
#include "PowerLogarithm.h"
#include "TestSupport.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using Complex = std::complex<double>;

bool sameBits(const std::vector<GridRow>& a, const std::vector<GridRow>& b)
{
    bool same = a.size() == b.size();
    for (std::size_t r = 0; same && r < a.size(); ++r)
        for (std::size_t i = 0; same && i < a[r].size(); ++i)
            same = a[r].size() == b[r].size() && std::memcmp(&a[r][i].position, &b[r][i].position, 16) == 0 &&
                   a[r][i].stripBreak == b[r][i].stripBreak && a[r][i].u == b[r][i].u && a[r][i].v == b[r][i].v;
    return same;
}

TEST(PlaneGrid, RowsAndColumnsOverTheSquareWithTheCentreLinesDoubled)
{
    const PlaneGrid grid(50);
    const auto rows = grid.getRows();
    ASSERT_EQ(rows.size(), 52u);
    // Rows rise, vertices run rightward, each row and column with one coordinate and one texture
    // coordinate; the strip above the row just below the real axis restarts left of the centre.
    for (std::size_t r = 0; r < 52; ++r)
        for (std::size_t c = 0; c < 52; ++c) {
            ASSERT_EQ(rows[r].size(), 52u);
            const GridVertex& vertex = rows[r][c];
            EXPECT_TRUE(vertex.position.imag() == rows[r][0].position.imag() && vertex.v == rows[r][0].v &&
                        vertex.position.real() == rows[0][c].position.real() && vertex.u == rows[0][c].u &&
                        vertex.stripBreak == (r == 25 && c <= 26) && (r == 0 || rows[r - 1][c].position.imag() < vertex.position.imag()) &&
                        (c == 0 || rows[r][c - 1].position.real() < vertex.position.real()))
                << r << ", " << c;
        }
    // The centre lines at -/+ epsilon / 25 (the 8-digit 1.1920929e-7) share a texture coordinate;
    // texture coordinates are running sums of 0.02.
    EXPECT_EQ(axisGap, 0x1.000000102F4FDp-23);
    const double gap = axisGap / 25, centre = 0.5000000000000001, last = 1.0000000000000004;
    auto expectVertex = [&](std::size_t row, std::size_t column, Complex position, double u, double v) {
        const GridVertex& vertex = rows[row][column];
        EXPECT_TRUE(vertex.position == position && vertex.u == u && vertex.v == v) << row << ", " << column;
    };
    expectVertex(0, 0, {-1, -1}, 0, 0);
    expectVertex(51, 51, {1, 1}, last, last);
    expectVertex(25, 26, {gap, -gap}, centre, centre);
    expectVertex(26, 25, {-gap, gap}, centre, centre);
    EXPECT_EQ(rows[24][27].position, Complex(0.04, -0.04));

    // An odd N falls short of the square's edge; N = 0 would divide by zero.
    const auto odd = PlaneGrid(51).getRows();
    ASSERT_EQ(odd.size() * odd[51].size(), 52u * 52);
    EXPECT_EQ(odd[51][51].position, Complex(25 / 25.5, 25 / 25.5));
    EXPECT_NEAR(odd[51][51].u, 50.0 / 51, 1e-15);
    EXPECT_THROW(PlaneGrid(0), std::invalid_argument);
}

// Around any focus the grid spans the image, its texture coordinates the image's own, its lines at
// whole steps from the focus, the doubled lines and the open cut there; centred again, symmetric.
TEST(PlaneGrid, LaidOutAroundTheFocus)
{
    PlaneGrid grid(50);
    const auto centred = grid.getRows();
    const double gap = axisGap / 25;
    for (const Complex focus : {Complex(0.3, -0.62), Complex(-1, 0.999), Complex(1, 1), Complex(0.96, -0.0401), Complex(-7, 3)}) {
        grid.setFocus(focus);
        const Complex f = grid.focus();
        EXPECT_TRUE(std::abs(f.real()) <= 1 && std::abs(f.imag()) <= 1) << focus;
        const auto rows = grid.getRows();
        ASSERT_TRUE(rows.size() == 52 || rows.size() == 53) << focus;
        int flagged = 0;
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t c = 0; c < rows[r].size(); ++c) {
                ASSERT_EQ(rows[r].size(), rows[0].size());
                const GridVertex& vertex = rows[r][c];
                const Complex z = vertex.position, p = f + z;
                // The image's texture coordinates (doubled lines share the focus's), within it.
                ASSERT_TRUE(std::abs(vertex.u - (p.real() + 1) / 2) < 1e-8 && std::abs(vertex.v - (p.imag() + 1) / 2) < 1e-8) << focus << r << c;
                ASSERT_TRUE(std::abs(p.real()) <= 1 + 1e-8 && std::abs(p.imag()) <= 1 + 1e-8) << focus;
                // Lines at whole steps from the focus, cells of a step, but the gap and at the edges.
                const bool edge = c == 0 || c + 1 == rows[r].size(), atGap = std::abs(z.real()) == gap;
                ASSERT_TRUE(edge || atGap || std::abs(z.real() * 25 - std::round(z.real() * 25)) < 1e-9) << focus << c;
                const double cell = c == 0 ? 1 : (z.real() - rows[r][c - 1].position.real()) * 25;
                ASSERT_TRUE(cell == 2 * gap * 25 || (cell > 0.2499 && cell < 1.2501)) << focus << c << " " << cell;
                const bool belowFocus = z.imag() == -gap, upToFocus = z.real() < 0 || z.real() == gap;
                ASSERT_EQ(vertex.stripBreak, belowFocus && upToFocus) << focus << r << c;
                flagged += vertex.stripBreak;
            }
        // At an edge, half the doubled line lies a hair's breadth beyond it.
        EXPECT_TRUE(std::abs(rows.front().front().position + f - Complex(-1, -1)) < 1e-8 && std::abs(rows.back().back().position + f - Complex(1, 1)) < 1e-8) << focus;
        EXPECT_GE(flagged, 2);
    }
    grid.setFocus(0);
    EXPECT_TRUE(sameBits(grid.getRows(), centred));
}

TEST(Mapping, ValuesAtTheWidestHalfAndSmallestAngles)
{
    EXPECT_EQ(double(rootDegree(6.28318f)), 1.0 - 0x1p-24);
    EXPECT_EQ(rootDegree(0.01f), 628.3179931640625f);
    auto expectImage = [](float angle, Complex z, Complex w, double tolerance) {
        EXPECT_NEAR(std::abs(powerLogarithm(z, rootDegree(angle)) - w), 0, tolerance) << angle << " " << z;
    };
    expectImage(6.28318f, {0, 1}, {-1, 0.99999994}, 1e-7);
    expectImage(3.14159f, {0, 1}, {-0.58579, 1.41421}, 1e-5);
    expectImage(0.01f, {1, 1}, {0.34618, 0.78583}, 1e-5);
    expectImage(0.01f, {-1, -4.7683716e-9}, {-0.0078540, -3.1415796}, 1e-7);
    expectImage(0.3f, {1, 0}, {0, 0}, 0);
    const PlaneGrid grid(50);
    MappedGrid mapped(&grid, nullptr);
    EXPECT_EQ(mapped.viewScale, 0.99999994039535522);
    EXPECT_EQ(mapped.viewOffset, 0.99999994039535522);
    mapped.recompute(0.01f);
    EXPECT_EQ(mapped.viewScale, 628.3179931640625);
    EXPECT_NEAR(mapped.rows[25][25].position.real(), -18.5, 0.3);   // the centre stays finite
    const auto before = mapped.rows;
    mapped.viewScale = 3.14159;
    for (float zero : {0.0f, -0.0f}) {   // changes nothing
        mapped.recompute(zero);
        EXPECT_TRUE(sameBits(mapped.rows, before) && mapped.viewScale == 3.14159);
    }
}

// recompute takes shortcuts (logarithms kept, values shared by symmetric points, rows reused); it
// must give exactly the mapping evaluated from its definition.
TEST(Mapping, RecomputeIsBitIdenticalToTheDirectEvaluation)
{
    // Every angle a drag of one step at a time passes, angles anywhere, and beyond.
    std::vector<float> angles = {0.01f, 1e-6f, 7.0f, 100.0f, -1.0f};
    for (float angle = 6.28318f; angle > 0.01f; angle = float(-0.02 + double(angle)))
        angles.push_back(angle);
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i)
        angles.push_back(std::uniform_real_distribution<float>(0.01f, 6.28318f)(random));
    PlaneGrid grid(50);
    MappedGrid mapped(&grid, nullptr);
    // At the centre, and laid out around foci anywhere: on a line of the centred grid, on its
    // diagonal, off both, and at a corner.
    for (const Complex focus : {Complex(0, 0), Complex(0.36, 0), Complex(-0.5, -0.5), Complex(0.3127, -0.618), Complex(1, -1)}) {
        grid.setFocus(focus);
        const auto source = grid.getRows();
        for (std::size_t a = 0; a < angles.size(); a += focus == 0.0 ? 1 : 7) {
            mapped.rows.resize(3);   // whatever the rows held before is replaced
            mapped.recompute(angles[a]);
            std::vector<GridRow> direct = source;
            for (GridRow& row : direct)
                for (GridVertex& vertex : row)
                    vertex.position = powerLogarithm(vertex.position, rootDegree(angles[a]));
            ASSERT_TRUE(sameBits(mapped.rows, direct)) << "angle " << angles[a] << " focus " << focus;
        }
        EXPECT_TRUE(sameBits(grid.getRows(), source));
    }
}

// The picture inverted: the drawing coordinates of w = f(z), through the lowered view values, lead
// back to z; beyond the rims of the cut there is nothing.
TEST(Mapping, SourceAtInvertsThePicture)
{
    const PlaneGrid grid(50);
    MappedGrid mapped(&grid, nullptr);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(-1, 1);
    for (float angle : {6.28318f, 4.0f, 3.14159f, 2.5f, 1.0f, 0.01f}) {
        mapped.recompute(angle);
        const double k = rootDegree(angle), scale = std::min(k, 3.14159), offset = std::min(k, 2.0);
        for (int i = 0; i < 200; ++i) {
            const Complex z(coordinate(random), coordinate(random) * 1.999), w = powerLogarithm(z, rootDegree(angle));
            const auto back = mapped.sourceAt(w.imag() / scale, (offset + w.real()) / scale);
            ASSERT_TRUE(back && std::abs(*back - z) < 1e-9 * std::max(1.0, std::abs(z) * k)) << angle << " " << z;
        }
        // Just past the rim of the cut, the wedge the mapping fills ends (at k = 1 it is the plane).
        const Complex rim = std::polar(1.0, M_PI / k * 1.001), w = (rim - 1.0) * k;
        EXPECT_TRUE(k < 1.5 || !mapped.sourceAt(w.imag() / scale, (offset + w.real()) / scale)) << angle;
    }
}

struct Vertex {
    float x, y, s, t;   // window pixels and texture coordinates
};

// Draws in a 640 x 480 window with the square from -extent to extent in view; the points, then the
// triangles (in wireframe, lines) that reached the rasteriser, in pixels with texture coordinates.
std::pair<std::vector<Vertex>, std::vector<std::vector<Vertex>>> draw(MappedGrid& mapped, GLenum polygonMode, double extent)
{
    openGlWindow(640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-extent, extent, -extent, extent);
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
    std::vector<GLfloat> buffer(1 << 22);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    mapped.draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflowed";
    std::pair<std::vector<Vertex>, std::vector<std::vector<Vertex>>> drawn;
    for (GLint at = 0; at < used;) {
        const auto token = GLint(buffer[at++]);
        const GLint count = token == GL_POINT_TOKEN ? 1 : token == GL_POLYGON_TOKEN ? GLint(buffer[at++]) : 2;
        std::vector<Vertex> primitive;
        for (GLint i = 0; i < count; ++i, at += 11)   // x, y, z, RGBA, then s, t, r, q
            primitive.push_back({buffer[at], buffer[at + 1], buffer[at + 7], buffer[at + 8]});
        if (token == GL_POINT_TOKEN)
            drawn.first.push_back(primitive[0]);
        else
            drawn.second.push_back(primitive);
    }
    return drawn;
}

// Of the triangles with every corner on texture row v: those reaching right of u, and the others.
std::pair<int, int> rightOfAndOver(const std::vector<std::vector<Vertex>>& triangles, float u, float v)
{
    std::pair<int, int> counts;
    for (const auto& t : triangles)
        if (std::abs(t[0].t - v) < 1e-6f && std::abs(t[1].t - v) < 1e-6f && std::abs(t[2].t - v) < 1e-6f)
            ++(std::max({t[0].s, t[1].s, t[2].s}) > u + 1e-6f ? counts.first : counts.second);
    return counts;
}

TEST(Drawing, TheMarkerThenQuadStripsThatLeaveTheCutOpen)
{
    const PlaneGrid grid(50);
    TextureCatalogue noTexture;
    MappedGrid mapped(&grid, &noTexture);
    for (float angle : {6.28318f, 3.14159f, 1.0f, 0.01f}) {
        mapped.recompute(angle);
        const auto [points, triangles] = draw(mapped, GL_FILL, 8.0);
        // The marker at the centre, then 2,575 quads: all cells but the 26 between rows 25 and 26
        // (the only ones with v = 0.5 at every corner) over the negative real axis (u <= 0.5).
        ASSERT_EQ(points.size(), 1u);
        EXPECT_TRUE(points[0].x == 320 && points[0].y == 240);
        EXPECT_EQ(triangles.size(), 2u * 2575) << angle;
        const auto [rightOfCut, overCut] = rightOfAndOver(triangles, 0.5f, 0.5f);
        EXPECT_TRUE(rightOfCut == 2 * 25 && overCut == 0) << angle;
    }
    // Around a focus off the centre, the cut runs from it to the left edge: the cells over it are
    // left out, the 14 left of the focus and the one around it, and no others.
    PlaneGrid offCentre(50);
    offCentre.setFocus({-0.44, 0.3});
    const auto laidOut = offCentre.getRows();
    const std::size_t cells = (laidOut.size() - 1) * (laidOut[0].size() - 1);
    MappedGrid aroundFocus(&offCentre, &noTexture);
    for (float angle : {6.28318f, 0.01f}) {
        aroundFocus.recompute(angle);
        const auto triangles = draw(aroundFocus, GL_FILL, 8.0).second;
        EXPECT_EQ(triangles.size(), 2 * (cells - 15)) << angle;
        const auto [rightOfCut, overCut] = rightOfAndOver(triangles, float((-0.44 + 1) / 2), float((0.3 + 1) / 2));
        EXPECT_TRUE(rightOfCut == 2 * int(laidOut[0].size() - 16) && overCut == 0) << angle << " " << rightOfCut << " " << overCut;
    }
    // In wireframe no line joins the rims of the cut, at the left and right edges at this angle.
    for (const auto& line : draw(mapped, GL_LINE, 1.0).second)
        EXPECT_FALSE(line[0].t == 0.5f && line[1].t == 0.5f && std::abs(line[0].x - line[1].x) > 320);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

    // The view values are lowered to their limits, each its own; with under two rows, only the
    // marker is drawn and they stay.
    for (const auto& [before, scale, offset] : {std::tuple{628.318, 3.14159, 2.0}, {1.9999999, 1.9999999, 1.9999999}, {2.5, 2.5, 2.0}}) {
        mapped.viewScale = mapped.viewOffset = before;
        draw(mapped, GL_FILL, 1.0);
        EXPECT_TRUE(mapped.viewScale == scale && mapped.viewOffset == offset) << before;
    }
    mapped.rows.resize(1);
    const auto [points, triangles] = draw(mapped, GL_FILL, 1.0);
    EXPECT_TRUE(points.size() == 1 && triangles.empty() && mapped.viewScale == 2.5);
}

} // namespace
