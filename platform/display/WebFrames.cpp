#include "platform/display/WebFrames.h"

#include <openssl/rand.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/display/DisplayScreen.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Digest.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/MimeType.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"
#include "platform/ui/InputAccessory.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kDocumentName = "_document.html";
constexpr const char* kEnginePath = "_engine/engine.js";
constexpr const char* kUserScriptPath = "_engine/user/";
constexpr const char* kSchemePath = "_scheme/";
// What a script message's body or an evaluation's value may build.
constexpr JSONReadingLimits kValueLimits{100000, 64, 8 * 1024 * 1024};

std::string randomCapability() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random bytes for a frame's path");
    return hexString(bytes, sizeof bytes);
}

std::string contentSecurityPolicy(int port) {
    const std::string p = std::to_string(port);
    return "default-src 'none'; script-src 'self' 'unsafe-inline' 'unsafe-eval'; style-src 'self' 'unsafe-inline'; "
           "img-src 'self' data: blob:; media-src 'self' data: blob:; font-src 'self' data:; connect-src 'none'; "
           "frame-src 'none'; child-src 'none'; worker-src 'none'; object-src 'none'; manifest-src 'none'; "
           "form-action 'none'; base-uri 'self'; frame-ancestors http://127.0.0.1:" +
           p + " http://localhost:" + p + "; sandbox allow-scripts";
}

std::optional<Rect> intersection(const Rect& a, const Rect& b) {
    const double x = std::max(a.minX(), b.minX()), y = std::max(a.minY(), b.minY());
    const double right = std::min(a.maxX(), b.maxX()), bottom = std::min(a.maxY(), b.maxY());
    if (right <= x || bottom <= y) return std::nullopt;
    return Rect(x, y, right - x, bottom - y);
}

json rectJSON(const Rect& rect) {
    return json{{"x", rect.origin.x}, {"y", rect.origin.y}, {"width", rect.size.width}, {"height", rect.size.height}};
}

// The view's rectangle on the screen.
Rect screenRect(const View& view, const Rect& rect) {
    Rect onWindow = view.convertRectToView(rect, nullptr);
    if (Window* window = view.window())
        onWindow = onWindow.offsetBy(window->frame().origin.x, window->frame().origin.y);
    return onWindow;
}

// The view drawn over the point of the screen, when it is not the web view
// (or a view of it, or one it lies in).
const View* viewOver(const WebView& webView, Point point) {
    Window* window = webView.window();
    auto top = DisplayScreen::windowAtPoint(point);
    if (!top) return nullptr;
    if (top.get() != window) return top.get();
    const View* hit = window->hitTest({point.x - window->frame().origin.x, point.y - window->frame().origin.y});
    if (!hit || hit == &webView || hit->isDescendantOfView(&webView) || webView.isDescendantOfView(hit)) return nullptr;
    return hit;
}

// Where the web view shows on the screen: clipped by the screen, every
// clipping ancestor and the views over its edges (bars); none when it is
// hidden, transparent, off screen or covered in its middle.
std::optional<Rect> visibleRect(const WebView& webView, Rect& rect) {
    rect = screenRect(webView, webView.bounds());
    Window* window = webView.window();
    if (!window || window->isHidden()) return std::nullopt;
    std::optional<Rect> clip = intersection(rect, Screen::main().bounds());
    for (const View* view = &webView; view && clip; view = view->superview()) {
        if (view->isHidden() || view->alpha() <= 0) return std::nullopt;
        if (view != &webView && view->clipsToBounds()) clip = intersection(*clip, screenRect(*view, view->bounds()));
    }
    // Views over an edge take the strip they cover, up to the middle.
    constexpr double kInside = 0.5;
    for (int edge = 0; edge < 4 && clip; ++edge) {
        for (int step = 0; step < 64 && clip; ++step) {
            const Rect c = *clip;
            const Point at = edge == 0   ? Point{c.midX(), c.minY() + kInside}
                             : edge == 1 ? Point{c.midX(), c.maxY() - kInside}
                             : edge == 2 ? Point{c.minX() + kInside, c.midY()}
                                         : Point{c.maxX() - kInside, c.midY()};
            const View* over = viewOver(webView, at);
            if (!over) break;
            const Rect cover = screenRect(*over, over->bounds());
            Rect rest = c;
            if (edge == 0) rest = Rect(c.minX(), cover.maxY(), c.width(), c.maxY() - cover.maxY());
            if (edge == 1) rest = Rect(c.minX(), c.minY(), c.width(), cover.minY() - c.minY());
            if (edge == 2) rest = Rect(cover.maxX(), c.minY(), c.maxX() - cover.maxX(), c.height());
            if (edge == 3) rest = Rect(c.minX(), c.minY(), cover.minX() - c.minX(), c.height());
            if (rest == c || rest.size.width <= 0 || rest.size.height <= 0) {
                clip = rest == c ? clip : std::nullopt;
                break;
            }
            clip = rest;
        }
    }
    if (!clip || viewOver(webView, clip->center())) return std::nullopt;
    return clip;
}

