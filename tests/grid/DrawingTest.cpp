// Drawing the mapped grid with a real GL context: what was drawn is observed through the GL's
// feedback mode (every primitive after transformation, with its texture coordinates) and through
// the pixels read back. The frames checked here are saved as PNG files in FRAME_DIR.
#include "GlWindow.h"
#include "MappedGrid.h"
#include "PlaneGrid.h"
#include "TempDir.h"
#include "TestPng.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

namespace {

constexpr int windowWidth = 640;
constexpr int windowHeight = 480;

struct FeedbackVertex {
    float x, y;   // window coordinates
    float s, t;   // texture coordinates
};

struct Feedback {
    std::vector<FeedbackVertex> points;
    std::vector<std::vector<FeedbackVertex>> polygons;
    std::vector<std::pair<FeedbackVertex, FeedbackVertex>> lines;

    int triangleCount() const
    {
        int count = 0;
        for (const auto& polygon : polygons)
            count += int(polygon.size()) - 2;
        return count;
    }
};

struct Frame {
    std::vector<std::uint8_t> rgb;   // bottom row first, as glReadPixels gives it

    const std::uint8_t* at(int x, int y) const { return &rgb[(std::size_t(y) * windowWidth + x) * 3]; }
    bool white(int x, int y) const { return at(x, y)[0] == 255 && at(x, y)[1] == 255 && at(x, y)[2] == 255; }

    void save(const std::string& name) const
    {
        std::filesystem::create_directories(FRAME_DIR);
        TestPng image;
        image.width = windowWidth;
        image.height = windowHeight;
        for (int y = windowHeight - 1; y >= 0; --y)
            image.rows.insert(image.rows.end(), at(0, y), at(0, y) + windowWidth * 3);
        writeTestPng(std::string(FRAME_DIR) + "/" + name + ".png", image);
    }
};

// A test texture without any white: red grows with s, green with t, blue in an 8 x 8 checker.
void writePatternTexture(const std::string& path)
{
    const int side = 256;
    std::vector<std::uint8_t> rows;
    for (int y = side - 1; y >= 0; --y)   // file rows run from the top, t = 1
        for (int x = 0; x < side; ++x) {
            rows.push_back(std::uint8_t(40 + 180 * x / (side - 1)));
            rows.push_back(std::uint8_t(40 + 180 * y / (side - 1)));
            rows.push_back(((x / 32 + y / 32) % 2) ? 190 : 60);
        }
    writeTestPng(path, rgbImage(side, side, rows));
}

class DrawingTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openGlWindow(windowWidth, windowHeight);
        const auto previousDir = std::filesystem::current_path();
        std::filesystem::current_path(textureDir->dir());
        writePatternTexture("galaxie.png");
        grid = new PlaneGrid();   // the viewer's grid: loads texture 0 from the working directory
        std::filesystem::current_path(previousDir);
    }

    void SetUp() override
    {
        mapped = std::make_unique<MappedGrid>(grid, grid->catalogue.get());
        project(1.0);
    }

    // The viewer's projection of the square from -extent to extent onto the whole window. Tests
    // that count primitives widen it, so that clipping cannot split or drop any.
    static void project(double extent)
    {
        glViewport(0, 0, windowWidth, windowHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(-extent, extent, -extent, extent);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    Frame render(GLenum polygonMode)
    {
        glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        mapped->draw();
        Frame frame;
        frame.rgb.resize(std::size_t(windowWidth) * windowHeight * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, windowWidth, windowHeight, GL_RGB, GL_UNSIGNED_BYTE, frame.rgb.data());
        return frame;
    }

    Feedback capture(GLenum polygonMode)
    {
        glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
        std::vector<GLfloat> buffer(1 << 22);
        glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
        glRenderMode(GL_FEEDBACK);
        mapped->draw();
        const GLint used = glRenderMode(GL_RENDER);
        EXPECT_GE(used, 0) << "feedback buffer overflowed";

        // Each vertex: x, y, z, RGBA, then s, t, r, q.
        Feedback feedback;
        auto vertexAt = [&](GLint at) { return FeedbackVertex{buffer[at], buffer[at + 1], buffer[at + 7], buffer[at + 8]}; };
        constexpr GLint vertexSize = 11;
        for (GLint at = 0; at < used;) {
            const auto token = GLint(buffer[at++]);
            if (token == GL_POINT_TOKEN) {
                feedback.points.push_back(vertexAt(at));
                at += vertexSize;
            } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
                feedback.lines.emplace_back(vertexAt(at), vertexAt(at + vertexSize));
                at += 2 * vertexSize;
            } else if (token == GL_POLYGON_TOKEN) {
                const auto count = GLint(buffer[at++]);
                std::vector<FeedbackVertex> polygon;
                for (GLint v = 0; v < count; ++v, at += vertexSize)
                    polygon.push_back(vertexAt(at));
                feedback.polygons.push_back(polygon);
            } else {
                ADD_FAILURE() << "unexpected feedback token " << token;
                break;
            }
        }
        return feedback;
    }

    static inline std::unique_ptr<TempDir> textureDir = std::make_unique<TempDir>();
    static inline PlaneGrid* grid = nullptr;   // lives to the end of the process, as in the viewer
    std::unique_ptr<MappedGrid> mapped;
};

