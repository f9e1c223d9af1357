// The browser display's frames as a page receives them over a real loopback
// connection: only what changed, and a page that applies them, whenever it
// joined, shows the screen as the platform draws it.
#include <gtest/gtest.h>

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <fstream>
#include <functional>

#include "DisplayPage.h"
#include "platform/display/BrowserDisplay.h"
#include "platform/display/DisplayFrame.h"
#include "platform/display/DisplayScreen.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using memorant_test::FramePicture;

constexpr double kScale = 2;

class DisplayFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(page.file("index.html")) << "<!DOCTYPE html>";
        window = std::make_shared<Window>();
        window->setBackgroundColor(Color::whiteColor());
        window->makeKeyAndVisible();
        for (int i = 0; i < 3; ++i) {
            auto label = std::make_shared<Label>(Rect(16, 200 + 60 * i, 300, 30));
            label->setText("Row " + std::to_string(i));
            window->addSubview(label);
            rows.push_back(label);
        }
        button = std::make_shared<Button>(Rect(20, 100, 120, 44));
        button->setTitle("Study", ControlStateNormal);
        window->addSubview(button);
        ASSERT_TRUE(display.start(BrowserDisplay::Options{0, kScale, page.str()}));
    }
    void TearDown() override { window->setHidden(true); }

    std::unique_ptr<websocket::stream<beast::tcp_stream>> connect() {
        auto ws = std::make_unique<websocket::stream<beast::tcp_stream>>(io);
        memorant_test::connectAsPage(*ws, display.server().port(), display.server().token());
        return ws;
    }

    // Runs passes of the main loop until the display has sent one more frame.
    void sendFrame() {
        const std::size_t sent = display.framesSent();
        ASSERT_TRUE(memorant_test::runMainLoopUntil([&] {
            display.passEnded(true);
            return display.framesSent() > sent;
        }));
    }

    static std::string read(websocket::stream<beast::tcp_stream>& ws) {
        beast::flat_buffer buffer;
        ws.read(buffer);
        return beast::buffers_to_string(buffer.data());
    }

    // Whether the picture is the screen as drawn now.
    static bool showsTheScreen(const FramePicture& picture) {
        auto screen = DisplayScreen::render(kScale);
        return picture.equals(screen->surface());
    }

    memorant_test::TempDir page;
    std::shared_ptr<Window> window;
    std::vector<std::shared_ptr<Label>> rows;
    std::shared_ptr<Button> button;
    BrowserDisplay display;
    asio::io_context io;
};

TEST_F(DisplayFrameTest, AChangeSendsOnlyItsRectanglesAndThePagesPictureIsTheScreen) {
    auto ws = connect();
    sendFrame();
    FramePicture picture;
    const std::string first = read(*ws);
    std::string reason;
    ASSERT_TRUE(picture.apply(first, &reason)) << reason;
    EXPECT_TRUE(picture.header()["full"]);
    EXPECT_TRUE(showsTheScreen(picture));

    // Each change, and the views whose rectangles its frame may touch (none: the whole picture), give or
    // take the point a glyph's ink may stray over its label's edge.
    struct Case {
        const char* what;
        std::function<void()> change;
        std::vector<Rect> within;
    };
    const Case cases[] = {
        {"a row's text", [&] { rows[1]->setText("Row one, renamed"); }, {rows[1]->frame()}},
        {"a button's colour", [&] { button->setBackgroundColor(Color(0.9, 0.2, 0.1)); }, {button->frame()}},
        {"two rows apart",
         [&] {
             rows[0]->setText("First");
             rows[2]->setText("Third");
         },
         {rows[0]->frame(), rows[2]->frame()}},
        {"the whole window, see-through", [&] { window->setBackgroundColor(Color(0.2, 0.3, 0.4, 0.5)); }, {}},
        {"back after the whole", [&] { rows[1]->setText("Row 1"); }, {rows[1]->frame()}},
    };
    for (const auto& c : cases) {
        c.change();
        sendFrame();
        const std::string frame = read(*ws);
        ASSERT_TRUE(picture.apply(frame, &reason)) << c.what << ": " << reason;
        EXPECT_TRUE(showsTheScreen(picture)) << c.what;
        const auto& header = picture.header();
        EXPECT_EQ(c.within.empty(), header["full"].get<bool>()) << c.what;
        EXPECT_NE(std::string::npos, header["elements"].dump().find("\"name\":\"Row ")) << c.what;
        if (c.within.empty()) continue;
        EXPECT_EQ(c.within.size(), header["parts"].size()) << c.what;
        for (const auto& part : header["parts"]) {
            const Rect rect(part["x"].get<double>() / kScale, part["y"].get<double>() / kScale,
                            part["width"].get<double>() / kScale, part["height"].get<double>() / kScale);
            bool inside = false;
            for (const auto& view : c.within) {
                const Rect allowed = view.insetBy(-1, -1);
                inside = inside || (rect.minX() >= allowed.minX() && rect.maxX() <= allowed.maxX() &&
                                    rect.minY() >= allowed.minY() && rect.maxY() <= allowed.maxY());
            }
            EXPECT_TRUE(inside) << c.what << ": " << part.dump();
        }
        EXPECT_LT(frame.size() * 4, first.size()) << c.what;
    }
}

