#include <gtest/gtest.h>

#include "platform/foundation/StringUtils.h"
#include "platform/ui/Button.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextTruncation.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using memorant_test::colorNear;
using memorant_test::UITest;

namespace {

// Whether any pixel of the rectangle differs from the colour.
bool inkIn(const Image& image, const Rect& rect, const Color& background) {
    for (int y = static_cast<int>(rect.minY()); y < static_cast<int>(rect.maxY()); ++y)
        for (int x = static_cast<int>(rect.minX()); x < static_cast<int>(rect.maxX()); ++x)
            if (!colorNear(image.colorAtPixel(x, y), background, 8.0 / 255)) return true;
    return false;
}

std::vector<std::shared_ptr<View>> buttonsTitled(View& root, const std::string& title) {
    std::vector<std::shared_ptr<View>> found;
    std::function<void(View&)> visit = [&](View& view) {
        for (const auto& child : view.subviews()) {
            if (auto button = std::dynamic_pointer_cast<Button>(child); button && button->currentTitle() == title)
                found.push_back(button);
            visit(*child);
        }
    };
    visit(root);
    return found;
}

class Rows : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<std::string> rows{"Alpha", "Beta", "Gamma"};

    std::int64_t numberOfRowsInSection(TableView&, std::int64_t) override { return std::ssize(rows); }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, const IndexPath& p) override {
        auto cell = table.dequeueReusableCell("Cell", p);
        cell->textLabel()->setText(rows[static_cast<std::size_t>(p.row)]);
        return cell;
    }
    bool canMoveRowAtIndexPath(TableView&, const IndexPath&) override { return true; }
    void moveRowAtIndexPath(TableView&, const IndexPath& from, const IndexPath& to) override {
        auto moved = rows[static_cast<std::size_t>(from.row)];
        rows.erase(rows.begin() + from.row);
        rows.insert(rows.begin() + to.row, moved);
    }
    void commitEditingStyle(TableView& table, TableViewCellEditingStyle, const IndexPath& p) override {
        rows.erase(rows.begin() + p.row);
        table.deleteRowsAtIndexPaths({p}, TableViewRowAnimation::Automatic);
    }
};

}  // namespace

class CellAndControlDrawingTest : public UITest {
protected:
    // A plain table of the rows, laid out, editing or not.
    static std::shared_ptr<TableView> tableOf(const std::shared_ptr<Rows>& rows, bool editing) {
        auto table = std::make_shared<TableView>(Rect(0, 0, 320, 300));
        table->registerClass<TableViewCell>("Cell");
        table->setDataSource(rows);
        table->setDelegate(rows);
        table->reloadData();
        table->setEditing(editing);
        table->layoutIfNeeded();
        return table;
    }
};

TEST_F(CellAndControlDrawingTest, TextIsCutWithAnEllipsisWhereItDoesNotFit) {
    const Font font = Font::systemFont(17);
    const std::string text = "Geography of the northern provinces";
    const double width = font.sizeOfText(text).width / 2;
    struct Case {
        TruncationPosition position;
        bool startsWithText, endsWithText;
    } cases[] = {{TruncationPosition::Tail, true, false},
                 {TruncationPosition::Head, false, true},
                 {TruncationPosition::Middle, true, true}};
    for (const auto& c : cases) {
        const std::string cut = truncatedText(text, font, width, c.position);
        SCOPED_TRACE(cut);
        EXPECT_LE(font.sizeOfText(cut).width, width);
        EXPECT_NE(std::string::npos, cut.find("\u2026"));
        EXPECT_EQ(c.startsWithText, cut.starts_with("Geo"));
        EXPECT_EQ(c.endsWithText, cut.ends_with("ces"));
        // Nothing is cut that need not be: one character more no longer fits.
        EXPECT_GT(cut.size(), text.size() / 3);
    }
    EXPECT_EQ(text, truncatedText(text, font, 1000));
    EXPECT_EQ("", truncatedText(text, font, 2));
    // Cuts fall between characters, never inside one.
    const std::string greek = truncatedText("Γεωγραφία των βόρειων επαρχιών", font, 60);
    EXPECT_TRUE(greek.ends_with("\u2026"));
    EXPECT_EQ(greek, fromUTF16(toUTF16(greek)));
}

