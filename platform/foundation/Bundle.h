#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

// The app's bundle: a resources folder with the info dictionary ("Info.plist")
// and localized string tables ("<lang>.lproj/<Table>.strings").
//
// The main bundle's folder is, in order: the MEMORANT_RESOURCES environment
// variable, a "resources" folder beside the program or one level up, and the
// source tree's resources folder. Tests may point it elsewhere.
class Bundle {
public:
    static Bundle& main();
    // Replaces the main bundle's folder (tests); "" goes back to the default search.
    static void setMainResourcePath(const std::string& path);

    explicit Bundle(std::string resourcePath);

    const std::string& resourcePath() const { return resourcePath_; }
    // The info dictionary; an empty dictionary when the bundle has none.
    const Value& infoDictionary() const;
    // One entry of the info dictionary, or null.
    const Value& objectForInfoDictionaryKey(const std::string& key) const;
    std::string bundleIdentifier() const;

    // The path of a resource, or nullopt when it does not exist: the
    // bundle's folder, its "en.lproj", then the folder of resources the build
    // made (the tutorial deck).
    std::optional<std::string> pathForResource(const std::string& name, const std::string& extension,
                                               const std::string& subdirectory = {}) const;

    // Looks the key up in the table ("Localizable" when empty) of the
    // development language ("en"). A missing key gives the default value, or
    // the key itself when the default is empty.
    std::string localizedString(const std::string& key, const std::string& defaultValue = {},
                                const std::string& table = {}) const;

    // Parses the text of a ".strings" table: "key" = "value"; lines with
    // comments, escapes \" \\ \n \t and \Uxxxx. Malformed input ends the parse.
    static std::map<std::string, std::string> parseStringsTable(const std::string& text);

private:
    std::string resourcePath_;
    mutable std::mutex mutex_;
    mutable std::optional<Value> info_;
    mutable std::map<std::string, std::map<std::string, std::string>> tables_;
};
