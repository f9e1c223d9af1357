#include "platform/ui/LiveAnimation.h"

namespace LiveAnimation {

namespace {
bool enabled = false;
}

bool isEnabled() {
    return enabled;
}

void setEnabled(bool on) {
    enabled = on;
}

}  // namespace LiveAnimation
