#include <gtest/gtest.h>

#include "app/study/CardListStandIn.h"
#include "app/study/SpacedRepetitionSetupViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/UIDriver.h"

using namespace memorant_test;

namespace {

using Intervals = std::optional<std::vector<std::int64_t>>;

class SpacedRepetitionSetupScreen : public CardListScreenTest {
protected:
    // Opens the setup from the card list, with the deck's stored intervals.
    void open(Intervals stored, Rect frame = Rect(0, 0, 390, 844)) {
        if (!cardList) showCardList(frame);
        cardList->settings.setSpacedRepetitionBoxIntervalsWithIntervals(stored);
        cardList->handedBack.clear();
        perform("ShowSpacedRepetitionSetupSegue");
        auto presented = std::dynamic_pointer_cast<NavigationController>(cardList->presentedViewController());
        ASSERT_NE(nullptr, presented);
        setup = std::dynamic_pointer_cast<SpacedRepetitionSetupViewController>(presented->topViewController());
        ASSERT_NE(nullptr, setup);
        table = setup->tableView();
    }

    IndexPath rowOfBox(std::int64_t box) const { return {0, box + 2}; }

    // The box's field as shown, or null when its row is out of view.
    TextField* field(std::int64_t box) {
        auto cell = table->cellForRowAtIndexPath(rowOfBox(box));
        return cell ? dynamic_cast<TextField*>(cell->viewWithTag(1)) : nullptr;
    }

    // Taps the box's row and replaces the field's text by typing.
    void enter(std::int64_t box, const std::string& text) {
        ASSERT_TRUE(UIDriver::tapRow(*table, rowOfBox(box)));
        TextField* f = field(box);
        ASSERT_NE(nullptr, f);
        ASSERT_TRUE(f->isEditing());
        EXPECT_TRUE(table->indexPathsForSelectedRows().empty());
        f->replaceCharacters(Range{0, utf16Length(f->text().value_or(""))}, "");  // the delete key
        if (!text.empty()) {
            ASSERT_TRUE(UIDriver::typeText(*f, text));
        }
        EXPECT_TRUE(UIDriver::pressReturn(*f));
        EXPECT_FALSE(f->isEditing());
    }

    void close() {
        ASSERT_TRUE(UIDriver::tap(*setup->navigationItem().rightBarButtonItem()));
        advance(0.3);
        ASSERT_EQ(nullptr, cardList->presentedViewController());
    }

    std::shared_ptr<SpacedRepetitionSetupViewController> setup;
    std::shared_ptr<TableView> table;
};

bool loggedWarning(const std::string& message, const std::string& function) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (stringContains(line, " WARN| " + message + " |SpacedRepetitionSetupViewController:") &&
            stringContains(line, "| " + function))
            return true;
    return false;
}

}  // namespace

TEST_F(SpacedRepetitionSetupScreen, EnteredTextCountsOnlyAsADecimalAboveOne) {
    open(std::nullopt);
    const struct {
        const char* text;
        std::int64_t interval;
    } cases[] = {
        {"12", 12},
        {"+3", 3},
        {"2", 2},
        {"1", 8},
        {"0", 8},
        {"-3", 8},
        {" 5", 8},
        {"5 ", 8},
        {"5d", 8},
        {"", 8},
        {"+", 8},
        {"+-3", 8},
        {"-", 8},
        {"0x10", 8},
        {"9223372036854775807", 9223372036854775807},
        {"9223372036854775808", 8},
        {"99999999999999999999", 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        enter(3, c.text);
        EXPECT_EQ(c.interval, setup->interval(3, 8));
        EXPECT_EQ(c.interval == 8 ? Intervals() : Intervals({2, 4, c.interval, 16, 32, 64, 128}),
                  setup->boxIntervals());
    }
    EXPECT_EQ(5, setup->interval(8, 5));  // no such box
}

TEST_F(SpacedRepetitionSetupScreen, DefaultsOrEmptyFieldsHandBackNilWhenTheDeckHadCustomIntervals) {
    const std::vector<std::int64_t> custom{3, 4, 8, 16, 32, 64, 100};
    for (bool typeDefaults : {true, false}) {
        SCOPED_TRACE(typeDefaults ? "defaults typed" : "fields emptied");
        open(custom);
        enter(1, typeDefaults ? "2" : "");
        enter(7, typeDefaults ? "128" : "");
        EXPECT_EQ(std::nullopt, setup->boxIntervals());
        close();
        EXPECT_EQ(std::vector<Intervals>{std::nullopt}, cardList->handedBack);
        EXPECT_EQ(std::nullopt, cardList->settings.spacedRepetitionBoxIntervals());
    }
}

TEST_F(SpacedRepetitionSetupScreen, ReopeningShowsOnlyDifferingBoxesAndNoChangeCallsNoHandler) {
    open(std::vector<std::int64_t>{2, 5, 8, 16, 33, 64, 128});
    for (std::int64_t box = 1; box <= 7; ++box) {
        SCOPED_TRACE(box);
        ASSERT_NE(nullptr, field(box));
        const char* shown = box == 2 ? "5" : box == 5 ? "33" : nullptr;
        EXPECT_EQ(shown ? std::optional<std::string>(shown) : std::nullopt, field(box)->text());
    }
    // Retyping a stored value is no change either.
    enter(2, "5");
    close();
    EXPECT_TRUE(cardList->handedBack.empty());
    EXPECT_TRUE(loggedWarning("will disappear", "viewWillDisappear(_:)"));
    EXPECT_TRUE(loggedWarning("did disappear", "viewDidDisappear(_:)"));

    open(std::nullopt);
    close();
    EXPECT_TRUE(cardList->handedBack.empty());

    // A change is handed back once, after the screen has gone.
    open(std::nullopt);
    enter(4, "20");
    EXPECT_TRUE(cardList->handedBack.empty());
    close();
    EXPECT_EQ(std::vector<Intervals>{Intervals({2, 4, 8, 20, 32, 64, 128})}, cardList->handedBack);
    EXPECT_EQ(Intervals({2, 4, 8, 20, 32, 64, 128}), cardList->settings.spacedRepetitionBoxIntervals());
}

TEST_F(SpacedRepetitionSetupScreen, BoxesOutOfViewKeepTheirStoredAndEnteredValues) {
    // A screen too short for all seven boxes: the last ones have no cell
    // until scrolled to.
    const std::vector<std::int64_t> stored{2, 4, 8, 16, 32, 64, 200};
    open(stored, Rect(0, 0, 390, 260));
    ASSERT_EQ(nullptr, field(7));
    EXPECT_EQ(stored, setup->boxIntervals());
    close();
    EXPECT_TRUE(cardList->handedBack.empty());
    EXPECT_EQ(stored, cardList->settings.spacedRepetitionBoxIntervals());

    // An edit scrolled out of view still counts, and a stored box seen only
    // after scrolling shows its value.
    open(stored);
    enter(1, "3");
    table->scrollToRowAtIndexPath(rowOfBox(7), TableViewScrollPosition::Bottom, false);
    ASSERT_EQ(nullptr, field(1));
    ASSERT_NE(nullptr, field(7));
    EXPECT_EQ("200", field(7)->text());
    close();
    EXPECT_EQ(std::vector<Intervals>{Intervals({3, 4, 8, 16, 32, 64, 200})}, cardList->handedBack);
}
