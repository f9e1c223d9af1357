#include "platform/ui/TableView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Error.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ViewController.h"

namespace {

[[noreturn]] void raiseInconsistency(const std::string& reason) {
    throw NamedException("NSInternalInconsistencyException", reason);
}

// The controller whose view holds the view (a segue's source for a cell).
std::shared_ptr<ViewController> owningController(View& view) {
    for (View* v = &view; v; v = v->superview())
        if (ViewController* controller = v->viewController()) return controller->shared_from_this();
    return nullptr;
}

// How far a row's content slides before a release reveals its actions, and
// the share of the row's width past which a release performs the first one.
constexpr double kRevealDistance = 30;
constexpr double kFullSwipeShare = 0.6;
constexpr double kSwipeButtonMinimumWidth = 74;
// Inset grouped rows keep this far from the table's sides.
constexpr double kInsetGroupedMargin = 16;

// The drag that swipes a row: a mostly sideways movement.
// A sideways drag over a row that has actions to reveal, or while a row shows
// them (to close them); any other drag is left to the views around the table
// (a page view's swipe, a navigation's swipe back).
class RowSwipeGestureRecognizer : public PanGestureRecognizer {
public:
    bool canBegin() const override {
        const Point t = translationInView(nullptr);
        if (std::abs(t.x) <= std::abs(t.y)) return false;
        auto* table = dynamic_cast<TableView*>(view());
        if (!table) return false;
        if (table->swipedRow()) return true;
        const Point at = locationInView(table);
        const Point start{at.x - t.x, at.y - t.y};
        auto row = table->indexPathForRowAtPoint(start);
        return row && table->swipeActionsForRow(*row) != nullptr;
    }
};

Color swipeActionColor(const ContextualAction& action) {
    if (action.backgroundColor()) return *action.backgroundColor();
    return action.style() == ContextualAction::Style::Destructive ? Color::systemRedColor() : Color::systemGrayColor();
}

// The revealed actions' buttons side by side, the first one outermost.
std::shared_ptr<View> makeSwipeActionsView(const SwipeActionsConfiguration& configuration, double height,
                                           const std::function<void(const std::string&)>& tapped) {
    auto view = std::make_shared<View>();
    double x = 0;
    const auto& actions = configuration.actions();
    for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
        const std::string title = (*it)->title().value_or("");
        auto button = std::make_shared<Button>(ButtonType::Custom);
        button->setTitle(title, ControlStateNormal);
        button->setTitleColor(Color::whiteColor(), ControlStateNormal);
        button->setBackgroundColor(swipeActionColor(**it));
        if (!(*it)->title() && (*it)->image()) button->setImage((*it)->image(), ControlStateNormal);
        const double width = std::max(kSwipeButtonMinimumWidth, button->intrinsicContentSize().width + 30);
        button->setFrame(Rect(x, 0, width, height));
        button->addTarget([tapped, title](Control&) { tapped(title); }, ControlEventTouchUpInside);
        view->addSubview(button);
        x += width;
    }
    view->setFrame(Rect(0, 0, x, height));
    return view;
}

}  // namespace

std::shared_ptr<ContextualAction> ContextualAction::contextualActionWithStyle(Style style,
                                                                              std::optional<std::string> title,
                                                                              Handler handler) {
    return std::make_shared<ContextualAction>(style, std::move(title), std::move(handler));
}

// --- TableViewHeaderFooterView ---

TableViewHeaderFooterView::TableViewHeaderFooterView(std::optional<std::string> reuseIdentifier)
    : View(Rect(0, 0, 320, 28)), reuseIdentifier_(std::move(reuseIdentifier)) {
    contentView_ = std::make_shared<View>(bounds());
    addSubview(contentView_);
}

