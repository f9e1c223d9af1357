#include "platform/display/DisplayInput.h"

#include <algorithm>
#include <cmath>

#include "platform/display/DisplayScreen.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Application.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Touches.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"

namespace {

using nlohmann::json;

// How far a finger may wander and still tap.
constexpr double kTapSlop = 10;
// How soon (seconds) and how near a second tap must follow the first to
// make a double tap.
constexpr double kDoubleTapInterval = 0.35;
constexpr double kDoubleTapSlop = 20;
constexpr double kCoordinateLimit = 1e6;

bool readNumber(const json& message, const char* key, double& out) {
    auto it = message.find(key);
    if (it == message.end() || !it->is_number()) return false;
    out = it->get<double>();
    return std::isfinite(out) && std::abs(out) <= kCoordinateLimit;
}

bool readPoint(const json& message, Point& point) {
    return readNumber(message, "x", point.x) && readNumber(message, "y", point.y);
}

Point inWindow(const Window& window, Point point) {
    return {point.x - window.frame().origin.x, point.y - window.frame().origin.y};
}

Responder* focusedResponder() {
    auto window = Application::shared().keyWindow();
    return window ? window->firstResponder() : nullptr;
}

}  // namespace

struct DisplayInput::Pointer {
    std::shared_ptr<Window> window;
    std::unique_ptr<UIDriver::Touch> touch;
    Point start, last;
    double startTime = 0, lastTime = 0;
    Point velocity;
    bool moved = false;

    // A long-press recogniser under the finger: the timer begins it once the
    // finger has stayed down long enough; then it follows the finger.
    std::shared_ptr<LongPressGestureRecognizer> longPress;
    std::shared_ptr<Timer> longPressTimer;
    bool pressing = false;

    // The last lone tap, for a second one to make a double tap; and its
    // delivery to the view while a recogniser waits for that second tap.
    struct LastTap {
        std::weak_ptr<View> window;
        Point point;
        double time = 0;
    };
    std::optional<LastTap> lastTap;
    std::shared_ptr<Timer> heldTap;

    ~Pointer() {
        stopLongPress();
        if (heldTap) heldTap->invalidate();
    }

    void down(Point point, double time) {
        cancel();
        window = DisplayScreen::windowAtPoint(point);
        if (!window) window = Application::shared().keyWindow();
        if (!window) return;
        start = last = inWindow(*window, point);
        startTime = lastTime = time;
        velocity = {};
        moved = false;
        touch = std::make_unique<UIDriver::Touch>(*window, start);
        if (!touch->isTracking()) touch.reset();
        if (!touch) armLongPress();
    }

    static constexpr double kStillBeforeRelease = 0.1;

    void move(Point point, double time) {
        if (!window) return;
        const Point local = inWindow(*window, point);
        const bool changed = local != last;
        const double seconds = (time - lastTime) / 1000;
        if (changed) {
            if (seconds > 0) velocity = {(local.x - last.x) / seconds, (local.y - last.y) / seconds};
            last = local;
            lastTime = time;
        } else if (seconds > kStillBeforeRelease) {
            // A finger that rested before it lifted lifts without speed; the
            // release's own event at the last point keeps the swipe's speed.
            velocity = {};
            lastTime = time;
        }
        moved = moved || std::hypot(local.x - start.x, local.y - start.y) > kTapSlop;
        if (touch) touch->moveTo(local);
        // A press the timer began while this movement was still on its way
        // (a busy main loop): by the page's clock the finger had already
        // wandered, so the press is called off and the finger pans.
        if (pressing && time - startTime < longPress->minimumPressDuration() * 1000 &&
            std::hypot(local.x - start.x, local.y - start.y) > longPress->allowableMovement()) {
            longPress->setState(GestureRecognizerState::Cancelled);
            longPress->setState(GestureRecognizerState::Possible);
            stopLongPress();
        }
        if (pressing && changed) {
            longPress->setLocation(longPress->view()->convertPointFromView(local, window.get()));
            longPress->setState(GestureRecognizerState::Changed);
        } else if (!pressing && longPress &&
                   std::hypot(local.x - start.x, local.y - start.y) > longPress->allowableMovement()) {
            stopLongPress();
        }
    }

    void up(Point point, double time) {
        if (!window) return;
        move(point, time);
        // The page's clock says the finger stayed long enough even when the
        // main loop was too busy to notice in time.
        if (longPressTimer && longPressTimer->isValid() && time - startTime >= longPress->minimumPressDuration() * 1000)
            longPressTimer->fire();
        auto keep = window;
        if (pressing) {
            longPress->setState(GestureRecognizerState::Ended);
            longPress->setState(GestureRecognizerState::Possible);
        } else if (touch) {
            touch->end();
        } else if (!moved) {
            tapAt(*keep, time);
        } else {
            deliverHeldTap();
            UIDriver::pan(*keep, start, {last.x - start.x, last.y - start.y}, velocity, 4);
        }
        stopLongPress();
        touch.reset();
        window.reset();
    }

    void cancel() {
        if (pressing) {
            longPress->setState(GestureRecognizerState::Cancelled);
            longPress->setState(GestureRecognizerState::Possible);
        }
        stopLongPress();
        if (touch) touch->cancel();
        touch.reset();
        window.reset();
    }

    void armLongPress() {
        longPress = UIDriver::longPressRecognizer(*window, start);
        if (!longPress) return;
        longPressTimer = Timer::scheduledTimer(longPress->minimumPressDuration(), false, [this](Timer&) {
            if (!window || !longPress || !longPress->view()) return;
            pressing = true;
            longPress->setLocation(longPress->view()->convertPointFromView(last, window.get()));
            longPress->setState(GestureRecognizerState::Began);
        });
    }

