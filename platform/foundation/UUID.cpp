#include "platform/foundation/UUID.h"

#include <uuid/uuid.h>

UUID::UUID() {
    uuid_t u;
    uuid_generate_random(u);
    for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = u[i];
}

std::string UUID::UUIDString() const {
    uuid_t u;
    for (std::size_t i = 0; i < bytes_.size(); ++i) u[i] = bytes_[i];
    char text[37];
    uuid_unparse_upper(u, text);
    return text;
}
