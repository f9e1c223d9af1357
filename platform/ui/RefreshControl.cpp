#include "platform/ui/RefreshControl.h"

RefreshControl::RefreshControl() : Control(Rect(0, -kHeight, 320, kHeight)) {}

bool RefreshControl::userPull() {
    if (refreshing_ || !isEnabled()) return false;
    refreshing_ = true;
    sendActionsForControlEvents(ControlEventValueChanged);
    return true;
}
