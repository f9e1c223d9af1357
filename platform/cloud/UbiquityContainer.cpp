#include "platform/cloud/UbiquityContainer.h"

#include <unistd.h>

#include <mutex>

#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/NotificationCenter.h"

namespace {

constexpr std::string_view kArchivePrefix = "memorant.ubiquity-identity:";

std::string localUserIdentity() {
    std::string identity = "local";
    if (const char* user = std::getenv("USER"); user && *user) identity += std::string(":") + user;
    return identity + ":" + std::to_string(getuid());
}

struct State {
    std::mutex mutex;
    std::optional<UbiquityIdentityToken> token{UbiquityIdentityToken(localUserIdentity())};
    std::string root;
    std::function<void()> lookupHook;
};

State& state() {
    static State* s = new State;  // lives for the whole process, also past static destruction
    return *s;
}

}  // namespace

Data UbiquityIdentityToken::archivedData() const {
    return dataFromString(std::string(kArchivePrefix) + identity_);
}

std::optional<UbiquityIdentityToken> UbiquityIdentityToken::fromArchivedData(const Data& data) {
    const std::string text = stringFromData(data);
    if (text.size() <= kArchivePrefix.size() || text.compare(0, kArchivePrefix.size(), kArchivePrefix) != 0) {
        return std::nullopt;
    }
    return UbiquityIdentityToken(text.substr(kArchivePrefix.size()));
}

namespace UbiquityContainer {

std::optional<UbiquityIdentityToken> ubiquityIdentityToken() {
    std::lock_guard lock(state().mutex);
    return state().token;
}

void setUbiquityIdentityToken(std::optional<UbiquityIdentityToken> token) {
    {
        std::lock_guard lock(state().mutex);
        if (state().token == token) return;
        state().token = std::move(token);
    }
    NotificationCenter::defaultCenter().postNotificationName(NSUbiquityIdentityDidChangeNotification);
}

std::string containersRoot() {
    std::lock_guard lock(state().mutex);
    return state().root.empty() ? AppContainer::root() + "/Mobile Documents" : state().root;
}

void setContainersRoot(const std::string& path) {
    std::lock_guard lock(state().mutex);
    state().root = path;
}

void setLookupHook(std::function<void()> hook) {
    std::lock_guard lock(state().mutex);
    state().lookupHook = std::move(hook);
}

std::vector<std::string> declaredContainerIdentifiers() {
    std::vector<std::string> identifiers;
    const Value& declared = Bundle::main().objectForInfoDictionaryKey(UbiquityContainerIdentifiersInfoKey);
    if (const Value::Array* array = declared.asArray()) {
        for (const Value& entry : *array) {
            if (const std::string* identifier = entry.asString(); identifier && !identifier->empty()) {
                identifiers.push_back(*identifier);
            }
        }
    }
    return identifiers;
}

std::string defaultContainerIdentifier() {
    auto declared = declaredContainerIdentifiers();
    return declared.empty() ? std::string("Default") : declared.front();
}

std::optional<URL> URLForUbiquityContainerIdentifier(const std::optional<std::string>& identifier) {
    std::function<void()> hook;
    {
        std::lock_guard lock(state().mutex);
        hook = state().lookupHook;
    }
    if (hook) hook();
    if (!ubiquityIdentityToken()) return std::nullopt;
    const std::string name = identifier ? *identifier : defaultContainerIdentifier();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return std::nullopt;
    const std::string path = containersRoot() + "/" + name;
    if (!FileManager::defaultManager().createDirectoryAtPath(path, true)) return std::nullopt;
    return URL::fileURLWithPath(path, /*isDirectory=*/true);
}

}  // namespace UbiquityContainer
