#include "platform/display/BrowserDisplay.h"

#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/display/DisplayFrame.h"
#include "platform/display/DisplayInput.h"
#include "platform/display/DisplayScreen.h"
#include "platform/display/WebFrames.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Image.h"
#include "platform/ui/Layer.h"
#include "platform/ui/MainLoopDelay.h"
#include "platform/ui/Screen.h"

namespace {

constexpr auto kFrameInterval = std::chrono::microseconds(1000000 / 60);

}  // namespace

struct BrowserDisplay::State : std::enable_shared_from_this<State> {
    DisplayServer server;
    DisplayInput input;
    std::shared_ptr<WebFrames> frames;
    double scale = 2;
    DisplayServer::LogSink log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    std::atomic<std::size_t> pendingMessages{0};
    std::atomic<bool> droppingMessages{false};

    bool dirty = true;
    std::chrono::steady_clock::time_point lastFrame{};
    // When the screen was last drawn, whether or not it had changed: while
    // only an animation runs, it is drawn once a frame interval, not once a pass.
    std::chrono::steady_clock::time_point lastDrawn{};
    // Input handed to the main queue and not yet handled: the pass that
    // handles it follows at once, and draws what it changes.
    std::size_t inputWaiting = 0;
    // Since when a frame has waited for such input (none: not waiting).
    std::optional<std::chrono::steady_clock::time_point> waitingForInputSince;
    // The picture and header of the last frame sent, to send only what changed.
    std::shared_ptr<Image> lastImage;
    std::string lastHeader;
    // The last picture with the copies of a frame applied, kept between
    // frames (a picture's worth of memory, not asked for anew each time).
    std::vector<unsigned char> moved;
    std::size_t framesSent = 0;
    // Whether the last frame sent said the screen was moving on its own.
    bool lastSentAnimating = false;

    // Server thread: hands the message to the main thread, within a bound.
    void received(std::string message) {
        if (pendingMessages.load() >= kMaxPendingMessages) {
            if (!droppingMessages.exchange(true))
                log("Display: input comes faster than the app takes it; dropped what came over " +
                    std::to_string(kMaxPendingMessages) + " waiting messages");
            return;
        }
        ++pendingMessages;
        RunLoop::main().perform([weak = weak_from_this(), message = std::move(message)] {
            if (auto self = weak.lock()) self->handle(message);
        });
    }

    void handle(const std::string& text) {
        --pendingMessages;
        droppingMessages = false;
        dirty = true;
        auto message = nlohmann::json::parse(text, nullptr, false);
        std::string reason = "not JSON";
        if (!message.is_discarded() && message.is_object() && message.value("type", "") == "web" && frames) {
            if (frames->handle(message, reason)) return;
        } else if (!message.is_discarded()) {
            // A frame's script messages reach their handlers through the main
            // queue; input takes the same way so that a tap meets what a page
            // said before it (a choice marked, then Check tapped).
            ++inputWaiting;
            DispatchQueue::main().async([weak = weak_from_this(), message = std::move(message), text] {
                auto self = weak.lock();
                if (!self) return;
                --self->inputWaiting;
                self->dirty = true;
                std::string why;
                if (!self->input.handle(message, why))
                    self->log("Display: ignored a message (" + why + "): " + escapedExcerpt(text, 120));
            });
            return;
        }
        log("Display: ignored a message (" + reason + "): " + escapedExcerpt(text, 120));
    }

    std::chrono::steady_clock::time_point nextDrawing() const;

    using Pixels = DisplayFrame::Pixels;

    // Whether the screen changes without input: an animation, a transition
    // or an animation's completion is under way.
    static bool screenMoves() {
        const double now = currentMediaTime();
        return now < Layer::animatingUntil() || mainLoopDelaysPending();
    }

