#pragma once

#include <memory>
#include <string>

#include "platform/ui/Geometry.h"

class View;

// Raw touches (touchesBegan/Moved/Ended/Cancelled) for views that follow a
// finger themselves instead of through controls or gesture recognisers. A
// view takes them by also deriving from TouchHandling; points are in the
// view's own coordinates. One finger at a time.
class TouchHandling {
public:
    virtual ~TouchHandling() = default;
    virtual void touchesBegan(Point point) = 0;
    virtual void touchesMoved(Point point) = 0;
    virtual void touchesEnded(Point point) = 0;
    virtual void touchesCancelled() = 0;
};

// Key input (UIKeyInput) of a responder that takes typed text without a text
// field: the keyboard inserts text (the return key inserts "\n") and deletes
// backward.
class KeyInput {
public:
    virtual ~KeyInput() = default;
    virtual void insertText(const std::string& text) = 0;
    virtual void deleteBackward() = 0;
    virtual bool hasText() const = 0;
};

namespace UIDriver {

// A finger put down at a point of `root` (in root's coordinates): the touched
// view is found by hit-testing and the nearest view from there up that takes
// touches (TouchHandling, user interaction enabled) follows it to the end. A
// touch that found no such view does nothing. Ends cancelled when dropped
// without end() or cancel().
class Touch {
public:
    Touch(View& root, Point point);
    ~Touch();
    Touch(const Touch&) = delete;
    Touch& operator=(const Touch&) = delete;

    // Whether a view took the touch.
    bool isTracking() const { return handler_ != nullptr; }
    View* view() const { return view_.get(); }
    void moveTo(Point point);  // in root's coordinates
    void end();                // where the finger last was
    void cancel();

private:
    Point local(Point point) const;
    View& root_;
    std::shared_ptr<View> view_;
    TouchHandling* handler_ = nullptr;
    Point last_;
};

// A touch that goes down and up at the middle of a view (through its tree's
// root); whether a view took it.
bool touchUpInside(View& view);

}  // namespace UIDriver
