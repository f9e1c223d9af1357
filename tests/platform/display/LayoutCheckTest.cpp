// The layout check on small screens of labels and buttons: what it finds and
// what it lets be.

#include <gtest/gtest.h>

#include <functional>

#include "platform/display/DisplayScreen.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

namespace {

using namespace memorant_test;

std::shared_ptr<Label> label(const std::string& text, const Rect& frame) {
    auto result = std::make_shared<Label>(frame);
    result->setText(text);
    return result;
}

class LayoutCheckTest : public UITest {
protected:
    void TearDown() override {
        window->setHidden(true);
        UITest::TearDown();
    }
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
};

TEST_F(LayoutCheckTest, FindsOverlapsAndCutsAndLetsDesignedCutsAndHiddenTextBe) {
    struct Case {
        const char* name;
        std::function<void(View&)> build;
        std::vector<std::string> faultsStartingWith;
    };
    const std::vector<Case> cases{
        {"apart",
         [](View& root) {
             root.addSubview(label("Question", Rect(16, 100, 200, 22)));
             root.addSubview(label("Answer", Rect(16, 122, 200, 22)));
         },
         {}},
        {"on top of each other",
         [](View& root) {
             root.addSubview(label("Question", Rect(16, 100, 200, 22)));
             root.addSubview(label("Answer", Rect(16, 104, 200, 22)));
         },
         {"'Answer' overlaps 'Question'"}},
        {"a label of no size",
         [](View& root) { root.addSubview(label("Question", Rect(0, 100, 0, 0))); },
         {"'Question' has no room"}},
        {"a one-line text too long ends in an ellipsis within its label",
         [](View& root) {
             root.addSubview(label("A long question that goes on", Rect(16, 100, 60, 22)));
             root.addSubview(label("7", Rect(80, 100, 20, 22)));
         },
         {}},
        {"wrapped lines overflowing onto the next",
         [](View& root) {
             auto wrapping = label("A question long enough to need a few lines here", Rect(16, 100, 120, 22));
             wrapping->setNumberOfLines(0);
             wrapping->setLineBreakMode(LineBreakMode::WordWrapping);
             root.addSubview(wrapping);
             root.addSubview(label("7", Rect(16, 124, 20, 22)));
         },
         {"'A question long enough", "'7' overlaps 'A question long enough"}},
        {"a truncating label that clips keeps to itself",
         [](View& root) {
             auto long_ = label("A long question that goes on", Rect(16, 100, 60, 22));
             long_->setClipsToBounds(true);
             root.addSubview(long_);
             root.addSubview(label("7", Rect(80, 100, 20, 22)));
         },
         {}},
        {"a wrapping label too low for its lines",
         [](View& root) {
             auto wrapping = label("A question long enough to need a few lines here", Rect(16, 100, 120, 22));
             wrapping->setNumberOfLines(0);
             wrapping->setLineBreakMode(LineBreakMode::WordWrapping);
             wrapping->setClipsToBounds(true);
             root.addSubview(wrapping);
         },
         {"'A question long enough"}},
        {"a button too narrow for its title",
         [](View& root) {
             auto button = Button::buttonWithType(ButtonType::System);
             button->setTitle(std::string("Multiple Choice"), ControlStateNormal);
             button->setFrame(Rect(16, 100, 40, 30));
             button->layoutIfNeeded();
             root.addSubview(button);
         },
         {"'Multiple Choice' is cut"}},
        {"text under an opaque view",
         [](View& root) {
             root.addSubview(label("Library row", Rect(16, 100, 200, 22)));
             auto sheet = std::make_shared<View>(Rect(0, 0, 390, 844));
             sheet->setBackgroundColor(Color::whiteColor());
             sheet->addSubview(label("Settings row", Rect(16, 100, 200, 22)));
             root.addSubview(sheet);
         },
         {}},
        {"text half under an opaque view",
         [](View& root) {
             root.addSubview(label("A library row with a longer text", Rect(16, 100, 300, 22)));
             auto sheet = std::make_shared<View>(Rect(150, 0, 240, 844));
             sheet->setBackgroundColor(Color::whiteColor());
             sheet->addSubview(label("Sheet", Rect(10, 100, 200, 22)));
             root.addSubview(sheet);
         },
         {}},
        {"a label of no size under an opaque view",
         [](View& root) {
             root.addSubview(label("✓", Rect(0, 100, 0, 0)));
             auto sheet = std::make_shared<View>(Rect(0, 0, 390, 844));
             sheet->setBackgroundColor(Color::whiteColor());
             root.addSubview(sheet);
         },
         {}},
        {"segment titles that fit in segments sized to them",
         [](View& root) {
             root.addSubview(std::make_shared<SegmentedControl>(
                 std::vector<std::string>{"None", "Spaced Repetition", "Difficulty", "Last Studied"}));
             root.subviews().back()->setFrame(Rect(16, 100, 358, 28));
         },
         {}},
        {"segment titles too long for the control, and a label over one",
         [](View& root) {
             root.addSubview(std::make_shared<SegmentedControl>(
                 std::vector<std::string>{"None", "Spaced Repetition", "Difficulty", "Last Studied"}));
             root.subviews().back()->setFrame(Rect(16, 100, 160, 28));
             root.addSubview(label("Over", Rect(16, 104, 40, 20)));
         },
         {"'Spaced Repetition' is cut", "'Difficulty' is cut", "'Last Studied' is cut", "'Over' overlaps 'None'"}},
        {"a row cuts its texts only while slid aside for its swipe actions",
         [](View& root) {
             for (const bool swiped : {false, true}) {
                 auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
                 cell->setFrame(Rect(0, swiped ? 200 : 100, 390, 60));
                 cell->setClipsToBounds(true);
                 cell->addSubview(label(swiped ? "Slid aside by the row" : "Cut by the row", Rect(-80, 10, 200, 22)));
                 if (swiped) cell->setSwipeActionsView(std::make_shared<View>(Rect(230, 0, 160, 60)));
                 root.addSubview(cell);
             }
         },
         {"'Cut by the row' is cut"}},
        {"controls past the edge of the window or of a view that clips them, and ones out of sight",
         [](View& root) {
             root.addSubview(std::make_shared<ProgressView>(Rect(92, 100, 330, 4)));
             auto button = Button::buttonWithType(ButtonType::System);
             button->setTitle(std::string("Edit"), ControlStateNormal);
             button->setFrame(Rect(-20, 200, 60, 30));
             root.addSubview(button);
             auto clipping = std::make_shared<View>(Rect(0, 300, 200, 60));
             clipping->setClipsToBounds(true);
             clipping->addSubview(std::make_shared<ProgressView>(Rect(100, 10, 150, 4)));
             clipping->addSubview(std::make_shared<ProgressView>(Rect(250, 10, 150, 4)));  // clipped away
             root.addSubview(clipping);
             root.addSubview(std::make_shared<ProgressView>(Rect(400, 400, 100, 4)));  // off the screen
             auto hidden = std::make_shared<ProgressView>(Rect(300, 420, 200, 4));
             hidden->setHidden(true);
             root.addSubview(hidden);
         },
         {"a progress bar runs past the edge", "the button 'Edit' runs past the edge",
          "a progress bar runs past the edge"}},
        {"a table's rows stay within it across, and scroll along it",
         [](View& root) {
             auto table = std::make_shared<ScrollView>(Rect(0, 100, 320, 300));
             table->setContentSize({320, 2000});
             table->setContentOffset({0, 200});
             table->addSubview(std::make_shared<ProgressView>(Rect(92, 300, 260, 4)));  // past its right edge
             table->addSubview(label("Scrolled half away", Rect(16, 190, 200, 22)));
             table->addSubview(std::make_shared<ProgressView>(Rect(16, 210, 200, 4)));
             root.addSubview(table);
         },
         {"a progress bar runs past the edge"}},
        {"a pager's pages lie beside each other",
         [](View& root) {
             auto pager = std::make_shared<ScrollView>(Rect(0, 100, 390, 300));
             pager->setContentSize({390 * 3, 300});
             pager->setContentOffset({200, 0});
             for (int page = 0; page < 3; ++page) {
                 pager->addSubview(label("Page " + std::to_string(page), Rect(390.0 * page + 16, 20, 300, 22)));
                 pager->addSubview(std::make_shared<ProgressView>(Rect(390.0 * page + 16, 60, 358, 4)));
             }
             root.addSubview(pager);
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = std::make_shared<View>(window->bounds());
        c.build(*root);
        window->addSubview(root);
        window->makeKeyAndVisible();
        const auto faults = DisplayScreen::layoutFaults();
        ASSERT_EQ(c.faultsStartingWith.size(), faults.size()) << (faults.empty() ? "" : faults.front());
        for (std::size_t i = 0; i < faults.size(); ++i)
            EXPECT_EQ(0u, faults[i].rfind(c.faultsStartingWith[i], 0)) << faults[i];
        root->removeFromSuperview();
    }
}

TEST_F(LayoutCheckTest, TheFramesCarryTheFaultsOnlyWhenTheEnvironmentAsks) {
    window->addSubview(label("Question", Rect(0, 100, 0, 0)));
    window->makeKeyAndVisible();
    ::unsetenv("MEMORANT_DISPLAY_CHECK_LAYOUT");
    EXPECT_FALSE(DisplayScreen::layoutFaultsWhenChecked());
    ::setenv("MEMORANT_DISPLAY_CHECK_LAYOUT", "1", 1);
    auto faults = DisplayScreen::layoutFaultsWhenChecked();
    ::unsetenv("MEMORANT_DISPLAY_CHECK_LAYOUT");
    ASSERT_TRUE(faults);
    ASSERT_EQ(1u, faults->size());
    EXPECT_EQ(0u, (*faults)[0].get<std::string>().rfind("'Question' has no room", 0));
}

}  // namespace
