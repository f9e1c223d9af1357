#pragma once

#include "platform/ui/View.h"

// A plain view that carries a left inset for its users.
class FIInsetAwareView : public View {
public:
    using View::View;
    double leftInset() const { return leftInset_; }
    void setLeftInset(double inset) { leftInset_ = inset; }

private:
    double leftInset_ = 0;
};
