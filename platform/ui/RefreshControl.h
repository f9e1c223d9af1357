#pragma once

#include "platform/ui/Control.h"

// The spinner a scroll view shows above its content while the user's pull
// makes its owner refresh (set on the scroll view with setRefreshControl).
// A pull (UIDriver::pullToRefresh) starts refreshing and sends the
// value-changed actions once; further pulls do nothing until the owner calls
// endRefreshing. beginRefreshing shows the spinner without sending anything.
// Main thread only.
class RefreshControl : public Control {
public:
    static constexpr double kHeight = 60;

    RefreshControl();

    bool isRefreshing() const { return refreshing_; }
    void beginRefreshing() { refreshing_ = true; }
    void endRefreshing() { refreshing_ = false; }

    // The user pulled the content down past the control: false (and nothing
    // sent) while it already refreshes or is disabled.
    bool userPull();

private:
    bool refreshing_ = false;
};
