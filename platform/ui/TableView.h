#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/IndexPath.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableViewCell.h"

class PanGestureRecognizer;
class GestureRecognizer;
class TableView;

// A row height that the cell decides: its sizeThatFits for the table's
// width (the estimate while the row has no cell).
inline constexpr double kTableViewAutomaticDimension = -1;

enum class TableViewStyle { Plain, Grouped, InsetGrouped };
enum class TableViewRowAnimation { Fade, Right, Left, Top, Bottom, None, Middle, Automatic };
enum class TableViewScrollPosition { None, Top, Middle, Bottom };

// One button of a row's swipe actions. Its handler gets the action, the
// view of its button and a completion to call with whether the action was
// done; the row closes its actions when the completion is called.
class ContextualAction : public std::enable_shared_from_this<ContextualAction> {
public:
    enum class Style { Normal, Destructive };
    using Completion = std::function<void(bool actionPerformed)>;
    using Handler = std::function<void(ContextualAction& action, View& sourceView, Completion completion)>;

    static std::shared_ptr<ContextualAction> contextualActionWithStyle(Style style, std::optional<std::string> title,
                                                                       Handler handler);
    ContextualAction(Style style, std::optional<std::string> title, Handler handler)
        : style_(style), title_(std::move(title)), handler_(std::move(handler)) {}

    Style style() const { return style_; }
    const std::optional<std::string>& title() const { return title_; }
    void setTitle(std::optional<std::string> title) { title_ = std::move(title); }
    const Handler& handler() const { return handler_; }
    const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<Color> color) { backgroundColor_ = std::move(color); }
    const std::shared_ptr<Image>& image() const { return image_; }
    void setImage(std::shared_ptr<Image> image) { image_ = std::move(image); }

private:
    Style style_;
    std::optional<std::string> title_;
    Handler handler_;
    std::optional<Color> backgroundColor_;
    std::shared_ptr<Image> image_;
};

// The actions a swipe reveals, first one outermost; a full swipe performs
// the first action when performsFirstActionWithFullSwipe (the default).
class SwipeActionsConfiguration {
public:
    static std::shared_ptr<SwipeActionsConfiguration> configurationWithActions(
        std::vector<std::shared_ptr<ContextualAction>> actions) {
        return std::make_shared<SwipeActionsConfiguration>(std::move(actions));
    }
    explicit SwipeActionsConfiguration(std::vector<std::shared_ptr<ContextualAction>> actions)
        : actions_(std::move(actions)) {}
    const std::vector<std::shared_ptr<ContextualAction>>& actions() const { return actions_; }
    bool performsFirstActionWithFullSwipe() const { return fullSwipe_; }
    void setPerformsFirstActionWithFullSwipe(bool performs) { fullSwipe_ = performs; }

private:
    std::vector<std::shared_ptr<ContextualAction>> actions_;
    bool fullSwipe_ = true;
};

// A section header or footer: a label in a content view, reusable by
// identifier like cells. The table styles those it makes from a section's
// title: a grouped table's header sits on the line above its rows, a plain
// table's on a band across the table, a footer's text wraps below its rows.
class TableViewHeaderFooterView : public View {
public:
    explicit TableViewHeaderFooterView(std::optional<std::string> reuseIdentifier);
    const std::optional<std::string>& reuseIdentifier() const { return reuseIdentifier_; }
    const std::shared_ptr<View>& contentView() const { return contentView_; }
    const std::shared_ptr<Label>& textLabel();
    virtual void prepareForReuse() {}
    void layoutSubviews() override;
    // Styles the view as the header (or footer) of a table of the style.
    void styleForTable(TableViewStyle style, bool footer);
    // The height its text needs at a width when it takes more than one line,
    // once styled for a table (0 otherwise).
    double heightForWidth(double width) const;

private:
    std::optional<std::string> reuseIdentifier_;
    std::shared_ptr<View> contentView_;
    std::shared_ptr<Label> textLabel_;
    std::optional<TableViewStyle> tableStyle_;
    bool footer_ = false;
};

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual std::int64_t numberOfSectionsInTableView(TableView& /*tableView*/) { return 1; }
    virtual std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) = 0;
    virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) = 0;
    // A title makes a plain header (or footer) when the delegate gives no view.
    virtual std::optional<std::string> titleForHeaderInSection(TableView& /*tableView*/, std::int64_t /*section*/) {
        return std::nullopt;
    }
    virtual std::optional<std::string> titleForFooterInSection(TableView& /*tableView*/, std::int64_t /*section*/) {
        return std::nullopt;
    }
    virtual bool canEditRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) { return true; }
    // The user confirmed deleting (or inserting) a row; the data source
    // changes its data and tells the table (deleteRowsAtIndexPaths).
    virtual void commitEditingStyle(TableView& /*tableView*/, TableViewCellEditingStyle /*style*/,
                                    const IndexPath& /*indexPath*/) {}
    // Whether a row shows the reorder control while editing (no by default).
    virtual bool canMoveRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) { return false; }
    // The user dragged a row to another place; the table already shows it
    // there, the data source moves its data.
    virtual void moveRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*sourceIndexPath*/,
                                    const IndexPath& /*destinationIndexPath*/) {}
};

