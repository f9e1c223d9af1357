#include "platform/net/ServiceHost.h"

#include <cstdlib>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"

std::string serviceHost() {
    if (const char* value = std::getenv(kServiceHostEnvironmentVariable)) {
        std::string host = stringByTrimmingWhitespaceAndNewlines(value);
        if (!host.empty()) return host;
    }
    if (auto configured = Bundle::main().objectForInfoDictionaryKey(kServiceHostInfoKey).asString()) {
        std::string host = stringByTrimmingWhitespaceAndNewlines(*configured);
        if (!host.empty()) return host;
    }
    return kDefaultServiceHost;
}

std::string serviceDomainName() {
    std::string host = serviceHost();
    if (!host.empty() && host.front() == '[') {
        auto end = host.find(']');
        return end == std::string::npos ? host : host.substr(0, end + 1);
    }
    auto colon = host.rfind(':');
    return colon == std::string::npos ? host : host.substr(0, colon);
}
