// The ratios the benchmarks exist for, each a cost over its floor.
#pragma once

#include <map>
#include <string>

// Prints "ratio NAME: VALUE" for every ratio whose two figures were measured: seconds per
// iteration of a benchmark, or a counter it reported, by name.
void printRatios(std::map<std::string, double> figures);