TEST_F(CellAndControlDrawingTest, CellLabelsNeverOverlapAndStayInsideTheirCell) {
    const std::string longText = "A very long question about the capitals of the world";
    const std::string longDetail = "and an answer that runs on just as long as the question";
    for (auto style : {TableViewCellStyle::Subtitle, TableViewCellStyle::Value1, TableViewCellStyle::Value2})
        for (double width : {390.0, 160.0}) {
            SCOPED_TRACE(static_cast<int>(style) * 1000 + width);
            auto cell = std::make_shared<TableViewCell>(style, std::nullopt);
            cell->setFrame(Rect(0, 0, width, 52));
            cell->textLabel()->setText(longText);
            cell->detailTextLabel()->setText(longDetail);
            cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
            cell->layoutIfNeeded();
            const Rect text = cell->textLabel()->convertRectToView(cell->textLabel()->bounds(), cell.get());
            const Rect detail =
                cell->detailTextLabel()->convertRectToView(cell->detailTextLabel()->bounds(), cell.get());
            const Rect accessory = cell->subviews().back()->frame();
            EXPECT_TRUE(text.maxY() <= detail.minY() || text.maxX() <= detail.minX());
            EXPECT_LE(std::max(text.maxX(), detail.maxX()), accessory.minX());
            EXPECT_LE(text.maxY(), 52);
            EXPECT_LE(detail.maxY(), 52);
            // The cut text draws nothing past its label: the strip between the
            // labels' end and the chevron stays blank.
            auto image = renderPNG(*cell, "cell");
            const double end = std::max(text.maxX(), detail.maxX());
            EXPECT_FALSE(inkIn(*image, Rect(end + 1, 0, accessory.minX() - end - 1, 52), Color::whiteColor()));
        }
}

TEST_F(CellAndControlDrawingTest, AccessoriesAndEditingControlsAreDrawnWhereThePlatformPutsThem) {
    auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
    cell->setFrame(Rect(0, 0, 320, 44));
    cell->textLabel()->setText("Tutorial");
    cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
    auto image = renderPNG(*cell, "chevron");
    // A grey chevron near the trailing edge, nothing between text and chevron.
    EXPECT_TRUE(inkIn(*image, Rect(290, 14, 16, 16), Color::whiteColor()));
    EXPECT_FALSE(inkIn(*image, Rect(120, 0, 160, 44), Color::whiteColor()));

    // While editing: the red delete circle at the leading edge, the content
    // moved aside for it, the reorder grip at the trailing edge.
    TableViewCell::TableDecoration decoration;
    decoration.editingStyle = TableViewCellEditingStyle::Delete;
    decoration.showsReorderControl = true;
    cell->setTableDecoration(decoration);
    cell->setEditing(true);
    cell->layoutIfNeeded();
    image = renderPNG(*cell, "editing");
    EXPECT_TRUE(colorNear(image->colorAtPixel(23, 15), Color::systemRedColor(), 4.0 / 255));
    EXPECT_GE(cell->contentView()->frame().minX(), 38);
    EXPECT_TRUE(inkIn(*image, Rect(290, 14, 20, 16), Color::whiteColor()));
}

TEST_F(CellAndControlDrawingTest, ARowsDeleteButtonIsRevealedByTouchAndTappingItDeletes) {
    // Revealed by a drag to the left across the row, or by the delete
    // circle while editing; either way the button is tapped where it shows.
    for (bool editing : {false, true}) {
        SCOPED_TRACE(editing ? "delete circle" : "swipe");
        auto rows = std::make_shared<Rows>();
        auto table = tableOf(rows, editing);
        if (editing)
            ASSERT_TRUE(UIDriver::tap(*table, {25, 66}));
        else
            ASSERT_TRUE(UIDriver::pan(*table, {200, 66}, {-120, 4}, {-400, 0}));
        ASSERT_EQ((IndexPath{0, 1}), table->swipedRow());
        auto buttons = buttonsTitled(*table, "Delete");
        ASSERT_EQ(1u, buttons.size());
        const Rect shown = buttons[0]->convertRectToView(buttons[0]->bounds(), table.get());
        EXPECT_EQ(320, shown.maxX());
        auto image = renderPNG(*table, "revealed");
        EXPECT_TRUE(
            colorNear(image->colorAtPixel(static_cast<int>(shown.minX()) + 4, 50), Color::systemRedColor(), 4.0 / 255));
        EXPECT_TRUE(UIDriver::tap(*table, shown.center()));
        EXPECT_EQ((std::vector<std::string>{"Alpha", "Gamma"}), rows->rows);
        EXPECT_FALSE(table->swipedRow());
        EXPECT_TRUE(buttonsTitled(*table, "Delete").empty());
    }
}

