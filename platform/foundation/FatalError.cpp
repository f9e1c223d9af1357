#include "platform/foundation/FatalError.h"

#include <cstdio>
#include <cstdlib>

void fatalError(const std::string& message, const std::string& file, int line) {
    const std::string text = "Fatal error: " + message + ": file " + file + ", line " + std::to_string(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    std::abort();
}
