// What every benchmark in the program shares.
#pragma once

namespace vxbench {

// Gives the benchmark program, once, a private runtime folder for the
// virtual devices, a registry of its own and an empty real device tree, so
// that only simulated scanners are found; all removed when the program ends.
void isolate();

}  // namespace vxbench