const std::shared_ptr<Label>& TableViewHeaderFooterView::textLabel() {
    if (!textLabel_) {
        textLabel_ = std::make_shared<Label>();
        textLabel_->setFont(Font::systemFont(13));
        textLabel_->setTextColor(Color::secondaryLabelColor());
        contentView_->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

void TableViewHeaderFooterView::styleForTable(TableViewStyle style, bool footer) {
    tableStyle_ = style;
    footer_ = footer;
    const auto& label = textLabel();
    if (footer) {
        label->setNumberOfLines(0);
    } else if (style == TableViewStyle::Plain) {
        label->setFont(Font::systemFont(15, FontWeight::Semibold));
        label->setTextColor(Color::labelColor());
        setBackgroundColor(Color::dynamic(Color::rgb(0xF2F2F7), Color::rgb(0x1C1C1E)));
    }
    setNeedsLayout();
}

double TableViewHeaderFooterView::heightForWidth(double width) const {
    if (!tableStyle_ || !textLabel_ || !textLabel_->text() || textLabel_->text()->empty()) return 0;
    // One line fits the table's heights; more lines need more room.
    const Size text = measureText(*textLabel_->text(), textLabel_->font(), std::max(0.0, width - 32), footer_);
    if (text.height <= std::ceil(textLabel_->font().lineHeight())) return 0;
    return std::ceil(text.height) + 14;
}

void TableViewHeaderFooterView::layoutSubviews() {
    const Rect b = bounds();
    contentView_->setFrame(b);
    if (!textLabel_) return;
    const double width = std::max(0.0, b.size.width - 32);
    const double line = std::ceil(textLabel_->font().lineHeight());
    if (tableStyle_ && footer_) {
        // Below the rows, wrapping.
        textLabel_->setFrame(Rect(16, std::min(6.0, b.size.height), width, std::max(0.0, b.size.height - 6)));
    } else if (tableStyle_ && *tableStyle_ != TableViewStyle::Plain && b.size.height > line + 6) {
        // On the line just above the rows.
        textLabel_->setFrame(Rect(16, b.size.height - line - 6, width, line));
    } else {
        textLabel_->setFrame(Rect(16, 0, width, b.size.height));
    }
}

// --- TableViewDelegate defaults ---

double TableViewDelegate::heightForRowAtIndexPath(TableView& tableView, const IndexPath&) {
    return tableView.rowHeight();
}

double TableViewDelegate::estimatedHeightForRowAtIndexPath(TableView& tableView, const IndexPath&) {
    return tableView.estimatedRowHeight();
}

double TableViewDelegate::heightForHeaderInSection(TableView& tableView, std::int64_t) {
    return tableView.sectionHeaderHeight();
}

double TableViewDelegate::heightForFooterInSection(TableView& tableView, std::int64_t) {
    return tableView.sectionFooterHeight();
}

// --- TableView ---

TableView::TableView(const Rect& frame, TableViewStyle style) : ScrollView(frame), style_(style) {
    if (style_ != TableViewStyle::Plain) setBackgroundColor(Color::dynamic(Color::rgb(0xF2F2F7), Color::blackColor()));
    rowPan_ = std::make_shared<RowSwipeGestureRecognizer>();
    // The recogniser may outlive this view; the destructor removes this target.
    rowPanTarget_ = rowPan_->addTarget([this](GestureRecognizer& recognizer) { handleRowPan(recognizer); });
    addGestureRecognizer(rowPan_);
}

TableView::~TableView() {
    rowPan_->removeTarget(rowPanTarget_);
}

void TableView::setDelegate(std::weak_ptr<TableViewDelegate> delegate) {
    tableDelegate_ = delegate;
    ScrollView::setDelegate(std::weak_ptr<ScrollViewDelegate>(delegate.lock()));
}

void TableView::setBackgroundView(std::shared_ptr<View> view) {
    if (backgroundView_) backgroundView_->removeFromSuperview();
    backgroundView_ = std::move(view);
    if (backgroundView_) {
        insertSubview(backgroundView_, 0);
        backgroundView_->setFrame(bounds());
    }
}

void TableView::setTableHeaderView(std::shared_ptr<View> view) {
    if (tableHeaderView_) tableHeaderView_->removeFromSuperview();
    tableHeaderView_ = std::move(view);
    if (tableHeaderView_) addSubview(tableHeaderView_);
    tileRows();
}

void TableView::setTableFooterView(std::shared_ptr<View> view) {
    if (tableFooterView_) tableFooterView_->removeFromSuperview();
    tableFooterView_ = std::move(view);
    if (tableFooterView_) addSubview(tableFooterView_);
    tileRows();
}

void TableView::registerCellFactory(const std::string& reuseIdentifier, CellFactory factory) {
    factories_[reuseIdentifier] = std::move(factory);
}

void TableView::setSelectionSegue(const std::string& reuseIdentifier, std::string segueIdentifier) {
    selectionSegues_[reuseIdentifier] = std::move(segueIdentifier);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier) {
    auto& pool = reusePool_[reuseIdentifier];
    if (pool.empty()) return nullptr;
    auto cell = pool.back();
    pool.pop_back();
    cell->prepareForReuse();
    return cell;
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier,
                                                              const IndexPath& indexPath) {
    auto cell = dequeueReusableCell(reuseIdentifier);
    if (!cell) {
        auto it = factories_.find(reuseIdentifier);
        if (it == factories_.end())
            raiseInconsistency("unable to dequeue a cell with identifier " + reuseIdentifier +
                               " - must register a nib or a class for the identifier");
        cell = it->second(reuseIdentifier);
        if (cell && !cell->reuseIdentifier()) cell->setReuseIdentifier(reuseIdentifier);
    }
    if (auto segue = selectionSegues_.find(reuseIdentifier); segue != selectionSegues_.end())
        cell->setSelectionSegueIdentifier(segue->second);
    // While the rows are tiled the cell takes its row's frame at once: the
    // data source lays it out at the size it is shown at, and once only.
    if (tiling_ && cell && hasRowLayout(indexPath)) cell->setFrame(cellFrame(rectForRowAtIndexPath(indexPath)));
    return cell;
}

void TableView::registerHeaderFooterFactory(const std::string& reuseIdentifier, HeaderFooterFactory factory) {
    headerFooterFactories_[reuseIdentifier] = std::move(factory);
}

std::shared_ptr<TableViewHeaderFooterView> TableView::dequeueReusableHeaderFooterView(
    const std::string& reuseIdentifier) {
    auto& pool = headerFooterPool_[reuseIdentifier];
    if (!pool.empty()) {
        auto view = pool.back();
        pool.pop_back();
        view->prepareForReuse();
        return view;
    }
    auto it = headerFooterFactories_.find(reuseIdentifier);
    return it == headerFooterFactories_.end() ? nullptr : it->second(reuseIdentifier);
}

// --- Data ---

void TableView::recycle(const std::shared_ptr<TableViewCell>& cell, bool keepInTable) {
    if (!keepInTable) cell->removeFromSuperview();
    cell->setSwipeActionsView(nullptr);
    cell->setSelected(false);
    cell->setHighlighted(false);
    if (cell->reuseIdentifier()) reusePool_[*cell->reuseIdentifier()].push_back(cell);
}

void TableView::makeHeadersAndFooters() {
    for (auto& [section, view] : headers_) view->removeFromSuperview();
    for (auto& [section, view] : footers_) view->removeFromSuperview();
    headers_.clear();
    footers_.clear();
    for (auto* made : {&madeHeaders_, &madeFooters_})
        for (auto& [section, view] : *made)
            if (auto reusable = std::dynamic_pointer_cast<TableViewHeaderFooterView>(view);
                reusable && reusable->reuseIdentifier())
                headerFooterPool_[*reusable->reuseIdentifier()].push_back(reusable);
    madeHeaders_.clear();
    madeFooters_.clear();
    for (std::int64_t section = 0; section < numberOfSections(); ++section) {
        if (auto header = makeHeaderFooter(section, true)) madeHeaders_[section] = header;
        if (auto footer = makeHeaderFooter(section, false)) madeFooters_[section] = footer;
    }
}

void TableView::reloadData() {
    auto keep = weak_from_this().lock();
    // The cells stay in the table while the rows are tiled again: those that
    // come back for the new rows are not taken out and put in again; the
    // others leave once the rows are tiled.
    for (auto& [indexPath, cell] : cells_) recycle(cell, true);
    cells_.clear();
    measuredHeights_.clear();
    selected_.clear();
    closeSwipeActions();
    rowCounts_.clear();
    if (auto dataSource = dataSource_.lock()) {
        const std::int64_t sections = dataSource->numberOfSectionsInTableView(*this);
        for (std::int64_t section = 0; section < sections; ++section)
            rowCounts_.push_back(std::max<std::int64_t>(0, dataSource->numberOfRowsInSection(*this, section)));
    }
    makeHeadersAndFooters();
    tileRows();
    for (auto& [identifier, pool] : reusePool_)
        for (const auto& cell : pool)
            if (cell->superview() == this) cell->removeFromSuperview();
}

void TableView::endUpdates() {
    if (updateDepth_ > 0) --updateDepth_;
}

void TableView::reloadRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation) {
    auto keep = weak_from_this().lock();
    rowUpdates_.push_back({TableViewRowUpdate::Kind::Reload, indexPaths, animation, updateDepth_ > 0});
    for (const auto& indexPath : indexPaths) {
        measuredHeights_.erase(indexPath);
        auto it = cells_.find(indexPath);
        if (it == cells_.end()) continue;
        recycle(it->second);
        cells_.erase(it);
    }
    tileRows();
}

void TableView::recountRows(const std::vector<IndexPath>& changed, std::int64_t sign) {
    auto dataSource = dataSource_.lock();
    if (!dataSource) return;
    std::vector<std::int64_t> expected = rowCounts_;
    for (const auto& indexPath : changed) {
        if (indexPath.section < 0 || indexPath.section >= numberOfSections())
            raiseInconsistency("attempt to change a row in section " + std::to_string(indexPath.section) +
                               ", but there are only " + std::to_string(numberOfSections()) + " sections");
        expected[static_cast<std::size_t>(indexPath.section)] += sign;
    }
    for (std::size_t section = 0; section < expected.size(); ++section) {
        const std::int64_t now = dataSource->numberOfRowsInSection(*this, static_cast<std::int64_t>(section));
        if (now != expected[section])
            raiseInconsistency(
                "Invalid update: invalid number of rows in section " + std::to_string(section) +
                ". The number of rows contained in an existing section after the update (" + std::to_string(now) +
                ") must be equal to the number of rows contained in that "
                "section before the update (" +
                std::to_string(rowCounts_[section]) + "), plus or minus the number of rows inserted or deleted");
    }
    rowCounts_ = expected;
}

void TableView::relayOutAfterUpdate() {
    for (auto& [indexPath, cell] : cells_) recycle(cell);
    cells_.clear();
    measuredHeights_.clear();
    closeSwipeActions();
    tileRows();
}

void TableView::deleteRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation) {
    auto keep = weak_from_this().lock();
    rowUpdates_.push_back({TableViewRowUpdate::Kind::Delete, indexPaths, animation, updateDepth_ > 0});
    recountRows(indexPaths, -1);
    // Selected rows below a deleted one move up; deleted ones go.
    std::vector<IndexPath> sorted = indexPaths;
    std::sort(sorted.begin(), sorted.end());
    auto shifted = [&](IndexPath p) -> std::optional<IndexPath> {
        std::int64_t above = 0;
        for (const auto& d : sorted) {
            if (d == p) return std::nullopt;
            if (d.section == p.section && d.row < p.row) ++above;
        }
        return IndexPath{p.section, p.row - above};
    };
    std::vector<IndexPath> selected;
    for (const auto& p : selected_)
        if (auto moved = shifted(p)) selected.push_back(*moved);
    selected_ = std::move(selected);
    relayOutAfterUpdate();
}

