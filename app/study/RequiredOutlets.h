#pragma once

#include <string>
#include <utility>
#include <vector>

// Reports the storyboard outlets a screen found unset when its view loaded,
// one console line each: "Warning: Required outlet not set: <name> in <class>."
// Outlets are given as (name, whether it is set), in the order to report.
void logMissingOutlets(const std::vector<std::pair<std::string, bool>>& outlets, const std::string& className);
