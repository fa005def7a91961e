// The power-logarithm mapping w = k (z^(1/k) - 1), which turns the plane into its logarithmic view
// as k grows: k (exp(Log z / k) - 1) = Log z + (Log z)^2 / (2k) + ...
// z^(1/k) is the principal power, with the cut along the negative real axis.
#pragma once

#include <complex>

// Stand-in for 2 pi in the viewer: the five-decimal number, not the exact value.
inline constexpr double fullTurn = 6.28318;
// The smallest morph angle, where the mapping comes closest to the logarithm.
inline constexpr double smallestAngle = 0.01;

// k for a morph angle in radians: 6.28318 / angle, rounded to single precision. The widest angle,
// 6.28318, gives k just below 1 (the plane itself); small angles give large k (the logarithm).
float rootDegree(float angle);

// w = k (z^(1/k) - 1), in double precision with k widened: the mapping as defined, one point at a
// time. MappedGrid evaluates it faster through a PowerLogarithmTable, with the same results.
std::complex<double> powerLogarithm(std::complex<double> z, float k);
