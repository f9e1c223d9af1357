#pragma once

#include <memory>

class View;

// The keyboard's accessory views. The window's keyboard is the browser's own,
// so no keyboard is drawn: while a responder edits, its input accessory view
// lies across the bottom of its window, over the content, where a user can
// tap its buttons. One shows at a time per window; showing another replaces it.
namespace InputAccessory {

// Shows the accessory for the editing view (in the view's window); nothing
// without a window.
void show(View& editing, const std::shared_ptr<View>& accessory);
// Takes the accessory the editing view showed away.
void hide(View& editing);

// A responder's input view (a picker in place of the keyboard) lies across
// the bottom of its window while it edits, as tall as its frame (216 points
// when it has none), with the accessory above it. One per window.
void showInputView(View& editing, const std::shared_ptr<View>& inputView);
void hideInputView(View& editing);

}  // namespace InputAccessory