    void stopLongPress() {
        if (longPressTimer) longPressTimer->invalidate();
        longPressTimer.reset();
        longPress.reset();
        pressing = false;
    }

    // A lifted finger that stayed: the second of a double tap when it
    // follows a lone tap closely enough, else a tap that may begin one.
    void tapAt(Window& target, double time) {
        const bool second = lastTap && lastTap->window.lock().get() == &target &&
                            time - lastTap->time <= kDoubleTapInterval * 1000 &&
                            std::hypot(start.x - lastTap->point.x, start.y - lastTap->point.y) <= kDoubleTapSlop;
        if (second) {
            // The recogniser that held the first tap back has its second one.
            if (heldTap) heldTap->invalidate();
            lastTap.reset();
            UIDriver::tapInSeries(target, start, 2);
            return;
        }
        deliverHeldTap();
        lastTap = LastTap{target.weak_from_this(), start, time};
        if (!UIDriver::doubleTapDelaysTouches(target, start)) {
            UIDriver::tap(target, start);
            return;
        }
        UIDriver::tapInSeries(target, start, 1, UIDriver::TapReach::RecognizersOnly);
        heldTap = Timer::scheduledTimer(kDoubleTapInterval, false,
                                        [this, weak = target.weak_from_this(), point = start](Timer&) {
                                            lastTap.reset();
                                            if (auto held = weak.lock())
                                                UIDriver::tapInSeries(*held, point, 1, UIDriver::TapReach::ViewOnly);
                                        });
    }

    // A held-back tap goes to the view before anything that follows it.
    void deliverHeldTap() {
        if (auto held = heldTap) held->fire();
    }
};

DisplayInput::DisplayInput() : pointer_(std::make_unique<Pointer>()) {}

DisplayInput::~DisplayInput() = default;

bool DisplayInput::handle(const json& message, std::string& reason) {
    auto type = message.is_object() ? message.find("type") : message.end();
    if (!message.is_object() || type == message.end() || !type->is_string()) {
        reason = "no type";
        return false;
    }
    const std::string kind = type->get<std::string>();
    if (kind == "pointer") {
        Point point;
        double time = 0;
        auto phase = message.find("phase");
        if (!readPoint(message, point) || !readNumber(message, "t", time) || phase == message.end() ||
            !phase->is_string()) {
            reason = "a pointer message needs a phase, x, y and t";
            return false;
        }
        const std::string which = phase->get<std::string>();
        if (which == "down")
            pointer_->down(point, time);
        else if (which == "move")
            pointer_->move(point, time);
        else if (which == "up")
            pointer_->up(point, time);
        else if (which == "cancel")
            pointer_->cancel();
        else {
            reason = "unknown pointer phase";
            return false;
        }
        return true;
    }
    if (kind == "wheel") {
        Point point, delta;
        if (!readPoint(message, point) || !readNumber(message, "dx", delta.x) || !readNumber(message, "dy", delta.y)) {
            reason = "a wheel message needs x, y, dx and dy";
            return false;
        }
        auto window = DisplayScreen::windowAtPoint(point);
        View* hit = window ? window->hitTest(inWindow(*window, point)) : nullptr;
        for (View* view = hit; view; view = view->superview()) {
            auto scrollView = dynamic_cast<ScrollView*>(view);
            if (!scrollView || !scrollView->isScrollEnabled()) continue;
            const EdgeInsets inset = scrollView->adjustedContentInset();
            const Size size = scrollView->bounds().size;
            const Size content = scrollView->contentSize();
            const double maxX = std::max(-inset.left, content.width + inset.right - size.width);
            const double maxY = std::max(-inset.top, content.height + inset.bottom - size.height);
            const Point offset = scrollView->contentOffset();
            scrollView->setContentOffset(
                {std::clamp(offset.x + delta.x, -inset.left, maxX), std::clamp(offset.y + delta.y, -inset.top, maxY)});
            break;
        }
        return true;
    }
    if (kind == "edit") {
        double location = 0, length = 0;
        auto text = message.find("text");
        if (!readNumber(message, "location", location) || !readNumber(message, "length", length) || location < 0 ||
            length < 0 || text == message.end() || !text->is_string()) {
            reason = "an edit message needs location, length and text";
            return false;
        }
        auto field = dynamic_cast<TextField*>(focusedResponder());
        if (!field) {
            // The field it was typed for has gone (ended editing or left the screen).
            reason = "no text field is being edited";
            return false;
        }
        const std::size_t units = field->text() ? utf16Length(*field->text()) : 0;
        const auto from = std::min(static_cast<std::size_t>(location), units);
        const auto count = std::min(static_cast<std::size_t>(length), units - from);
        field->replaceCharacters({from, count}, text->get<std::string>());
        return true;
    }
    if (kind == "key") {
        auto key = message.find("key");
        if (key == message.end() || !key->is_string() || key->get<std::string>().empty()) {
            reason = "a key message needs a key";
            return false;
        }
        const std::string name = key->get<std::string>();
        Responder* responder = focusedResponder();
        if (auto field = dynamic_cast<TextField*>(responder)) {
            if (name == "Enter") field->returnKeyPressed();
        } else if (auto input = dynamic_cast<KeyInput*>(responder)) {
            if (name == "Enter")
                input->insertText("\n");
            else if (name == "Backspace")
                input->deleteBackward();
            else
                input->insertText(name);
        }
        return true;
    }
    reason = "unknown type \"" + kind + "\"";
    return false;
}
