#include "platform/web/UserContentController.h"

#include "platform/foundation/Error.h"

std::shared_ptr<UserContentController> UserContentController::create() {
    return std::shared_ptr<UserContentController>(new UserContentController);
}

void UserContentController::addScriptMessageHandler(std::shared_ptr<ScriptMessageHandler> handler,
                                                    const std::string& name) {
    std::lock_guard lock(mutex_);
    if (handlers_.count(name))
        throw InvalidArgumentException("Attempt to add script message handler with name '" + name +
                                       "' when one already exists.");
    handlers_[name] = std::move(handler);
}

void UserContentController::removeScriptMessageHandlerForName(const std::string& name) {
    std::shared_ptr<ScriptMessageHandler> removed;  // released outside the lock
    std::lock_guard lock(mutex_);
    if (auto it = handlers_.find(name); it != handlers_.end()) {
        removed = std::move(it->second);
        handlers_.erase(it);
    }
}

void UserContentController::removeAllScriptMessageHandlers() {
    std::map<std::string, std::shared_ptr<ScriptMessageHandler>> removed;
    std::lock_guard lock(mutex_);
    removed.swap(handlers_);
}

std::shared_ptr<ScriptMessageHandler> UserContentController::scriptMessageHandlerForName(
    const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = handlers_.find(name);
    return it == handlers_.end() ? nullptr : it->second;
}

std::vector<std::string> UserContentController::scriptMessageHandlerNames() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& entry : handlers_) names.push_back(entry.first);
    return names;
}

void UserContentController::addUserScript(UserScript script) {
    std::lock_guard lock(mutex_);
    userScripts_.push_back(std::move(script));
}

void UserContentController::removeAllUserScripts() {
    std::lock_guard lock(mutex_);
    userScripts_.clear();
}

std::vector<UserScript> UserContentController::userScripts() const {
    std::lock_guard lock(mutex_);
    return userScripts_;
}
