#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/Geometry.h"

class AlertController;
class AlertView;
class PickerView;
class TextField;
class View;
class ViewController;
class Window;

// Drives the interface as a user would, for tests (and the screens' own
// tests to come). Nothing here sleeps; what takes time on screen is timed by
// the injectable clock and the main run loop.
namespace UIDriver {

// A tap at a point of `root` (a window or any view, in its coordinates): the
// touched view is found by hit-testing; the first enabled tap recogniser on
// it or its ancestors whose delegate lets it begin recognises (others too
// when the delegates allow simultaneous recognition); without one, the
// nearest enabled control gets the tap. Returns whether anything took it.
bool tap(View& root, Point point);
// A tap at the middle of a view, through the root of its tree.
bool tap(View& view);

// A drag of one finger from a point of `root` by a translation, ending with a
// velocity (points per second): the first enabled pan recogniser on the
// touched view or its ancestors goes through Began, `steps` Changed states
// and Ended. Returns whether a recogniser took it.
bool pan(View& root, Point start, Point translation, Point velocity = {}, int steps = 1);

// The controller shown on top of a window (what its root presents, and so on).
std::shared_ptr<ViewController> topViewController(Window& window);
// The alert shown on top of the highest visible window that shows one.
std::shared_ptr<AlertController> presentedAlert();
// Taps the button of the alert's first enabled action with that title;
// false when there is none. The handler runs once the alert has gone, which
// takes the main run loop (and, animated, the clock).
bool tapAlertAction(AlertController& alert, const std::string& title);
// Clicks the button of an alert view with that title.
bool tapAlertViewButton(AlertView& alertView, const std::string& title);

// Turns a picker's wheel to a row: it is selected and the delegate is told.
void pickRow(PickerView& picker, std::int64_t row, std::int64_t component);

// Types into a text field at the end of its text, as the keyboard does.
bool typeText(TextField& field, const std::string& text);
bool pressReturn(TextField& field);

}  // namespace UIDriver
