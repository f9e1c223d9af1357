#pragma once

#include <memory>

#include "platform/net/NetService.h"

// The system's registrar: advertises services through the Avahi daemon (over
// D-Bus), its polling driven by the run loop of the thread that first
// registers (the main one in the app). Each registration has a client and an
// entry group of its own. No daemon to talk to fails the registration with
// NSNetServicesUnknownError; a name already taken on the network with
// NSNetServicesCollisionError (the service is not renamed).
std::shared_ptr<NetServiceRegistrar> makeAvahiServiceRegistrar();
