#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/web/URLSchemeHandler.h"
#include "platform/web/UserContentController.h"

// A web view's preferences, set and read by key (key-value coding), such as
// "developerExtrasEnabled". Unknown keys are kept as they are.
class Preferences {
public:
    void setValueForKey(const Value& value, const std::string& key);
    // The value under the key, or null.
    Value valueForKey(const std::string& key) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
};

// What a web view is made with. A web view keeps a copy of the configuration
// it is given; copies share the user content controller, the preferences and
// the scheme handlers, which are objects.
class WebViewConfiguration {
public:
    WebViewConfiguration();

    // What the page turns into links by itself (phone numbers, addresses, ...).
    enum DataDetectorTypes : unsigned { DataDetectorNone = 0, DataDetectorAll = ~0u };
    unsigned dataDetectorTypes() const { return dataDetectorTypes_; }
    void setDataDetectorTypes(unsigned types) { dataDetectorTypes_ = types; }

    const std::shared_ptr<UserContentController>& userContentController() const { return userContentController_; }
    void setUserContentController(std::shared_ptr<UserContentController> controller);
    const std::shared_ptr<Preferences>& preferences() const { return preferences_; }
    void setPreferences(std::shared_ptr<Preferences> preferences);

    // Registers the handler for the URL scheme ("card-attachment"); schemes
    // compare without case. The configuration holds the handler strongly.
    void setURLSchemeHandler(std::shared_ptr<URLSchemeHandler> handler, const std::string& scheme);
    std::shared_ptr<URLSchemeHandler> urlSchemeHandlerForURLScheme(const std::string& scheme) const;
    // The schemes that have a handler, lowercase and sorted.
    std::vector<std::string> registeredURLSchemes() const;

private:
    unsigned dataDetectorTypes_ = DataDetectorNone;
    std::shared_ptr<UserContentController> userContentController_;
    std::shared_ptr<Preferences> preferences_;
    std::map<std::string, std::shared_ptr<URLSchemeHandler>> schemeHandlers_;
};
