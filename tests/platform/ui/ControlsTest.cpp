#include <gtest/gtest.h>

#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using memorant_test::UITest;

class ControlsTest : public UITest {};

TEST_F(ControlsTest, ButtonValuesPerStateFallBackToNormal) {
    auto button = Button::buttonWithType(ButtonType::System);
    button->setTitle("Go", ControlStateNormal);
    button->setTitle("Going", ControlStateHighlighted);
    button->setTitleColor(Color::redColor(), ControlStateSelected);
    EXPECT_EQ("Go", button->currentTitle());
    EXPECT_EQ(Color::systemBlueColor(), button->currentTitleColor());  // a system button takes the tint
    button->setHighlighted(true);
    EXPECT_EQ("Going", button->currentTitle());
    EXPECT_EQ("Going", button->titleLabel()->text());
    button->setHighlighted(false);
    button->setSelected(true);
    EXPECT_EQ("Go", button->currentTitle());
    EXPECT_EQ(Color::redColor(), button->titleLabel()->textColor());
    button->setSelected(false);
    button->setTitle(std::nullopt, ControlStateNormal);
    EXPECT_FALSE(button->currentTitle());
    EXPECT_TRUE(button->titleLabel()->isHidden());
    EXPECT_EQ(Color::whiteColor(), Button::buttonWithType(ButtonType::Custom)->currentTitleColor());
}

TEST_F(ControlsTest, TapsReachRecognisersAndControlsThroughHitTesting) {
    auto root = std::make_shared<View>(Rect(0, 0, 200, 200));
    auto card = std::make_shared<View>(Rect(100, 100, 50, 50));
    auto picture = std::make_shared<View>(Rect(10, 10, 20, 20));
    root->addSubview(card);
    card->addSubview(picture);
    std::vector<Point> taps;
    auto tap = std::make_shared<TapGestureRecognizer>(
        [&](GestureRecognizer& r) { taps.push_back(r.locationInView(r.view())); });
    picture->addGestureRecognizer(tap);
    EXPECT_TRUE(UIDriver::tap(*root, {115, 120}));
    EXPECT_EQ(std::vector<Point>{(Point{5, 10})}, taps);
    EXPECT_EQ(GestureRecognizerState::Possible, tap->state());
    // A view that takes no touches lets them through to its superview.
    picture->setUserInteractionEnabled(false);
    EXPECT_FALSE(UIDriver::tap(*root, {115, 120}));
    EXPECT_EQ(1u, taps.size());

    auto button = std::make_shared<Button>(Rect(0, 0, 50, 30));
    root->addSubview(button);
    std::vector<unsigned> events;
    button->addTarget([&](Control& c) { events.push_back(c.isHighlighted() ? 1 : 0); }, ControlEventTouchDown);
    auto id = button->addTarget([&](Control&) { events.push_back(2); }, ControlEventTouchUpInside);
    EXPECT_TRUE(UIDriver::tap(*button));
    EXPECT_EQ((std::vector<unsigned>{1, 2}), events);
    EXPECT_FALSE(button->isHighlighted());
    button->removeTarget(id);
    button->setEnabled(false);
    UIDriver::tap(*button);
    EXPECT_EQ(2u, events.size());
}

namespace {
struct ScrollLog : ScrollViewDelegate {
    std::vector<std::string> calls;
    Point target{-1, -1};
    void scrollViewDidScroll(ScrollView& s) override {
        calls.push_back("scroll " + std::to_string(static_cast<int>(s.contentOffset().x)));
    }
    void scrollViewWillBeginDragging(ScrollView&) override { calls.push_back("begin"); }
    void scrollViewWillEndDragging(ScrollView&, Point, Point* t) override {
        calls.push_back("willEnd " + std::to_string(static_cast<int>(t->x)));
        if (target.x >= 0) *t = target;
    }
    void scrollViewDidEndDragging(ScrollView&, bool decelerate) override {
        calls.push_back(decelerate ? "didEnd moving" : "didEnd");
    }
};
}  // namespace

