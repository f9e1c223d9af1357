// Tap-to-frame latency of the browser display: a pointer up sent by a page
// over a real WebSocket connection until that page has received the first
// frame that shows the tap's effect and drawn it as the page does (an
// update's copies applied, each part's PNG decoded with cairo's PNG reader
// and put in its rectangle of the page's picture).
//
//   BM_TapToFrame/library    the deck library with 2,000 decks, launched from
//                            the app's storyboard; the tap is on "Edit", then
//                            on "Done", and so on (every row in view and the
//                            bar change).
//   BM_TapToFrame/card_list  the card list of a 50,000-card deck (topics of
//                            100 cards), in editing; the tap is on the first
//                            row, selecting and deselecting it (the row, the
//                            title and the toolbar change).
//
// The library's tap is answered by the frame that shows the other title; the
// card list's by the first frame whose elements differ from those shown
// before the tap.
//
// The main thread runs the program's own run loop as the program does (a pass
// waits for input at most as long as the display allows, then the display is
// told whether it handled anything and sends a frame when one is due); the
// page's connection (a Boost.Beast client) reads, decodes and writes on a
// thread of its own and time-stamps what it receives there. Before each tap
// the pointer goes down and the screen is left to settle; after it, the
// screen settles again, then a ping goes over the same connection.
//
// Reported per tap: "tap_p50_ms", "tap_p95_ms"; the frame's size
// ("frame_bytes", median) beside the whole picture's ("whole_frame_bytes", the
// first frame of a page that connects before the taps) and the taps answered
// by a whole frame ("whole_frames"). The floor, in the same run over the same connection: the
// round trip of an empty message the server answers at once (a ping and its
// pong), "floor_p50_ms" and "floor_p95_ms", with "p50_over_floor" and
// "p95_over_floor". A floor that is not faster than the tap stops the
// benchmark with an error.

#include <benchmark/benchmark.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

#include "BenchDeck.h"
#include "BenchDeckFolder.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "model/TWLogger.h"
#include "platform/display/BrowserDisplay.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"
#include "tests/platform/display/DisplayPage.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace fs = std::filesystem;
using tcp = asio::ip::tcp;
using SteadyClock = std::chrono::steady_clock;
using nlohmann::json;

// What the page's connection received, stamped on its thread once handled.
struct Received {
    SteadyClock::time_point at;
    std::size_t bytes = 0;
    bool frame = false;  // else a pong
    bool full = false;
    json elements;        // a frame's
    std::string failure;  // a frame the page could not draw
};

