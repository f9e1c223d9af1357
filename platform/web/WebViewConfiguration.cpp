#include "platform/web/WebViewConfiguration.h"

#include "platform/foundation/StringUtils.h"

void Preferences::setValueForKey(const Value& value, const std::string& key) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

Value Preferences::valueForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    return it == values_.end() ? Value() : it->second;
}

WebViewConfiguration::WebViewConfiguration()
    : userContentController_(UserContentController::create()), preferences_(std::make_shared<Preferences>()) {}

void WebViewConfiguration::setUserContentController(std::shared_ptr<UserContentController> controller) {
    userContentController_ = controller ? std::move(controller) : UserContentController::create();
}

void WebViewConfiguration::setPreferences(std::shared_ptr<Preferences> preferences) {
    preferences_ = preferences ? std::move(preferences) : std::make_shared<Preferences>();
}

void WebViewConfiguration::setURLSchemeHandler(std::shared_ptr<URLSchemeHandler> handler, const std::string& scheme) {
    if (handler)
        schemeHandlers_[lowercaseString(scheme)] = std::move(handler);
    else
        schemeHandlers_.erase(lowercaseString(scheme));
}

std::shared_ptr<URLSchemeHandler> WebViewConfiguration::urlSchemeHandlerForURLScheme(const std::string& scheme) const {
    auto it = schemeHandlers_.find(lowercaseString(scheme));
    return it == schemeHandlers_.end() ? nullptr : it->second;
}

std::vector<std::string> WebViewConfiguration::registeredURLSchemes() const {
    std::vector<std::string> schemes;
    for (const auto& entry : schemeHandlers_) schemes.push_back(entry.first);
    return schemes;
}
