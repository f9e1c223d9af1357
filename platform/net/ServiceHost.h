#pragma once

#include <string>

// The host of the web service that shares decks, with a port when it is not
// the default one ("example.org", "127.0.0.1:8080"). Read on every call, in
// order: the environment variable "MEMORANT_SERVICE_HOST", the info-dictionary
// key "MemorantServiceHost", and the built-in host. Tests and local servers
// point it at 127.0.0.1 through the environment.
std::string serviceHost();
// The host without its port: the domain name the share links carry.
std::string serviceDomainName();

inline constexpr const char* kServiceHostEnvironmentVariable = "MEMORANT_SERVICE_HOST";
inline constexpr const char* kServiceHostInfoKey = "MemorantServiceHost";
inline constexpr const char* kDefaultServiceHost = "share.memorant.org";
