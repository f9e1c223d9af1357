#pragma once

#include <any>
#include <map>
#include <string>

// The calling thread's own dictionary, for objects that must not be shared
// between threads (formatters, transformers). Lives as long as the thread.
std::map<std::string, std::any>& threadDictionary();