TEST_F(ControlsTest, ScrollViewFollowsTheFingerAndComesToRest) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 50));
    auto scroll = std::make_shared<ScrollView>(Rect(0, 0, 100, 50));
    root->addSubview(scroll);
    scroll->setContentSize({300, 50});
    auto log = std::make_shared<ScrollLog>();
    scroll->setDelegate(log);
    ASSERT_TRUE(UIDriver::pan(*root, {50, 25}, {-60, 10}, {}, 2));
    // Only the wider axis scrolls; at rest it stays where the finger left it.
    EXPECT_EQ((std::vector<std::string>{"begin", "scroll 30", "scroll 60", "willEnd 60", "didEnd"}), log->calls);
    EXPECT_EQ((Point{60, 0}), scroll->contentOffset());

    // Dragged past the edge, it comes back to the edge, animated.
    log->calls.clear();
    UIDriver::pan(*root, {50, 25}, {100, 0});
    EXPECT_EQ((std::vector<std::string>{"begin", "scroll -40", "willEnd 0", "didEnd moving", "scroll 0"}), log->calls);
    EXPECT_EQ((Point{0, 0}), scroll->contentOffset());
    ASSERT_NE(nullptr, scroll->layer().animationForKey("bounds"));
    advance(ScrollView::kScrollAnimationDuration);

    // The delegate may choose the resting place; without bouncing the edge holds.
    log->target = {150, 0};
    UIDriver::pan(*root, {50, 25}, {-10, 0});
    EXPECT_EQ((Point{150, 0}), scroll->contentOffset());
    scroll->setBounces(false);
    log->calls.clear();
    UIDriver::pan(*root, {50, 25}, {-500, 0});
    EXPECT_EQ("scroll 200", log->calls[1]);
    EXPECT_EQ((Point{150, 0}), scroll->contentOffset());
    log->target = {-1, -1};
    UIDriver::pan(*root, {50, 25}, {-500, 0});
    EXPECT_EQ((Point{200, 0}), scroll->contentOffset());
}

namespace {
struct FieldLog : TextFieldDelegate {
    bool allowBegin = true, allowChange = true, allowEnd = true, allowReturn = false;
    std::vector<std::string> calls;
    bool textFieldShouldBeginEditing(TextField&) override { return allowBegin; }
    void textFieldDidBeginEditing(TextField&) override { calls.push_back("began"); }
    bool textFieldShouldEndEditing(TextField&) override { return allowEnd; }
    void textFieldDidEndEditing(TextField&) override { calls.push_back("ended"); }
    bool textFieldShouldChangeCharactersInRange(TextField&, Range r, const std::string& s) override {
        calls.push_back("change " + std::to_string(r.location) + " " + s);
        return allowChange;
    }
    bool textFieldShouldReturn(TextField&) override { return allowReturn; }
};
}  // namespace

TEST_F(ControlsTest, TextFieldAsksItsDelegate) {
    auto window = std::make_shared<Window>();
    auto field = std::make_shared<TextField>(Rect(0, 0, 200, 30));
    window->addSubview(field);
    auto log = std::make_shared<FieldLog>();
    field->setDelegate(log);
    log->allowBegin = false;
    EXPECT_FALSE(field->becomeFirstResponder());
    EXPECT_FALSE(UIDriver::typeText(*field, "x"));
    log->allowBegin = true;
    ASSERT_TRUE(field->becomeFirstResponder());
    field->setText("Grüße");
    EXPECT_TRUE(UIDriver::typeText(*field, "!"));
    log->allowChange = false;
    EXPECT_FALSE(UIDriver::typeText(*field, "?"));
    EXPECT_EQ("Grüße!", field->text());
    EXPECT_FALSE(field->replaceCharacters(Range{7, 0}, "x"));  // past the end
    EXPECT_FALSE(UIDriver::pressReturn(*field));
    log->allowEnd = false;
    EXPECT_FALSE(field->resignFirstResponder());
    log->allowEnd = true;
    EXPECT_TRUE(field->resignFirstResponder());
    EXPECT_EQ((std::vector<std::string>{"began", "change 5 !", "change 6 ?", "ended"}), log->calls);
}

namespace {
struct Wheel : PickerViewDataSource, PickerViewDelegate {
    std::vector<std::string> rows{"a", "b", "c"};
    std::vector<std::pair<std::int64_t, std::int64_t>> picked;
    std::int64_t numberOfComponentsInPickerView(PickerView&) override { return 1; }
    std::int64_t numberOfRowsInComponent(PickerView&, std::int64_t) override {
        return static_cast<std::int64_t>(rows.size());
    }
    std::optional<std::string> titleForRow(PickerView&, std::int64_t row, std::int64_t) override {
        return rows[static_cast<std::size_t>(row)];
    }
    void didSelectRow(PickerView&, std::int64_t row, std::int64_t component) override {
        picked.emplace_back(row, component);
    }
};
}  // namespace

TEST_F(ControlsTest, PickerSelectsWithinItsRowsAndTellsOfUserPicks) {
    auto picker = std::make_shared<PickerView>();
    auto wheel = std::make_shared<Wheel>();
    EXPECT_EQ(-1, picker->selectedRowInComponent(0));
    picker->setDataSource(wheel);
    picker->setDelegate(wheel);
    EXPECT_EQ(0, picker->selectedRowInComponent(0));
    picker->selectRow(9, 0, false);
    EXPECT_EQ(2, picker->selectedRowInComponent(0));
    EXPECT_TRUE(wheel->picked.empty());  // a program's choice is not reported
    auto label = std::dynamic_pointer_cast<Label>(picker->viewForRow(1, 0));
    ASSERT_NE(nullptr, label);
    EXPECT_EQ("b", label->text());
    EXPECT_EQ(label, picker->viewForRow(1, 0));  // handed back for reuse
    EXPECT_EQ((Size{320, PickerView::kDefaultRowHeight}), picker->rowSizeForComponent(0));
    UIDriver::pickRow(*picker, 1, 0);
    EXPECT_EQ((std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 0}}), wheel->picked);
    wheel->rows.pop_back();
    wheel->rows.pop_back();
    picker->reloadAllComponents();
    EXPECT_EQ(0, picker->selectedRowInComponent(0));
}