TEST_F(DisplayFrameTest, ContentThatMovesGoesAsACopyOfWhatThePageHas) {
    // A list of rows, as a table shows them, on a screen that other views share.
    auto list = std::make_shared<View>(Rect(0, 380, 390, 420));
    list->setBackgroundColor(Color::whiteColor());
    for (int i = 0; i < 14; ++i) {
        auto label = std::make_shared<Label>(Rect(16, 30 * i, 340, 26));
        label->setText("Deck " + std::to_string(i) + ", 20 cards, studied today");
        list->addSubview(label);
    }
    auto content = list->subviews();
    window->addSubview(list);
    auto ws = connect();
    sendFrame();
    FramePicture picture;
    const std::string first = read(*ws);
    std::string reason;
    ASSERT_TRUE(picture.apply(first, &reason)) << reason;

    struct Case {
        const char* what;
        double dx, dy;
    };
    const Case cases[] = {
        {"scrolled up", 0, -45},
        {"scrolled down", 0, 30},
        {"shifted sideways, as rows make room for their editing controls", 38, 0},
        {"shifted back", -38, 0},
    };
    for (const auto& c : cases) {
        for (const auto& row : content) row->setFrame(row->frame().offsetBy(c.dx, c.dy));
        sendFrame();
        const std::string frame = read(*ws);
        ASSERT_TRUE(picture.apply(frame, &reason)) << c.what << ": " << reason;
        EXPECT_TRUE(showsTheScreen(picture)) << c.what;
        EXPECT_FALSE(picture.header()["full"]) << c.what;
        EXPECT_FALSE(picture.header().value("copies", nlohmann::json::array()).empty()) << c.what;
        // Far less than the pictures of the rows that moved.
        EXPECT_LT(frame.size() * 4, first.size()) << c.what;
    }
}

TEST_F(DisplayFrameTest, ANewConnectionGetsTheWholeScreenAfterUpdates) {
    auto early = connect();
    sendFrame();
    FramePicture earlyPicture;
    ASSERT_TRUE(earlyPicture.apply(read(*early)));
    rows[0]->setText("Changed");
    sendFrame();
    ASSERT_TRUE(earlyPicture.apply(read(*early)));
    ASSERT_FALSE(earlyPicture.header()["full"]);

    // A reload or a second tab: its first frame stands alone and is the screen now.
    auto late = connect();
    FramePicture latePicture;
    std::string reason;
    ASSERT_TRUE(latePicture.apply(read(*late), &reason)) << reason;
    EXPECT_TRUE(latePicture.header()["full"]);
    EXPECT_TRUE(showsTheScreen(latePicture));

    // Both keep up with the next change as an update.
    rows[2]->setText("Changed too");
    sendFrame();
    for (auto* ws : {early.get(), late.get()}) {
        FramePicture& picture = ws == early.get() ? earlyPicture : latePicture;
        ASSERT_TRUE(picture.apply(read(*ws), &reason)) << reason;
        EXPECT_FALSE(picture.header()["full"]);
        EXPECT_TRUE(showsTheScreen(picture));
    }
}

// A page can tell a screen at rest from one in the middle of a push, however
// long a frame takes to come: frames say while the screen moves on its own,
// and without any input one more comes when it has come to rest.
TEST_F(DisplayFrameTest, FramesSayWhileTheScreenMovesAndOneMoreComesWhenItRests) {
    auto first = std::make_shared<ViewController>();
    auto navigation = std::make_shared<NavigationController>(first);
    window->setRootViewController(navigation);
    auto ws = connect();
    sendFrame();
    FramePicture picture;
    std::string reason;
    ASSERT_TRUE(picture.apply(read(*ws), &reason)) << reason;
    EXPECT_FALSE(picture.header()["animating"]);

    navigation->pushViewController(std::make_shared<ViewController>(), true);
    bool resting = false;
    for (int frames = 0; !resting; ++frames) {
        ASSERT_LT(frames, 200) << "the push never comes to rest";
        const std::size_t sent = display.framesSent();
        ASSERT_TRUE(memorant_test::runMainLoopUntil([&] {
            display.passEnded(false);
            return display.framesSent() > sent;
        }));
        ASSERT_TRUE(picture.apply(read(*ws), &reason)) << reason;
        resting = !picture.header()["animating"].get<bool>();
        // The first screen leaves the view tree when the push ends, not before.
        EXPECT_EQ(resting, first->view()->superview() == nullptr) << "frame " << frames;
    }
    EXPECT_TRUE(showsTheScreen(picture));
}

TEST(DisplayFrame, ChangedRectsHoldEveryDifferentPixelInOneRectanglePerBandOfRows) {
    constexpr int kWidth = 40, kHeight = 60;
    std::vector<std::uint32_t> before(kWidth * kHeight, 0xffffffff);
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> changed;  // (x, y)
        std::vector<DisplayFrame::PixelRect> rects;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"one pixel", {{5, 7}}, {{5, 7, 1, 1}}},
        {"the first and the last pixel", {{0, 0}, {kWidth - 1, kHeight - 1}}, {{0, 0, 1, 1}, {39, 59, 1, 1}}},
        {"close rows share a band", {{3, 10}, {30, 10 + DisplayFrame::kRowGap}}, {{3, 10, 28, 9}}},
        {"rows further apart do not",
         {{3, 10}, {30, 11 + DisplayFrame::kRowGap}},
         {{3, 10, 1, 1}, {30, 11 + DisplayFrame::kRowGap, 1, 1}}},
    };
    for (const auto& c : cases) {
        auto after = before;
        for (const auto& [x, y] : c.changed) after[static_cast<std::size_t>(y * kWidth + x)] = 0xff000000;
        auto pixels = [](const std::vector<std::uint32_t>& p) {
            return DisplayFrame::Pixels{reinterpret_cast<const unsigned char*>(p.data()), kWidth, kHeight, kWidth * 4};
        };
        EXPECT_EQ(c.rects, DisplayFrame::changedRects(pixels(before), pixels(after))) << c.what;
    }
}

}  // namespace
