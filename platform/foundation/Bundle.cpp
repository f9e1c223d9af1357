#include "platform/foundation/Bundle.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringUtils.h"

namespace {

std::mutex gMainMutex;
std::unique_ptr<Bundle> gMain;
std::string gMainOverride;

std::string executableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string defaultResourcePath() {
    if (const char* env = std::getenv("MEMORANT_RESOURCES"); env && *env) return env;
    std::string exeDir = executableFolder();
    for (const std::string& candidate : {exeDir + "/resources", exeDir + "/../resources"}) {
        if (!exeDir.empty() && FileManager::defaultManager().fileExistsAtPath(candidate + "/Info.plist")) return candidate;
    }
#ifdef MEMORANT_RESOURCES_DIR
    return MEMORANT_RESOURCES_DIR;
#else
    return "resources";
#endif
}


}  // namespace

Bundle& Bundle::main() {
    std::lock_guard lock(gMainMutex);
    if (!gMain) gMain = std::make_unique<Bundle>(gMainOverride.empty() ? defaultResourcePath() : gMainOverride);
    return *gMain;
}

void Bundle::setMainResourcePath(const std::string& path) {
    std::lock_guard lock(gMainMutex);
    gMainOverride = path;
    gMain.reset();
}

Bundle::Bundle(std::string resourcePath) : resourcePath_(std::move(resourcePath)) {}

const Value& Bundle::infoDictionary() const {
    std::lock_guard lock(mutex_);
    if (!info_) {
        info_ = Value::dictionary();
        if (auto data = dataWithContentsOfFile(resourcePath_ + "/Info.plist")) {
            if (auto v = PropertyList::valueFromData(*data); v && v->isDictionary()) info_ = *v;
        }
    }
    return *info_;
}

const Value& Bundle::objectForInfoDictionaryKey(const std::string& key) const { return infoDictionary()[key]; }

std::string Bundle::bundleIdentifier() const { return objectForInfoDictionaryKey("CFBundleIdentifier").stringValue(); }

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& extension,
                                                   const std::string& subdirectory) const {
    std::string dir = subdirectory.empty() ? resourcePath_ : resourcePath_ + "/" + subdirectory;
    std::string file = extension.empty() ? name : name + "." + extension;
    std::string path = dir + "/" + file;
    if (FileManager::defaultManager().fileExistsAtPath(path)) return path;
    path = dir + "/en.lproj/" + file;
    if (FileManager::defaultManager().fileExistsAtPath(path)) return path;
#ifdef MEMORANT_GENERATED_RESOURCES_DIR
    // What the build makes (the tutorial deck) lives in the build folder.
    if (subdirectory.empty()) {
        path = std::string(MEMORANT_GENERATED_RESOURCES_DIR) + "/" + file;
        if (FileManager::defaultManager().fileExistsAtPath(path)) return path;
    }
#endif
    return std::nullopt;
}

std::string Bundle::localizedString(const std::string& key, const std::string& defaultValue,
                                    const std::string& table) const {
    std::string name = table.empty() ? "Localizable" : table;
    std::lock_guard lock(mutex_);
    auto it = tables_.find(name);
    if (it == tables_.end()) {
        std::map<std::string, std::string> entries;
        if (auto data = dataWithContentsOfFile(resourcePath_ + "/en.lproj/" + name + ".strings"))
            entries = parseStringsTable(stringFromData(*data));
        it = tables_.emplace(name, std::move(entries)).first;
    }
    auto hit = it->second.find(key);
    if (hit != it->second.end()) return hit->second;
    return defaultValue.empty() ? key : defaultValue;
}

std::map<std::string, std::string> Bundle::parseStringsTable(const std::string& text) {
    std::map<std::string, std::string> out;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skipSpaceAndComments = [&] {
        while (i < n) {
            if (std::isspace(static_cast<unsigned char>(text[i]))) {
                ++i;
            } else if (text.compare(i, 2, "//") == 0) {
                while (i < n && text[i] != '\n') ++i;
            } else if (text.compare(i, 2, "/*") == 0) {
                std::size_t end = text.find("*/", i + 2);
                i = end == std::string::npos ? n : end + 2;
            } else {
                break;
            }
        }
    };
    auto readToken = [&](std::string& token) -> bool {
        token.clear();
        if (i >= n) return false;
        if (text[i] != '"') {
            // Unquoted tokens: letters, digits and a few marks.
            while (i < n && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_' || text[i] == '.'))
                token += text[i++];
            return !token.empty();
        }
        ++i;
        while (i < n && text[i] != '"') {
            char c = text[i++];
            if (c != '\\') {
                token += c;
                continue;
            }
            if (i >= n) return false;
            char e = text[i++];
            switch (e) {
                case 'n': token += '\n'; break;
                case 't': token += '\t'; break;
                case 'r': token += '\r'; break;
                case 'U':
                case 'u': {
                    char32_t cp = 0;
                    int digits = 0;
                    while (digits < 4 && i < n && std::isxdigit(static_cast<unsigned char>(text[i]))) {
                        cp = cp * 16 + static_cast<char32_t>(std::stoi(std::string(1, text[i++]), nullptr, 16));
                        ++digits;
                    }
                    appendUTF8(token, cp);
                    break;
                }
                default: token += e; break;
            }
        }
        if (i >= n) return false;
        ++i;  // closing quote
        return true;
    };
    std::string key, value;
    while (true) {
        skipSpaceAndComments();
        if (i >= n || !readToken(key)) break;
        skipSpaceAndComments();
        if (i < n && text[i] == ';') {  // "key"; means the key is its own value
            out[key] = key;
            ++i;
            continue;
        }
        if (i >= n || text[i] != '=') break;
        ++i;
        skipSpaceAndComments();
        if (!readToken(value)) break;
        skipSpaceAndComments();
        if (i >= n || text[i] != ';') break;
        ++i;
        out[key] = value;
    }
    return out;
}
