#include "model/FCCUniqueId.h"

#include "platform/foundation/Format.h"
#include "platform/foundation/Random.h"
#include "platform/foundation/UUID.h"

std::string FCCUniqueId::makeUniqueId() {
    const UUID uuid;
    std::string out;
    for (std::uint8_t byte : uuid.bytes()) out += stringWithFormat("%02x", static_cast<unsigned int>(byte));
    return out;
}

std::string FCCUniqueId::_fallbackMakeUniqueId() {
    std::string out;
    for (int i = 0; i < 16; ++i) out += stringWithFormat("%x", Random::next32() & 0xF);
    return out;
}
