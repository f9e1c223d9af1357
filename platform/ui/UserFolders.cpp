#include "platform/ui/UserFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace UserFolders {

namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

// "$HOME/Pictures" or "/abs/path"; the file's own quoting, no other escapes.
std::optional<std::string> expandHome(const std::string& value) {
    if (value.rfind("$HOME", 0) == 0) {
        auto home = environment("HOME");
        if (!home) return std::nullopt;
        const std::string rest = value.substr(5);
        if (!rest.empty() && rest[0] != '/') return std::nullopt;
        return *home + rest;
    }
    if (!value.empty() && value[0] == '/') return value;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> xdgUserDirectory(const std::string& key) {
    if (auto set = environment(key.c_str())) return expandHome(*set);
    std::string config;
    if (auto xdg = environment("XDG_CONFIG_HOME"))
        config = *xdg;
    else if (auto home = environment("HOME"))
        config = *home + "/.config";
    else
        return std::nullopt;
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) != 0) continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return expandHome(value);
    }
    return std::nullopt;
}

std::optional<std::string> documentsFolder() {
    if (auto folder = xdgUserDirectory("XDG_DOCUMENTS_DIR")) return folder;
    return environment("HOME");
}

std::optional<std::string> picturesFolder() {
    auto folder = xdgUserDirectory("XDG_PICTURES_DIR");
    if (!folder) {
        auto home = environment("HOME");
        if (!home) return std::nullopt;
        folder = *home + "/Pictures";
    }
    std::error_code error;
    if (!std::filesystem::is_directory(*folder, error)) return std::nullopt;
    return folder;
}

}  // namespace UserFolders