class TableViewDelegate : public ScrollViewDelegate {
public:
    // Just before a row's cell goes into the table.
    virtual void willDisplayCell(TableView& /*tableView*/, TableViewCell& /*cell*/, const IndexPath& /*indexPath*/) {}
    // Just before a section's header (footer) view goes into the table, each
    // time it comes into view.
    virtual void willDisplayHeaderView(TableView& /*tableView*/, View& /*view*/, std::int64_t /*section*/) {}
    virtual void willDisplayFooterView(TableView& /*tableView*/, View& /*view*/, std::int64_t /*section*/) {}
    // Heights: the table's rowHeight (kTableViewAutomaticDimension: the
    // cell's own), estimatedRowHeight, sectionHeaderHeight and
    // sectionFooterHeight unless overridden.
    virtual double heightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath);
    virtual double estimatedHeightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath);
    virtual double heightForHeaderInSection(TableView& tableView, std::int64_t section);
    virtual double heightForFooterInSection(TableView& tableView, std::int64_t section);
    virtual std::shared_ptr<View> viewForHeaderInSection(TableView& /*tableView*/, std::int64_t /*section*/) {
        return nullptr;
    }
    virtual std::shared_ptr<View> viewForFooterInSection(TableView& /*tableView*/, std::int64_t /*section*/) {
        return nullptr;
    }
    // A row that may not be highlighted cannot be selected by a tap either.
    virtual bool shouldHighlightRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) {
        return true;
    }
    // The row to select for a tap (another one, or none to refuse).
    virtual std::optional<IndexPath> willSelectRowAtIndexPath(TableView& /*tableView*/, const IndexPath& indexPath) {
        return indexPath;
    }
    virtual void didSelectRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) {}
    virtual void didDeselectRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) {}
    // Delete by default for rows the data source lets edit.
    virtual TableViewCellEditingStyle editingStyleForRowAtIndexPath(TableView& /*tableView*/,
                                                                    const IndexPath& /*indexPath*/) {
        return TableViewCellEditingStyle::Delete;
    }
    // Null: a "Delete" action that commits the delete editing style, for
    // rows that can be edited with it; no actions otherwise.
    virtual std::shared_ptr<SwipeActionsConfiguration> trailingSwipeActionsConfigurationForRowAtIndexPath(
        TableView& /*tableView*/, const IndexPath& /*indexPath*/) {
        return nullptr;
    }
    // Where a row being dragged may go when the finger proposes a place (the
    // proposed place by default).
    virtual IndexPath targetIndexPathForMoveFromRowAtIndexPath(TableView& /*tableView*/,
                                                               const IndexPath& /*sourceIndexPath*/,
                                                               const IndexPath& proposedDestinationIndexPath) {
        return proposedDestinationIndexPath;
    }
};

// A change of rows a table was told of, as the table animates it. Tables
// keep them in order (TableView::recordedRowAnimations) so that tests can
// read which rows changed how.
struct TableViewRowUpdate {
    enum class Kind { Reload, Delete, Insert, Move };
    Kind kind;
    // A Move holds two: where the row was and where it went.
    std::vector<IndexPath> indexPaths;
    TableViewRowAnimation animation;
    // Told between beginUpdates and endUpdates.
    bool insideUpdates;
    bool operator==(const TableViewRowUpdate&) const = default;
};

