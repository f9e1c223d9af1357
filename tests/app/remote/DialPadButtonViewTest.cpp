#include "app/remote/DialPadButtonView.h"

#include <gtest/gtest.h>

#include "platform/ui/Touches.h"
#include "platform/ui/Window.h"

namespace {

struct RecordingButtonDelegate : DialPadButtonDelegate, TextInputDialButtonDelegate {
    std::vector<std::string> sent;
    void dialPadButtonPressed(DialPadButtonView& button) override { sent.push_back(button.command()); }
    void textInputDialButtonDidInsertText(TextInputDialButtonView&, const std::string& text) override {
        sent.push_back("l" + text);
    }
    void textInputDialButtonDidDeleteBackward(TextInputDialButtonView&) override { sent.push_back("d"); }
};

// A key of 76 points at (100, 100) in a window, its label and image beside it.
class DialPadButtonViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        window->makeKeyAndVisible();
        add(button);
    }
    void TearDown() override { DialPadButtonView::setOlderDevice(false); }
    void add(const std::shared_ptr<DialPadButtonView>& key) {
        key->setFrame(Rect(100, 100, 76, 76));
        key->setCommand("n");
        key->setDelegate(delegate);
        window->addSubview(key);
    }

    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    std::shared_ptr<RecordingButtonDelegate> delegate = std::make_shared<RecordingButtonDelegate>();
    std::shared_ptr<DialPadButtonView> button = std::make_shared<DialPadButtonView>();
    const Point inside{138, 138};
    const Point outside{20, 20};
};

TEST_F(DialPadButtonViewTest, TouchesPressOnlyWhenLiftedOnTheKey) {
    struct Case {
        const char* name;
        bool selected;
        std::vector<Point> moves;
        bool cancel;
        std::vector<std::string> sent;
        bool highlightedAfter;
    };
    const std::vector<Case> cases = {
        {"tap", false, {}, false, {"n"}, false},
        {"moved within the key", false, {{150, 150}}, false, {"n"}, false},
        {"dragged off and lifted outside", false, {{150, 150}, {20, 20}}, false, {}, false},
        {"dragged off and back", false, {{20, 20}, {138, 138}}, false, {}, false},
        {"cancelled", false, {}, true, {}, false},
        {"selected key tapped", true, {}, false, {"n"}, true},
        {"selected key dragged off", true, {{20, 20}}, false, {"n"}, true},
        {"selected key cancelled", true, {}, true, {}, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        delegate->sent.clear();
        button->setSelected(testCase.selected);
        button->setHighlighted(testCase.selected);
        UIDriver::Touch touch(*window, inside);
        ASSERT_EQ(touch.view(), button.get());
        EXPECT_TRUE(button->isHighlighted());
        for (Point point : testCase.moves) touch.moveTo(point);
        if (testCase.cancel)
            touch.cancel();
        else
            touch.end();
        EXPECT_EQ(delegate->sent, testCase.sent);
        EXPECT_EQ(button->isHighlighted(), testCase.highlightedAfter);
    }
}

TEST_F(DialPadButtonViewTest, AKeyThatTakesNoTouchesStaysAsItIs) {
    button->setUserInteractionEnabled(false);
    UIDriver::Touch touch(*window, inside);
    touch.end();
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_TRUE(delegate->sent.empty());
}

TEST_F(DialPadButtonViewTest, HighlightRestylesLabelAndImageInTheDeviceColour) {
    auto label = std::make_shared<Label>();
    label->setTextColor(Color::blackColor());
    label->setFont(Font::systemFont(42, FontWeight::Thin));
    auto imageView = std::make_shared<ImageView>();
    button->setLabel(label);
    button->setOriginalLabelTextColor(label->textColor());
    button->setImageView(imageView);
    EXPECT_EQ(imageView->tintColor(), Color::blackColor());
    for (bool older : {false, true}) {
        SCOPED_TRACE(older ? "older device" : "current device");
        DialPadButtonView::setOlderDevice(older);
        const Color highlight = older ? Color::lightGrayColor() : Color::whiteColor();
        button->setHighlighted(true);
        EXPECT_EQ(label->textColor(), highlight);
        EXPECT_EQ(imageView->tintColor(), highlight);
        EXPECT_EQ(label->font(), Font::systemFont(42, FontWeight::Regular)) << "same size, regular weight";
        button->setHighlighted(false);
        EXPECT_EQ(label->textColor(), Color::blackColor());
        EXPECT_EQ(imageView->tintColor(), Color::blackColor());
        EXPECT_EQ(label->font(), Font::systemFont(42, FontWeight::Thin));
    }
}

TEST_F(DialPadButtonViewTest, TheKeyboardKeySendsEachInsertionAsOneLine) {
    auto keyboardKey = std::make_shared<TextInputDialButtonView>();
    add(keyboardKey);
    keyboardKey->setTextInputDelegate(delegate);
    EXPECT_TRUE(UIDriver::touchUpInside(*keyboardKey));
    EXPECT_TRUE(keyboardKey->isFirstResponder()) << "a press shows the keyboard";
    EXPECT_TRUE(delegate->sent.empty()) << "its command is never sent";
    EXPECT_TRUE(keyboardKey->hasText());

    keyboardKey->insertText("abc");
    keyboardKey->insertText("two\r\nlines\rand\nmore");
    keyboardKey->deleteBackward();
    EXPECT_EQ(delegate->sent, (std::vector<std::string>{"labc", "ltwo  lines and more", "d"}));

    keyboardKey->insertText("\n");
    EXPECT_FALSE(keyboardKey->isFirstResponder()) << "Done hides the keyboard";
    EXPECT_EQ(delegate->sent.size(), 3u);
}

}  // namespace
