#include "app/cards/CardGroup.h"
#include "app/cards/CardListSearch.h"
#include "app/cards/CardListTestSupport.h"
#include "platform/ui/Label.h"
#include "platform/ui/SearchBar.h"

using namespace memorant_test;

namespace {

using Tag = PresentationMode::Tag;

// Types a new query into the list's search bar, replacing the one before.
void typeQuery(CardListTableViewController& list, const std::string& query) {
    auto& field = *list.searchBar()->searchTextField();
    if (!list.searchBar()->isFirstResponder()) {
        ASSERT_TRUE(list.searchBar()->becomeFirstResponder());
    }
    field.setText(std::string());
    ASSERT_TRUE(UIDriver::typeText(field, query));
}

}  // namespace

TEST_F(CardListTest, SearchMatchesCaseAndAccentsInAnyScript) {
    auto uebung = studyCard(
        "<b>\xC3\x9C"
        "bung</b> macht den Meister",
        "practice", 20);
    auto sophia = studyCard("wisdom", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1", 21);  // σοφία
    auto strasse = studyCard(
        "Stra\xC3\x9F"
        "e",
        "street", 22);  // Straße
    auto cards = document->deck()->cards();
    cards.insert(cards.end(), {uebung, sophia, strasse});
    document->deck()->setCards(cards);
    show();
    const struct {
        const char* query;
        FCCardArray found;
    } cases[] = {
        {"\xC3\xBC"
         "bung",
         {uebung}},                                              // übung
        {"UEBUNG", {}},                                          // no spelling rules, only case and accents
        {"\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91", {sophia}},  // ΣΟΦΙΑ
        {"STRASSE", {strasse}},                                  // ß folds to ss
        {"ADIOS", {adios}},
        {"\xC3\xA0"
         "dios",
         {adios}},  // àdios: accents are dropped on both sides
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        typeQuery(*list, c.query);
        ASSERT_EQ(Tag::filteredCards, list->presentationMode()->tag());
        EXPECT_EQ(c.found, list->presentationMode()->cards());
    }
}

TEST_F(CardListTest, AGroupSubtitleStartsWithACapitalInAnyScript) {
    show();
    auto group = [&](const char* title) {
        auto made = CardGroup::make(std::string(title), 8, false, false, std::nullopt);
        made->cards()->push_back(studyCard("q", "a", 100));
        return made;
    };
    list->setPresentationMode(
        PresentationMode::groupForTopLevelCards(document,
                                                {group("Box 2 (\xC3\xBC"
                                                       "berf\xC3\xA4llig)"),
                                                 group("Box 3 (\xCF\x83\xCE\xAE\xCE\xBC\xCE\xB5\xCF\x81\xCE\xB1)")},
                                                PresentationMode::topLevelCards(document)));
    list->tableView()->reloadData();
    const char* subtitles[] = {
        "\xC3\x9C"
        "berf\xC3\xA4llig",
        "\xCE\xA3\xCE\xAE\xCE\xBC\xCE\xB5\xCF\x81\xCE\xB1"};  // Überfällig, Σήμερα
    for (std::int64_t row = 0; row < 2; ++row) {
        auto cell = list->tableView()->cellForRowAtIndexPath(IndexPath{0, row});
        ASSERT_NE(nullptr, cell);
        auto* subtitle =
            dynamic_cast<Label*>(cell->contentView()->viewWithTag(CardListTableViewController::kSubtitleLabelTag));
        ASSERT_NE(nullptr, subtitle);
        EXPECT_EQ(subtitles[row], subtitle->text());
    }
}

// A deck larger than one slice of a search: the search goes on between turns
// of the main loop, and what happens to the deck meanwhile shows in its rows.
TEST_F(CardListTest, TypingASearchWhileTheDeckChangesGetsTheRowsOfTheDeckAsItIs) {
    FCCardArray cards;
    const std::size_t count = 3 * CardListSearch::kSliceCards;
    for (std::size_t i = 0; i < count; ++i) {
        const bool needle = i % 1000 == 500;
        cards.push_back(studyCard("<p>card " + std::to_string(i) + (needle ? " Needle" : "") + "</p>", "answer",
                                  static_cast<std::int64_t>(100 + i)));
    }
    document->deck()->setCards(cards);
    show();

    typeQuery(*list, "needle");
    ASSERT_EQ(Tag::topLevelCards, list->presentationMode()->tag()) << "the search took one slice";
    // While it goes on: a card it has visited now matches, a matching card it
    // has not reached yet goes, and a new matching card comes at the end.
    auto edited = std::static_pointer_cast<FCStudyCard>(cards[1]);
    edited->setBottom(std::string("a needle too"));
    list->didChangeCard(edited, nullptr);
    auto deckCards = document->deck()->cards();
    const auto removed = deckCards[11500];
    deckCards.erase(deckCards.begin() + 11500);
    auto added = studyCard("NEEDLE", "new", 99999);
    deckCards.push_back(added);
    document->deck()->setCards(deckCards);
    list->didAddOrRemoveCardsWithUpdateChangeCount(true, true);
    ASSERT_TRUE(runMainLoopUntil([&] { return list->presentationMode()->is(Tag::filteredCards); }));

    FCCardArray expected;
    for (const auto& card : deckCards) {
        const auto& study = static_cast<const FCStudyCard&>(*card);
        if (study.top()->find("eedle") != std::string::npos || study.top()->find("EEDLE") != std::string::npos ||
            study.bottom()->find("needle") != std::string::npos)
            expected.push_back(card);
    }
    ASSERT_EQ(std::size_t{13}, expected.size());  // 12 planted, one removed, one edited, one added
    EXPECT_EQ(expected, list->presentationMode()->cards());
    EXPECT_EQ(13, list->tableView()->numberOfRowsInSection(0));

    // A later keystroke drops the search under way: only its results show.
    typeQuery(*list, "card 1");
    EXPECT_TRUE(UIDriver::typeText(*list->searchBar()->searchTextField(), "0345"));
    drainMainLoop();
    ASSERT_EQ(Tag::filteredCards, list->presentationMode()->tag());
    EXPECT_EQ((std::vector<std::string>{"<p>card 10345</p>"}), rowTitles(*list));
}

// The list keeps each card's searchable text between searches: after most of
// the deck is gone and what is left is edited, a search sees the deck as it is.
TEST_F(CardListTest, SearchingAgainAfterTheDeckShrankAndChangedFindsTheCardsAsTheyAre) {
    {
        FCCardArray cards;
        for (std::size_t i = 0; i < 3 * CardListSearch::kSliceCards; ++i)
            cards.push_back(studyCard("card " + std::to_string(i) + " needle", "answer", 100 + std::int64_t(i)));
        document->deck()->setCards(cards);
    }
    show();
    typeQuery(*list, "needle");
    drainMainLoop();
    ASSERT_EQ(3 * CardListSearch::kSliceCards, list->presentationMode()->cards().size());

    // The list's own rows let go of the removed cards when the search ends.
    typeQuery(*list, "");
    drainMainLoop();
    auto kept = document->deck()->cards();
    kept.resize(3);
    auto added = studyCard("new", "another NEEDLE", 99999);
    kept.push_back(added);
    document->deck()->setCards(kept);
    list->didAddOrRemoveCardsWithUpdateChangeCount(true, true);
    typeQuery(*list, "needle");
    drainMainLoop();
    EXPECT_EQ(kept, list->presentationMode()->cards());

    auto edited = std::static_pointer_cast<FCStudyCard>(kept[1]);
    edited->setTop(std::string("<i>no longer</i>"));
    list->didChangeCard(edited, nullptr);
    for (const auto* query : {"needle", "no longer"}) {
        typeQuery(*list, query);
        drainMainLoop();
        const FCCardArray expected =
            std::string(query) == "needle" ? FCCardArray{kept[0], kept[2], added} : FCCardArray{edited};
        EXPECT_EQ(expected, list->presentationMode()->cards()) << query;
    }
}
