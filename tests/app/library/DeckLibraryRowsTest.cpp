#include <gtest/gtest.h>

#include "DeckLibraryTestSupport.h"
#include "app/views/ColorAdditions.h"
#include "platform/ui/ProgressView.h"

using namespace memorant_test;

namespace {

class DeckLibraryRowsTest : public DeckLibraryTest {
protected:
    // The two DEBUG lines logged about the last configured row of `title`.
    std::pair<std::string, std::string> debugLines(const std::string& titleText) {
        const auto backlog = TWLogger::sharedInstance().messageBacklog();  // newest first
        for (std::size_t i = 0; i + 1 < backlog.size(); ++i)
            if (stringContains(backlog[i + 1], "] " + titleText + "\t\t\t\t |"))
                return {messageOf(backlog[i + 1]), messageOf(backlog[i])};
        return {"not logged", ""};
    }
    static std::string messageOf(const std::string& line) {
        const auto start = line.find("| ") + 2;
        return line.substr(start, line.find(" |DeckLibraryTableViewController") - start);
    }
};

struct RowCase {
    const char* name;
    std::shared_ptr<DocumentItem> item;
    std::shared_ptr<DocumentItemDetails> details;
    bool pendingClose, pendingOpen, editing;
    // What the row shows.
    std::string title, subtitle;
    bool grey;
    std::optional<float> progress;  // none: the bar is hidden
    std::optional<std::string> status;
    bool editCover;
    std::string line1, line2;
    std::string read;
};

std::shared_ptr<DocumentItem> legacy(const std::string& fileName) {
    auto item = localItem(fileName);
    item->setLegacyStudydeckDocument(true);
    return item;
}

TEST_F(DeckLibraryRowsTest, EachRowShowsItsItemAndDetails) {
    const Color orange = *twColorFromHexString(std::string("ea6d28"));
    RowCase cases[] = {
        {"count and progress", localItem("Alpha.flashcards"), makeDetails(12, 40, orange), false, false, false, "Alpha",
         "Today, 09:00, 12 card(s)", false, 0.4f, std::nullopt, false, "  [ ☎ ] Alpha\t\t\t\t",
         "  [   ] Today, 09:00, 12 card(s)\t\t", "coordinated Alpha.flashcards"},
        {"count without progress", localItem("Beta.flashcards"), makeDetails(12, std::nullopt), false, false, false,
         "Beta", "Today, 09:00", false, std::nullopt, std::nullopt, false, "  [ ☎ ] Beta\t\t\t\t",
         "  [   ] Today, 09:00\t\t", "coordinated Beta.flashcards"},
        {"saving", localItem("Gamma.flashcards"), makeDetails(12, 40), true, false, false, "Gamma", "Saving…", false,
         0.4f, std::nullopt, false, "  [ ☎ ] Gamma\t\t\t\t", "  [   ] Saving…\t\t", "coordinated Gamma.flashcards"},
        {"in the trash", cloudItemNamed("Delta.flashcards", true, true, false, std::nullopt), nullptr, false, false,
         false, "Delta", "Today, 09:00", false, std::nullopt, std::nullopt, false, "  [ ☁ ] Delta\t\t\t\t",
         "  [☑☑☒] Today, 09:00\t\t", "coordinated Delta.flashcards"},
        {"legacy while editing", legacy("Old.studydeck"), makeDetails(3, 100, std::nullopt, "Old Spanish"), false,
         false, true, "Old Spanish", "Today, 09:00, 3 card(s)", true, 1.0f, std::nullopt, false,
         "  [ ☎ ] Old Spanish\t\t\t\t", "  [   ] Today, 09:00, 3 card(s)\t\t", "coordinated Old.studydeck"},
        {"current format while editing", localItem("Epsilon.flashcards"), makeDetails(1, 0), false, false, true,
         "Epsilon", "Today, 09:00, 1 card(s)", false, 0.0f, std::nullopt, true, "  [ ☎ ] Epsilon\t\t\t\t",
         "  [   ] Today, 09:00, 1 card(s)\t\t", "coordinated Epsilon.flashcards"},
        {"cloud, not downloaded", cloudItemNamed("Zeta.flashcards", false, false, true, "↓"), makeDetails(5, 20), false,
         false, false, "Zeta", "Today, 09:00, 5 card(s)", false, 0.2f, "↓", false, "  [ ☁↓] Zeta\t\t\t\t",
         "  [☒☒☑] Today, 09:00, 5 card(s)\t\t", "metadata Zeta.flashcards"},
        {"pending open", localItem("Eta.flashcards"), makeDetails(2, 50), false, true, false, "Eta",
         "Today, 09:00, 2 card(s)", false, 0.5f, std::nullopt, false, "  [☼☎ ] Eta\t\t\t\t",
         "  [   ] Today, 09:00, 2 card(s)\t\t", "coordinated Eta.flashcards"},
    };
    // The deck in the trash lives in the container's trash folder.
    cases[3].item =
        std::make_shared<DocumentItem>(URL::fileURLWithPath("/container/.Trash/Delta.flashcards"), std::nullopt);
    cases[3].item->setSubtitle("Today, 09:00");
    cases[3].item->setStorageLocation(DocumentItem::StorageLocation::iCloud(true, true, false, std::nullopt));
    cases[3].title = "Delta (in Trash)";
    cases[3].line1 = "  [ ☁ ] Delta (in Trash)\t\t\t\t";

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        loaders.clearReads();
        TWLogger::sharedInstance().setMessageBacklog({});
        if (c.details) loaders.set(c.item->url().lastPathComponent(), c.details);
        library->setEditing(c.editing, false);
        documents->deliver({c.item}, {DocumentItemAnimation::reload()});
        settle();
        if (c.pendingClose) library->willCloseDocument(c.item->url());
        if (c.pendingOpen) {
            library->setDocumentURLpendingOpen(c.item->url());
            library->reloadDetails(URLSet{c.item->url()}, false);
        }
        auto row = cell(0);
        ASSERT_NE(nullptr, row);
        EXPECT_EQ(c.title, title(0));
        EXPECT_EQ(c.subtitle, subtitle(0));
        const Color text = c.grey ? Color::secondaryLabelColor() : Color::labelColor();
        EXPECT_EQ(std::optional<Color>(text), row->titleLabel()->textColor());
        EXPECT_EQ(std::optional<Color>(text), row->subtitleLabel()->textColor());
        auto progress = row->deckProgressView();
        EXPECT_EQ(!c.progress.has_value(), progress->isHidden());
        if (c.progress) {
            EXPECT_FLOAT_EQ(*c.progress, progress->progress());
        }
        EXPECT_EQ(c.status, row->iCloudStatusText());
        EXPECT_EQ(c.editCover, row->wantsEditCoverIndictator());
        EXPECT_EQ(c.pendingOpen, row->wantsPendingOpenIndicator());
        EXPECT_EQ(c.pendingOpen, row->pendingOpenIndicatorView() != nullptr);
        EXPECT_EQ(std::make_pair(c.line1, c.line2), debugLines(c.title));
        ASSERT_FALSE(loaders.reads().empty());
        EXPECT_EQ(c.read, loaders.reads().front());
        if (c.details) {
            EXPECT_EQ(c.details->coverImage(), row->coverImage());
            EXPECT_EQ(c.details->coverImage(), c.item->thumbnail());
        }
        // Clean up what the case marked.
        if (c.pendingClose) library->didCloseDocument(c.item->url());
        library->setDocumentURLpendingOpen(std::nullopt);
    }
    library->setEditing(false, false);
}

