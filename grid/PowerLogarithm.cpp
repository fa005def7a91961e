#include "PowerLogarithm.h"

float rootDegree(float angle)
{
    return static_cast<float>(fullTurn / static_cast<double>(angle));
}

std::complex<double> powerLogarithm(std::complex<double> z, float k)
{
    const double exponent = 1.0 / static_cast<double>(k);
    std::complex<double> p = std::pow(z, exponent);
    p -= 1.0;
    return p * static_cast<double>(k);
}
