#pragma once

// The program's screen: the app's windows shown in a web browser on this
// machine (DisplayServer serves them), and the page's pointer, wheel and
// keyboard input delivered as touches, scrolls and key input (DisplayInput).
//
// After a pass of the main loop that handled anything (input included), the
// screen is drawn at the device scale, at most 60 times a second (while only
// an animation runs, once a frame interval; a pass that handed input on to
// the next one leaves the drawing to that one); when its picture or its
// accessible elements changed, the frame goes to the page (DisplayFrame): a
// header of JSON {"width", "height", "scale", "elements", "animating"}
// (points; see DisplayScreen::accessibleElements; "animating" is true while
// the screen changes without input: an animation, a transition or an
// animation's completion is under way, and a frame follows that says false)
// and PNGs. It holds only what changed since the frame before: content that
// moved (a list scrolled, rows shifted) as copies of what the page has, and
// the rectangles whose pixels are new; the whole picture when more than half
// of it is new or its size changed, and for a page that does not have the
// frame before (a new or reloaded one, or one that skipped frames: the server
// has the whole picture made for it).
//
// Input messages are handled on the main thread in the order they came; a
// malformed or unknown one is logged once (one line) and ignored, and beyond
// a bound of messages waiting for the main thread the newest are dropped
// (logged). Main thread, but for what the server does on its own.

#include <chrono>
#include <memory>
#include <string>

#include "platform/display/DisplayServer.h"
#include "platform/foundation/Error.h"

class BrowserDisplay {
public:
    static constexpr std::size_t kMaxPendingMessages = 256;
    static constexpr std::size_t kMaxFrameBytes = 64 * 1024 * 1024;

    struct Options {
        int port = 0;
        double scale = 2;
        // The page's folder; empty: "display" in the main bundle's resources.
        std::string pageDirectory;
    };

    BrowserDisplay();
    ~BrowserDisplay();
    BrowserDisplay(const BrowserDisplay&) = delete;
    BrowserDisplay& operator=(const BrowserDisplay&) = delete;

    bool start(const Options& options, Error* error = nullptr);
    DisplayServer& server();
    // Where the log lines go (the server's too); stderr by default.
    void setLogSink(DisplayServer::LogSink sink);

    // Told after each pass of the main loop, with whether it handled anything.
    void passEnded(bool handledSomething);
    // How long the main loop may wait for input before a frame is due.
    std::chrono::milliseconds maximumWait(std::chrono::milliseconds wait) const;
    // Frames sent so far.
    std::size_t framesSent() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};
