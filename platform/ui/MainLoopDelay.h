#pragma once

#include <functional>

// Runs the block on the main run loop once `seconds` have passed on the
// injectable clock; with no delay, on the loop's next pass. Never inside the
// call. Transitions (presentations, pushes) and animation completions of the
// interface are timed through this.
void performOnMainLoopAfter(double seconds, std::function<void()> block);

// Whether a block delayed by at most kWatchedDelaySeconds has not run yet: a
// transition or an animation's completion is under way, and the screen
// changes without input. It counts until the block has run, not until it is
// due (a pass may end after the due time and before the block). Longer
// delays are no transition and do not count.
bool mainLoopDelaysPending();
constexpr double kWatchedDelaySeconds = 5;