// A table of rows in sections from its data source, laid out top to bottom
// with section headers and footers.
//
// Cells exist only for the rows that lie within the table's bounds, as on
// the platform: reloadData and every change of the content offset or size
// ask the data source for the rows coming into view and put the cells of the
// rows leaving it into the reuse pool. A test that reads every row sizes the
// table for it. Rows without a cell count with their estimated height when
// the height is automatic.
//
// Selection follows the platform: a tap (UIDriver::tapRow, or UIDriver::tap
// on the cell) asks shouldHighlight and willSelect; in single selection the
// former row is deselected (didDeselect), the row is selected, then a
// selection segue of the cell is triggered (its source is the controller
// whose view holds the table: shouldPerform and prepareForSegue run while
// the row is selected), and only then does the delegate hear
// didSelectRowAtIndexPath. With multiple selection (allowsMultipleSelection,
// or allowsMultipleSelectionDuringEditing while editing) a tap on a selected
// row deselects it. Programmatic selectRow / deselectRow tell no delegate.
// While editing, taps select only with allowsSelectionDuringEditing or
// multiple selection during editing, and cells trigger no segue.
//
// A finger dragged to the left across a row reveals its trailing actions
// (userSwipeRow) as buttons at the row's trailing edge, each with its title
// on its colour (destructive ones red); a tap on one is userTapSwipeAction.
// A drag past most of the row's width performs the first action when the
// configuration allows it; a drag to the right closes them. While editing,
// a tap on a row's delete circle reveals its Delete button the same way, and
// a row dragged up or down by its reorder grip moves (userMoveRow) to the
// row where the drag ends.
// Grouped tables lie on the grouped background; inset grouped ones inset
// their rows from the sides.
class TableView : public ScrollView {
public:
    using CellFactory = std::function<std::shared_ptr<TableViewCell>(const std::string& reuseIdentifier)>;
    using HeaderFooterFactory =
        std::function<std::shared_ptr<TableViewHeaderFooterView>(const std::string& reuseIdentifier)>;

    explicit TableView(const Rect& frame, TableViewStyle style = TableViewStyle::Plain);
    ~TableView() override;

