#include "app/study/FIStudyOptionsViewController.h"

#include <algorithm>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewCell.h"

namespace {

std::string localized(const std::string& key) {
    return Bundle::main().localizedString(key, "");
}

}  // namespace

void FIStudyOptionsViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<FIStudyOptionsViewController>(kSceneIdentifier, [](FIStudyOptionsViewController& sheet) {
        auto root = std::make_shared<View>(Rect(0, 0, 540, 620));
        auto content = std::make_shared<View>(root->bounds());
        std::weak_ptr<FIStudyOptionsViewController> weak =
            std::static_pointer_cast<FIStudyOptionsViewController>(sheet.shared_from_this());
        auto done = BarButtonItem::withSystemItem(BarButtonSystemItem::Done, [weak](BarButtonItem&) {
            if (auto self = weak.lock()) self->dismissModal();
        });
        auto bar = std::make_shared<Toolbar>(Rect(0, 0, content->bounds().size.width, Toolbar::kHeight));
        bar->setItems({BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace), done});
        auto table = std::make_shared<TableView>(
            Rect(0, Toolbar::kHeight, content->bounds().size.width, content->bounds().size.height - Toolbar::kHeight),
            TableViewStyle::Grouped);
        content->addSubview(bar);
        content->addSubview(table);
        root->addSubview(content);
        sheet.setView(root);
        sheet.setContentView(content);
        sheet.setTableView(table);
        sheet.setCloseBar(bar);
        sheet.setCloseBarButtonItem(done);
    });
}

std::string FIStudyOptionsViewController::cardsPerSessionLabel(std::int64_t count) {
    if (count == kUnlimitedCardsPerSession) return "∞";
    return std::to_string(count);
}

void FIStudyOptionsViewController::viewDidLoad() {
    FIModalOptionsViewController::viewDidLoad();
    if (tableView()) {
        tableView()->registerClass<TableViewCell>("Cell");
        tableView()->setDataSource(selfAs<TableViewDataSource>());
        tableView()->setDelegate(selfAs<TableViewDelegate>());
    }
    shuffleSwitch_ = std::make_shared<Switch>();
    std::weak_ptr<ViewController> weak = weak_from_this();
    shuffleSwitch_->addTarget(
        [weak](Control&) {
            if (auto self = std::static_pointer_cast<FIStudyOptionsViewController>(weak.lock()))
                self->shuffleSwitchChanged();
        },
        ControlEventValueChanged);
    sectionTitles_ = {localized("StudyOptionsStudyDirectionTitle"), localized("StudyOptionsStudySessionTitle")};
    cellTitles_ = {
        {localized("StudyOptionsQuestionFirst"), localized("StudyOptionsAnswerFirst"),
         localized("StudyOptionsStudyBothWays")},
        {localized("StudyOptionsShuffle"), localized("StudyOptionsCardsPerSession")},
    };
    if (tableView()) tableView()->reloadData();
}

void FIStudyOptionsViewController::viewWillLayoutSubviews() {
    FIModalOptionsViewController::viewWillLayoutSubviews();
    if (!contentView()) return;
    if (contentView()->frame() != view()->bounds()) contentView()->setFrame(view()->bounds());
    const Rect area = contentView()->bounds();
    double top = 0;
    if (auto bar = closeBar()) {
        const Rect barFrame(0, 0, area.size.width, Toolbar::kHeight);
        if (bar->frame() != barFrame) bar->setFrame(barFrame);
        top = Toolbar::kHeight;
    }
    const Rect tableFrame(0, top, area.size.width, std::max(0.0, area.size.height - top));
    if (tableView() && tableView()->frame() != tableFrame) tableView()->setFrame(tableFrame);
}

void FIStudyOptionsViewController::dismissModal() {
    if (auto d = delegate()) d->studyOptionsChanged(studyOptions_);
    FIModalOptionsViewController::dismissModal();
}

// --- Actions ---

void FIStudyOptionsViewController::studyQuestionFirst() {
    studyOptions_.setStudyDirection(0);
    if (tableView()) tableView()->reloadData();
}

void FIStudyOptionsViewController::studyAnswerFirst() {
    studyOptions_.setStudyDirection(1);
    if (tableView()) tableView()->reloadData();
}

void FIStudyOptionsViewController::studyBothWays() {
    studyOptions_.setStudyDirection(2);
    if (tableView()) tableView()->reloadData();
}

void FIStudyOptionsViewController::shuffleSwitchChanged() {
    studyOptions_.setShuffleCards(shuffleSwitch_->isOn());
}

// --- Table ---

std::int64_t FIStudyOptionsViewController::numberOfSectionsInTableView(TableView&) {
    return 2;
}

