#include <gtest/gtest.h>

#include "app/views/ChoicesTextField.h"
#include "app/views/PredefinedPickerView.h"
#include "app/views/TextColorPickerView.h"
#include "app/views/UniversalUITextFieldDelegate.h"
#include "platform/ui/Label.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using memorant_test::colorNear;

class PickersAndTextFieldsTest : public memorant_test::UITest {};

TEST_F(PickersAndTextFieldsTest, ColourPickerShowsSwatchesAndReportsChanges) {
    auto view = instantiateFromNib<TextColorPickerView>(Rect(0, 0, 320, 216));
    auto picker = view->pickerView();
    view->setForegroundColors({Color::redColor(), Color::greenColor()});
    view->setBackgroundColors({Color::blueColor(), Color::clearColor()});
    picker->reloadAllComponents();
    EXPECT_EQ(2, picker->numberOfComponents());
    EXPECT_EQ(2, picker->numberOfRowsInComponent(1));
    EXPECT_EQ((Size{60, 32}), picker->rowSizeForComponent(0));
    // The label and the background-colour sign sit on the picker.
    ASSERT_EQ(2u, picker->subviews().size());
    EXPECT_EQ("abc", std::dynamic_pointer_cast<Label>(picker->subviews()[0])->text());
    EXPECT_EQ(4u, picker->constraints().size());

    auto red = picker->viewForRow(0, 0);
    EXPECT_EQ(Rect(0, 0, 60, 32), red->frame());
    EXPECT_EQ(Color::redColor(), *red->backgroundColor());
    auto none = picker->viewForRow(1, 1);
    EXPECT_EQ(Color::whiteColor(), *none->backgroundColor());
    auto swatch = renderPNG(*none, "no-colour");
    EXPECT_TRUE(colorNear(swatch->colorAtPixel(5, 5), Color::blackColor()));    // upper left: crossed
    EXPECT_TRUE(colorNear(swatch->colorAtPixel(55, 28), Color::whiteColor()));  // lower right: white
    // A reused swatch loses its triangle when it shows a colour.
    view->setBackgroundColors({Color::blueColor(), Color::greenColor()});
    picker->reloadComponent(1);
    auto reused = picker->viewForRow(1, 1);
    EXPECT_EQ(none, reused);
    EXPECT_TRUE(reused->layer().sublayers().empty());
    EXPECT_EQ(Color::greenColor(), *reused->backgroundColor());

    int foreground = 0, background = 0;
    view->foregroundColorChanged = [&] { ++foreground; };
    view->backgroundColorChanged = [&] { ++background; };
    UIDriver::pickRow(*picker, 1, 0);
    UIDriver::pickRow(*picker, 0, 1);
    UIDriver::pickRow(*picker, 1, 1);
    EXPECT_EQ(1, foreground);
    EXPECT_EQ(2, background);
    EXPECT_EQ(1, picker->selectedRowInComponent(0));
}

TEST_F(PickersAndTextFieldsTest, TappingTheSelectedBandDismissesTheColourPicker) {
    auto view = instantiateFromNib<TextColorPickerView>(Rect(0, 0, 320, 216));
    int dismissals = 0;
    view->dismissPicker = [&] { ++dismissals; };
    // The band is 32 high across the middle: 92 to 124.
    struct Case {
        Point at;
        bool dismisses;
    } cases[] = {{{160, 108}, true}, {{10, 93}, true}, {{160, 90}, false}, {{160, 130}, false}, {{160, 10}, false}};
    for (const auto& c : cases) {
        const int before = dismissals;
        EXPECT_TRUE(UIDriver::tap(*view, c.at));
        EXPECT_EQ(before + (c.dismisses ? 1 : 0), dismissals) << c.at.y;
    }
    // Before the tap has ended nothing happens.
    TapGestureRecognizer early;
    early.setLocation({160, 108});
    early.setState(GestureRecognizerState::Began);
    view->pickerTappedWithTapRecognizer(early);
    EXPECT_EQ(2, dismissals);
    early.setState(GestureRecognizerState::Ended);
    view->pickerTappedWithTapRecognizer(early);
    EXPECT_EQ(3, dismissals);
    // Its recogniser goes along with the picker's own.
    TapGestureRecognizer other;
    EXPECT_TRUE(view->shouldRecognizeSimultaneouslyWithGestureRecognizer(*view->gestureRecognizers()[0], other));
}

namespace {
struct ChoiceLog : ChoicesTextFieldDelegate {
    std::vector<std::int64_t> picks;
    void choicesTextFieldDidChange(ChoicesTextField& field) override { picks.push_back(field.selectedChoiceIndex()); }
};
}  // namespace

