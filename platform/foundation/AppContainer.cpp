#include "platform/foundation/AppContainer.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

std::mutex gMutex;
std::string gRootOverride;

std::string defaultRoot() {
    if (const char* home = std::getenv("MEMORANT_HOME"); home && *home) return home;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::string(xdg) + "/Memorant";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/Memorant";
}

std::string ensure(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return path;
}

}  // namespace

namespace AppContainer {

std::string root() {
    std::lock_guard lock(gMutex);
    return gRootOverride.empty() ? defaultRoot() : gRootOverride;
}

void setRoot(const std::string& path) {
    std::lock_guard lock(gMutex);
    gRootOverride = path;
}

std::string documentsDirectory() { return ensure(root() + "/Documents"); }
std::string libraryDirectory() { return ensure(root() + "/Library"); }
std::string cachesDirectory() { return ensure(root() + "/Library/Caches"); }
std::string applicationSupportDirectory() { return ensure(root() + "/Library/Application Support"); }
std::string temporaryDirectory() { return ensure(root() + "/tmp"); }

}  // namespace AppContainer
