#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"

class Storyboard;

// The review intervals of the seven spaced-repetition boxes of the open
// deck: for each box, the number of days after which a card in it is due
// again.
//
// The presenter (the card list) sets initialBoxIntervals from the deck's
// settings and installs didChangeSettingsHandler before the screen appears.
// Nothing is stored while the screen is shown: once it has disappeared
// (closed with done() or otherwise), the intervals now entered are compared
// with the initial ones and, when they differ, handed to the handler, nil
// meaning back to the defaults.
//
// The table is static: section 0, rows 3 to 9 hold boxes 1 to 7, each cell
// with a text field of tag 1. What the user enters lives in a model of
// seven entries here, not in the cells: a row the table has not loaded (out
// of view on a short screen) has no cell, and reading the values back from
// the cells would take such a box as its default, dropping a stored interval
// the user never scrolled to and an edit scrolled away. The model starts
// with the initial intervals that differ from the defaults (as the fields
// show them), follows every change of a field, and fills a field in when
// its row comes into view.
class SpacedRepetitionSetupViewController : public TableViewController, public TextFieldDelegate {
public:
    using SettingsHandler = std::function<void(const std::optional<std::vector<std::int64_t>>& intervals)>;

    static constexpr std::size_t kNumberOfBoxes = 7;
    static constexpr std::array<std::int64_t, kNumberOfBoxes> defaultIntervals{2, 4, 8, 16, 32, 64, 128};
    // Box b (1 to 7) is the row b + kFirstBoxRow - 1 of section 0.
    static constexpr std::int64_t kFirstBoxRow = 3;
    static constexpr std::int64_t kIntervalFieldTag = 1;
    static constexpr const char* kSceneIdentifier = "SpacedRepetitionSetupViewController";

    SpacedRepetitionSetupViewController() : TableViewController(TableViewStyle::Grouped) {}

    // The deck's stored intervals when the screen opened (nil: none stored).
    // Setting them also fills the model in again.
    const std::optional<std::vector<std::int64_t>>& initialBoxIntervals() const { return initialBoxIntervals_; }
    void setInitialBoxIntervals(std::optional<std::vector<std::int64_t>> intervals);
    const SettingsHandler& didChangeSettingsHandler() const { return handler_; }
    void setDidChangeSettingsHandler(SettingsHandler handler) { handler_ = std::move(handler); }

    // The seven intervals now entered, in box order, or nil when they equal
    // defaultIntervals. Intervals need not increase from box to box.
    std::optional<std::vector<std::int64_t>> boxIntervals() const;
    // The interval entered for a box (1 to 7): the text parsed as a decimal
    // integer (ASCII digits after an optional "+" or "-", nothing else, within
    // 64 bits) when it is greater than 1; otherwise (no text, empty, not a
    // number, 1 or less, a box out of range) the default.
    std::int64_t interval(std::int64_t box, std::int64_t defaultValue) const;
    // The text entered for a box as the model holds it (nil: nothing entered).
    const std::optional<std::string>& enteredText(std::int64_t box) const;

    // The Done action: asks the presenter to dismiss, animated.
    void done();

    // Adds the scene (its static table and Done button) to a storyboard.
    static void addScene(Storyboard& storyboard);

    void viewDidLoad() override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void willDisplayCell(TableView& tableView, TableViewCell& cell, const IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    // The rows above the boxes are as tall as their wrapped texts need.
    double heightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    bool textFieldShouldReturn(TextField& textField) override;

private:
    // The box of a row of section 0 (1 to 7), or 0 for any other row.
    static std::int64_t boxForRow(const IndexPath& indexPath);
    static TextField* intervalField(TableViewCell& cell);

    std::optional<std::vector<std::int64_t>> initialBoxIntervals_;
    SettingsHandler handler_;
    std::array<std::optional<std::string>, kNumberOfBoxes> entered_;
};
