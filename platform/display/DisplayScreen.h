#pragma once

// What the browser display shows and where its input lands: the app's
// visible windows, drawn as the platform draws them, and the accessible
// elements over them. Main thread.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/Error.h"
#include "platform/ui/Geometry.h"

class Image;
class View;
class Window;

namespace DisplayScreen {

// The visible windows, lowest level first (the key window's alerts and
// presented controllers are in its tree, alert windows above it).
std::vector<std::shared_ptr<Window>> visibleWindows();
// The window a point of the screen reaches: the highest visible one whose
// hit test finds a view there.
std::shared_ptr<Window> windowAtPoint(Point point);

// The screen's picture at the scale: every visible window's layer tree.
std::shared_ptr<Image> render(double scale);
// The picture as PNG bytes.
std::string pngBytes(const Image& image);
bool writePNG(const std::string& path, double scale, Error* error = nullptr);

// One element per control, row, bar item, alert action, text field and
// label shown, in drawing order:
// {"role", "name", "x", "y", "width", "height"} in screen points, with
// "disabled", "checked", "value" and "focused" where they apply. A button is
// named by its title, else by its symbol's name; a row by its labels' texts
// (joined by ", "); a text field by its placeholder; a view that carries an
// accessibility label by that label, with the role of its traits (a button,
// else text), and a view that is not an accessibility element not at all. What the eye cannot see
// is left out: an element whose middle lies under a view drawn above it that
// hides it (an opaque background, a bar) or takes its touches (a presented
// controller, an alert, the dimming around a presented box), and one that a
// view around it clips away entirely.
nlohmann::json accessibleElements();

// What is wrong with the screen's layout, one readable line each (none when
// it looks right), from the drawn text of every visible label, button and
// bar item: two texts that overlap by more than a point, and a text that
// its view cuts (a line wider than the label, more lines than it shows, or
// clipped by a view around it) where the label does not ask for that: a
// button's title shows whole, and a label cuts only with a truncating or
// clipping line break mode and a limited number of lines. Text covered by
// an opaque view drawn above it does not count; a scroll view hiding part
// of its content does not cut it. (LayoutCheck.cpp)
std::vector<std::string> layoutFaults();
// The faults as a JSON array when the environment asks for the check
// (MEMORANT_DISPLAY_CHECK_LAYOUT is set), else none.
std::optional<nlohmann::json> layoutFaultsWhenChecked();

}  // namespace DisplayScreen
