#include "app/study/RequiredOutlets.h"

#include <cxxabi.h>
#include <cstdio>
#include <cstdlib>

void logMissingOutlets(const std::vector<std::pair<std::string, bool>>& outlets, const std::string& className) {
    for (const auto& [name, present] : outlets)
        if (!present)
            std::fprintf(stderr, "Warning: Required outlet not set: %s in %s.\n", name.c_str(), className.c_str());
}

std::string runtimeClassName(const std::type_info& type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    if (auto colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
    return name;
}