TEST_F(CellAndControlDrawingTest, ARowDraggedByItsReorderGripMovesWhereTheDragEnds) {
    auto rows = std::make_shared<Rows>();
    auto table = tableOf(rows, true);
    // The grip sits at the trailing edge of the row.
    ASSERT_TRUE(UIDriver::pan(*table, {300, 22}, {0, 90}));
    EXPECT_EQ((std::vector<std::string>{"Beta", "Gamma", "Alpha"}), rows->rows);
    table->layoutIfNeeded();
    ASSERT_TRUE(UIDriver::pan(*table, {300, 110}, {0, -40}));
    EXPECT_EQ((std::vector<std::string>{"Beta", "Alpha", "Gamma"}), rows->rows);
    EXPECT_EQ("Alpha", *table->cellForRowAtIndexPath({0, 1})->textLabel()->text());
}

TEST_F(CellAndControlDrawingTest, AnEditingFieldShowsItsAccessoryAtTheBottomOfTheWindowWhereItsButtonsTakeTaps) {
    auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    window->makeKeyAndVisible();
    auto form = std::make_shared<View>(window->bounds());
    window->addSubview(form);
    auto field = std::make_shared<TextField>(Rect(16, 100, 300, 36));
    field->setBorderStyle(TextBorderStyle::RoundedRect);
    field->setPlaceholder(std::string("Deck title"));
    form->addSubview(field);
    auto toolbar = std::make_shared<View>(Rect(0, 0, 390, 44));
    auto photo = std::make_shared<Button>(ButtonType::System);
    photo->setTitle(std::string("Photo"), ControlStateNormal);
    photo->setFrame(Rect(300, 0, 80, 44));
    toolbar->addSubview(photo);
    int photoTaps = 0;
    photo->addTarget([&](Control&) { ++photoTaps; }, ControlEventTouchUpInside);
    field->setInputAccessoryView(toolbar);

    EXPECT_EQ(nullptr, toolbar->superview());
    ASSERT_TRUE(UIDriver::tap(*window, {100, 118}));
    ASSERT_TRUE(field->isEditing());
    EXPECT_EQ(window.get(), toolbar->superview());
    EXPECT_EQ(Rect(0, 800, 390, 44), toolbar->frame());
    // What lies beneath (a screen's own toolbar) does not show through it.
    EXPECT_EQ(1.0, toolbar->backgroundColor().value_or(Color::clearColor()).alpha());
    EXPECT_TRUE(UIDriver::tap(*window, {340, 822}));
    EXPECT_EQ(1, photoTaps);
    EXPECT_TRUE(field->isFirstResponder());

    // The caret sits at the insertion point: after what was typed.
    UIDriver::typeText(*field, "Capitals");
    const Rect caret = field->caretRectForPosition({field->selectedRange().location});
    EXPECT_NEAR(field->textRectForBounds(field->bounds()).minX() + Font::systemFont(17).sizeOfText("Capitals").width,
                caret.minX(), 0.5);
    ASSERT_TRUE(field->isCaretVisible());
    auto image = renderPNG(*field, "editing");
    EXPECT_TRUE(colorNear(image->colorAtPixel(static_cast<int>(caret.minX()) + 1, 18), field->tintColor(), 0.1));

    ASSERT_TRUE(field->resignFirstResponder());
    EXPECT_EQ(nullptr, toolbar->superview());
    window->setHidden(true);
}

TEST_F(CellAndControlDrawingTest, TheClearButtonAndTheSearchBarsCancelButtonEmptyTheField) {
    auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    window->makeKeyAndVisible();
    auto bar = SearchBar::make(Rect(0, 50, 390, SearchBar::kHeight));
    window->addSubview(bar);
    bar->layoutIfNeeded();
    EXPECT_TRUE(bar->cancelButton()->isHidden());
    ASSERT_TRUE(UIDriver::tap(*bar->searchTextField()));
    ASSERT_TRUE(bar->isFirstResponder());
    bar->layoutIfNeeded();
    ASSERT_FALSE(bar->cancelButton()->isHidden());
    // The field makes room for Cancel; they do not overlap.
    EXPECT_LE(bar->searchTextField()->frame().maxX(), bar->cancelButton()->frame().minX());

    auto field = bar->searchTextField();
    UIDriver::typeText(*field, "paris");
    const Rect clear = field->clearButtonRect();
    ASSERT_FALSE(clear.isEmpty());
    EXPECT_TRUE(UIDriver::tap(*field, clear.center()));
    EXPECT_EQ("", bar->text());
    EXPECT_TRUE(bar->isFirstResponder());

    UIDriver::typeText(*field, "rome");
    EXPECT_TRUE(UIDriver::tap(*bar->cancelButton()));
    EXPECT_EQ("", bar->text());
    EXPECT_FALSE(bar->isFirstResponder());
    EXPECT_TRUE(bar->cancelButton()->isHidden());
    window->setHidden(true);
}
