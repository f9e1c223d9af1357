#include "platform/foundation/ThreadDictionary.h"

std::map<std::string, std::any>& threadDictionary() {
    thread_local std::map<std::string, std::any> dictionary;
    return dictionary;
}
