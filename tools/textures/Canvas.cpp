#include "Canvas.h"

#include "PngWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

Rgb mix(Rgb a, Rgb b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(Rgb c, float factor)
{
    return {c.r * factor, c.g * factor, c.b * factor};
}

Canvas::Canvas(int outputSize, int oversampling)
    : side(outputSize * oversampling), oversampling(oversampling), pixels(std::size_t(side) * side, Rgb{0, 0, 0})
{
}

void Canvas::fillRect(double left, double bottom, double right, double top, Rgb colour)
{
    // Pixel centres sit at (index + 0.5) * pixelSize() from the left and top edges.
    const int first = std::max(0, int(std::ceil((left + 1.0) / pixelSize() - 0.5)));
    const int last = std::min(side - 1, int(std::floor((right + 1.0) / pixelSize() - 0.5)));
    const int firstRow = std::max(0, int(std::ceil((1.0 - top) / pixelSize() - 0.5)));
    const int lastRow = std::min(side - 1, int(std::floor((1.0 - bottom) / pixelSize() - 0.5)));
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = first; column <= last; ++column)
            at(column, row) = colour;
}

void Canvas::addSpot(double x, double y, double sigma, Rgb colour)
{
    const double reach = 3.0 * sigma;
    const int first = std::max(0, int((x - reach + 1.0) / pixelSize()));
    const int last = std::min(side - 1, int((x + reach + 1.0) / pixelSize()));
    const int top = std::max(0, int((1.0 - y - reach) / pixelSize()));
    const int bottom = std::min(side - 1, int((1.0 - y + reach) / pixelSize()));
    for (int row = top; row <= bottom; ++row)
        for (int column = first; column <= last; ++column) {
            const double dx = planeX(column) - x;
            const double dy = planeY(row) - y;
            const float weight = float(std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)));
            Rgb& p = at(column, row);
            p = {p.r + colour.r * weight, p.g + colour.g * weight, p.b + colour.b * weight};
        }
}

std::string Canvas::writePng(const std::string& path) const
{
    const int outputSide = side / oversampling;
    std::vector<std::uint8_t> bytes(std::size_t(outputSide) * outputSide * 3);
    const float samples = float(oversampling * oversampling);
    auto toByte = [](float v) { return std::uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    for (int row = 0; row < outputSide; ++row)
        for (int column = 0; column < outputSide; ++column) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < oversampling; ++sy)
                for (int sx = 0; sx < oversampling; ++sx) {
                    const Rgb& p = pixels[std::size_t(row * oversampling + sy) * side + column * oversampling + sx];
                    sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
                }
            std::uint8_t* out = &bytes[(std::size_t(row) * outputSide + column) * 3];
            out[0] = toByte(sum.r / samples);
            out[1] = toByte(sum.g / samples);
            out[2] = toByte(sum.b / samples);
        }

    return ::writePng(path, std::uint32_t(outputSide), std::uint32_t(outputSide), bytes.data());
}