// A page's live connection, on a thread of its own.
class PageClient {
public:
    PageClient(int port, const std::string& token) {
        memorant_test::connectAsPage(ws_, port, token);
        beast::get_lowest_layer(ws_).socket().set_option(tcp::no_delay(true));
        ws_.read_message_max(BrowserDisplay::kMaxFrameBytes);
        ws_.text(true);
        read();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~PageClient() {
        io_.stop();
        thread_.join();
    }
    PageClient(const PageClient&) = delete;
    PageClient& operator=(const PageClient&) = delete;

    // Sends a text message; the time it was handed over.
    SteadyClock::time_point send(std::string text) {
        const auto now = SteadyClock::now();
        asio::post(io_, [this, text = std::move(text)]() mutable {
            outbox_.push_back(std::move(text));
            if (outbox_.size() == 1) write();
        });
        return now;
    }

    std::vector<Received> take() {
        std::lock_guard lock(mutex_);
        std::vector<Received> all(received_.begin(), received_.end());
        received_.clear();
        return all;
    }

private:
    void write() {
        ws_.async_write(asio::buffer(outbox_.front()), [this](beast::error_code ec, std::size_t) {
            outbox_.pop_front();
            if (!ec && !outbox_.empty()) write();
        });
    }

    void read() {
        ws_.async_read(buffer_, [this](beast::error_code ec, std::size_t bytes) {
            if (ec) return;
            Received event;
            event.bytes = bytes;
            event.frame = ws_.got_binary();
            if (event.frame) {
                const std::string message = beast::buffers_to_string(buffer_.data());
                if (picture_.apply(message, &event.failure)) {
                    event.full = picture_.header()["full"];
                    event.elements = picture_.header()["elements"];
                }
            }
            event.at = SteadyClock::now();
            buffer_.consume(buffer_.size());
            {
                std::lock_guard lock(mutex_);
                received_.push_back(std::move(event));
            }
            read();
        });
    }

    asio::io_context io_;
    websocket::stream<beast::tcp_stream> ws_{io_};
    beast::flat_buffer buffer_;
    memorant_test::FramePicture picture_;
    std::deque<std::string> outbox_;
    std::thread thread_;
    std::mutex mutex_;
    std::deque<Received> received_;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

// The display on the app's windows, a page connected to it, and the main loop
// run as the program runs it.
class Bench {
public:
    explicit Bench(benchmark::State& state) : state_(state) {
        BrowserDisplay::Options options;
        options.pageDirectory = stringByAppendingPathComponent(Bundle::main().resourcePath(), "display");
        if (!display_.start(options)) {
            state.SkipWithError("the display does not start");
            return;
        }
        client_ = std::make_unique<PageClient>(display_.server().port(), display_.server().token());
    }

    // One pass of the main loop, as the program makes it.
    void pass() {
        const bool handled = RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(),
                                                     display_.maximumWait(std::chrono::milliseconds(50)));
        display_.passEnded(handled);
        for (auto& event : client_->take()) {
            if (!event.failure.empty())
                state_.SkipWithError(("the page cannot draw a frame: " + event.failure).c_str());
            if (event.frame) {
                elements_ = event.elements;
            }
            events_.push_back(std::move(event));
        }
    }

    // Runs the main loop until what the page received after `since` holds one
    // that `matches`; false after 10 s.
    template <typename Matches>
    std::optional<Received> runUntilReceived(SteadyClock::time_point since, Matches matches) {
        const auto limit = SteadyClock::now() + std::chrono::seconds(10);
        while (SteadyClock::now() < limit) {
            for (const auto& event : events_)
                if (event.at >= since && matches(event)) return event;
            pass();
        }
        return std::nullopt;
    }

    // Runs the main loop until no frame came for a while (animations done).
    void settle() {
        constexpr auto kQuiet = std::chrono::milliseconds(150);
        const auto limit = SteadyClock::now() + std::chrono::seconds(10);
        auto last = SteadyClock::now();
        while (SteadyClock::now() - last < kQuiet && SteadyClock::now() < limit) {
            pass();
            for (const auto& event : events_)
                if (event.frame) last = std::max(last, event.at);
            events_.clear();
        }
    }

    // The size of the whole picture of the screen as it stands: the first
    // frame of a page that connects now.
    void measureWholeFrame() {
        PageClient fresh(display_.server().port(), display_.server().token());
        const auto limit = SteadyClock::now() + std::chrono::seconds(10);
        while (SteadyClock::now() < limit) {
            pass();
            for (const auto& event : fresh.take())
                if (event.frame) {
                    wholeFrameBytes_ = event.bytes;
                    return;
                }
        }
    }

    // The middle of the element of that role and name in the page's last frame.
    std::optional<std::pair<double, double>> find(const std::string& role, const std::string& name) const {
        for (const auto& element : elements_)
            if (element["role"] == role && (name.empty() || element["name"] == name))
                return std::pair{element["x"].get<double>() + element["width"].get<double>() / 2,
                                 element["y"].get<double>() + element["height"].get<double>() / 2};
        return std::nullopt;
    }

    // A tap at the point, timed from the pointer up sent to the first frame
    // drawn that shows its effect (a step of the benchmark when `timed`): one
    // whose elements `shows`, by default one whose elements differ from those
    // shown when the pointer went up.
    template <typename Shows>
    void tap(std::pair<double, double> at, bool timed, Shows shows) {
        auto pointer = [&](const char* phase) {
            // As the page stamps its events: milliseconds since it loaded.
            const double t = std::chrono::duration<double, std::milli>(SteadyClock::now() - started_).count();
            return client_->send(
                json{{"type", "pointer"}, {"phase", phase}, {"x", at.first}, {"y", at.second}, {"t", t}}.dump());
        };
        pointer("down");
        settle();
        const json before = elements_;
        const auto sent = pointer("up");
        auto frame = runUntilReceived(sent, [&](const Received& event) {
            return event.frame && event.failure.empty() && shows(before, event.elements);
        });
        if (!frame) {
            state_.SkipWithError("no frame came after a tap");
            return;
        }
        settle();
        if (!timed) return;
        const double seconds = std::chrono::duration<double>(frame->at - sent).count();
        state_.SetIterationTime(seconds);
        taps_.push_back(seconds);
        frameBytes_.push_back(static_cast<double>(frame->bytes));
        wholeFrames_ += frame->full;

        const auto pinged = client_->send(json{{"type", "ping"}, {"id", ++pings_}}.dump());
        auto pong = runUntilReceived(pinged, [](const Received& event) { return !event.frame; });
        if (!pong) {
            state_.SkipWithError("no pong came");
            return;
        }
        floor_.push_back(std::chrono::duration<double>(pong->at - pinged).count());
    }
    void tap(std::pair<double, double> at, bool timed = true) {
        tap(at, timed, [](const json& before, const json& after) { return before != after; });
    }

    void report() {
        const double tap50 = percentile(taps_, 0.5), tap95 = percentile(taps_, 0.95);
        const double floor50 = percentile(floor_, 0.5), floor95 = percentile(floor_, 0.95);
        state_.counters["tap_p50_ms"] = tap50 * 1e3;
        state_.counters["tap_p95_ms"] = tap95 * 1e3;
        state_.counters["floor_p50_ms"] = floor50 * 1e3;
        state_.counters["floor_p95_ms"] = floor95 * 1e3;
        state_.counters["frame_bytes"] = percentile(frameBytes_, 0.5);
        state_.counters["whole_frame_bytes"] = static_cast<double>(wholeFrameBytes_);
        state_.counters["whole_frames"] = wholeFrames_;
        if (floor50 > 0) {
            state_.counters["p50_over_floor"] = tap50 / floor50;
            state_.counters["p95_over_floor"] = tap95 / floor95;
        }
        if (!(floor50 < tap50)) state_.SkipWithError("the floor is not faster than the tap it divides");
    }

    BrowserDisplay& display() { return display_; }

private:
    benchmark::State& state_;
    const SteadyClock::time_point started_ = SteadyClock::now();
    BrowserDisplay display_;
    std::unique_ptr<PageClient> client_;
    std::vector<Received> events_;
    json elements_ = json::array();
    std::size_t wholeFrameBytes_ = 0;
    std::vector<double> taps_, floor_, frameBytes_;
    double wholeFrames_ = 0;
    int pings_ = 0;
};

// The window of a screen, phone-sized, shown until the object goes.
struct ShownWindow {
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    explicit ShownWindow(std::shared_ptr<ViewController> root) {
        window->setRootViewController(std::make_shared<NavigationController>(std::move(root)));
        window->makeKeyAndVisible();
    }
    ~ShownWindow() { window->setHidden(true); }
};

constexpr std::size_t kDecks = 2000;

void BM_TapToFrameLibrary(benchmark::State& state) {
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
    static BenchDeckFolder folder("display_bench", kDecks,
                                  [deck = makeBenchDeck(20, true)](std::size_t) { return deck; });
    if (folder.decks.size() != kDecks) state.SkipWithError("writing the decks failed");
    auto library = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                       ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
    ShownWindow shown(library);
    Bench bench(state);
    if (!bench.runUntilReceived(SteadyClock::time_point{}, [&](const Received&) {
            return library->tableView()->numberOfRowsInSection(0) == kDecks;
        }))
        state.SkipWithError("the library did not list the decks");
    bench.settle();
    bench.measureWholeFrame();
    bool editing = false;
    for (auto _ : state) {
        auto button = bench.find("button", editing ? "Done" : "Edit");
        if (!button) {
            state.SkipWithError("no Edit or Done button");
            break;
        }
        // The frame that shows the other title.
        bench.tap(*button, true, [&](const json&, const json& elements) {
            for (const auto& element : elements)
                if (element["role"] == "button" && element["name"] == (editing ? "Edit" : "Done")) return true;
            return false;
        });
        editing = !editing;
    }
    bench.report();
}
BENCHMARK(BM_TapToFrameLibrary)
    ->Name("BM_TapToFrame/library")
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

void BM_TapToFrameCardList(benchmark::State& state) {
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
    const fs::path dir = fs::temp_directory_path() / ("display_bench." + UUID().UUIDString());
    fs::create_directories(dir);
    {
        auto document =
            FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath((dir / "Big.flashcards").string()));
        document->setDeck(makeBenchDeck(50000, true));
        auto list = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                        ->instantiate<CardListTableViewController>(CardListTableViewController::kSceneIdentifier);
        list->setDocument(document);
        list->setPresentationMode(CardListTableViewController::PresentationMode::topLevelCards(document));
        ShownWindow shown(list);
        Bench bench(state);
        bench.settle();
        if (auto edit = bench.find("button", "Edit"))
            bench.tap(*edit, false);
        else
            state.SkipWithError("no Edit button");
        if (!list->tableView()->isEditing()) state.SkipWithError("the list is not in editing");
        bench.measureWholeFrame();
        for (auto _ : state) {
            auto row = bench.find("row", "");
            if (!row) {
                state.SkipWithError("no row");
                break;
            }
            bench.tap(*row);
        }
        bench.report();
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_TapToFrameCardList)
    ->Name("BM_TapToFrame/card_list")
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

}  // namespace
