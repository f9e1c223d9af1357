#pragma once

// What the sharing tests share: the web service's host pointed at a local
// server for the test's lifetime, and a look into the logger's backlog.

#include <cstdlib>
#include <string>

#include "model/TWLogger.h"
#include "platform/net/ServiceHost.h"

namespace memorant_test {

class ScopedServiceHost {
public:
    explicit ScopedServiceHost(const std::string& host) { setenv(kServiceHostEnvironmentVariable, host.c_str(), 1); }
    ~ScopedServiceHost() { unsetenv(kServiceHostEnvironmentVariable); }
    ScopedServiceHost(const ScopedServiceHost&) = delete;
    ScopedServiceHost& operator=(const ScopedServiceHost&) = delete;
};

inline bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace memorant_test