// The HTML with the engine's script and the document-start user scripts at
// the start of its head, the document-end ones after all of it, and a
// script-src of its own policy widened by 'unsafe-eval' (evaluations, which
// a page's policy does not stop in an engine either).
std::string injectedHTML(std::string html, const std::string& base, std::size_t startScripts, std::size_t endScripts) {
    std::string lower = lowercaseString(html);
    auto tag = [&](const std::string& src) { return "<script src=\"" + base + src + "\"></script>"; };
    for (std::size_t at = lower.find("<meta"); at != std::string::npos; at = lower.find("<meta", at + 1)) {
        const std::size_t end = lower.find('>', at);
        if (end == std::string::npos) break;
        const std::string_view meta(lower.data() + at, end - at);
        if (meta.find("content-security-policy") == std::string_view::npos) continue;
        const std::size_t directive = meta.find("script-src");
        if (directive == std::string_view::npos) continue;
        const std::size_t insertAt = at + directive + std::string_view("script-src").size();
        html.insert(insertAt, " 'unsafe-eval'");
        lower.insert(insertAt, " 'unsafe-eval'");
    }
    std::size_t insertAt = 0;
    for (const char* name : {"<!doctype", "<html", "<head"}) {
        std::size_t at = lower.find(name);
        const char after = at == std::string::npos ? '\0' : lower[at + std::strlen(name)];
        if (at == std::string::npos || !(after == '>' || std::isspace(static_cast<unsigned char>(after)))) continue;
        if (const std::size_t end = lower.find('>', at); end != std::string::npos) insertAt = end + 1;
    }
    std::string start = tag(kEnginePath);
    for (std::size_t i = 0; i < startScripts; ++i) start += tag(kUserScriptPath + std::to_string(i) + ".js");
    html.insert(insertAt, start);
    for (std::size_t i = 0; i < endScripts; ++i)
        html += tag(kUserScriptPath + std::to_string(startScripts + i) + ".js");
    return html;
}

// The file below the folder that the relative path names; none for "..",
// a path that leaves the folder through a symbolic link, or no file.
std::optional<std::string> fileBelow(const std::string& folder, const std::string& relative) {
    if (folder.empty() || relative.empty() || relative.find('\0') != std::string::npos) return std::nullopt;
    for (const auto& segment : componentsSeparatedByString(relative, "/"))
        if (segment == ".." || segment == ".") return std::nullopt;
    std::error_code ec;
    const fs::path real = fs::canonical(fs::path(folder) / relative, ec);
    if (ec || !fs::is_regular_file(real, ec)) return std::nullopt;
    const std::string text = real.string();
    if (text.rfind(folder + "/", 0) != 0) return std::nullopt;
    return text;
}

// Strings the page sends back hold the frame's own path where the document
// named a custom scheme ("card-attachment:x" shows as
// "http://localhost:P/frame/<c>/_scheme/card-attachment:x"): native code
// gets them as the document had them.
void restoreSchemeURLs(json& value, const std::string& marker) {
    if (value.is_string()) {
        std::string text = value.get<std::string>();
        for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
            std::size_t from = at;
            // The origin before the path, if the URL is absolute.
            if (const std::size_t scheme = text.rfind("http://", at);
                scheme != std::string::npos && at - scheme < 64 && text.find_first_of("\"' <>()", scheme) >= at)
                from = scheme;
            text.erase(from, at + marker.size() - from);
            at = from;
        }
        value = text;
    } else if (value.is_structured()) {
        for (auto& item : value) restoreSchemeURLs(item, marker);
    }
}

std::optional<Value> valueFromJSON(json value, const std::string& marker) {
    restoreSchemeURLs(value, marker);
    const std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
    return JSONSerialization::JSONObjectWithData(dataFromString(text), JSONSerialization::ReadingFragmentsAllowed,
                                                 nullptr, kValueLimits);
}