void TableView::insertRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation) {
    auto keep = weak_from_this().lock();
    rowUpdates_.push_back({TableViewRowUpdate::Kind::Insert, indexPaths, animation, updateDepth_ > 0});
    recountRows(indexPaths, +1);
    std::vector<IndexPath> sorted = indexPaths;
    std::sort(sorted.begin(), sorted.end());
    for (auto& p : selected_) {
        std::int64_t row = p.row;
        for (const auto& i : sorted)
            if (i.section == p.section && i.row <= row) ++row;
        p.row = row;
    }
    relayOutAfterUpdate();
}

void TableView::performBatchUpdates(const std::vector<IndexPath>& deletes, const std::vector<IndexPath>& inserts,
                                    const std::vector<std::pair<IndexPath, IndexPath>>& moves,
                                    TableViewRowAnimation animation) {
    auto keep = weak_from_this().lock();
    auto dataSource = dataSource_.lock();
    if (!dataSource) return;
    const std::size_t sections = rowCounts_.size();
    if (dataSource->numberOfSectionsInTableView(*this) != static_cast<std::int64_t>(sections))
        raiseInconsistency("Invalid batch update: the number of sections changed");
    if (!deletes.empty()) rowUpdates_.push_back({TableViewRowUpdate::Kind::Delete, deletes, animation, true});
    if (!inserts.empty()) rowUpdates_.push_back({TableViewRowUpdate::Kind::Insert, inserts, animation, true});
    for (const auto& [from, to] : moves)
        rowUpdates_.push_back({TableViewRowUpdate::Kind::Move, {from, to}, animation, true});

    std::vector<std::int64_t> newCounts(sections);
    for (std::size_t s = 0; s < sections; ++s)
        newCounts[s] =
            std::max<std::int64_t>(0, dataSource->numberOfRowsInSection(*this, static_cast<std::int64_t>(s)));

    // Marks the rows that go (before) and the places that are taken (after).
    std::vector<std::vector<char>> gone(sections), taken(sections);
    for (std::size_t s = 0; s < sections; ++s) {
        gone[s].assign(static_cast<std::size_t>(rowCounts_[s]), 0);
        taken[s].assign(static_cast<std::size_t>(newCounts[s]), 0);
    }
    auto mark = [&](const IndexPath& p, std::vector<std::vector<char>>& marks, const char* what) {
        if (p.section < 0 || static_cast<std::size_t>(p.section) >= sections || p.row < 0 ||
            static_cast<std::size_t>(p.row) >= marks[static_cast<std::size_t>(p.section)].size())
            raiseInconsistency(std::string("Invalid batch update: ") + what + " of row " + std::to_string(p.row) +
                               " in section " + std::to_string(p.section) + ", which does not exist");
        char& m = marks[static_cast<std::size_t>(p.section)][static_cast<std::size_t>(p.row)];
        if (m)
            raiseInconsistency(std::string("Invalid batch update: ") + what + " of row " + std::to_string(p.row) +
                               " in section " + std::to_string(p.section) + " told twice");
        m = 1;
    };
    for (const auto& p : deletes) mark(p, gone, "delete");
    for (const auto& [from, to] : moves) {
        mark(from, gone, "move");
        mark(to, taken, "move");
    }
    for (const auto& p : inserts) mark(p, taken, "insert");

    // Where every row of before is now: a moved row at its destination, the
    // others in order into the places left in their section.
    std::vector<std::vector<std::optional<IndexPath>>> target(sections);
    for (std::size_t s = 0; s < sections; ++s) {
        target[s].assign(static_cast<std::size_t>(rowCounts_[s]), std::nullopt);
        std::size_t next = 0;
        for (std::size_t r = 0; r < gone[s].size(); ++r) {
            if (gone[s][r]) continue;
            while (next < taken[s].size() && taken[s][next]) ++next;
            if (next == taken[s].size())
                raiseInconsistency("Invalid batch update: invalid number of rows in section " + std::to_string(s));
            target[s][r] = IndexPath{static_cast<std::int64_t>(s), static_cast<std::int64_t>(next++)};
        }
        while (next < taken[s].size() && taken[s][next]) ++next;
        if (next != taken[s].size())
            raiseInconsistency("Invalid batch update: invalid number of rows in section " + std::to_string(s));
    }
    for (const auto& [from, to] : moves)
        target[static_cast<std::size_t>(from.section)][static_cast<std::size_t>(from.row)] = to;
    auto moved = [&](const IndexPath& p) {
        return target[static_cast<std::size_t>(p.section)][static_cast<std::size_t>(p.row)];
    };

    std::map<IndexPath, std::shared_ptr<TableViewCell>> cells;
    for (auto& [indexPath, cell] : cells_) {
        if (auto to = moved(indexPath))
            cells[*to] = cell;
        else
            recycle(cell);
    }
    cells_ = std::move(cells);
    std::map<IndexPath, double> heights;
    for (const auto& [indexPath, height] : measuredHeights_)
        if (indexPath.section >= 0 && static_cast<std::size_t>(indexPath.section) < sections &&
            static_cast<std::size_t>(indexPath.row) < target[static_cast<std::size_t>(indexPath.section)].size())
            if (auto to = moved(indexPath)) heights[*to] = height;
    measuredHeights_ = std::move(heights);
    std::vector<IndexPath> selected;
    for (const auto& p : selected_)
        if (auto to = moved(p)) selected.push_back(*to);
    selected_ = std::move(selected);
    closeSwipeActions();
    rowCounts_ = std::move(newCounts);
    tileRows();
}

