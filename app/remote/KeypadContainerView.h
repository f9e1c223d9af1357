#pragma once

#include "app/views/PassthroughView.h"

// A container of the remote's keypad that places its subviews by the
// constraints installed on it, of the few shapes the keypad uses: a constant
// width or height, or one equal to another view's; a centre, edge, leading or
// trailing equal to the same attribute of the container or of another view
// (a view of another container is taken in this one's coordinates), plus a
// constant. Where one attribute is constrained twice, the constraint
// installed last wins; a view without a width or height keeps its fitting
// size. A subview that leaves takes its constraints along. Laying out inside an animation block animates the moves.
//
// It takes touches only on its visible, interactive subviews: the labels
// container lies over the buttons container, and touches meant for a key
// below pass through it.
class KeypadContainerView : public PassthroughView {
public:
    using PassthroughView::PassthroughView;
    void layoutSubviews() override;
    // A view that leaves takes the constraints installed here that involve it.
    void willRemoveSubview(View* subview) override;
};