namespace {
struct Rows : TableViewDataSource {
    std::int64_t count = 3;
    std::int64_t numberOfRowsInSection(TableView&, std::int64_t) override { return count; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, const IndexPath& indexPath) override {
        auto cell = table.dequeueReusableCell("Row", indexPath);
        cell->textLabel()->setText(std::to_string(indexPath.row));
        return cell;
    }
};
struct CountingCell : TableViewCell {
    using TableViewCell::TableViewCell;
    int reuses = 0;
    void prepareForReuse() override { ++reuses; }
};
}  // namespace

TEST_F(ControlsTest, TableReusesRegisteredCells) {
    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 480));
    auto rows = std::make_shared<Rows>();
    table->setDataSource(rows);
    EXPECT_THROW(table->reloadData(), NamedException);
    table->registerClass<CountingCell>("Row");
    table->reloadData();
    ASSERT_EQ(3, table->numberOfRowsInSection(0));
    auto second = table->cellForRowAtIndexPath({0, 1});
    EXPECT_EQ("1", second->textLabel()->text());
    EXPECT_EQ(Rect(0, 44, 320, 44), second->frame());
    EXPECT_EQ((Size{320, 132}), table->contentSize());
    rows->count = 2;
    table->reloadData();
    int reuses = 0;
    for (auto& cell : table->visibleCells()) reuses += std::static_pointer_cast<CountingCell>(cell)->reuses;
    EXPECT_EQ(2, reuses);
    EXPECT_EQ(nullptr, table->cellForRowAtIndexPath({0, 2}));
}

namespace {
struct AlertLog : AlertViewDelegate {
    std::vector<std::int64_t> clicks, dismissals;
    void alertViewClickedButtonAtIndex(AlertView&, std::int64_t i) override { clicks.push_back(i); }
    void alertViewDidDismissWithButtonIndex(AlertView&, std::int64_t i) override { dismissals.push_back(i); }
};
}  // namespace

TEST_F(ControlsTest, AlertViewReportsClicksAndCancellation) {
    auto alert = std::make_shared<AlertView>("Title", std::nullopt, "Cancel", std::vector<std::string>{"OK"});
    auto log = std::make_shared<AlertLog>();
    alert->setDelegate(log);
    EXPECT_EQ(0, alert->cancelButtonIndex());
    alert->show();
    EXPECT_EQ(1u, AlertView::visibleAlertViews().size());
    EXPECT_TRUE(UIDriver::tapAlertViewButton(*alert, "OK"));
    EXPECT_TRUE(AlertView::visibleAlertViews().empty());
    alert->show();
    alert->cancel();  // counts as the cancel button by default
    EXPECT_EQ((std::vector<std::int64_t>{1, 0}), log->clicks);
    EXPECT_EQ((std::vector<std::int64_t>{1, 0}), log->dismissals);
    alert->show();
    alert->dismissWithClickedButtonIndex(1, false);  // the program's dismissal is no click
    EXPECT_EQ(2u, log->clicks.size());
}

TEST_F(ControlsTest, SwitchFlipsOnATapAndEndEditingForcesTheKeyboardAway) {
    auto window = std::make_shared<Window>();
    window->makeKeyAndVisible();
    auto form = std::make_shared<View>(Rect(0, 0, 390, 400));
    window->addSubview(form);
    auto shuffle = std::make_shared<Switch>();
    shuffle->setFrame(Rect(300, 10, 51, 31));
    form->addSubview(shuffle);
    std::vector<bool> changes;
    shuffle->addTarget([&](Control& c) { changes.push_back(static_cast<Switch&>(c).isOn()); },
                       ControlEventValueChanged);
    shuffle->setOn(true, true);  // from code: no event
    EXPECT_TRUE(UIDriver::tap(*shuffle));
    EXPECT_TRUE(UIDriver::tap(*shuffle));
    EXPECT_EQ((std::vector<bool>{false, true}), changes);
    shuffle->setEnabled(false);
    UIDriver::tap(*shuffle);
    EXPECT_EQ(2u, changes.size());

    // A field that refuses to end editing gives way only to a forced end.
    auto field = std::make_shared<TextField>(Rect(0, 100, 200, 30));
    form->addSubview(field);
    auto log = std::make_shared<FieldLog>();
    field->setDelegate(log);
    ASSERT_TRUE(field->becomeFirstResponder());
    log->allowEnd = false;
    EXPECT_FALSE(form->endEditing(false));
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_TRUE(form->endEditing(true));
    EXPECT_FALSE(field->isFirstResponder());
    window->setHidden(true);
}
