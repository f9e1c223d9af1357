#include "model/TWKeyPath.h"

std::string TWKeyFromKeyPath(std::string_view keyPath) {
    const auto dot = keyPath.rfind('.');
    if (dot == std::string_view::npos) return std::string(keyPath);
    return std::string(keyPath.substr(dot + 1));
}