    static DisplayFrame::Pixels pixelsOf(const Image& image) {
        cairo_surface_t* surface = image.surface();
        return {cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
                cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface)};
    }

    // The frame that stands alone: the whole picture. Reads only the image
    // and header given, which nothing changes once drawn.
    static std::string wholeFrame(const Image& image, const std::string& header) {
        const DisplayFrame::Pixels pixels = pixelsOf(image);
        const DisplayFrame::PixelRect all{0, 0, pixels.width, pixels.height};
        return DisplayFrame::message(header, true, DisplayFrame::pngBands(pixels, all));
    }

    // Only the rectangles that changed since the last frame, when they are
    // under half the screen and the size is the same; else the whole picture.
    // False when nothing changed: the next pass may send at once.
    bool sendFrameIfChanged() {
        std::shared_ptr<Image> image = DisplayScreen::render(scale);
        cairo_surface_flush(image->surface());
        const DisplayFrame::Pixels pixels = pixelsOf(*image);
        const Size size = Screen::main().bounds().size;
        nlohmann::json headerJSON{{"width", size.width},
                                  {"height", size.height},
                                  {"scale", scale},
                                  {"elements", DisplayScreen::accessibleElements()},
                                  {"animating", screenMoves()}};
        if (auto faults = DisplayScreen::layoutFaultsWhenChecked()) headerJSON["layoutFaults"] = std::move(*faults);
        if (frames) headerJSON["webFrames"] = frames->state();
        std::string header = headerJSON.dump();
        const bool sameSize = lastImage && pixelsOf(*lastImage).width == pixels.width &&
                              pixelsOf(*lastImage).height == pixels.height &&
                              pixelsOf(*lastImage).stride == pixels.stride;
        std::vector<DisplayFrame::PixelRect> changed;
        if (sameSize) changed = DisplayFrame::changedRects(pixelsOf(*lastImage), pixels);
        if (sameSize && changed.empty() && header == lastHeader) return false;
        auto areaOf = [](const std::vector<DisplayFrame::PixelRect>& rects) {
            std::int64_t area = 0;
            for (const auto& rect : rects) area += rect.area();
            return area;
        };
        std::int64_t changedArea = areaOf(changed);
        // Content that moved goes as copies of what the page has, and only
        // what they leave different as pictures; when that is much less.
        std::vector<DisplayFrame::Copy> copies;
        if (sameSize) copies = DisplayFrame::findCopies(pixelsOf(*lastImage), pixels, changed);
        if (!copies.empty()) {
            const Pixels before = pixelsOf(*lastImage);
            moved.assign(before.data,
                         before.data + static_cast<std::size_t>(before.stride) * static_cast<std::size_t>(before.height));
            DisplayFrame::applyCopies(moved.data(), before.stride, copies);
            auto left = DisplayFrame::changedRects({moved.data(), before.width, before.height, before.stride}, pixels);
            if (const std::int64_t leftArea = areaOf(left); leftArea * 2 < changedArea) {
                changed = std::move(left);
                changedArea = leftArea;
            } else {
                copies.clear();
            }
        }
        const bool whole = !sameSize || changedArea * 2 > std::int64_t{pixels.width} * pixels.height;
        if (whole) copies.clear();

        std::string frame;
        std::function<std::string()> makeWhole;
        if (whole) {
            frame = wholeFrame(*image, header);
        } else {
            std::vector<DisplayFrame::Part> parts;
            for (const auto& rect : changed)
                for (auto& part : DisplayFrame::pngBands(pixels, rect)) parts.push_back(std::move(part));
            frame = DisplayFrame::message(header, false, parts, copies);
            makeWhole = [image, header] { return wholeFrame(*image, header); };
        }
        if (frame.size() > kMaxFrameBytes) {
            log("Display: a frame of " + std::to_string(frame.size()) + " bytes is over the bound; not sent");
            // The next frame stands alone: no page has this one to update.
            lastImage.reset();
            return true;
        }
        lastImage = std::move(image);
        lastHeader = std::move(header);
        lastSentAnimating = headerJSON["animating"].get<bool>();
        server.publishFrame(std::move(frame), std::move(makeWhole));
        ++framesSent;
        return true;
    }
};

BrowserDisplay::BrowserDisplay() : state_(std::make_shared<State>()) {}