std::int64_t FIStudyOptionsViewController::numberOfRowsInSection(TableView&, std::int64_t section) {
    if (section < 0 || section >= static_cast<std::int64_t>(cellTitles_.size())) return 0;
    return static_cast<std::int64_t>(cellTitles_[static_cast<std::size_t>(section)].size());
}

std::optional<std::string> FIStudyOptionsViewController::titleForHeaderInSection(TableView&, std::int64_t section) {
    if (section < 0 || section >= static_cast<std::int64_t>(sectionTitles_.size())) return std::nullopt;
    return sectionTitles_[static_cast<std::size_t>(section)];
}

std::shared_ptr<TableViewCell> FIStudyOptionsViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                   const IndexPath& indexPath) {
    auto cell = tableView.dequeueReusableCell("Cell", indexPath);
    cell->setAccessoryView(nullptr);
    cell->setAccessoryType(TableViewCellAccessoryType::None);
    const auto section = static_cast<std::size_t>(indexPath.section);
    const auto row = static_cast<std::size_t>(indexPath.row);
    if (section < cellTitles_.size() && row < cellTitles_[section].size())
        cell->textLabel()->setText(cellTitles_[section][row]);
    cell->setSelectionStyle(TableViewCellSelectionStyle::None);
    if (indexPath.section == 0) {
        if (indexPath.row == studyOptions_.studyDirection())
            cell->setAccessoryType(TableViewCellAccessoryType::Checkmark);
    } else if (indexPath.section == 1 && indexPath.row == 0) {
        shuffleSwitch_->setOn(studyOptions_.shuffleCards());
        cell->setAccessoryView(shuffleSwitch_);
    } else if (indexPath.section == 1 && indexPath.row == 1) {
        auto field = std::make_shared<TextField>(Rect(0, 0, 44, 44));
        field->setTextAlignment(TextAlignment::Right);
        field->setDelegate(selfAs<TextFieldDelegate>());
        field->setText(cardsPerSessionLabel(studyOptions_.numberOfCardsPerSession()));
        cardsPerSessionTextField_ = field;
        cell->setAccessoryView(field);
    }
    return cell;
}

void FIStudyOptionsViewController::didSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    if (isPickerOpen_) {
        if (cardsPerSessionTextField_) cardsPerSessionTextField_->resignFirstResponder();
        return;
    }
    if (indexPath.section == 0) {
        if (indexPath.row == 0) studyQuestionFirst();
        if (indexPath.row == 1) studyAnswerFirst();
        if (indexPath.row == 2) studyBothWays();
    } else if (indexPath.section == 1 && indexPath.row == 1) {
        if (cardsPerSessionTextField_) cardsPerSessionTextField_->becomeFirstResponder();
    }
}

// --- Cards per session ---

bool FIStudyOptionsViewController::textFieldShouldBeginEditing(TextField& textField) {
    picker_ = std::make_shared<PickerView>(Rect());
    picker_->setDelegate(selfAs<PickerViewDelegate>());
    picker_->setDataSource(selfAs<PickerViewDataSource>());
    const auto& choices = kCardsPerSessionChoices;
    auto found = std::find(choices.begin(), choices.end(), studyOptions_.numberOfCardsPerSession());
    if (found != choices.end()) picker_->selectRow(found - choices.begin(), 0, false);
    textField.setInputView(picker_);
    isPickerOpen_ = true;
    return true;
}

void FIStudyOptionsViewController::textFieldDidEndEditing(TextField& textField) {
    isPickerOpen_ = false;
    textField.setText(cardsPerSessionLabel(studyOptions_.numberOfCardsPerSession()));
}

std::int64_t FIStudyOptionsViewController::numberOfComponentsInPickerView(PickerView&) {
    return 1;
}

std::int64_t FIStudyOptionsViewController::numberOfRowsInComponent(PickerView&, std::int64_t) {
    return static_cast<std::int64_t>(kCardsPerSessionChoices.size());
}

std::optional<std::string> FIStudyOptionsViewController::titleForRow(PickerView&, std::int64_t row, std::int64_t) {
    if (row < 0 || row >= static_cast<std::int64_t>(kCardsPerSessionChoices.size())) return std::nullopt;
    const std::int64_t choice = kCardsPerSessionChoices[static_cast<std::size_t>(row)];
    if (choice == kUnlimitedCardsPerSession) return localized("CardsPerStudySessionUnlimited");
    return stringWithFormat(localized("XCardsPerStudySessionFormat"), static_cast<long>(choice));
}

void FIStudyOptionsViewController::didSelectRow(PickerView&, std::int64_t row, std::int64_t) {
    if (row < 0 || row >= static_cast<std::int64_t>(kCardsPerSessionChoices.size())) return;
    studyOptions_.setNumberOfCardsPerSession(kCardsPerSessionChoices[static_cast<std::size_t>(row)]);
    if (cardsPerSessionTextField_) cardsPerSessionTextField_->resignFirstResponder();
}
