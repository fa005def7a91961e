#include "PowerLogarithmTable.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <unordered_map>

namespace {

// Index of `value` in `distinct`, added if new; equal means the same bits.
std::uint32_t indexOf(double value, std::vector<double>& distinct, std::unordered_map<std::uint64_t, std::uint32_t>& seen)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const auto [at, added] = seen.try_emplace(bits, std::uint32_t(distinct.size()));
    if (added)
        distinct.push_back(value);
    return at->second;
}

} // namespace

PowerLogarithmTable::PowerLogarithmTable(const std::vector<GridRow>& source)
{
    std::unordered_map<std::uint64_t, std::uint32_t> seenModuli, seenArguments;
    for (const GridRow& row : source) {
        rowLengths.push_back(row.size());
        for (const GridVertex& vertex : row) {
            const std::complex<double> z = vertex.position;
            // The same logarithm that std::pow(z, e) takes.
            const std::complex<double> logarithm = std::log(z);
            Point point{};
            point.source = vertex;
            point.modulus = indexOf(logarithm.real(), logModuli, seenModuli);
            point.argument = indexOf(std::fabs(logarithm.imag()), arguments, seenArguments);
            point.negativeArgument = std::signbit(logarithm.imag());
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