TEST_F(DrawingTest, TheViewersGridShowsTextureZeroFromTheWorkingDirectory)
{
    EXPECT_EQ(grid->getRows().size(), 52u);
    ASSERT_NE(grid->catalogue, nullptr);
    EXPECT_EQ(glIsTexture(grid->catalogue->textureName), GL_TRUE);
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, grid->catalogue->textureName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 256);
}

// The angles the tests visit: widest, half turn, in between, smallest.
const float angles[] = {6.28318f, 3.14159f, 1.0f, 0.01f};

TEST_F(DrawingTest, EveryFrameDraws2575QuadsAndNoneAcrossTheNegativeRealAxis)
{
    project(8.0);
    for (float angle : angles) {
        SCOPED_TRACE(angle);
        mapped->recompute(angle);
        const Feedback feedback = capture(GL_FILL);
        EXPECT_EQ(feedback.triangleCount(), 2 * 2575);

        // Only the cells between rows 25 and 26 have v = 0.5 at every corner. Of them, the cells
        // of columns 26 to 50 reach u > 0.5; those of columns 0 to 25 never do, and must be absent.
        int centreStripTriangles = 0;
        for (const auto& polygon : feedback.polygons) {
            if (!std::all_of(polygon.begin(), polygon.end(), [](const FeedbackVertex& v) { return v.t == 0.5f; }))
                continue;
            centreStripTriangles += int(polygon.size()) - 2;
            const float largestS = std::max_element(polygon.begin(), polygon.end(), [](auto& a, auto& b) { return a.s < b.s; })->s;
            EXPECT_GT(largestS, 0.5f) << "a cell of columns 0 to 25 between rows 25 and 26 was drawn";
        }
        EXPECT_EQ(centreStripTriangles, 2 * 25);
    }
}

TEST_F(DrawingTest, WireframeDrawsNoLineAcrossTheCut)
{
    mapped->recompute(0.01f);
    const Feedback feedback = capture(GL_LINE);
    ASSERT_FALSE(feedback.lines.empty());
    // At the smallest angle the two rims of the cut lie at the window's left and right edges; an
    // edge of a cell over the cut would join them.
    for (const auto& [a, b] : feedback.lines) {
        if (a.t == 0.5f && b.t == 0.5f) {
            EXPECT_LT(std::abs(a.x - b.x), windowWidth / 2.0f) << "line from " << a.x << " to " << b.x;
        }
    }
}

TEST_F(DrawingTest, ViewValuesAreLoweredToTheirLimits)
{
    struct Case {
        double before, scaleAfter, offsetAfter;
    };
    for (const Case& c : {Case{628.318, 3.14159, 2.0}, Case{1.9999999, 1.9999999, 1.9999999}, Case{2.5, 2.5, 2.0}}) {
        mapped->viewScale = mapped->viewOffset = c.before;
        render(GL_FILL);
        EXPECT_EQ(mapped->viewScale, c.scaleAfter);
        EXPECT_EQ(mapped->viewOffset, c.offsetAfter);
    }
}

TEST_F(DrawingTest, FewerThanTwoRowsDrawOnlyTheBlackFivePixelMarker)
{
    mapped->rows.resize(1);
    mapped->viewScale = mapped->viewOffset = 628.318;
    const Feedback feedback = capture(GL_FILL);
    EXPECT_TRUE(feedback.polygons.empty());
    ASSERT_EQ(feedback.points.size(), 1u);
    EXPECT_EQ(feedback.points[0].x, windowWidth / 2.0f);
    EXPECT_EQ(feedback.points[0].y, windowHeight / 2.0f);

    const Frame frame = render(GL_FILL);
    frame.save("marker-alone");
    EXPECT_EQ(mapped->viewScale, 628.318);
    EXPECT_EQ(mapped->viewOffset, 628.318);
    int black = 0, other = 0;
    int left = windowWidth, right = -1, bottom = windowHeight, top = -1;
    for (int y = 0; y < windowHeight; ++y)
        for (int x = 0; x < windowWidth; ++x) {
            const std::uint8_t* p = frame.at(x, y);
            if (p[0] == 0 && p[1] == 0 && p[2] == 0) {
                ++black;
                left = std::min(left, x);
                right = std::max(right, x);
                bottom = std::min(bottom, y);
                top = std::max(top, y);
            } else if (!frame.white(x, y)) {
                ++other;
            }
        }
    // One solid 5 x 5 square at the window's centre, and nothing else.
    EXPECT_EQ(black, 25);
    EXPECT_EQ(right - left, 4);
    EXPECT_EQ(top - bottom, 4);
    EXPECT_NEAR((left + right + 1) / 2.0, windowWidth / 2.0, 1.0);
    EXPECT_NEAR((bottom + top + 1) / 2.0, windowHeight / 2.0, 1.0);
    EXPECT_EQ(other, 0);
}