DisplayServer::Response plain(int status, const std::string& text) {
    return {status, "text/plain; charset=utf-8", text + "\n", {}};
}

}  // namespace

struct WebFrames::Document {
    std::string capability;
    std::string documentPath;         // below the folder
    std::optional<std::string> html;  // loadHTMLString; else the file
    std::string folder;               // real path; empty: reads nothing
    std::vector<std::string> userScripts;
    std::size_t startScripts = 0;
    std::string engineScript;
    std::weak_ptr<WebView> webView;

    std::string base() const { return std::string(kPathPrefix) + capability + "/"; }
    std::string src() const { return base() + documentPath; }
};

struct WebFrames::Frame {
    std::int64_t id = 0;
    std::weak_ptr<WebView> webView;
    std::shared_ptr<const Document> document;
    bool parsed = false;
    bool loaded = false;
    // A field of the page has the focus: the accessory view shows.
    bool editing = false;
};

struct WebFrames::Evaluation {
    std::int64_t id = 0;
    const WebView* key = nullptr;
    std::weak_ptr<WebView> webView;
    std::size_t index = 0;
    std::string script;
    std::chrono::steady_clock::time_point since;
};

WebFrames::WebFrames(std::string engineScript, LogSink log)
    : engineScript_(std::move(engineScript)), log_(std::move(log)) {}

WebFrames::~WebFrames() = default;

void WebFrames::setPort(int port) {
    port_ = port;
}

Error WebFrames::timeoutError() {
    return Error("WKErrorDomain", 1,
                 Value::dictionary({{NSLocalizedDescriptionKey, "The page did not answer the script in time"}}));
}

void WebFrames::webViewStartedDocument(WebView& webView) {
    const ScriptedPage::Load& load = webView.page().loads().back();
    auto document = std::make_shared<Document>();
    document->capability = randomCapability();
    document->webView = webView.weak_from_this();
    std::error_code ec;
    auto realFolder = [&](const std::string& path) {
        const fs::path real = fs::canonical(path, ec);
        return ec ? std::string() : real.string();
    };
    if (load.html) {
        document->html = load.html;
        document->documentPath = kDocumentName;
        if (load.baseURL && load.baseURL->isFileURL()) {
            const std::string path = load.baseURL->path();
            document->folder = realFolder(load.baseURL->hasDirectoryPath() || fs::is_directory(path, ec)
                                              ? path
                                              : stringByDeletingLastPathComponent(path));
            if (!load.baseURL->hasDirectoryPath() && !fs::is_directory(path, ec))
                document->documentPath = lastPathComponent(path);
        }
    } else if (load.fileURL && load.readAccessURL) {
        const std::string access = load.readAccessURL->path();
        document->folder =
            realFolder(fs::is_directory(access, ec) ? access : stringByDeletingLastPathComponent(access));
        const std::string file = realFolder(load.fileURL->path());
        const bool inside = !document->folder.empty() && file.rfind(document->folder + "/", 0) == 0 &&
                            (fs::is_directory(access, ec) || file == realFolder(access));
        if (inside) {
            document->documentPath = file.substr(document->folder.size() + 1);
        } else {
            log_("Web frames: a page outside its read-access folder is not shown: " +
                 escapedExcerpt(load.fileURL->path(), 120));
            document->folder.clear();
            document->html = "";
            document->documentPath = kDocumentName;
        }
    }
    const auto& controller = webView.configuration().userContentController();
    std::vector<std::string> endScripts;
    for (const UserScript& script : controller->userScripts()) {
        if (script.injectionTime() == UserScriptInjectionTime::AtDocumentStart)
            document->userScripts.push_back(script.source());
        else
            endScripts.push_back(script.source());
    }
    document->startScripts = document->userScripts.size();
    document->userScripts.insert(document->userScripts.end(), endScripts.begin(), endScripts.end());
    const json config{{"handlers", controller->scriptMessageHandlerNames()},
                      {"schemes", webView.configuration().registeredURLSchemes()},
                      {"schemePrefix", document->base() + kSchemePath}};
    document->engineScript = "window.__frameEngineConfig = " + config.dump() + ";\n" + engineScript_;

    Frame& frame = frameFor(webView);
    frame.parsed = frame.loaded = false;
    setEditing(frame, webView, false);
    std::lock_guard lock(mutex_);
    if (frame.document) documents_.erase(frame.document->capability);
    frame.document = document;
    documents_[document->capability] = document;
}