    TableViewStyle style() const { return style_; }
    const std::weak_ptr<TableViewDataSource>& dataSource() const { return dataSource_; }
    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
    // Also the scroll view's delegate.
    const std::weak_ptr<TableViewDelegate>& delegate() const { return tableDelegate_; }
    void setDelegate(std::weak_ptr<TableViewDelegate> delegate);

    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height) { rowHeight_ = height; }
    double estimatedRowHeight() const { return estimatedRowHeight_; }
    void setEstimatedRowHeight(double height) { estimatedRowHeight_ = height; }
    // Used for sections that have a header (a view or title); 0 otherwise.
    double sectionHeaderHeight() const { return sectionHeaderHeight_; }
    void setSectionHeaderHeight(double height) { sectionHeaderHeight_ = height; }
    double sectionFooterHeight() const { return sectionFooterHeight_; }
    void setSectionFooterHeight(double height) { sectionFooterHeight_ = height; }
    const std::shared_ptr<View>& backgroundView() const { return backgroundView_; }
    void setBackgroundView(std::shared_ptr<View> view);
    const std::shared_ptr<View>& tableHeaderView() const { return tableHeaderView_; }
    void setTableHeaderView(std::shared_ptr<View> view);
    const std::shared_ptr<View>& tableFooterView() const { return tableFooterView_; }
    void setTableFooterView(std::shared_ptr<View> view);
    // Where the row separators start and end; cells take the left and right
    // insets unless they set their own.
    EdgeInsets separatorInset() const { return separatorInset_; }
    void setSeparatorInset(const EdgeInsets& insets) { separatorInset_ = insets; }
    // None: the system separator colour.
    const std::optional<Color>& separatorColor() const { return separatorColor_; }
    void setSeparatorColor(std::optional<Color> color) { separatorColor_ = std::move(color); }

    // --- Cells and headers ---
    // Registers a cell class: made with (style Default, reuse identifier), by
    // its static make() when it has one.
    template <class T>
    void registerClass(const std::string& reuseIdentifier) {
        registerCellFactory(reuseIdentifier, [](const std::string& identifier) -> std::shared_ptr<TableViewCell> {
            if constexpr (requires { T::make(TableViewCellStyle::Default, std::optional<std::string>()); })
                return T::make(TableViewCellStyle::Default, identifier);
            else
                return std::make_shared<T>(TableViewCellStyle::Default, identifier);
        });
    }
    // A factory's cell without a reuse identifier (a prototype cell made
    // from a Coder) is given the one it is registered under.
    void registerCellFactory(const std::string& reuseIdentifier, CellFactory factory);
    bool isRegistered(const std::string& reuseIdentifier) const { return factories_.count(reuseIdentifier) != 0; }
    // The storyboard's selection segue of a prototype cell: cells dequeued
    // with the identifier trigger it when tapped.
    void setSelectionSegue(const std::string& reuseIdentifier, std::string segueIdentifier);
    // A cell to reuse or, when none waits, a new one of the registered class;
    // an unregistered identifier raises "NSInternalInconsistencyException".
    std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier, const IndexPath& indexPath);
    // A waiting cell or nullptr (no registration needed).
    std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier);
    template <class T>
    void registerHeaderFooterClass(const std::string& reuseIdentifier) {
        registerHeaderFooterFactory(reuseIdentifier,
                                    [](const std::string& identifier) { return std::make_shared<T>(identifier); });
    }
    void registerHeaderFooterFactory(const std::string& reuseIdentifier, HeaderFooterFactory factory);
    // A waiting or new header-footer view; null when the identifier is not registered.
    std::shared_ptr<TableViewHeaderFooterView> dequeueReusableHeaderFooterView(const std::string& reuseIdentifier);

    // --- Data ---
    // Asks the data source for the counts and the cells in view, afresh.
    // Selection is cleared.
    void reloadData();
    // Asks the data source again for these rows' cells (those in view).
    void reloadRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
    // The data source has already removed (added) the rows: the counts must
    // agree, else "NSInternalInconsistencyException" is raised. Selected rows
    // move with their rows; deleted ones are no longer selected.
    void deleteRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
    void insertRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
    // A batch of row changes as a diffing data source computes them, told
    // after the data source already answers with the new rows: `deletes`
    // are index paths before the batch, `inserts` after it, `moves` pairs of
    // before -> after (also across sections). Rows that neither go nor move
    // keep their order and fill the remaining places of their section.
    // Unlike single deletes and inserts, every row that stays keeps its cell
    // (and its selection): the data source is asked only for the cells of
    // rows that are new in view. The number of sections must not change, and
    // the row counts and index paths must agree, else
    // "NSInternalInconsistencyException" is raised. Recorded as one Delete,
    // one Insert and one Move per moved row, inside updates.
    void performBatchUpdates(const std::vector<IndexPath>& deletes, const std::vector<IndexPath>& inserts,
                             const std::vector<std::pair<IndexPath, IndexPath>>& moves,
                             TableViewRowAnimation animation);
    // Brackets row changes that animate together; the pairs nest. Each row
    // change is checked against the data source as it is told.
    void beginUpdates() { ++updateDepth_; }
    void endUpdates();
    bool isInsideUpdates() const { return updateDepth_ > 0; }
    // Every reload, delete and insert of rows told so far, oldest first.
    const std::vector<TableViewRowUpdate>& recordedRowAnimations() const { return rowUpdates_; }
    void clearRecordedRowAnimations() { rowUpdates_.clear(); }
    std::int64_t numberOfSections() const { return static_cast<std::int64_t>(rowCounts_.size()); }
    std::int64_t numberOfRowsInSection(std::int64_t section) const;
    // The row's cell, or null when the row is not in view.
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath) const;
    std::vector<std::shared_ptr<TableViewCell>> visibleCells() const;
    std::vector<IndexPath> indexPathsForVisibleRows() const;
    std::optional<IndexPath> indexPathForCell(const TableViewCell& cell) const;
    // The row in view under a point of the table's bounds.
    std::optional<IndexPath> indexPathForRowAtPoint(Point point) const;
    // The header (footer) view of a section in view, or null.
    std::shared_ptr<View> headerViewForSection(std::int64_t section) const;
    std::shared_ptr<View> footerViewForSection(std::int64_t section) const;
    Rect rectForRowAtIndexPath(const IndexPath& indexPath) const;
    void scrollToRowAtIndexPath(const IndexPath& indexPath, TableViewScrollPosition position, bool animated);

    // --- Selection ---
    bool allowsSelection() const { return allowsSelection_; }
    void setAllowsSelection(bool allows) { allowsSelection_ = allows; }
    bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
    void setAllowsMultipleSelection(bool allows) { allowsMultipleSelection_ = allows; }
    bool allowsSelectionDuringEditing() const { return allowsSelectionDuringEditing_; }
    void setAllowsSelectionDuringEditing(bool allows) { allowsSelectionDuringEditing_ = allows; }
    bool allowsMultipleSelectionDuringEditing() const { return allowsMultipleSelectionDuringEditing_; }
    void setAllowsMultipleSelectionDuringEditing(bool allows) { allowsMultipleSelectionDuringEditing_ = allows; }
    // The first selected row in table order.
    std::optional<IndexPath> indexPathForSelectedRow() const;
    // The selected rows in the order they were selected.
    const std::vector<IndexPath>& indexPathsForSelectedRows() const { return selected_; }
    // Selects without telling the delegate (none: deselects every row);
    // single selection deselects the others. Scrolls the row into view at
    // the position unless None.
    void selectRowAtIndexPath(const std::optional<IndexPath>& indexPath, bool animated,
                              TableViewScrollPosition position);
    void deselectRowAtIndexPath(const IndexPath& indexPath, bool animated);

    // --- Editing ---
    bool isEditing() const { return editing_; }
    void setEditing(bool editing) { setEditing(editing, false); }
    // Cells follow; leaving editing clears a multiple selection made while editing.
    void setEditing(bool editing, bool animated);

    // --- What the user does (UIDriver calls these) ---
    // A tap on a row in view, as described above; false when the row has no
    // cell or the tap selects nothing.
    bool userTapRow(const IndexPath& indexPath);
    // A swipe to the left on a row in view reveals its trailing actions;
    // returns them (null: none). Another row's actions close.
    std::shared_ptr<SwipeActionsConfiguration> userSwipeRow(const IndexPath& indexPath);
    // The trailing actions a swipe on the row would reveal (null: none).
    std::shared_ptr<SwipeActionsConfiguration> swipeActionsForRow(const IndexPath& indexPath);
    // A tap on a revealed action by title; the handler runs with a completion
    // that closes the actions.
    bool userTapSwipeAction(const std::string& title);
    // A swipe across the whole row: its first action when the configuration
    // allows it.
    bool userFullSwipeRow(const IndexPath& indexPath);
    // Editing: drags a row by its reorder control to the proposed place. The
    // delegate may name another place (targetIndexPathForMove...); the row
    // moves there and the data source is told (moveRowAtIndexPath, unless
    // the place is the row's own). Returns where the row went; none when
    // the table is not editing, the row has no cell or cannot move, or the
    // proposed place lies outside the table.
    std::optional<IndexPath> userMoveRow(const IndexPath& from, const IndexPath& proposed);
    // The row whose actions are revealed, if any.
    const std::optional<IndexPath>& swipedRow() const { return swipedRow_; }
    // Editing: the red delete control and then the Delete confirmation of a
    // row whose editing style is Delete; commits the deletion.
    bool userDeleteRow(const IndexPath& indexPath);

    void setBounds(const Rect& bounds) override;
    void setFrame(const Rect& frame) override;
    void layoutSubviews() override;

