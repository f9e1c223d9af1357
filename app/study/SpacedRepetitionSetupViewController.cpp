#include "app/study/SpacedRepetitionSetupViewController.h"

#include <algorithm>
#include <charconv>

#include "model/TWLogger.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Storyboard.h"

namespace {

constexpr const char* kLogFile = "SpacedRepetitionSetupViewController";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

// A decimal integer: ASCII digits after an optional "+" or "-" and nothing
// else; none when the text is anything else or overflows 64 bits.
std::optional<std::int64_t> parseDecimal(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars reads a "-" itself, not a "+"; after either, only digits.
    if (first != last && *first == '+') ++first;
    const char* digits = (first != last && *first == '-' && first == text.data()) ? first + 1 : first;
    if (digits == last || *digits < '0' || *digits > '9') return std::nullopt;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

// A box's row: its interval field at the row's trailing end, however wide the screen.
class BoxIntervalCell : public TableViewCell {
public:
    BoxIntervalCell() : TableViewCell(TableViewCellStyle::Default, std::nullopt) {}
    void layoutSubviews() override {
        TableViewCell::layoutSubviews();
        if (View* field = contentView()->viewWithTag(SpacedRepetitionSetupViewController::kIntervalFieldTag))
            field->setFrame(Rect(std::max(0.0, contentView()->bounds().width() - 126), 7, 110, 30));
    }
};

}  // namespace

void SpacedRepetitionSetupViewController::setInitialBoxIntervals(std::optional<std::vector<std::int64_t>> intervals) {
    initialBoxIntervals_ = std::move(intervals);
    for (std::size_t i = 0; i < kNumberOfBoxes; ++i) {
        entered_[i].reset();
        // A stored value equal to the default is not written into the field.
        if (initialBoxIntervals_ && i < initialBoxIntervals_->size() &&
            (*initialBoxIntervals_)[i] != defaultIntervals[i])
            entered_[i] = std::to_string((*initialBoxIntervals_)[i]);
    }
}

const std::optional<std::string>& SpacedRepetitionSetupViewController::enteredText(std::int64_t box) const {
    static const std::optional<std::string> none;
    if (box < 1 || box > static_cast<std::int64_t>(kNumberOfBoxes)) return none;
    return entered_[static_cast<std::size_t>(box - 1)];
}

std::int64_t SpacedRepetitionSetupViewController::interval(std::int64_t box, std::int64_t defaultValue) const {
    const auto& text = enteredText(box);
    if (!text || text->empty()) return defaultValue;
    auto value = parseDecimal(*text);
    if (!value || *value <= 1) return defaultValue;
    return *value;
}

std::optional<std::vector<std::int64_t>> SpacedRepetitionSetupViewController::boxIntervals() const {
    std::vector<std::int64_t> intervals;
    for (std::size_t i = 0; i < kNumberOfBoxes; ++i)
        intervals.push_back(interval(static_cast<std::int64_t>(i) + 1, defaultIntervals[i]));
    if (std::equal(intervals.begin(), intervals.end(), defaultIntervals.begin())) return std::nullopt;
    return intervals;
}

void SpacedRepetitionSetupViewController::done() {
    if (auto presenter = presentingViewController()) presenter->dismissViewController(true);
}

std::int64_t SpacedRepetitionSetupViewController::boxForRow(const IndexPath& indexPath) {
    if (indexPath.section != 0 || indexPath.row < kFirstBoxRow ||
        indexPath.row >= kFirstBoxRow + static_cast<std::int64_t>(kNumberOfBoxes))
        return 0;
    return indexPath.row - kFirstBoxRow + 1;
}

TextField* SpacedRepetitionSetupViewController::intervalField(TableViewCell& cell) {
    return dynamic_cast<TextField*>(cell.viewWithTag(kIntervalFieldTag));
}

void SpacedRepetitionSetupViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    // The box fields are the static cells' own: each change goes into the
    // model at once, whether or not its row stays in view.
    if (staticSections().empty()) return;
    const auto& cells = staticSections().front().cells;
    auto self = std::static_pointer_cast<SpacedRepetitionSetupViewController>(shared_from_this());
    std::weak_ptr<SpacedRepetitionSetupViewController> weakSelf = self;
    for (std::int64_t row = 0; row < static_cast<std::int64_t>(cells.size()); ++row) {
        const std::int64_t box = boxForRow({0, row});
        if (box == 0) continue;
        TextField* field = intervalField(*cells[static_cast<std::size_t>(row)]);
        if (!field) continue;
        field->setDelegate(std::static_pointer_cast<TextFieldDelegate>(self));
        field->addTarget(
            [weakSelf, box](Control& sender) {
                auto strongSelf = weakSelf.lock();
                if (!strongSelf) return;
                strongSelf->entered_[static_cast<std::size_t>(box - 1)] = static_cast<TextField&>(sender).text();
            },
            ControlEventEditingChanged);
    }
}