WebFrames::Frame& WebFrames::frameFor(WebView& webView) {
    Frame& frame = frames_[&webView];
    // A web view made where one that is gone was is another frame.
    if (frame.id == 0 || frame.webView.lock().get() != &webView) {
        if (frame.document) {
            std::lock_guard lock(mutex_);
            documents_.erase(frame.document->capability);
        }
        frame = Frame{};
        frame.id = nextFrameId_++;
        frame.webView = webView.weak_from_this();
    }
    return frame;
}

void WebFrames::webViewEvaluated(WebView& webView, std::size_t index) {
    frameFor(webView);
    evaluations_.push_back(Evaluation{nextEvaluationId_++, &webView, webView.weak_from_this(), index,
                                      webView.page().evaluatedScripts()[index], std::chrono::steady_clock::now()});
    scheduleExpiry();
}

void WebFrames::setEvaluationTimeout(std::chrono::milliseconds timeout) {
    evaluationTimeout_ = timeout;
}

void WebFrames::scheduleExpiry() {
    if (expiryScheduled_ || evaluations_.empty()) return;
    expiryScheduled_ = true;
    const double seconds = std::min(1.0, static_cast<double>(evaluationTimeout_.count()) / 1000.0);
    DispatchQueue::main().asyncAfter(seconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->expiryScheduled_ = false;
            self->expireEvaluations();
            self->scheduleExpiry();
        }
    });
}

void WebFrames::expireEvaluations() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<Evaluation> expired;
    std::erase_if(evaluations_, [&](const Evaluation& evaluation) {
        if (evaluation.webView.expired()) return true;
        if (now - std::max(evaluation.since, engineSince_) < evaluationTimeout_) return false;
        expired.push_back(evaluation);
        return true;
    });
    for (const Evaluation& evaluation : expired)
        if (auto webView = evaluation.webView.lock())
            webView->page().answerEvaluation(evaluation.index, ScriptedPage::Outcome::failure(timeoutError()));
}

json WebFrames::state() {
    json frames = json::array();
    for (auto it = frames_.begin(); it != frames_.end();) {
        auto webView = it->second.webView.lock();
        if (!webView) {
            std::lock_guard lock(mutex_);
            if (it->second.document) documents_.erase(it->second.document->capability);
            it = frames_.erase(it);
            continue;
        }
        Frame& frame = it->second;
        ++it;
        if (!frame.document) continue;
        Rect rect;
        const std::optional<Rect> clip = visibleRect(*webView, rect);
        if (!clip) setEditing(frame, *webView, false);
        json item = rectJSON(rect);
        item["id"] = frame.id;
        item["src"] = frame.document->src();
        item["visible"] = clip.has_value();
        item["handlers"] = webView->configuration().userContentController()->scriptMessageHandlerNames();
        item["clip"] = rectJSON(clip.value_or(rect));
        frames.push_back(std::move(item));
    }
    std::erase_if(evaluations_, [](const Evaluation& evaluation) { return evaluation.webView.expired(); });
    json evaluations = json::array();
    for (const Evaluation& evaluation : evaluations_) {
        auto found = frames_.find(evaluation.key);
        if (found == frames_.end() || !found->second.document) continue;
        evaluations.push_back({{"frame", found->second.id}, {"id", evaluation.id}, {"script", evaluation.script}});
    }
    return json{{"engine", engineTab_}, {"frames", std::move(frames)}, {"evaluations", std::move(evaluations)}};
}

