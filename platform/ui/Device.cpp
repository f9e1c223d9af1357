#include <unistd.h>

#include <climits>

#include "platform/ui/Screen.h"

std::string Device::model() const {
    if (model_) return *model_;
    return idiom_ == UserInterfaceIdiom::Pad ? "iPad" : "iPhone";
}

std::string Device::name() const {
    if (name_) return *name_;
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "localhost";
    return host;
}