std::int64_t TableView::numberOfRowsInSection(std::int64_t section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return rowCounts_[static_cast<std::size_t>(section)];
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& indexPath) const {
    auto it = cells_.find(indexPath);
    return it == cells_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() const {
    std::vector<std::shared_ptr<TableViewCell>> cells;
    for (const auto& [indexPath, cell] : cells_) cells.push_back(cell);
    return cells;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() const {
    std::vector<IndexPath> rows;
    for (const auto& [indexPath, cell] : cells_) rows.push_back(indexPath);
    return rows;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const {
    for (const auto& [indexPath, c] : cells_)
        if (c.get() == &cell) return indexPath;
    return std::nullopt;
}

std::shared_ptr<View> TableView::headerViewForSection(std::int64_t section) const {
    auto it = headers_.find(section);
    return it == headers_.end() ? nullptr : it->second;
}

std::shared_ptr<View> TableView::footerViewForSection(std::int64_t section) const {
    auto it = footers_.find(section);
    return it == footers_.end() ? nullptr : it->second;
}

bool TableView::hasRowLayout(const IndexPath& indexPath) const {
    return indexPath.section >= 0 && indexPath.section < static_cast<std::int64_t>(layout_.size()) &&
           indexPath.row >= 0 &&
           indexPath.row < static_cast<std::int64_t>(layout_[static_cast<std::size_t>(indexPath.section)].rowY.size());
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& indexPath) const {
    if (!hasRowLayout(indexPath)) return Rect();
    const auto& section = layout_[static_cast<std::size_t>(indexPath.section)];
    const auto row = static_cast<std::size_t>(indexPath.row);
    return Rect(0, section.rowY[row], bounds().size.width, section.rowHeight[row]);
}

void TableView::scrollToRowAtIndexPath(const IndexPath& indexPath, TableViewScrollPosition position, bool animated) {
    const Rect row = rectForRowAtIndexPath(indexPath);
    const Rect b = bounds();
    double y = b.origin.y;
    switch (position) {
        case TableViewScrollPosition::Top:
            y = row.minY();
            break;
        case TableViewScrollPosition::Middle:
            y = row.midY() - b.size.height / 2;
            break;
        case TableViewScrollPosition::Bottom:
            y = row.maxY() - b.size.height;
            break;
        case TableViewScrollPosition::None:
            if (row.minY() < b.minY())
                y = row.minY();
            else if (row.maxY() > b.maxY())
                y = row.maxY() - b.size.height;
            break;
    }
    const double maxY = std::max(0.0, contentSize().height - b.size.height);
    setContentOffset({b.origin.x, std::clamp(y, 0.0, maxY)}, animated);
}

// --- Layout ---

double TableView::rowHeightFor(const IndexPath& indexPath, TableViewCell* cell) {
    auto delegate = tableDelegate_.lock();
    double height = delegate ? delegate->heightForRowAtIndexPath(*this, indexPath) : rowHeight_;
    if (height != kTableViewAutomaticDimension) return height;
    if (cell) {
        const double fitted = cell->sizeThatFits({bounds().size.width, 0}).height;
        if (fitted > 0) {
            measuredHeights_[indexPath] = fitted;
            return fitted;
        }
    }
    if (!measuredHeights_.empty())
        if (auto it = measuredHeights_.find(indexPath); it != measuredHeights_.end()) return it->second;
    const double estimate =
        delegate ? delegate->estimatedHeightForRowAtIndexPath(*this, indexPath) : estimatedRowHeight_;
    return estimate > 0 ? estimate : 44;
}

std::shared_ptr<View> TableView::makeHeaderFooter(std::int64_t section, bool header) {
    auto delegate = tableDelegate_.lock();
    std::shared_ptr<View> view;
    if (delegate)
        view = header ? delegate->viewForHeaderInSection(*this, section)
                      : delegate->viewForFooterInSection(*this, section);
    if (view) return view;
    auto dataSource = dataSource_.lock();
    if (!dataSource) return nullptr;
    auto title = header ? dataSource->titleForHeaderInSection(*this, section)
                        : dataSource->titleForFooterInSection(*this, section);
    if (!title) return nullptr;
    auto plain = std::make_shared<TableViewHeaderFooterView>(std::nullopt);
    plain->styleForTable(style_, !header);
    plain->textLabel()->setText(*title);
    return plain;
}

void TableView::computeLayout() {
    auto delegate = tableDelegate_.lock();
    layout_.assign(rowCounts_.size(), SectionLayout{});
    double y = tableHeaderView_ ? tableHeaderView_->frame().size.height : 0;
    for (std::size_t s = 0; s < rowCounts_.size(); ++s) {
        const auto section = static_cast<std::int64_t>(s);
        SectionLayout& l = layout_[s];
        const bool hasHeader = madeHeaders_.count(section) != 0;
        l.headerY = y;
        l.headerHeight =
            hasHeader ? (delegate ? delegate->heightForHeaderInSection(*this, section) : sectionHeaderHeight_) : 0;
        if (l.headerHeight < 0) l.headerHeight = sectionHeaderHeight_;
        l.headerHeight = fittedHeight(madeHeaders_, section, l.headerHeight);
        y += l.headerHeight;
        l.rowY.reserve(static_cast<std::size_t>(rowCounts_[s]));
        l.rowHeight.reserve(static_cast<std::size_t>(rowCounts_[s]));
        for (std::int64_t row = 0; row < rowCounts_[s]; ++row) {
            IndexPath indexPath{section, row};
            auto cell = cells_.find(indexPath);
            const double height = rowHeightFor(indexPath, cell == cells_.end() ? nullptr : cell->second.get());
            l.rowY.push_back(y);
            l.rowHeight.push_back(height);
            y += height;
        }
        const bool hasFooter = madeFooters_.count(section) != 0;
        l.footerY = y;
        l.footerHeight =
            hasFooter ? (delegate ? delegate->heightForFooterInSection(*this, section) : sectionFooterHeight_) : 0;
        if (l.footerHeight < 0) l.footerHeight = sectionFooterHeight_;
        l.footerHeight = fittedHeight(madeFooters_, section, l.footerHeight);
        y += l.footerHeight;
    }
    if (tableFooterView_) {
        Rect f = tableFooterView_->frame();
        tableFooterView_->setFrame(Rect(0, y, bounds().size.width, f.size.height));
        y += f.size.height;
    }
    if (tableHeaderView_) {
        Rect f = tableHeaderView_->frame();
        tableHeaderView_->setFrame(Rect(0, 0, bounds().size.width, f.size.height));
    }
    setContentSize({bounds().size.width, y});
}

void TableView::tileRows() {
    if (tiling_) return;
    tiling_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{tiling_};
    auto keep = weak_from_this().lock();
    auto dataSource = dataSource_.lock();
    auto delegate = tableDelegate_.lock();
    computeLayout();
    const Rect visible = bounds();
    const double width = visible.size.width;
    auto inView = [&](double y, double height) {
        return height > 0 && y < visible.maxY() && y + height > visible.minY();
    };
    auto rowRect = [&](const IndexPath& p) -> std::optional<Rect> {
        if (p.section < 0 || p.section >= static_cast<std::int64_t>(layout_.size())) return std::nullopt;
        const auto& l = layout_[static_cast<std::size_t>(p.section)];
        if (p.row < 0 || p.row >= static_cast<std::int64_t>(l.rowY.size())) return std::nullopt;
        const auto r = static_cast<std::size_t>(p.row);
        return Rect(0, l.rowY[r], width, l.rowHeight[r]);
    };
    // Cells of rows out of view go to the reuse pool (first before new rows
    // come, so that those can reuse them; again at the end, once the
    // measured heights of new cells have moved the rows below them).
    auto dropRowsOutOfView = [&] {
        for (auto it = cells_.begin(); it != cells_.end();) {
            auto rect = rowRect(it->first);
            if (rect && inView(rect->minY(), rect->size.height)) {
                it->second->setFrame(cellFrame(*rect));
                ++it;
                continue;
            }
            recycle(it->second);
            if (swipedRow_ == it->first) {
                closeSwipeActions();
            }
            it = cells_.erase(it);
        }
    };
    dropRowsOutOfView();
    // New rows top to bottom; a cell whose height differs from its estimate
    // moves the rows below it before they are looked at.
    if (dataSource) {
        for (std::size_t s = 0; s < layout_.size(); ++s) {
            const auto section = static_cast<std::int64_t>(s);
            for (std::size_t r = 0; r < layout_[s].rowY.size(); ++r) {
                IndexPath indexPath{section, static_cast<std::int64_t>(r)};
                if (!inView(layout_[s].rowY[r], layout_[s].rowHeight[r]) || cells_.count(indexPath)) continue;
                auto cell = dataSource->cellForRowAtIndexPath(*this, indexPath);
                if (!cell) raiseInconsistency("the data source returned no cell");
                cells_[indexPath] = cell;
                if (rowHeightFor(indexPath, cell.get()) != layout_[s].rowHeight[r]) computeLayout();
                cell->setFrame(cellFrame(Rect(0, layout_[s].rowY[r], width, layout_[s].rowHeight[r])));
                cell->setEditing(editing_, false);
                decorate(*cell, indexPath);
                cell->setSelected(std::find(selected_.begin(), selected_.end(), indexPath) != selected_.end());
                if (delegate) delegate->willDisplayCell(*this, *cell, indexPath);
                if (cell->superview() != this) addSubview(cell);
            }
        }
    }
    dropRowsOutOfView();
    for (std::size_t s = 0; s < layout_.size(); ++s) {
        const auto section = static_cast<std::int64_t>(s);
        const SectionLayout& l = layout_[s];
        for (auto [views, isHeader] : {std::pair{&headers_, true}, std::pair{&footers_, false}}) {
            const double y = isHeader ? l.headerY : l.footerY;
            const double height = isHeader ? l.headerHeight : l.footerHeight;
            auto it = views->find(section);
            if (!inView(y, height)) {
                if (it != views->end()) {
                    it->second->removeFromSuperview();
                    views->erase(it);
                }
                continue;
            }
            if (it == views->end()) {
                const auto& made = isHeader ? madeHeaders_ : madeFooters_;
                auto found = made.find(section);
                if (found == made.end()) continue;
                it = views->emplace(section, found->second).first;
                if (delegate) {
                    if (isHeader)
                        delegate->willDisplayHeaderView(*this, *found->second, section);
                    else
                        delegate->willDisplayFooterView(*this, *found->second, section);
                }
                addSubview(found->second);
            }
            it->second->setFrame(Rect(0, y, width, height));
        }
    }
    if (backgroundView_) {
        backgroundView_->setFrame(visible);
        sendSubviewToBack(backgroundView_.get());
    }
}

void TableView::setBounds(const Rect& bounds) {
    const Rect old = this->bounds();
    ScrollView::setBounds(bounds);
    if (old != bounds) tileRows();
}

void TableView::setFrame(const Rect& frame) {
    const Rect old = bounds();
    ScrollView::setFrame(frame);
    if (old.size != bounds().size) tileRows();
}

void TableView::layoutSubviews() {
    ScrollView::layoutSubviews();
    tileRows();
}

double TableView::fittedHeight(const std::map<std::int64_t, std::shared_ptr<View>>& made, std::int64_t section,
                               double height) const {
    // A titled header or footer grows to hold its text; one given no height stays hidden.
    auto it = made.find(section);
    if (height <= 0 || it == made.end()) return height;
    auto titled = std::dynamic_pointer_cast<TableViewHeaderFooterView>(it->second);
    return titled ? std::max(height, titled->heightForWidth(bounds().size.width)) : height;
}

Rect TableView::cellFrame(const Rect& row) const {
    if (style_ != TableViewStyle::InsetGrouped) return row;
    return Rect(row.origin.x + kInsetGroupedMargin, row.origin.y,
                std::max(0.0, row.size.width - 2 * kInsetGroupedMargin), row.size.height);
}

void TableView::decorate(TableViewCell& cell, const IndexPath& indexPath) {
    TableViewCell::TableDecoration decoration;
    // Grouped sections end without a separator under their last row.
    decoration.showsSeparator =
        style_ == TableViewStyle::Plain || indexPath.row + 1 < numberOfRowsInSection(indexPath.section);
    decoration.separatorInset = separatorInset_;
    decoration.separatorColor = separatorColor_;
    if (editing_) {
        auto dataSource = dataSource_.lock();
        auto delegate = tableDelegate_.lock();
        if (mayEdit(indexPath))
            decoration.editingStyle = delegate ? delegate->editingStyleForRowAtIndexPath(*this, indexPath)
                                               : TableViewCellEditingStyle::Delete;
        decoration.showsReorderControl = dataSource && dataSource->canMoveRowAtIndexPath(*this, indexPath);
        std::weak_ptr<TableView> weak = std::static_pointer_cast<TableView>(shared_from_this());
        std::weak_ptr<View> weakCell = cell.weak_from_this();
        decoration.deleteControlTapped = [weak, weakCell] {
            auto self = weak.lock();
            auto tapped = std::dynamic_pointer_cast<TableViewCell>(weakCell.lock());
            if (!self || !tapped) return;
            auto row = self->indexPathForCell(*tapped);
            if (!row) return;
            if (self->swipedRow_ == row)
                self->closeSwipeActions();
            else
                self->openSwipeActions(*row, self->deleteConfiguration(*row));
        };
    }
    if (decoration.showsReorderControl)
        decoration.reorderDragged =
            [weak = std::weak_ptr<TableView>(std::static_pointer_cast<TableView>(shared_from_this())),
             weakCell = cell.weak_from_this()](double distance) {
                auto self = weak.lock();
                auto dragged = std::dynamic_pointer_cast<TableViewCell>(weakCell.lock());
                if (!self || !dragged) return;
                if (auto from = self->indexPathForCell(*dragged))
                    self->userMoveRow(*from, self->rowAtDragEnd(*from, distance));
            };
    cell.setTableDecoration(std::move(decoration));
}

IndexPath TableView::rowAtDragEnd(const IndexPath& from, double distance) const {
    // The row of the section under the dragged row's middle, the first or
    // last one past the section's ends.
    const double y = rectForRowAtIndexPath(from).midY() + distance;
    const std::int64_t rows = numberOfRowsInSection(from.section);
    IndexPath target{from.section, 0};
    for (std::int64_t row = 0; row < rows; ++row)
        if (rectForRowAtIndexPath({from.section, row}).minY() <= y) target.row = row;
    return target;
}

void TableView::openSwipeActions(const IndexPath& indexPath, std::shared_ptr<SwipeActionsConfiguration> configuration) {
    closeSwipeActions();
    auto cell = cellForRowAtIndexPath(indexPath);
    if (!cell || !configuration) return;
    swipedRow_ = indexPath;
    swipeConfiguration_ = configuration;
    std::weak_ptr<TableView> weak = std::static_pointer_cast<TableView>(shared_from_this());
    cell->setSwipeActionsView(
        makeSwipeActionsView(*configuration, cell->bounds().size.height, [weak](const std::string& title) {
            if (auto self = weak.lock()) self->userTapSwipeAction(title);
        }));
}

void TableView::closeSwipeActions() {
    if (swipedRow_)
        if (auto cell = cellForRowAtIndexPath(*swipedRow_)) cell->setSwipeActionsView(nullptr);
    swipedRow_.reset();
    swipeConfiguration_.reset();
}

std::shared_ptr<SwipeActionsConfiguration> TableView::deleteConfiguration(const IndexPath& indexPath) {
    std::weak_ptr<TableView> weak = std::static_pointer_cast<TableView>(shared_from_this());
    auto deleteAction = ContextualAction::contextualActionWithStyle(
        ContextualAction::Style::Destructive, std::string("Delete"),
        [weak, indexPath](ContextualAction&, View&, ContextualAction::Completion completion) {
            if (auto self = weak.lock())
                if (auto dataSource = self->dataSource_.lock())
                    dataSource->commitEditingStyle(*self, TableViewCellEditingStyle::Delete, indexPath);
            completion(true);
        });
    return SwipeActionsConfiguration::configurationWithActions({deleteAction});
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point point) const {
    for (const auto& [indexPath, cell] : cells_)
        if (cell->frame().contains(point)) return indexPath;
    return std::nullopt;
}

void TableView::handleRowPan(GestureRecognizer& recognizer) {
    auto& pan = static_cast<PanGestureRecognizer&>(recognizer);
    auto keep = weak_from_this().lock();
    switch (pan.state()) {
        case GestureRecognizerState::Began: {
            pannedRow_ = indexPathForRowAtPoint(pan.locationInView(this));
            break;
        }
        case GestureRecognizerState::Ended: {
            if (!pannedRow_) break;
            const IndexPath row = *pannedRow_;
            pannedRow_.reset();
            const double dx = pan.translationInView(this).x;
            if (dx >= kRevealDistance) {
                if (swipedRow_) closeSwipeActions();
            } else if (dx <= -kFullSwipeShare * bounds().size.width) {
                userFullSwipeRow(row);
            } else if (dx <= -kRevealDistance) {
                userSwipeRow(row);
            }
            break;
        }
        case GestureRecognizerState::Cancelled:
        case GestureRecognizerState::Failed:
            pannedRow_.reset();
            break;
        default:
            break;
    }
}

// --- Selection ---

std::optional<IndexPath> TableView::indexPathForSelectedRow() const {
    if (selected_.empty()) return std::nullopt;
    return *std::min_element(selected_.begin(), selected_.end());
}

bool TableView::multipleSelectionActive() const {
    return editing_ ? allowsMultipleSelectionDuringEditing_ : allowsMultipleSelection_;
}

void TableView::setRowSelected(const IndexPath& indexPath, bool selected, bool animated) {
    auto it = std::find(selected_.begin(), selected_.end(), indexPath);
    if (selected && it == selected_.end()) selected_.push_back(indexPath);
    if (!selected && it != selected_.end()) selected_.erase(it);
    if (auto cell = cellForRowAtIndexPath(indexPath)) cell->setSelected(selected, animated);
}

void TableView::selectRowAtIndexPath(const std::optional<IndexPath>& indexPath, bool animated,
                                     TableViewScrollPosition position) {
    if (!indexPath || !multipleSelectionActive()) {
        auto old = selected_;
        for (const auto& p : old)
            if (p != indexPath) setRowSelected(p, false, animated);
    }
    if (!indexPath) return;
    if (indexPath->section < 0 || indexPath->section >= numberOfSections() || indexPath->row < 0 ||
        indexPath->row >= numberOfRowsInSection(indexPath->section))
        return;
    setRowSelected(*indexPath, true, animated);
    if (position != TableViewScrollPosition::None) scrollToRowAtIndexPath(*indexPath, position, animated);
}

void TableView::deselectRowAtIndexPath(const IndexPath& indexPath, bool animated) {
    setRowSelected(indexPath, false, animated);
}

// --- Editing ---

void TableView::setEditing(bool editing, bool animated) {
    if (editing == editing_) return;
    const bool multipleBefore = multipleSelectionActive();
    editing_ = editing;
    closeSwipeActions();
    if (multipleBefore != multipleSelectionActive() || !editing) {
        auto old = selected_;
        for (const auto& p : old) setRowSelected(p, false, animated);
    }
    for (auto& [indexPath, cell] : cells_) {
        cell->setEditing(editing, animated);
        decorate(*cell, indexPath);
    }
}

bool TableView::mayEdit(const IndexPath& indexPath) {
    auto dataSource = dataSource_.lock();
    return dataSource && dataSource->canEditRowAtIndexPath(*this, indexPath);
}

// --- What the user does ---

bool TableView::userTapRow(const IndexPath& tapped) {
    auto keep = weak_from_this().lock();
    auto cell = cellForRowAtIndexPath(tapped);
    if (!cell || !cell->isUserInteractionEnabled()) return false;
    if (swipedRow_) {
        // A tap while actions are revealed only closes them.
        closeSwipeActions();
        return true;
    }
    const bool mayTapSelect =
        editing_ ? (allowsSelectionDuringEditing_ || allowsMultipleSelectionDuringEditing_) : allowsSelection_;
    if (!mayTapSelect) return false;
    auto delegate = tableDelegate_.lock();
    if (delegate && !delegate->shouldHighlightRowAtIndexPath(*this, tapped)) return false;
    cell->setHighlighted(true, false);
    cell->setHighlighted(false, false);
    const bool multiple = multipleSelectionActive();
    const bool alreadySelected = std::find(selected_.begin(), selected_.end(), tapped) != selected_.end();
    if (multiple && alreadySelected) {
        setRowSelected(tapped, false, false);
        if (delegate) delegate->didDeselectRowAtIndexPath(*this, tapped);
        return true;
    }
    std::optional<IndexPath> target = delegate ? delegate->willSelectRowAtIndexPath(*this, tapped) : tapped;
    if (!target) return false;
    if (!multiple) {
        auto old = selected_;
        for (const auto& p : old) {
            if (p == *target) continue;
            setRowSelected(p, false, false);
            if (delegate) delegate->didDeselectRowAtIndexPath(*this, p);
        }
    }
    setRowSelected(*target, true, false);
    auto targetCell = cellForRowAtIndexPath(*target);
    if (targetCell && targetCell->selectionSegueIdentifier() && !editing_) {
        if (auto source = owningController(*this))
            source->triggerSegueWithIdentifier(*targetCell->selectionSegueIdentifier(), targetCell);
    }
    if (auto d = tableDelegate_.lock()) d->didSelectRowAtIndexPath(*this, *target);
    return true;
}

std::shared_ptr<SwipeActionsConfiguration> TableView::swipeActionsForRow(const IndexPath& indexPath) {
    if (editing_ || !cellForRowAtIndexPath(indexPath)) return nullptr;
    auto delegate = tableDelegate_.lock();
    std::shared_ptr<SwipeActionsConfiguration> configuration;
    if (delegate) configuration = delegate->trailingSwipeActionsConfigurationForRowAtIndexPath(*this, indexPath);
    if (!configuration && mayEdit(indexPath) &&
        (delegate ? delegate->editingStyleForRowAtIndexPath(*this, indexPath) : TableViewCellEditingStyle::Delete) ==
            TableViewCellEditingStyle::Delete) {
        configuration = deleteConfiguration(indexPath);
    }
    if (!configuration || configuration->actions().empty()) return nullptr;
    return configuration;
}

std::shared_ptr<SwipeActionsConfiguration> TableView::userSwipeRow(const IndexPath& indexPath) {
    auto keep = weak_from_this().lock();
    closeSwipeActions();
    auto configuration = swipeActionsForRow(indexPath);
    if (configuration) openSwipeActions(indexPath, configuration);
    return configuration;
}

bool TableView::userTapSwipeAction(const std::string& title) {
    if (!swipedRow_ || !swipeConfiguration_) return false;
    auto keep = weak_from_this().lock();
    auto configuration = swipeConfiguration_;
    for (const auto& action : configuration->actions()) {
        if (action->title() != title) continue;
        auto cell = cellForRowAtIndexPath(*swipedRow_);
        std::shared_ptr<View> source = cell ? std::static_pointer_cast<View>(cell) : shared_from_this();
        std::weak_ptr<TableView> weak = std::static_pointer_cast<TableView>(shared_from_this());
        const IndexPath row = *swipedRow_;
        if (action->handler())
            action->handler()(*action, *source, [weak, row, configuration](bool) {
                auto self = weak.lock();
                if (self && self->swipedRow_ == row && self->swipeConfiguration_ == configuration) {
                    self->closeSwipeActions();
                }
            });
        return true;
    }
    return false;
}

bool TableView::userFullSwipeRow(const IndexPath& indexPath) {
    auto configuration = userSwipeRow(indexPath);
    if (!configuration || !configuration->performsFirstActionWithFullSwipe()) return false;
    const auto& first = configuration->actions().front();
    return userTapSwipeAction(first->title().value_or(""));
}

std::optional<IndexPath> TableView::userMoveRow(const IndexPath& from, const IndexPath& proposed) {
    if (!editing_ || !cellForRowAtIndexPath(from)) return std::nullopt;
    auto keep = weak_from_this().lock();
    auto dataSource = dataSource_.lock();
    if (!dataSource || !dataSource->canMoveRowAtIndexPath(*this, from)) return std::nullopt;
    if (proposed.section < 0 || proposed.section >= numberOfSections() || proposed.row < 0 ||
        proposed.row >= numberOfRowsInSection(proposed.section) + (proposed.section == from.section ? 0 : 1))
        return std::nullopt;
    IndexPath target = proposed;
    if (auto delegate = tableDelegate_.lock())
        target = delegate->targetIndexPathForMoveFromRowAtIndexPath(*this, from, proposed);
    if (target == from) return target;
    // The table shows the row at its new place before the data source hears
    // of it: counts follow the move, selected rows move with it.
    rowCounts_[static_cast<std::size_t>(from.section)] -= 1;
    rowCounts_[static_cast<std::size_t>(target.section)] += 1;
    auto moved = [&](IndexPath p) {
        if (p == from) return target;
        if (p.section == from.section && p.row > from.row) --p.row;
        if (p.section == target.section && p.row >= target.row) ++p.row;
        return p;
    };
    for (auto& p : selected_) p = moved(p);
    dataSource->moveRowAtIndexPath(*this, from, target);
    relayOutAfterUpdate();
    return target;
}

bool TableView::userDeleteRow(const IndexPath& indexPath) {
    if (!editing_ || !cellForRowAtIndexPath(indexPath) || !mayEdit(indexPath)) return false;
    auto keep = weak_from_this().lock();
    auto delegate = tableDelegate_.lock();
    if (delegate && delegate->editingStyleForRowAtIndexPath(*this, indexPath) != TableViewCellEditingStyle::Delete)
        return false;
    auto dataSource = dataSource_.lock();
    dataSource->commitEditingStyle(*this, TableViewCellEditingStyle::Delete, indexPath);
    return true;
}
