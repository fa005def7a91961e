// The ratios the benchmarks exist for, each a cost over its floor.
#pragma once

#include <map>
#include <string>

// Prints "ratio NAME: VALUE" for every ratio whose two figures were measured.
void printRatios(const std::map<std::string, double>& secondsPerIteration);
