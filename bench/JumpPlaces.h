// Where the detail benchmark moves the focus, in turns: fresh places each time, the pyramids it
// opens having their deep tiles there.
#pragma once

#include <complex>

inline constexpr std::complex<double> jumpPlaces[] = {{0.31, -0.52}, {-0.47, 0.38}, {0.6, 0.55}, {-0.2, -0.7},
                                                      {0.05, 0.45},  {-0.66, -0.1}, {0.7, -0.2}, {-0.35, -0.35}};
