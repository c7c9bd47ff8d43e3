// What every benchmark in the program shares.
#pragma once

#include <vector>

namespace vxbench {

// The value at `fraction` (0.5 the median, 0.99 the 99th percentile) of
// the values, nearest rank; 0 for none.
double percentile(std::vector<double> values, double fraction);

// Gives the benchmark program, once, a private runtime folder for the
// virtual devices, a registry of its own and an empty real device tree, so
// that only simulated scanners are found; all removed when the program ends.
void isolate();

}  // namespace vxbench