bool WebFrames::handle(const json& message, std::string& reason) {
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto it = message.find(key);
        if (it == message.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    const auto tab = text("tab");
    const auto kind = text("kind");
    if (!tab || tab->empty() || tab->size() > 64 || !kind) {
        reason = "a web message without its tab or kind";
        return false;
    }
    if (*kind == "hello") {
        engineTab_ = *tab;
        engineSince_ = std::chrono::steady_clock::now();
        return true;
    }
    if (*tab != engineTab_) {
        reason = "a web message from a page that does not run the frames";
        return false;
    }
    const auto frameId = message.find("frame");
    const auto doc = text("doc");
    auto found = std::find_if(frames_.begin(), frames_.end(), [&](const auto& entry) {
        return frameId != message.end() && frameId->is_number_integer() &&
               entry.second.id == frameId->get<std::int64_t>();
    });
    if (found == frames_.end() || !found->second.document || !doc || *doc != found->second.document->src()) {
        reason = "a web message for a frame or document that is gone";
        return false;
    }
    Frame& frame = found->second;
    auto webView = frame.webView.lock();
    if (!webView) {
        reason = "a web message for a web view that is gone";
        return false;
    }
    const std::string marker = frame.document->base() + kSchemePath;

    if (*kind == "message") {
        const auto name = text("name");
        const auto body = message.find("body");
        std::optional<Value> value =
            body == message.end() ? std::optional<Value>(Value()) : valueFromJSON(*body, marker);
        if (!name || !value) {
            reason = "a script message without a name or with a body over the bounds";
            return false;
        }
        if (!webView->page().postMessage(*name, *value)) {
            reason = "a script message to no registered handler (\"" + escapedExcerpt(*name, 40) + "\")";
            return false;
        }
        return true;
    }
    if (*kind == "result") {
        const auto id = message.find("id");
        auto evaluation = std::find_if(evaluations_.begin(), evaluations_.end(), [&](const Evaluation& e) {
            return id != message.end() && id->is_number_integer() && e.id == id->get<std::int64_t>() &&
                   e.key == webView.get();
        });
        if (evaluation == evaluations_.end()) {
            reason = "a result for no evaluation of that frame";
            return false;
        }
        ScriptedPage::Outcome outcome;
        if (const auto error = text("error")) {
            const auto code = message.find("code");
            outcome = ScriptedPage::Outcome::failure(
                code != message.end() && code->is_number_integer()
                    ? Error("WKErrorDomain", code->get<std::int64_t>(),
                            Value::dictionary({{NSLocalizedDescriptionKey, Value(*error)}}))
                    : ScriptedPage::javaScriptExceptionError(*error));
        } else if (const auto value = message.find("value"); value != message.end()) {
            auto converted = valueFromJSON(*value, marker);
            if (!converted) {
                reason = "a result over the bounds";
                return false;
            }
            outcome = ScriptedPage::Outcome::value(std::move(converted));
        }
        const std::size_t index = evaluation->index;
        evaluations_.erase(evaluation);
        webView->page().answerEvaluation(index, outcome);
        return true;
    }
    if (*kind == "pasteboard") {
        // What the user pasted in the frame: the page's paste handling reads it from there.
        const auto pasted = text("text");
        if (!pasted) {
            reason = "a paste without its text";
            return false;
        }
        Pasteboard::generalPasteboard().setString(*pasted);
        return true;
    }
    if (*kind == "editing") {
        const auto editing = message.find("editing");
        if (editing == message.end() || !editing->is_boolean()) {
            reason = "an editing report without its state";
            return false;
        }
        Rect rect;
        setEditing(frame, *webView, editing->get<bool>() && visibleRect(*webView, rect).has_value());
        return true;
    }
    if (*kind == "refused") {
        const auto bytes = message.find("bytes");
        const auto what = text("message");
        if (bytes == message.end() || !bytes->is_number_integer() || bytes->get<std::int64_t>() < 0 || !what) {
            reason = "a refusal without its size";
            return false;
        }
        log_("Web frames: refused a frame's message (" + escapedExcerpt(*what, 20) + ") of " +
             std::to_string(bytes->get<std::int64_t>()) + " bytes, over the bound of " +
             std::to_string(kMaxMessageBytes) + " bytes");
        return true;
    }
    if (*kind == "event") {
        const auto event = text("event");
        if (event == "DOMContentLoaded") {
            if (!std::exchange(frame.parsed, true)) webView->page().fireDOMContentLoaded();
            return true;
        }
        if (event == "load") {
            if (!std::exchange(frame.loaded, true)) webView->page().fireLoad();
            return true;
        }
        reason = "an unknown page event";
        return false;
    }
    reason = "an unknown kind of web message";
    return false;
}

void WebFrames::setEditing(Frame& frame, WebView& webView, bool editing) {
    if (frame.editing == editing) return;
    frame.editing = editing;
    if (!editing) {
        InputAccessory::hide(webView);
    } else if (auto accessory = webView.inputAccessoryView()) {
        InputAccessory::show(webView, accessory);
    }
}

std::shared_ptr<const WebFrames::Document> WebFrames::documentForCapability(const std::string& capability) const {
    std::lock_guard lock(mutex_);
    auto it = documents_.find(capability);
    return it == documents_.end() ? nullptr : it->second;
}

bool WebFrames::serve(const std::string& target, const DisplayServer::Responder& respond) {
    if (target.rfind(kPathPrefix, 0) != 0) return false;
    const std::string rest = target.substr(std::string_view(kPathPrefix).size());
    const std::size_t slash = rest.find('/');
    auto document = slash == std::string::npos ? nullptr : documentForCapability(rest.substr(0, slash));
    if (!document) {
        respond(plain(404, "Not found"));
        return true;
    }
    const std::string inside = rest.substr(slash + 1);
    if (inside.rfind(kSchemePath, 0) == 0) {
        serveScheme(document, inside.substr(std::string_view(kSchemePath).size()), respond);
        return true;
    }
    const std::vector<std::pair<std::string, std::string>> headers{
        {"Content-Security-Policy", contentSecurityPolicy(port_)}};
    auto script = [&](const std::string& text) { respond({200, "text/javascript; charset=utf-8", text, headers}); };
    const auto path = stringByRemovingPercentEncoding(inside.substr(0, inside.find('?')));
    if (!path) {
        respond(plain(404, "Not found"));
    } else if (*path == document->documentPath) {
        std::optional<std::string> html = document->html;
        if (!html)
            if (auto data = FileManager::defaultManager().contentsAtPath(document->folder + "/" + *path))
                html = stringFromData(*data);
        if (!html) {
            respond(plain(404, "Not found"));
            return true;
        }
        respond({200, "text/html; charset=utf-8",
                 injectedHTML(*html, document->base(), document->startScripts,
                              document->userScripts.size() - document->startScripts),
                 headers});
    } else if (*path == kEnginePath) {
        script(document->engineScript);
    } else if (path->rfind(kUserScriptPath, 0) == 0) {
        const std::string number = path->substr(std::string_view(kUserScriptPath).size());
        std::size_t index = document->userScripts.size();
        if (number.size() > 3 && number.size() < 10 && number.ends_with(".js"))
            index = std::strtoul(number.c_str(), nullptr, 10);
        if (index < document->userScripts.size())
            script(document->userScripts[index]);
        else
            respond(plain(404, "Not found"));
    } else if (auto file = fileBelow(document->folder, *path)) {
        auto data = FileManager::defaultManager().contentsAtPath(*file);
        const std::string type =
            preferredMIMETypeForPathExtension(pathExtension(*file)).value_or("application/octet-stream");
        if (data)
            respond({200, type, stringFromData(*data), headers});
        else
            respond(plain(404, "Not found"));
    } else {
        respond(plain(404, "Not found"));
    }
    return true;
}

void WebFrames::serveScheme(const std::shared_ptr<const Document>& document, const std::string& urlText,
                            const DisplayServer::Responder& respond) {
    RunLoop::main().perform([weak = weak_from_this(), document, urlText, respond] {
        auto self = weak.lock();
        auto webView = document->webView.lock();
        auto url = URL::URLWithString(urlText);
        const std::string scheme = url ? lowercaseString(url->scheme().value_or("")) : "";
        auto registered = webView ? webView->configuration().registeredURLSchemes() : std::vector<std::string>();
        if (!self || !webView || std::find(registered.begin(), registered.end(), scheme) == registered.end()) {
            respond(plain(404, "Not found"));
            return;
        }
        auto task = webView->page().startURLSchemeTask(*url);
        if (!task) {
            respond(plain(404, "Not found"));
            return;
        }
        auto answered = std::make_shared<std::atomic<bool>>(false);
        const std::vector<std::pair<std::string, std::string>> headers{
            {"Content-Security-Policy", contentSecurityPolicy(self->port_)}};
        // A handler that never ends its task is stopped, as a page gives up a load.
        auto giveUp = Timer::scheduledTimer(static_cast<double>(kSchemeTaskTimeout.count()), false,
                                            [weakView = document->webView, task, answered, respond](Timer&) {
                                                if (answered->exchange(true)) return;
                                                task->setEndHandler(nullptr);
                                                if (auto view = weakView.lock()) view->page().stopURLSchemeTask(task);
                                                respond(plain(504, "The scheme's handler did not answer"));
                                            });
        task->setEndHandler([weakTask = std::weak_ptr<URLSchemeTask>(task), answered, respond, headers, giveUp] {
            RunLoop::main().perform([giveUp] { giveUp->invalidate(); });
            auto ended = weakTask.lock();
            if (!ended || answered->exchange(true)) return;
            auto response = ended->response();
            if (!ended->isFinished() || !response) {
                respond(plain(404, "Not found"));
                return;
            }
            const std::string type = response->mimeType.empty() ? "application/octet-stream" : response->mimeType;
            respond({200, type, stringFromData(ended->receivedData()), headers});
        });
    });
}
