#include "PowerLogarithmTable.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {

constexpr std::uint32_t none = UINT32_MAX;

// The distinct values, in increasing order.
std::vector<double> distinct(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

std::uint32_t indexIn(const std::vector<double>& sorted, double value)
{
    return std::uint32_t(std::lower_bound(sorted.begin(), sorted.end(), value) - sorted.begin());
}

} // namespace

PowerLogarithmTable::PowerLogarithmTable(const std::vector<GridRow>& source)
{
    if (source.empty())
        return;
    // The grid's lines: the real part of each column and the imaginary part of each row.
    std::vector<double> reals, imaginaries, magnitudes;
    for (const GridVertex& vertex : source.front())
        reals.push_back(vertex.position.real());
    for (const GridRow& row : source)
        imaginaries.push_back(row.empty() ? 0.0 : row.front().position.imag());
    for (const std::vector<double>* line : {&reals, &imaginaries})
        for (double value : *line)
            magnitudes.push_back(std::fabs(value));
    const std::vector<double> sortedReals = distinct(reals), sortedMagnitudes = distinct(magnitudes);

    // Which modulus and which argument each pair of lines has, numbered as first met.
    const std::size_t magnitudeCount = sortedMagnitudes.size();
    std::vector<std::uint32_t> modulusOf(magnitudeCount * magnitudeCount, none), argumentOf(sortedReals.size() * magnitudeCount, none);
    for (std::size_t r = 0; r < source.size(); ++r) {
        rowLengths.push_back(source[r].size());
        const std::uint32_t rowMagnitude = indexIn(sortedMagnitudes, std::fabs(imaginaries[r]));
        for (std::size_t c = 0; c < source[r].size(); ++c) {
            const GridVertex& vertex = source[r][c];
            const std::complex<double> z = vertex.position;
            const std::uint32_t columnMagnitude = indexIn(sortedMagnitudes, std::fabs(reals[c]));
            std::uint32_t& modulus = modulusOf[std::min(rowMagnitude, columnMagnitude) * magnitudeCount + std::max(rowMagnitude, columnMagnitude)];
            std::uint32_t& argument = argumentOf[indexIn(sortedReals, reals[c]) * magnitudeCount + rowMagnitude];
            if (modulus == none || argument == none) {
                // The same logarithm that std::pow(z, e) takes.
                const std::complex<double> logarithm = std::log(z);
                if (modulus == none) {
                    modulus = std::uint32_t(logModuli.size());
                    logModuli.push_back(logarithm.real());
                }
                if (argument == none) {
                    argument = std::uint32_t(arguments.size());
                    arguments.push_back(std::fabs(logarithm.imag()));
                }
            }
            Point point{};
            point.source = vertex;
            point.modulus = modulus;
            point.argument = argument;
            point.negativeArgument = std::signbit(z.imag());
            // std::pow takes the real power there instead.
            point.positiveReal = z.imag() == 0.0 && z.real() > 0.0 ? z.real() : 0.0;
            points.push_back(point);
        }
    }
    radii.resize(logModuli.size());
    cosines.resize(arguments.size());
    sines.resize(arguments.size());
}

void PowerLogarithmTable::map(float k, std::vector<GridRow>& rows)
{
    const double exponent = 1.0 / static_cast<double>(k);
    for (std::size_t i = 0; i < logModuli.size(); ++i)
        radii[i] = std::exp(exponent * logModuli[i]);
    // cos(-t) = cos(t) and sin(-t) = -sin(t) hold exactly in the C library, and e * -a = -(e * a).
    for (std::size_t i = 0; i < arguments.size(); ++i)
        sincos(exponent * arguments[i], &sines[i], &cosines[i]);

    rows.resize(rowLengths.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r].resize(rowLengths[r]);

    auto point = points.begin();
    for (GridRow& row : rows)
        for (GridVertex& vertex : row) {
            std::complex<double> p;
            if (point->positiveReal > 0.0) {
                p = std::pow(point->positiveReal, exponent);
            } else {
                const double radius = radii[point->modulus];
                const double sine = point->negativeArgument ? -sines[point->argument] : sines[point->argument];
                p = std::complex<double>(radius * cosines[point->argument], radius * sine);
            }
            p -= 1.0;
            vertex = {p * static_cast<double>(k), point->source.stripBreak, point->source.u, point->source.v};
            ++point;
        }
}
