#pragma once

class Window;

// The rate-this-app prompt, asked for at most every 14 days and not before
// 14 days after the first launch.
class RateAppHelper {
public:
    // Nothing without a scene (the window to ask in).
    static void askToRateAppIfPossibleWithScene(Window* scene);
};
