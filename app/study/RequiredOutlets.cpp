#include "app/study/RequiredOutlets.h"

#include <cstdio>

void logMissingOutlets(const std::vector<std::pair<std::string, bool>>& outlets, const std::string& className) {
    for (const auto& [name, present] : outlets)
        if (!present)
            std::fprintf(stderr, "Warning: Required outlet not set: %s in %s.\n", name.c_str(), className.c_str());
}