private:
    struct SectionLayout {
        double headerY = 0, headerHeight = 0;
        std::vector<double> rowY, rowHeight;
        double footerY = 0, footerHeight = 0;
    };
    void computeLayout();
    double rowHeightFor(const IndexPath& indexPath, TableViewCell* cell);
    void tileRows();
    // Into the reuse pool; out of the table unless `keepInTable` (the caller
    // takes the pool's cells out that no row took back).
    void recycle(const std::shared_ptr<TableViewCell>& cell, bool keepInTable = false);
    void recountRows(const std::vector<IndexPath>& changed, std::int64_t sign);
    // After rows were deleted or inserted: every cell is asked for again.
    void relayOutAfterUpdate();
    void setRowSelected(const IndexPath& indexPath, bool selected, bool animated);
    // Shows (hides) the revealed actions' buttons on the row's cell.
    void openSwipeActions(const IndexPath& indexPath, std::shared_ptr<SwipeActionsConfiguration> configuration);
    void closeSwipeActions();
    // The "Delete" action that commits the row's delete editing style.
    std::shared_ptr<SwipeActionsConfiguration> deleteConfiguration(const IndexPath& indexPath);
    // What the table shows around a row's content (separator, editing controls).
    void decorate(TableViewCell& cell, const IndexPath& indexPath);
    void handleRowPan(GestureRecognizer& recognizer);
    double fittedHeight(const std::map<std::int64_t, std::shared_ptr<View>>& made, std::int64_t section,
                        double height) const;
    // Where a row dragged by its reorder grip over a distance lands.
    IndexPath rowAtDragEnd(const IndexPath& from, double distance) const;
    // Where a cell is placed for its row's rectangle.
    Rect cellFrame(const Rect& row) const;
    bool multipleSelectionActive() const;
    bool mayEdit(const IndexPath& indexPath);
    std::shared_ptr<View> makeHeaderFooter(std::int64_t section, bool header);
    // Asks the delegate and data source for every section's header and
    // footer (at reloadData); tiling shows those in view.
    void makeHeadersAndFooters();

    TableViewStyle style_;
    std::weak_ptr<TableViewDataSource> dataSource_;
    std::weak_ptr<TableViewDelegate> tableDelegate_;
    double rowHeight_ = 44;
    double estimatedRowHeight_ = 44;
    double sectionHeaderHeight_ = 28;
    double sectionFooterHeight_ = 28;
    std::shared_ptr<View> backgroundView_;
    std::shared_ptr<View> tableHeaderView_;
    std::shared_ptr<View> tableFooterView_;
    EdgeInsets separatorInset_{0, 16, 0, 0};
    std::optional<Color> separatorColor_;
    std::map<std::string, CellFactory> factories_;
    std::map<std::string, std::string> selectionSegues_;
    std::map<std::string, HeaderFooterFactory> headerFooterFactories_;
    std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> reusePool_;
    std::map<std::string, std::vector<std::shared_ptr<TableViewHeaderFooterView>>> headerFooterPool_;
    std::vector<std::int64_t> rowCounts_;
    std::vector<SectionLayout> layout_;
    std::map<IndexPath, double> measuredHeights_;
    std::map<IndexPath, std::shared_ptr<TableViewCell>> cells_;
    std::map<std::int64_t, std::shared_ptr<View>> madeHeaders_;
    std::map<std::int64_t, std::shared_ptr<View>> madeFooters_;
    std::map<std::int64_t, std::shared_ptr<View>> headers_;
    std::map<std::int64_t, std::shared_ptr<View>> footers_;
    std::vector<IndexPath> selected_;
    bool allowsSelection_ = true;
    bool allowsMultipleSelection_ = false;
    bool allowsSelectionDuringEditing_ = false;
    bool allowsMultipleSelectionDuringEditing_ = false;
    bool editing_ = false;
    bool tiling_ = false;
    // Whether the laid-out rows hold the index path.
    bool hasRowLayout(const IndexPath& indexPath) const;
    std::optional<IndexPath> swipedRow_;
    std::shared_ptr<SwipeActionsConfiguration> swipeConfiguration_;
    std::shared_ptr<PanGestureRecognizer> rowPan_;
    std::uint64_t rowPanTarget_ = 0;
    std::optional<IndexPath> pannedRow_;
    int updateDepth_ = 0;
    std::vector<TableViewRowUpdate> rowUpdates_;
};
