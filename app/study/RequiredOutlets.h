#pragma once

#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

// Reports the storyboard outlets a screen found unset when its view loaded,
// one console line each: "Warning: Required outlet not set: <name> in <class>."
// Outlets are given as (name, whether it is set), in the order to report.
void logMissingOutlets(const std::vector<std::pair<std::string, bool>>& outlets, const std::string& className);

// The unqualified name of a screen's class as it runs (typeid(*this)), so a
// base class reports the subclass that is loading.
std::string runtimeClassName(const std::type_info& type);
