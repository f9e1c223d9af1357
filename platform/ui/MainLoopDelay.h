#pragma once

#include <functional>

// Runs the block on the main run loop once `seconds` have passed on the
// injectable clock; with no delay, on the loop's next pass. Never inside the
// call. Transitions (presentations, pushes) and animation completions of the
// interface are timed through this.
void performOnMainLoopAfter(double seconds, std::function<void()> block);
