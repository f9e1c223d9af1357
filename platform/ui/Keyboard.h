#pragma once

// The keyboard's notifications, posted on the default notification center
// (a test plays the keyboard by posting them).
inline constexpr const char* kKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* kKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
