// The app's tests never reach the real web service: unless a test points the
// service's host at a local server (ScopedServiceHost), it is a loopback port
// where nothing listens, so a screen that reads from the service on its own
// (the shared-deck screen once presented) fails at once, without leaving the
// machine.
#include <cstdlib>

#include "platform/net/ServiceHost.h"

namespace {

const bool kLoopbackServiceHost = (setenv(kServiceHostEnvironmentVariable, "127.0.0.1:1", 0), true);

}  // namespace
