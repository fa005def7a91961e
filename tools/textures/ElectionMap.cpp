// An election map in the style of a country's cantonal results: a coastline, departments, and
// inside them districts coloured by the winning party, paler where the win was narrow.
// Districts are the cells of a Voronoi diagram whose seeds crowd toward the centre (density falling
// as 1 / (r^2 + r0^2)), so the capital region is a mosaic of tiny districts and the provinces have
// large ones, as on real maps; the logarithmic view evens them out.
#include "Noise.h"
#include "Random.h"
#include "Textures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double pi = 3.141592653589793;
constexpr int districtCount = 2600;
constexpr int departmentCount = 48;
constexpr double crowdingRadius = 0.08;   // r0: inside it districts are smallest
constexpr double countryRadius = 0.92;

struct Point {
    double x, y;
};

// Distance from the centre to the coast in a direction.
double coastRadius(double angle)
{
    static const std::array<double, 5> phases = {0.3, 2.1, 4.0, 1.2, 5.5};
    double radius = countryRadius - 0.05;
    for (std::size_t i = 0; i < phases.size(); ++i)
        radius += 0.035 / (i + 1) * std::cos((i + 2) * angle + phases[i]);
    return radius + 0.025 * valueNoise(std::cos(angle) * 6, std::sin(angle) * 6, 77);
}

bool onLand(double x, double y)
{
    return std::hypot(x, y) < coastRadius(std::atan2(y, x));
}

// Seeds on land, crowded toward the centre.
std::vector<Point> crowdedSeeds(Random& random, int count)
{
    const double r0squared = crowdingRadius * crowdingRadius;
    const double spread = std::log((countryRadius * countryRadius + r0squared) / r0squared);
    std::vector<Point> seeds;
    while (int(seeds.size()) < count) {
        const double radius = std::sqrt(r0squared * std::exp(random.uniform() * spread) - r0squared);
        const double angle = random.uniform(-pi, pi);
        const Point p{radius * std::cos(angle), radius * std::sin(angle)};
        if (onLand(p.x, p.y))
            seeds.push_back(p);
    }
    return seeds;
}

// Nearest-seed lookup through a uniform bucket grid over the square.
class NearestSeed {
public:
    explicit NearestSeed(const std::vector<Point>& seeds) : seeds(seeds), buckets(side * side)
    {
        for (std::size_t i = 0; i < seeds.size(); ++i)
            buckets[bucketOf(seeds[i].y) * side + bucketOf(seeds[i].x)].push_back(int(i));
    }

    int operator()(double x, double y) const
    {
        const int bx = bucketOf(x), by = bucketOf(y);
        int best = -1;
        double bestDistance = std::numeric_limits<double>::max();
        // Ring `ring` can only hold seeds at least (ring - 1) bucket widths away.
        for (int ring = 0; ring < side; ++ring) {
            const double nearestPossible = (ring - 1) * bucketWidth;
            if (best >= 0 && nearestPossible > 0 && nearestPossible * nearestPossible > bestDistance)
                break;
            for (int j = by - ring; j <= by + ring; ++j)
                for (int i = bx - ring; i <= bx + ring; ++i) {
                    if (std::max(std::abs(i - bx), std::abs(j - by)) != ring || i < 0 || j < 0 || i >= side || j >= side)
                        continue;
                    for (int index : buckets[j * side + i]) {
                        const double dx = seeds[index].x - x, dy = seeds[index].y - y;
                        if (dx * dx + dy * dy < bestDistance) {
                            bestDistance = dx * dx + dy * dy;
                            best = index;
                        }
                    }
                }
        }
        return best;
    }

private:
    static constexpr int side = 96;
    static constexpr double bucketWidth = 2.0 / side;
    static int bucketOf(double v) { return std::clamp(int((v + 1.0) / bucketWidth), 0, side - 1); }

    const std::vector<Point>& seeds;
    std::vector<std::vector<int>> buckets;
};

struct District {
    int department;
    Rgb colour;
};

// Each party's support varies smoothly over the country; the strongest locally wins.
std::vector<District> holdElection(const std::vector<Point>& seeds, const NearestSeed& department, Random& random)
{
    static const std::array<Rgb, 6> partyColours = {{{0.85f, 0.11f, 0.16f},
                                                     {0.96f, 0.55f, 0.66f},
                                                     {0.22f, 0.62f, 0.27f},
                                                     {0.13f, 0.47f, 0.82f},
                                                     {0.13f, 0.20f, 0.45f},
                                                     {0.98f, 0.78f, 0.12f}}};
    static const std::array<double, 6> nationalSupport = {0.3, 0.22, 0.12, 0.28, 0.2, 0.14};
    const Rgb paper{0.97f, 0.96f, 0.93f};

    std::vector<District> districts;
    for (const Point& seed : seeds) {
        std::array<double, 6> share{};
        for (std::size_t party = 0; party < share.size(); ++party)
            share[party] = nationalSupport[party] +
                           0.22 * fractalNoise(seed.x * 2.2 + 3 * party, seed.y * 2.2, 3, 100 + party) +
                           0.06 * random.normal();
        std::array<double, 6> ranked = share;
        std::sort(ranked.begin(), ranked.end(), std::greater<>());
        const auto winner = std::size_t(std::max_element(share.begin(), share.end()) - share.begin());
        const double margin = std::clamp((ranked[0] - ranked[1]) / 0.15, 0.0, 1.0);
        districts.push_back({department(seed.x, seed.y), mix(paper, partyColours[winner], float(0.45 + 0.55 * margin))});
    }
    return districts;
}

} // namespace

void drawElectionMap(Canvas& canvas)
{
    Random random(2);
    const std::vector<Point> departmentSeeds = crowdedSeeds(random, departmentCount);
    const NearestSeed department(departmentSeeds);
    const std::vector<Point> districtSeeds = crowdedSeeds(random, districtCount);
    const NearestSeed district(districtSeeds);
    const std::vector<District> districts = holdElection(districtSeeds, department, random);

    // Cell of every drawing pixel, or -1 at sea.
    const int side = canvas.size();
    std::vector<int> cell(std::size_t(side) * side);
    for (int row = 0; row < side; ++row)
        for (int column = 0; column < side; ++column) {
            const double x = canvas.planeX(column), y = canvas.planeY(row);
            cell[std::size_t(row) * side + column] = onLand(x, y) ? district(x, y) : -1;
        }

    const Rgb sea{0.80f, 0.88f, 0.95f};
    const Rgb districtBorder{0.35f, 0.35f, 0.35f};
    const Rgb departmentBorder{0.12f, 0.12f, 0.12f};
    auto cellAt = [&](int column, int row) {
        return cell[std::size_t(std::clamp(row, 0, side - 1)) * side + std::clamp(column, 0, side - 1)];
    };
    auto departmentAt = [&](int column, int row) {
        const int here = cellAt(column, row);
        return here < 0 ? -1 : districts[here].department;
    };
    for (int row = 0; row < side; ++row)
        for (int column = 0; column < side; ++column) {
            const int here = cellAt(column, row);
            Rgb colour = here < 0 ? sea : districts[here].colour;
            // District borders are one drawing pixel wide, department borders and the coast two.
            if (cellAt(column + 1, row) != here || cellAt(column, row + 1) != here)
                colour = districtBorder;
            for (int dy = 0; dy <= 2; ++dy)
                for (int dx = 0; dx <= 2; ++dx)
                    if (departmentAt(column + dx, row + dy) != departmentAt(column, row))
                        colour = departmentBorder;
            canvas.at(column, row) = colour;
        }
}
