#pragma once

#include <functional>

// Runs the block on the main run loop once `seconds` have passed on the
// injectable clock; with no delay, on the loop's next pass. Never inside the
// call. Transitions (presentations, pushes) and animation completions of the
// interface are timed through this.
void performOnMainLoopAfter(double seconds, std::function<void()> block);

// The media time (currentMediaTime) until which blocks delayed so far by at
// most kWatchedDelaySeconds are due: a transition or an animation's
// completion is under way until then, and the screen changes without input.
// Longer delays are no transition and do not count.
double mainLoopDelaysDueUntil();
constexpr double kWatchedDelaySeconds = 5;