void SpacedRepetitionSetupViewController::willDisplayCell(TableView&, TableViewCell& cell, const IndexPath& indexPath) {
    const std::int64_t box = boxForRow(indexPath);
    if (box == 0) return;
    const auto& text = entered_[static_cast<std::size_t>(box - 1)];
    if (!text) return;  // left as designed
    if (TextField* field = intervalField(cell)) field->setText(text);
}

void SpacedRepetitionSetupViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    if (auto cell = tableView.cellForRowAtIndexPath(indexPath))
        if (TextField* field = intervalField(*cell)) field->becomeFirstResponder();
    tableView.deselectRowAtIndexPath(indexPath, true);
}

double SpacedRepetitionSetupViewController::heightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    const double standard = tableView.rowHeight() > 0 ? tableView.rowHeight() : 44;
    if (indexPath.section != 0 || indexPath.row >= kFirstBoxRow || staticSections().empty()) return standard;
    const auto& cells = staticSections().front().cells;
    if (indexPath.row < 0 || indexPath.row >= static_cast<std::int64_t>(cells.size())) return standard;
    const double width = std::max(0.0, tableView.bounds().width() - 32);
    return std::max(standard, cells[static_cast<std::size_t>(indexPath.row)]->textLabel()->sizeThatFits({width, 0}).height + 20);
}

bool SpacedRepetitionSetupViewController::textFieldShouldReturn(TextField& textField) {
    textField.resignFirstResponder();
    return true;
}

void SpacedRepetitionSetupViewController::viewWillDisappear(bool animated) {
    TableViewController::viewWillDisappear(animated);
    logLine("will disappear", TWLogger::LevelWarning, "viewWillDisappear(_:)", __LINE__);
}

void SpacedRepetitionSetupViewController::viewDidDisappear(bool animated) {
    TableViewController::viewDidDisappear(animated);
    logLine("did disappear", TWLogger::LevelWarning, "viewDidDisappear(_:)", __LINE__);
    auto intervals = boxIntervals();
    // Equal means the same count and equal numbers; nil equals only nil.
    if (intervals == initialBoxIntervals_) return;
    if (handler_) handler_(intervals);
}

void SpacedRepetitionSetupViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<SpacedRepetitionSetupViewController>(
        kSceneIdentifier, [](SpacedRepetitionSetupViewController& controller) {
            controller.setView(std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Grouped));
            std::vector<std::shared_ptr<TableViewCell>> cells;
            // The explanations wrap onto a second line where the width asks for it.
            auto explanation = [&](std::string text) {
                auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
                cell->textLabel()->setText(std::move(text));
                cell->textLabel()->setNumberOfLines(0);
                cell->setSelectionStyle(TableViewCellSelectionStyle::None);
                cells.push_back(cell);
            };
            explanation("Each time you know a card, it moves up one box.");
            explanation("A card is due again after the interval of its box.");
            explanation("Intervals in days:");
            for (std::size_t i = 0; i < kNumberOfBoxes; ++i) {
                auto cell = std::make_shared<BoxIntervalCell>();
                cell->textLabel()->setText("Box " + std::to_string(i + 1));
                auto field = std::make_shared<TextField>(Rect(250, 7, 110, 30));
                field->setTag(kIntervalFieldTag);
                field->setTextAlignment(TextAlignment::Right);
                field->setPlaceholder(std::to_string(defaultIntervals[i]));
                cell->contentView()->addSubview(field);
                cells.push_back(cell);
            }
            controller.setStaticSections({{std::nullopt, std::move(cells), std::nullopt}});
            std::weak_ptr<ViewController> weakController = controller.shared_from_this();
            controller.navigationItem().setRightBarButtonItem(
                BarButtonItem::withSystemItem(BarButtonSystemItem::Done, [weakController](BarButtonItem&) {
                    if (auto strong =
                            std::static_pointer_cast<SpacedRepetitionSetupViewController>(weakController.lock()))
                        strong->done();
                }));
        });
}
