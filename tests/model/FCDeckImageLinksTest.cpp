#include <gtest/gtest.h>

#include "model/FCCImageInventory.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/StringUtils.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::clearLogBacklog;
using fc_test::loggedLineContaining;

namespace {

const std::string kTitle = "Map <img src=\"card-attachment://t.png\">";
const std::string kTop = "<img src=\"card-attachment://x.png\">";
const std::string kBottom = "x <img src='card-attachment://x.png'><img src='card-attachment://y.png'> CARD-ATTACHMENT://z";

// [topic(kTitle) [study(kTop, kBottom)], study(nil, "plain")]
struct LinkedTree {
    std::shared_ptr<FCTopicCard> topic = FCTopicCard::topicCardWithTitle(kTitle, 1);
    std::shared_ptr<FCStudyCard> inner = FCStudyCard::studyCardWithTop(kTop, kBottom, 2);
    std::shared_ptr<FCStudyCard> plain = FCStudyCard::studyCardWithTop(std::nullopt, "plain", 3);
    LinkedTree() { topic->setCards({inner}); }
    FCCardArray cards() const { return {topic, plain}; }
    std::string texts() const {
        return *topic->title() + "|" + *inner->top() + "|" + *inner->bottom() + "|" + plain->top().value_or("(nil)") +
               "|" + *plain->bottom();
    }
};

std::string statsState(const FCStudyCard& card) {
    return std::string(card.studyStats() ? "F" : "-") + (card.reverseStudyStats() ? "R" : "-");
}

std::vector<std::string> namesIn(const std::string& html) {
    std::vector<std::string> names;
    EXPECT_TRUE(FCCImageInventory::findImageNamesUsedInHtml(html, names));
    return names;
}

}  // namespace

TEST(FCDeckImageLinks, InjectUpdateAndRemoveRoundTrip) {
    LinkedTree tree;
    const std::string original = tree.texts();

    FCDeck::injectDeckIdentifier("d1", tree.cards(), false);
    EXPECT_EQ(
        "Map <img src=\"card-attachment:d1/t.png\">|<img src=\"card-attachment:d1/x.png\">|"
        "x <img src='card-attachment:d1/x.png'><img src='card-attachment:d1/y.png'> CARD-ATTACHMENT://z|"
        "(nil)|plain",
        tree.texts());
    EXPECT_EQ("FR", statsState(*tree.inner));

    FCDeck::updateCardImageLinksFromDeckId("d1", "d2", tree.cards(), false);
    EXPECT_EQ(original, stringByReplacingOccurrences(tree.texts(), "card-attachment:d2/", "card-attachment://"));
    EXPECT_EQ(std::string::npos, tree.texts().find("d1/"));

    FCDeck::removeDeckIdentifier("d1", tree.cards());  // names no link: nothing changes
    EXPECT_NE(original, tree.texts());
    FCDeck::removeDeckIdentifier("d2", tree.cards());
    EXPECT_EQ(original, tree.texts());
    EXPECT_EQ("FR", statsState(*tree.plain));
}

TEST(FCDeckImageLinks, ResettingStatisticsForSharing) {
    LinkedTree tree;
    FCDeck::injectDeckIdentifier("d1", tree.cards(), true);
    EXPECT_EQ("--", statsState(*tree.inner));
    EXPECT_EQ("--", statsState(*tree.plain));

    for (const auto& card : {tree.inner, tree.plain}) {
        card->setStudyStats(std::make_shared<FCStudyStats>());
        card->setReverseStudyStats(std::make_shared<FCStudyStats>());
    }
    FCDeck::updateCardImageLinksFromDeckId("d1", "d2", tree.cards(), true);
    EXPECT_EQ("-R", statsState(*tree.inner));
    EXPECT_EQ("-R", statsState(*tree.plain));
}

TEST(FCCImageInventory, FindsQuotedAttachmentLinks) {
    struct Case {
        const char* html;
        std::vector<std::string> names;
    } cases[] = {
        {"<img src='card-attachment://a.png'>", {"a.png"}},
        {"<img src=\"card-attachment:d1/b.png\"><img src=\"CARD-ATTACHMENT://c.png\">", {"b.png", "c.png"}},
        {"|card-attachment://d.png|", {"d.png"}},
        {"\"card-attachment://x.png\" 'card-attachment:d1/x.png'", {"x.png", "x.png"}},
        {"<img src=card-attachment://e.png>", {}},
        {"<p>no images</p>", {}},
        // Only the last path component is a file name: nothing reaches outside
        // the deck's folder, and links that name no file are left out.
        {"\"card-attachment://../../secret/f.png\"", {"f.png"}},
        {"\"card-attachment://..\" \"card-attachment:\" \"card-attachment:d1/.\"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.names, namesIn(c.html)) << c.html;

    clearLogBacklog();
    std::vector<std::string> names{"kept"};
    EXPECT_TRUE(FCCImageInventory::findImageNamesUsedInHtml("'card-attachment://..' 'card-attachment://g.gif'", names));
    EXPECT_EQ((std::vector<std::string>{"kept", "g.gif"}), names);
    EXPECT_TRUE(loggedLineContaining(" WARN| Ignoring card-attachment link without file name: //.. |"));
}

TEST(FCDeckImageLinks, ListsTheImagesOfTheDeck) {
    FCDeck deck;
    auto cover = std::make_shared<FCCoverStyle>();
    cover->setCustomImageName("cover.jpg");
    deck.setCoverStyle(cover);
    auto card = FCStudyCard::studyCardWithTop(
        "<img src=\"card-attachment://p.png\"> and <img src=\"card-attachment://p.png\">", std::nullopt, 1);
    deck.setCards({card});
    EXPECT_EQ((std::vector<std::string>{"cover.jpg", "p.png", "p.png"}), deck.listNamesOfAllImagesUsedInDeck());

    // Depth first: a topic's title before its children, a top before its bottom.
    LinkedTree tree;
    deck.setCards(tree.cards());
    cover->setCustomImageName("../covers/cover.jpg");
    EXPECT_EQ((std::vector<std::string>{"cover.jpg", "t.png", "x.png", "x.png", "y.png"}),
              deck.listNamesOfAllImagesUsedInDeck());

    FCDeck bare;
    EXPECT_TRUE(bare.listNamesOfAllImagesUsedInDeck().empty());
}
