#include "platform/net/NetService.h"

// The system's registrar. This build has no mDNS daemon client yet: services
// are recorded in-process and nothing is advertised on the network.
std::shared_ptr<NetServiceRegistrar> makeSystemServiceRegistrar() {
    return std::make_shared<InProcessServiceRegistrar>();
}