TEST_F(DrawingTest, WidestAngleFillsTheWindowWithTheImageTurnedOnItsSide)
{
    mapped->recompute(6.28318f);
    const Frame frame = render(GL_FILL);
    int whitePixels = 0;
    for (int y = 0; y < windowHeight; ++y)
        for (int x = 0; x < windowWidth; ++x)
            whitePixels += frame.white(x, y);
    EXPECT_EQ(whitePixels, 0);

    // u (red in the pattern) runs up the window, v (green) from left to right. Drawn red-tinted,
    // green and blue would be gone.
    EXPECT_NEAR(frame.at(2, 2)[0], 40, 3);
    EXPECT_NEAR(frame.at(2, 2)[1], 40, 3);
    EXPECT_NEAR(frame.at(2, windowHeight - 3)[0], 220, 3);
    EXPECT_NEAR(frame.at(2, windowHeight - 3)[1], 40, 3);
    EXPECT_NEAR(frame.at(windowWidth - 3, 2)[0], 40, 3);
    EXPECT_NEAR(frame.at(windowWidth - 3, 2)[1], 220, 3);

    // The corners, found by their texture coordinates. A wider projection keeps the clipper from
    // moving them: they lie within 10^-7 of the window's edges, on either side.
    project(2.0);
    const Feedback feedback = capture(GL_FILL);
    auto cornerAt = [&](float s, float t) {
        for (const auto& polygon : feedback.polygons)
            for (const FeedbackVertex& v : polygon)
                if (v.s == s && v.t == t)
                    return std::complex<double>((v.x / windowWidth * 2 - 1) * 2, (v.y / windowHeight * 2 - 1) * 2);
        ADD_FAILURE() << "no vertex with texture coordinates " << s << ", " << t;
        return std::complex<double>();
    };
    EXPECT_NEAR(std::abs(cornerAt(0, 0) - std::complex<double>(-1, -1)), 0, 1e-5);   // z = -1 - i
    EXPECT_NEAR(std::abs(cornerAt(1, 0) - std::complex<double>(-1, 1)), 0, 1e-5);    // z = 1 - i
    EXPECT_NEAR(std::abs(cornerAt(1, 1) - std::complex<double>(1, 1)), 0, 1e-5);     // z = 1 + i
}

TEST_F(DrawingTest, SmallestAngleShowsTheLogarithmBetweenTheWindowsEdges)
{
    mapped->recompute(0.01f);
    const Frame frame = render(GL_FILL);
    // Nothing reaches above y = 0.747, the corners of the grid: the band above stays white.
    const int bandBottom = int(std::ceil((0.76 + 1) / 2 * windowHeight));
    for (int y = bandBottom; y < windowHeight; ++y)
        for (int x = 0; x < windowWidth; ++x)
            ASSERT_TRUE(frame.white(x, y)) << x << ", " << y;
    // Where |z| = 1 (y = 2 / pi) the picture spans the window from edge to edge.
    const int unitCircle = int((2 / M_PI + 1) / 2 * windowHeight) - 2;
    EXPECT_FALSE(frame.white(0, unitCircle));
    EXPECT_FALSE(frame.white(windowWidth - 1, unitCircle));

    // The rims of the cut: z = -1 -/+ 4.77e-9 i at x = -/+0.99999668.
    const Feedback feedback = capture(GL_FILL);
    std::vector<float> rims;
    for (const auto& polygon : feedback.polygons)
        for (const FeedbackVertex& v : polygon)
            if (v.s == 0.0f && v.t == 0.5f)
                rims.push_back(v.x);
    ASSERT_FALSE(rims.empty());
    const auto [left, right] = std::minmax_element(rims.begin(), rims.end());
    EXPECT_NEAR(*left, (1 - 0.99999668) / 2 * windowWidth, 0.001);
    EXPECT_NEAR(*right, (1 + 0.99999668) / 2 * windowWidth, 0.001);
}

TEST_F(DrawingTest, SavesTheFramesOfEachAngleFilledAndInWireframe)
{
    for (float angle : angles) {
        mapped->recompute(angle);
        const std::string name = "angle-" + std::to_string(angle).substr(0, 7);
        const Frame wireframe = render(GL_LINE);
        wireframe.save(name + "-wireframe");
        render(GL_FILL).save(name + "-filled");
        // In wireframe the black marker shows between the lines.
        if (angle < 1.5f) {
            EXPECT_EQ(wireframe.at(windowWidth / 2, windowHeight / 2)[0], 0);
        }
    }
}

} // namespace