TEST_F(DeckLibraryRowsTest, TheCoverAndTheBarTakeTheDetailsColours) {
    const Color orange = *twColorFromHexString(std::string("ea6d28"));
    library->view()->setTintColor(Color::blueColor());
    loaders.set("Alpha.flashcards", makeDetails(12, 40, orange));
    loaders.set("Beta.flashcards", makeDetails(12, 40));
    documents->deliver({localItem("Alpha.flashcards"), localItem("Beta.flashcards")},
                       {DocumentItemAnimation::reload()});
    settle();
    auto alpha = cell(0), beta = cell(1);
    EXPECT_EQ(std::optional<Color>(orange), alpha->coverImageView()->backgroundColor());
    EXPECT_EQ(ContentMode::Center, alpha->coverImageView()->contentMode());
    EXPECT_EQ(ContentMode::ScaleAspectFill, beta->coverImageView()->contentMode());
    EXPECT_EQ(std::optional<Color>(orange), alpha->deckProgressView()->progressTintColor());
    EXPECT_EQ(std::optional<Color>(Color::blueColor()), beta->deckProgressView()->progressTintColor());
    EXPECT_EQ(twColorFromHexString(std::string("e2e2e2")), alpha->deckProgressView()->ownTintColor());
}

TEST_F(DeckLibraryRowsTest, DetailsArrivingReloadTheirRow) {
    auto alpha = localItem("Alpha.flashcards");
    auto details = makeDetails(7, 70);
    loaders.set("Alpha.flashcards", details);
    documents->deliver({alpha}, {DocumentItemAnimation::reload()});
    // The placeholder until the read is done and has come back.
    EXPECT_EQ("Today, 09:00", subtitle(0));
    EXPECT_EQ(library->documentDetailsCache()->placeholderDetails()->coverImage(), cell(0)->coverImage());
    EXPECT_TRUE(cell(0)->deckProgressView()->isHidden());

    settle();
    EXPECT_EQ("Today, 09:00, 7 card(s)", subtitle(0));
    EXPECT_FALSE(cell(0)->deckProgressView()->isHidden());
    EXPECT_EQ(details->coverImage(), cell(0)->coverImage());
    EXPECT_EQ(details->coverImage(), alpha->thumbnail());
    EXPECT_TRUE(logged("DEBUG", "didLoadDetails",
                       "Did load details for: Alpha.flashcards. Details: DocumentItemDetails(numberOfStudyCards: 7, "
                       "deckProgressInPercent: 70, coverImageBackgroundColor: nil, "
                       "alternativeLegacyDocumentDisplayName: nil)"));

    // Refreshing rows of URLs that have none does nothing.
    table().clearRecordedRowAnimations();
    library->reloadDetails(URLSet{URL::fileURLWithPath("/decks/Nothing.flashcards")}, true);
    library->refreshThumbnail(URL::fileURLWithPath("/decks/Nothing.flashcards"));
    EXPECT_TRUE(table().recordedRowAnimations().empty());
}

}  // namespace
