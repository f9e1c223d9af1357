#pragma once

// Whether views animate by themselves on a timer of their own (a text
// field's blinking caret, a spinning activity indicator). Only a screen that
// someone watches turns it on (the browser display); elsewhere (tests, a run
// until idle) such views hold still and schedule nothing, so that they add
// no timer to the main loop.
namespace LiveAnimation {

bool isEnabled();
void setEnabled(bool enabled);

}  // namespace LiveAnimation
