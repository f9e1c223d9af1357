#pragma once

// The web views of the browser display: each document a web view loads runs
// for real in a frame of the display page (resources/display/frames.js), a
// sandboxed <iframe> placed where the web view is on the screen. This is the
// page engine (PageEngine) while the display runs.
//
// - Documents are served by the display's server under a capability path of
//   their own, "/frame/<32 hexadecimal digits>/", made for each load and
//   never the run's token: the document itself (the HTML as the app loaded
//   it, with the engine's script and the user scripts added as scripts of
//   that path), the files of the folder it may read (the base URL's folder,
//   or loadFileURL's read-access folder; nothing outside it, no "..", no
//   symbolic link leading out), and "_scheme/<URL>" for the URL schemes the
//   configuration registers, answered by their URLSchemeHandler on the main
//   thread. Every answer carries a strict Content-Security-Policy: scripts
//   and styles of the path itself only, no connections, no frames, no forms,
//   sandboxed, and only the display page may frame it.
// - State() goes to the page with each frame (the header's "webFrames"):
//   {"engine", "frames": [{"id", "src", "visible", "x", "y", "width",
//   "height", "clip": {"x", "y", "width", "height"}, "handlers": [names
//   registered now]}], "evaluations":
//   [{"frame", "id", "script"}]}, in screen points. Only the page that
//   introduced itself last ("engine") runs the frames, so that a second tab
//   does not run every page twice.
// - The page's messages ({"type": "web", ...}, see handle) are validated like
//   any input: the engine's tab, a frame and document that exist now, an
//   evaluation of that frame still waiting, a handler name registered now,
//   a body within the JSON bounds. What passes reaches the web view's page on
//   the main thread as ScriptedPage would deliver it.
// - While a field of a frame's page has the focus and the frame shows, the
//   web view's inputAccessoryView (the card editor's formatting toolbar)
//   shows above the keyboard (InputAccessory), as on the phone while an
//   element of a page is edited; it goes when the field loses the focus,
//   the frame goes from view or its document is replaced.
// - An evaluation that no page answers within kEvaluationTimeout (counted
//   from when it was made, or from when a page last introduced itself)
//   completes with an error; the main loop never waits on a page.
//
// Main thread, but for serve (the server's thread).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/display/DisplayServer.h"
#include "platform/foundation/Error.h"
#include "platform/web/PageEngine.h"

class WebFrames : public PageEngine, public std::enable_shared_from_this<WebFrames> {
public:
    static constexpr std::chrono::seconds kEvaluationTimeout{10};
    static constexpr std::chrono::seconds kSchemeTaskTimeout{30};
    static constexpr const char* kPathPrefix = "/frame/";
    // The largest message of a frame the page sends (its JSON text, in
    // bytes): a card's HTML with an image inline (an editor's image is at
    // most 850 points wide) fits. The display's socket takes a little more,
    // so that the page's own refusal, which it reports, comes first.
    static constexpr std::size_t kMaxMessageBytes = 3 * 1024 * 1024;
    static constexpr std::size_t kSocketMessageBytes = kMaxMessageBytes + 64 * 1024;

    using LogSink = std::function<void(const std::string& line)>;

    // engineScript: the text of the script that makes a document a frame
    // (resources/display/frame-engine.js).
    WebFrames(std::string engineScript, LogSink log);
    ~WebFrames() override;
    // The server's port, for the policy's frame-ancestors (set once it listens).
    void setPort(int port);

    void webViewStartedDocument(WebView& webView) override;
    void webViewEvaluated(WebView& webView, std::size_t index) override;

    // What the page needs to show the frames now; forgets web views that are gone.
    nlohmann::json state();
    // One message of the page:
    //   {"type":"web","tab":T,"kind":"hello"}
    //   {"type":"web","tab":T,"frame":N,"doc":SRC,"kind":"message","name":S,"body":JSON}
    //   {"type":"web","tab":T,"frame":N,"doc":SRC,"kind":"result","id":N[,"value":JSON]|[,"error":S[,"code":N]]}
    //   {"type":"web","tab":T,"frame":N,"doc":SRC,"kind":"event","event":"DOMContentLoaded"|"load"}
    //   {"type":"web","tab":T,"frame":N,"doc":SRC,"kind":"pasteboard","text":S} (a paste in the frame)
//   {"type":"web","tab":T,"frame":N,"doc":SRC,"kind":"editing","editing":B} (a field of the
//     page has the focus, or none has: the web view's input accessory view shows while one has)
//   {"type":"web","tab":T,"frame":N,"doc":SRC,"kind":"refused","message":S,"bytes":N} (the page
//     did not send a message of the frame's over kMaxMessageBytes: logged)
    // False with the reason when it is malformed or not for anything that
    // exists now (nothing happened then).
    bool handle(const nlohmann::json& message, std::string& reason);
    // A request of the server (server's thread): false when the target is not
    // a frame's path.
    bool serve(const std::string& target, const DisplayServer::Responder& respond);

    // The error an evaluation gets when no page answered it in time.
    static Error timeoutError();
    // kEvaluationTimeout unless set (tests).
    void setEvaluationTimeout(std::chrono::milliseconds timeout);

private:
    struct Document;
    struct Frame;
    struct Evaluation;

    Frame& frameFor(WebView& webView);
    // Shows or takes away the web view's input accessory view.
    void setEditing(Frame& frame, WebView& webView, bool editing);
    std::shared_ptr<const Document> documentForCapability(const std::string& capability) const;
    void serveScheme(const std::shared_ptr<const Document>& document, const std::string& urlText,
                     const DisplayServer::Responder& respond);
    void expireEvaluations();
    void scheduleExpiry();

    const std::string engineScript_;
    std::atomic<int> port_{0};
    LogSink log_;

    // Main thread.
    std::map<const WebView*, Frame> frames_;
    std::vector<Evaluation> evaluations_;
    std::int64_t nextFrameId_ = 1;
    std::int64_t nextEvaluationId_ = 1;
    std::string engineTab_;
    std::chrono::steady_clock::time_point engineSince_{};
    bool expiryScheduled_ = false;
    std::chrono::milliseconds evaluationTimeout_ = kEvaluationTimeout;

    // Shared with the server's thread.
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const Document>> documents_;
};
