// A nested, squarified treemap (Bruls, Huizing and van Wijk) of a deterministic hierarchy: seven
// top-level categories, each split again and again into two to seven parts of random weight.
// A node near the centre keeps splitting down to a few pixels, a node far out stops early, so the
// detail gathers where the logarithmic view magnifies. Both versions draw the same layout from the
// same random draws; only the colours differ.
#include "Random.h"
#include "Textures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace {

struct Rect {
    double left, bottom, right, top;
    double width() const { return right - left; }
    double height() const { return top - bottom; }
};

// Worst aspect ratio of a row of areas laid along a side of the given length.
double worstAspect(const std::vector<double>& row, double side)
{
    double sum = 0;
    for (double area : row)
        sum += area;
    const double largest = *std::max_element(row.begin(), row.end());
    const double smallest = *std::min_element(row.begin(), row.end());
    return std::max(side * side * largest / (sum * sum), sum * sum / (side * side * smallest));
}

// Splits `area` into rectangles of the given areas (summing to its area, largest first).
std::vector<Rect> squarify(const std::vector<double>& areas, Rect area)
{
    std::vector<Rect> placed;
    std::size_t next = 0;
    while (next < areas.size()) {
        const bool alongHeight = area.width() >= area.height();   // the row stands along the shorter side
        const double side = alongHeight ? area.height() : area.width();
        std::vector<double> row{areas[next++]};
        while (next < areas.size()) {
            std::vector<double> longer = row;
            longer.push_back(areas[next]);
            if (worstAspect(longer, side) > worstAspect(row, side))
                break;
            row = std::move(longer);
            ++next;
        }
        double rowArea = 0;
        for (double a : row)
            rowArea += a;
        const double thickness = rowArea / side;
        double offset = 0;
        for (double a : row) {
            const double length = a / thickness;
            placed.push_back(alongHeight ? Rect{area.left, area.top - offset - length, area.left + thickness, area.top - offset}
                                         : Rect{area.left + offset, area.top - thickness, area.left + offset + length, area.top});
            offset += length;
        }
        if (alongHeight)
            area.left += thickness;
        else
            area.top -= thickness;
    }
    return placed;
}

// `count` random areas, largest first, that together fill `rect`; their spread grows with sigma.
std::vector<double> randomAreas(Random& random, int count, double sigma, Rect rect)
{
    std::vector<double> areas;
    double total = 0;
    for (int i = 0; i < count; ++i) {
        areas.push_back(std::exp(sigma * random.normal()));
        total += areas.back();
    }
    std::sort(areas.begin(), areas.end(), std::greater<>());
    for (double& area : areas)
        area *= rect.width() * rect.height() / total;
    return areas;
}

struct Style {
    bool coloured;
    double pixel;   // plane units per drawing pixel
};

Rgb leafColour(const Style& style, int category, int depth, double shade)
{
    static const std::array<Rgb, 7> categoryColours = {{{0.31f, 0.47f, 0.67f},
                                                        {0.95f, 0.56f, 0.17f},
                                                        {0.88f, 0.34f, 0.35f},
                                                        {0.46f, 0.72f, 0.70f},
                                                        {0.35f, 0.63f, 0.31f},
                                                        {0.93f, 0.79f, 0.28f},
                                                        {0.69f, 0.48f, 0.63f}}};
    const float lightness = float(std::min(0.85, 0.2 + 0.08 * depth + 0.35 * shade));
    if (!style.coloured)
        return {lightness, lightness, lightness};
    const Rgb base = categoryColours[std::size_t(category) % categoryColours.size()];
    return lightness < 0.5f ? mix(scale(base, 0.55f), base, lightness * 2) : mix(base, Rgb{1, 1, 1}, (lightness - 0.5f) * 1.2f);
}

void drawNode(Canvas& canvas, const Style& style, Random& random, Rect rect, int depth, int category)
{
    // Outlines thin out with depth: 3, 1.5, 1 output pixels, then half a pixel.
    static const std::array<double, 4> outlinePixels = {6, 3, 2, 1};
    const double outline = outlinePixels[std::size_t(std::min(depth, 3))] * style.pixel;
    const float outlineGrey = float(std::min(0.6, 0.12 + 0.1 * depth));
    canvas.fillRect(rect.left, rect.bottom, rect.right, rect.top, {outlineGrey, outlineGrey, outlineGrey});
    const Rect inner{rect.left + outline, rect.bottom + outline, rect.right - outline, rect.top - outline};
    if (inner.width() <= 0 || inner.height() <= 0)
        return;

    const int childCount = 2 + random.below(6);
    const double shade = random.uniform();
    const double distance = std::hypot((inner.left + inner.right) / 2, (inner.bottom + inner.top) / 2);
    const double smallestSplit = 0.006 + 0.25 * distance * distance;
    const bool split = depth < 2 || (depth < 12 && std::min(inner.width(), inner.height()) > smallestSplit);
    if (!split) {
        canvas.fillRect(inner.left, inner.bottom, inner.right, inner.top, leafColour(style, category, depth, shade));
        return;
    }

    const std::vector<Rect> parts = squarify(randomAreas(random, childCount, 0.9, inner), inner);
    for (std::size_t i = 0; i < parts.size(); ++i)
        drawNode(canvas, style, random, parts[i], depth + 1, depth == 0 ? int(i) : category);
}

} // namespace

void drawTreemap(Canvas& canvas, bool coloured)
{
    Random random(3);
    // The root has exactly seven categories, one per colour.
    const Style style{coloured, canvas.pixelSize()};
    const Rect square{-1, -1, 1, 1};
    const std::vector<Rect> categories = squarify(randomAreas(random, 7, 0.6, square), square);
    canvas.fillRect(-1, -1, 1, 1, {0.1f, 0.1f, 0.1f});
    for (std::size_t i = 0; i < categories.size(); ++i)
        drawNode(canvas, style, random, categories[i], 1, int(i));
}