BrowserDisplay::~BrowserDisplay() {
    if (state_->frames && PageEngine::current() == state_->frames) PageEngine::setCurrent(nullptr);
    state_->server.stop();
}

bool BrowserDisplay::start(const Options& options, Error* error) {
    state_->scale = options.scale;
    DisplayServer::Options serverOptions;
    serverOptions.port = options.port;
    serverOptions.pageDirectory = options.pageDirectory.empty()
                                      ? stringByAppendingPathComponent(Bundle::main().resourcePath(), "display")
                                      : options.pageDirectory;
    // Web frames' messages carry card HTML, images inline included.
    serverOptions.maxMessageBytes = WebFrames::kSocketMessageBytes;
    std::weak_ptr<State> weak = state_;
    state_->server.setMessageHandler([weak](std::string message) {
        if (auto state = weak.lock()) state->received(std::move(message));
    });
    // A new page draws the newest frame; one is made if none was yet.
    state_->server.setConnectHandler([weak] {
        RunLoop::main().perform([weak] {
            if (auto state = weak.lock()) state->dirty = true;
        });
    });
    // Web views' pages run in frames of the page.
    auto engine = FileManager::defaultManager().contentsAtPath(
        stringByAppendingPathComponent(serverOptions.pageDirectory, "frame-engine.js"));
    state_->frames =
        std::make_shared<WebFrames>(engine ? stringFromData(*engine) : std::string(), [weak](const std::string& line) {
            if (auto state = weak.lock()) state->log(line);
        });
    state_->server.setRequestHandler([frames = std::weak_ptr<WebFrames>(state_->frames)](
                                         const std::string& target, const DisplayServer::Responder& respond) {
        auto engine = frames.lock();
        return engine && engine->serve(target, respond);
    });
    if (!state_->server.start(serverOptions, error)) return false;
    state_->frames->setPort(state_->server.port());
    PageEngine::setCurrent(state_->frames);
    return true;
}

DisplayServer& BrowserDisplay::server() {
    return state_->server;
}

void BrowserDisplay::setLogSink(DisplayServer::LogSink sink) {
    state_->log = sink;
    state_->server.setLogSink(std::move(sink));
}

// When the next drawing is due: a frame interval after the last frame; while
// only an animation runs, also a frame interval after the last drawing.
std::chrono::steady_clock::time_point BrowserDisplay::State::nextDrawing() const {
    const auto afterFrame = lastFrame + kFrameInterval;
    return dirty ? afterFrame : std::max(afterFrame, lastDrawn + kFrameInterval);
}

void BrowserDisplay::passEnded(bool handledSomething) {
    State& state = *state_;
    // Animations play: frames follow them until the last one ends, and one
    // more tells the page that the screen is still.
    state.dirty = state.dirty || handledSomething || state.lastSentAnimating;
    const bool animating = State::screenMoves();
    const auto now = std::chrono::steady_clock::now();
    if ((!state.dirty && !animating) || now < state.nextDrawing()) return;
    // Input that the next pass handles is drawn with what it changes, not
    // first without it; for a frame interval at most, so that a stream of
    // input does not hold the screen back.
    if (state.inputWaiting > 0) {
        if (!state.waitingForInputSince) state.waitingForInputSince = now;
        if (now - *state.waitingForInputSince < kFrameInterval) return;
    }
    state.waitingForInputSince.reset();
    state.dirty = false;
    state.lastDrawn = now;
    // A pass that changed nothing on screen does not hold the next frame
    // back by a frame's interval.
    if (state.sendFrameIfChanged()) state.lastFrame = now;
}

std::chrono::milliseconds BrowserDisplay::maximumWait(std::chrono::milliseconds wait) const {
    if (!state_->dirty && !State::screenMoves() && !state_->lastSentAnimating) return wait;
    const auto due = state_->nextDrawing() - std::chrono::steady_clock::now();
    return std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(due) + std::chrono::milliseconds(1),
                      std::chrono::milliseconds(1), wait);
}

std::size_t BrowserDisplay::framesSent() const {
    return state_->framesSent;
}
