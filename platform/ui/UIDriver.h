#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Geometry.h"

class AlertController;
class BarButtonItem;
class NavigationController;
class SwipeActionsConfiguration;
class TableView;
class LongPressGestureRecognizer;
struct IndexPath;
class AlertView;
class PickerView;
class ScrollView;
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
// nearest enabled control gets the tap; a tap inside a table cell with no
// control under it taps the row (TableView::userTapRow). Returns whether
// anything took it.
bool tap(View& root, Point point);
// A tap at the middle of a view, through the root of its tree.
bool tap(View& view);
// Two taps in quick succession at one point: the first is a tap as above,
// except that it does not reach the view (control or row) when a
// recogniser there that needs two taps delays touches began; the second is
// recognised by the tap recognisers that need two taps and, unless one of
// them cancels the touches, reaches the view as a tap too. (A lone tap with
// such a recogniser reaches the view at once: the recogniser has failed by
// the time anything else happens.)
bool doubleTap(View& root, Point point);
bool doubleTap(View& view);

// What a tap of a series reaches: the tap recognisers and the view (as
// tap() and doubleTap() deliver it), only the recognisers (a first tap held
// back by a recogniser waiting for a second one), or only the view (that tap
// once the recogniser has given up on the second).
enum class TapReach { RecognizersAndView, RecognizersOnly, ViewOnly };
// One tap at a point of `root` that completes `taps` taps in a row there
// (the second tap of a double tap completes 2): the tap recognisers that
// need that many taps recognise and, unless one of them cancels the
// touches, the tap reaches the touched control or table row, as `reach`
// says. For input that comes as separate touches over time (the display's);
// tap() is tapInSeries(root, point, 1). Returns whether anything took it.
bool tapInSeries(View& root, Point point, std::int64_t taps, TapReach reach = TapReach::RecognizersAndView);
// Whether a recogniser at that point that needs two taps holds a first tap
// back from the view (delaysTouchesBegan) until it gives up on the second.
bool doubleTapDelaysTouches(View& root, Point point);
// The first enabled long-press recogniser on the view touched at a point of
// `root` or its ancestors that may begin there (its location set), or null.
// Whoever follows the finger moves it through its states.
std::shared_ptr<LongPressGestureRecognizer> longPressRecognizer(View& root, Point point);

// A drag of one finger from a point of `root` by a translation, ending with a
// velocity (points per second): the first enabled pan recogniser on the
// touched view or its ancestors that may begin for that movement (a scroll
// view's declines a mostly sideways drag when its content is not wider than
// it) goes through Began, `steps` Changed states and Ended. Returns whether
// a recogniser took it.
bool pan(View& root, Point start, Point translation, Point velocity = {}, int steps = 1);

// The controller shown on top of a window (what its root presents, and so on).
std::shared_ptr<ViewController> topViewController(Window& window);
// The controller the user sees: the top one as above, and within it the top
// of a navigation stack, down through nested navigation controllers.
std::shared_ptr<ViewController> visibleViewController(Window& window);

// --- Bars and navigation ---
// Taps a bar button item where its bar shows it (false when it is not shown
// in a window, hidden or disabled).
bool tap(BarButtonItem& item);
// Taps the back button of a navigation controller's bar.
bool tapBackButton(NavigationController& navigationController);
// Swipes from the left edge of the navigation controller's view across it:
// pops when the interactive pop gesture is enabled and a controller lies below.
bool swipeBack(NavigationController& navigationController);

// --- Presentations ---
// A tap outside a presented popover, or a swipe down of a presented sheet
// (PresentationController::dismissByUser). Returns whether it started a dismissal.
bool tapOutsidePresentation(ViewController& presented);
bool swipeDownPresentation(ViewController& presented);

// --- Tables (the row must be in view) ---
bool tapRow(TableView& table, const IndexPath& indexPath);
// Swipes the row to the left; the actions it reveals (null: none).
std::shared_ptr<SwipeActionsConfiguration> swipeRow(TableView& table, const IndexPath& indexPath);
bool tapSwipeAction(TableView& table, const std::string& title);
bool fullSwipeRow(TableView& table, const IndexPath& indexPath);
// In editing mode: the row's delete control, then its Delete button.
bool deleteRow(TableView& table, const IndexPath& indexPath);
// In editing mode: drags a row by its reorder control to another place
// (TableView::userMoveRow); the index path where it landed, or none.
std::optional<IndexPath> moveRow(TableView& table, const IndexPath& from, const IndexPath& to);
// Double-taps the middle of a row's cell.
bool doubleTapRow(TableView& table, const IndexPath& indexPath);
// Pulls the content of a scroll view (a table) down past its refresh
// control (RefreshControl::userPull); false without a control, while it
// refreshes, or when the view does not scroll.
bool pullToRefresh(ScrollView& scrollView);
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
