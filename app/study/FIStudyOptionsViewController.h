#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/study/FIModalOptionsViewController.h"
#include "app/study/FIStudyOptions.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"

class BarButtonItem;
class Storyboard;
class Switch;
class Toolbar;

class FIStudyOptionsViewControllerDelegate {
public:
    virtual ~FIStudyOptionsViewControllerDelegate() = default;
    virtual void studyOptionsChanged(const FIStudyOptions& options) = 0;
};

// The study options sheet: the direction (three rows with a checkmark on the
// chosen one), shuffling (a switch) and the cards per session (a field whose
// input is a picker of kCardsPerSessionChoices; 999999 means unlimited and
// shows "∞"). It edits its own copy of the options and hands it to the
// delegate whenever it is closed (its Done item, the only way out: the sheet
// cannot be swiped away), changed or not. While the picker is open a tap on
// any row only closes it. Texts come from the "Localizable" table with an
// empty default. Main thread.
class FIStudyOptionsViewController : public FIModalOptionsViewController,
                                     public TableViewDataSource,
                                     public TableViewDelegate,
                                     public TextFieldDelegate,
                                     public PickerViewDataSource,
                                     public PickerViewDelegate {
public:
    static constexpr const char* kSceneIdentifier = "FIStudyOptionsViewController";
    static constexpr std::int64_t kUnlimitedCardsPerSession = 999999;
    static constexpr std::array<std::int64_t, 6> kCardsPerSessionChoices{5, 10, 20, 50, 100, kUnlimitedCardsPerSession};

    // Adds the scene (a content view holding a bar with the Done item over
    // the table) to a storyboard.
    static void addScene(Storyboard& storyboard);
    // "∞" for 999999, else the number in decimal digits.
    static std::string cardsPerSessionLabel(std::int64_t count);

    std::shared_ptr<FIStudyOptionsViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<FIStudyOptionsViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }
    const FIStudyOptions& studyOptions() const { return studyOptions_; }
    void setStudyOptions(const FIStudyOptions& options) { studyOptions_ = options; }

    const std::vector<std::string>& sectionTitles() const { return sectionTitles_; }
    const std::vector<std::vector<std::string>>& cellTitles() const { return cellTitles_; }
    const std::shared_ptr<Switch>& shuffleSwitch() const { return shuffleSwitch_; }
    const std::shared_ptr<TextField>& cardsPerSessionTextField() const { return cardsPerSessionTextField_; }
    const std::shared_ptr<PickerView>& picker() const { return picker_; }
    bool isPickerOpen() const { return isPickerOpen_; }

    // --- Set by the scene: the close control and the bar that holds it ---
    const std::shared_ptr<BarButtonItem>& closeBarButtonItem() const { return closeItem_; }
    void setCloseBarButtonItem(std::shared_ptr<BarButtonItem> item) { closeItem_ = std::move(item); }
    std::shared_ptr<Toolbar> closeBar() const { return closeBar_.lock(); }
    void setCloseBar(const std::shared_ptr<Toolbar>& bar) { closeBar_ = bar; }

    void viewDidLoad() override;
    // The content fills the sheet, its bar along the top and the table below.
    void viewWillLayoutSubviews() override;
    // Reports the options to the delegate, then dismisses the sheet.
    void dismissModal() override;

    // --- Actions ---
    void studyQuestionFirst();
    void studyAnswerFirst();
    void studyBothWays();
    void shuffleSwitchChanged();

    // --- Table ---
    std::int64_t numberOfSectionsInTableView(TableView& tableView) override;
    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    std::optional<std::string> titleForHeaderInSection(TableView& tableView, std::int64_t section) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

    // --- Cards-per-session field and picker ---
    bool textFieldShouldBeginEditing(TextField& textField) override;
    void textFieldDidEndEditing(TextField& textField) override;
    std::int64_t numberOfComponentsInPickerView(PickerView& pickerView) override;
    std::int64_t numberOfRowsInComponent(PickerView& pickerView, std::int64_t component) override;
    std::optional<std::string> titleForRow(PickerView& pickerView, std::int64_t row, std::int64_t component) override;
    void didSelectRow(PickerView& pickerView, std::int64_t row, std::int64_t component) override;

private:
    template <class T>
    std::shared_ptr<T> selfAs() {
        return std::shared_ptr<T>(shared_from_this(), static_cast<T*>(this));
    }

    std::weak_ptr<FIStudyOptionsViewControllerDelegate> delegate_;
    FIStudyOptions studyOptions_;
    std::vector<std::string> sectionTitles_;
    std::vector<std::vector<std::string>> cellTitles_;
    std::shared_ptr<Switch> shuffleSwitch_;
    std::shared_ptr<TextField> cardsPerSessionTextField_;
    std::shared_ptr<PickerView> picker_;
    bool isPickerOpen_ = false;
    std::shared_ptr<BarButtonItem> closeItem_;
    std::weak_ptr<Toolbar> closeBar_;
};
