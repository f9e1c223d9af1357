#include "app/shell/FIAppDelegate.h"

#include <unistd.h>

#include <cstdio>

#include "app/study/FIAlternativeCardAttachmentURLProtocol.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Languages.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"

std::string FIAppDelegate::logFilePath() {
    const Bundle& bundle = Bundle::main();
    std::string folder = stringByAppendingPathComponent(
        stringByAppendingPathComponent(AppContainer::cachesDirectory(), bundle.bundleIdentifier()), "Logs");
    std::string name = bundle.objectForInfoDictionaryKey("CFBundleName").stringValue("Memorant");
    return stringByAppendingPathComponent(folder, name + ".log");
}

URL FIAppDelegate::applicationDataDirectoryURL() {
    return URL::fileURLWithPath(
        stringByAppendingPathComponent(AppContainer::applicationSupportDirectory(), Bundle::main().bundleIdentifier()),
        true);
}

std::string FIAppDelegate::currentAppLanguageCode() {
    FileManager& files = FileManager::defaultManager();
    const std::string resources = Bundle::main().resourcePath();
    for (const std::string& language : Languages::preferredLanguages()) {
        for (const std::string& candidate : {language, language.substr(0, language.find_first_of("-_"))}) {
            bool isDirectory = false;
            if (!candidate.empty() &&
                files.fileExistsAtPath(stringByAppendingPathComponent(resources, candidate + ".lproj"), &isDirectory) &&
                isDirectory)
                return candidate;
        }
    }
    return "en";
}

void FIAppDelegate::initialize() {
    FIAlternativeCardAttachmentURLProtocol::registerCardAttachmentProtocol();
    std::string path = logFilePath();
    FileManager::defaultManager().createDirectoryAtPath(stringByDeletingLastPathComponent(path), true);
    if (!isatty(STDERR_FILENO)) {
        if (std::freopen(path.c_str(), "a", stderr)) {
            std::fputs("---\n", stderr);
            std::fflush(stderr);
        }
    }
}

bool FIAppDelegate::recordFirstLaunchDate() {
    UserDefaults& defaults = UserDefaults::standard();
    if (!defaults.objectForKey("FIFirstLaunchDate").isNull()) return false;
    defaults.setObject(Value(Date::now()), "FIFirstLaunchDate");
    defaults.synchronize();
    return true;
}

std::shared_ptr<FIAppDelegate> FIAppDelegate::shared() {
    static std::shared_ptr<FIAppDelegate>* instance =
        new std::shared_ptr<FIAppDelegate>(std::make_shared<FIAppDelegate>());
    return *instance;
}
