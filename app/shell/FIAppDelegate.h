#pragma once

#include <string>

// The application delegate, as far as start-up needs it so far: the log file
// and the first-launch date.
class FIAppDelegate {
public:
    // Class set-up before anything else runs: makes the log folder and, when
    // standard error is not a terminal, appends standard error to the log file
    // after a line "---".
    static void initialize();
    // <Caches>/<CFBundleIdentifier>/Logs/<CFBundleName>.log
    static std::string logFilePath();

    // Stores the current date under "FIFirstLaunchDate" when it holds nothing
    // yet; answers whether this launch is the first one.
    static bool recordFirstLaunchDate();
};
