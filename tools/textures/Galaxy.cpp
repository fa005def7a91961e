// A face-on spiral galaxy. Its two arms, their dust lanes and their clumps all follow logarithmic
// spirals, and the clumps are noise drawn in log-polar coordinates, so the structure repeats at
// every scale down into the core: the logarithmic view straightens the arms into parallel bands
// and shows the core as richly as the rim.
#include "Noise.h"
#include "Random.h"
#include "Textures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.141592653589793;
constexpr double pitch = 0.3;     // tan of the arms' pitch angle: radius grows by e^(2 pi pitch) per turn
constexpr int armCount = 2;

// Angle of the arm pattern at a point: constant along each logarithmic spiral.
double spiralPhase(double logRadius, double angle)
{
    return angle - logRadius / pitch;
}

// Noise whose features are a fixed fraction of the radius, seamless around the centre.
double logPolarNoise(double logRadius, double angle, double density, int octaves, std::uint64_t seed)
{
    double sum = 0, amplitude = 0.5;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += amplitude * valueNoise(logRadius * density, std::cos(angle) * density / 1.0,
                                      std::sin(angle) * density, seed + std::uint64_t(octave));
        density *= 2.0;
        amplitude *= 0.5;
    }
    return sum;
}

void drawLight(Canvas& canvas)
{
    const Rgb armColour{0.62f, 0.74f, 1.0f};
    const Rgb bulgeColour{1.0f, 0.82f, 0.55f};
    const Rgb diskColour{0.95f, 0.82f, 0.68f};
    const Rgb skyColour{0.012f, 0.014f, 0.035f};
    const Rgb nebulaColour{0.05f, 0.03f, 0.08f};

    for (int row = 0; row < canvas.size(); ++row)
        for (int column = 0; column < canvas.size(); ++column) {
            const double x = canvas.planeX(column), y = canvas.planeY(row);
            const double radius = std::hypot(x, y);
            const double logRadius = std::log(radius);
            const double angle = std::atan2(y, x);

            const double warp = 0.35 * logPolarNoise(logRadius, angle, 1.2, 2, 11);
            const double phase = spiralPhase(logRadius, angle) + warp;
            const double wave = 0.5 + 0.5 * std::cos(armCount * phase);
            const double clumps = std::clamp(0.55 + 1.3 * logPolarNoise(logRadius, angle, 4.0, 4, 23), 0.0, 1.6);
            const double arm = std::pow(wave, 3.0) * clumps;

            const double disk = std::exp(-radius / 0.3);
            const double bulge = std::exp(-std::pow(radius / 0.03, 0.55));
            const double dustWave = std::pow(0.5 + 0.5 * std::cos(armCount * (phase - 0.55)), 8.0);
            const double dustClumps = std::clamp(0.6 + logPolarNoise(logRadius, angle, 5.0, 3, 37), 0.0, 1.0);
            const double transmission = 1.0 - 0.75 * dustWave * dustClumps * std::exp(-radius / 0.5);

            const double fade = std::clamp(1.0 - (radius - 0.55) / 0.4, 0.0, 1.0);
            const Rgb galaxy = mix(mix(scale(diskColour, float(0.35 * disk)), scale(armColour, float(3.2 * disk * arm)), 0.5f),
                                   scale(bulgeColour, float(6.0 * bulge * (0.7 + 0.3 * wave))), 0.5f);
            const double nebula = std::max(0.0, fractalNoise(x * 3 + 5, y * 3 + 9, 5, 51));
            Rgb& p = canvas.at(column, row);
            p = {float(galaxy.r * 2 * transmission * fade) + skyColour.r + nebulaColour.r * float(nebula),
                 float(galaxy.g * 2 * transmission * fade) + skyColour.g + nebulaColour.g * float(nebula),
                 float(galaxy.b * 2 * transmission * fade) + skyColour.b + nebulaColour.b * float(nebula)};
        }
}

// Hot young stars and glowing gas along the arms, more of them per area toward the centre.
void drawArmKnots(Canvas& canvas, Random& random)
{
    const Rgb hydrogen{1.0f, 0.42f, 0.62f};
    const Rgb youngStars{0.55f, 0.7f, 1.0f};
    for (int i = 0; i < 1600; ++i) {
        const double radius = std::exp(random.uniform(std::log(0.006), std::log(0.7)));
        const double angle = std::log(radius) / pitch + pi * random.below(armCount) + 0.22 * random.normal();
        const double sigma = radius * random.uniform(0.005, 0.014);
        const Rgb colour = random.uniform() < 0.5 ? hydrogen : youngStars;
        canvas.addSpot(radius * std::cos(angle), radius * std::sin(angle), sigma,
                       scale(colour, float(random.uniform(0.3, 1.1))));
    }
}

Rgb starColour(Random& random)
{
    static const Rgb colours[] = {{0.7f, 0.8f, 1.0f}, {1.0f, 1.0f, 1.0f}, {1.0f, 0.95f, 0.8f}, {1.0f, 0.8f, 0.55f}};
    return colours[random.below(4)];
}

void drawStars(Canvas& canvas, Random& random)
{
    const double pixel = canvas.pixelSize();
    // Foreground stars of our own galaxy, anywhere in the picture.
    for (int i = 0; i < 2200; ++i) {
        const double brightness = std::min(6.0, 0.25 * std::pow(1.0 - random.uniform(), -1.2));
        canvas.addSpot(random.uniform(-1, 1), random.uniform(-1, 1), pixel * (0.7 + 0.25 * std::sqrt(brightness)),
                       scale(starColour(random), float(brightness)));
    }
    // The galaxy's own resolved stars: evenly many per octave of radius, so denser toward the core.
    for (int i = 0; i < 9000; ++i) {
        const double radius = std::exp(random.uniform(std::log(0.004), std::log(0.75)));
        const double angle = random.uniform(-pi, pi);
        const double wave = 0.5 + 0.5 * std::cos(armCount * spiralPhase(std::log(radius), angle));
        if (random.uniform() > 0.15 + 0.85 * wave * wave)
            continue;
        canvas.addSpot(radius * std::cos(angle), radius * std::sin(angle), pixel * 0.6,
                       scale(starColour(random), float(random.uniform(0.2, 1.0))));
    }
}

// Compresses unbounded light into [0, 1) the way film does, so the core glows instead of clipping.
void exposeFilm(Canvas& canvas)
{
    for (int row = 0; row < canvas.size(); ++row)
        for (int column = 0; column < canvas.size(); ++column) {
            Rgb& p = canvas.at(column, row);
            p = {1.0f - std::exp(-p.r), 1.0f - std::exp(-p.g), 1.0f - std::exp(-p.b)};
        }
}

} // namespace

void drawGalaxy(Canvas& canvas)
{
    Random random(1);
    drawLight(canvas);
    drawArmKnots(canvas, random);
    drawStars(canvas, random);
    exposeFilm(canvas);
}