TEST_F(PickersAndTextFieldsTest, ChoicesFieldPicksOnAWheel) {
    auto window = std::make_shared<Window>();
    auto field = instantiateFromNib<ChoicesTextField>(Rect(0, 0, 200, 30));
    window->addSubview(field);
    auto picker = field->pickerView();
    ASSERT_NE(nullptr, picker);
    EXPECT_EQ(picker, field->inputView());
    EXPECT_EQ(Rect(), field->caretRectForPosition({0}));
    field->setChoices({"10", "20", "All"});
    field->setSelectedChoiceIndex(2);
    auto log = std::make_shared<ChoiceLog>();
    field->setChoicesDelegate(log);

    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_EQ(2, picker->selectedRowInComponent(0));
    EXPECT_EQ("20", picker->titleForRow(1, 0));
    UIDriver::pickRow(*picker, 1, 0);
    EXPECT_EQ(1, field->selectedChoiceIndex());
    EXPECT_EQ("20", field->text());
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(std::vector<std::int64_t>{1}, log->picks);

    // A formatter makes the shown text; an index out of range shows nothing.
    field->setTextFormatter([](ChoicesTextField&, const std::string& choice) {
        return AttributedString(choice + " questions", {Font::boldSystemFont(15), Color::redColor(), std::nullopt});
    });
    field->updateText();
    EXPECT_EQ("20 questions", field->text());
    ASSERT_TRUE(field->attributedText());
    EXPECT_EQ(Color::redColor(), field->attributedText()->attributesAtIndex(0).foregroundColor);
    field->setTextFormatter(nullptr);
    field->setSelectedChoiceIndex(3);
    field->updateText();
    EXPECT_EQ("", field->text());
    field->setSelectedChoiceIndex(-1);
    field->updateText();
    EXPECT_EQ("", field->text());

    // A delegate that has gone is not told.
    log.reset();
    field->becomeFirstResponder();
    UIDriver::pickRow(*picker, 0, 0);
    EXPECT_EQ("10", field->text());
}

TEST_F(PickersAndTextFieldsTest, PredefinedPickerListsItsRows) {
    for (auto picker : {PredefinedPickerView::make(Rect(0, 0, 320, 216)),
                        instantiateFromNib<PredefinedPickerView>(Rect(0, 0, 320, 216))}) {
        picker->setRows({"Question first", "Answer first", "Both ways"});
        picker->reloadAllComponents();
        EXPECT_EQ(1, picker->numberOfComponents());
        EXPECT_EQ(3, picker->numberOfRowsInComponent(0));
        EXPECT_EQ("Answer first", picker->titleForRow(1, 0));
        EXPECT_EQ("Both ways", std::dynamic_pointer_cast<Label>(picker->viewForRow(2, 0))->text());
    }
}

TEST_F(PickersAndTextFieldsTest, UniversalDelegateAnswersThroughItsBlocks) {
    auto window = std::make_shared<Window>();
    auto field = std::make_shared<TextField>(Rect(0, 0, 200, 30));
    window->addSubview(field);
    auto delegate = std::make_shared<UniversalUITextFieldDelegate>();
    field->setDelegate(delegate);

    // Unconfigured, every edit and every return goes through.
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_TRUE(UIDriver::typeText(*field, "abc"));
    EXPECT_TRUE(UIDriver::pressReturn(*field));
    EXPECT_TRUE(field->resignFirstResponder());

    std::vector<std::string> calls;
    delegate->setTextFieldShouldBeginEditing([&](TextField&) {
        calls.push_back("begin?");
        return true;
    });
    delegate->setTextFieldShouldChangeCharactersInRange([&](TextField&, Range range, const std::string& text) {
        calls.push_back("change " + std::to_string(range.location) + " " + text);
        return text != "x";
    });
    delegate->setTextFieldShouldReturn([&](TextField&) {
        calls.push_back("return?");
        return false;
    });
    delegate->setTextFieldShouldEndEditing([&](TextField&) {
        calls.push_back("end?");
        return true;
    });
    delegate->setTextFieldDidEndEditing([&](TextField&) { calls.push_back("ended"); });
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_TRUE(UIDriver::typeText(*field, "d"));
    EXPECT_FALSE(UIDriver::typeText(*field, "x"));
    EXPECT_FALSE(UIDriver::pressReturn(*field));
    EXPECT_TRUE(field->resignFirstResponder());
    EXPECT_EQ("abcd", field->text());
    EXPECT_EQ((std::vector<std::string>{"begin?", "change 3 d", "change 4 x", "return?", "end?", "ended"}), calls);
}
