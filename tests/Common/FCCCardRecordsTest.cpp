#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "Common/BPDocumentSchema.h"
#include "Common/CardTreeTestSupport.h"
#include "Common/FCCBinaryDocumentPersistence.h"
#include "Common/FCCCardRecords.h"
#include "Common/FCCModelEntityClasses.h"
#include "model/FCCard.h"
#include "model/FCCardArena.h"
#include "model/FCDeck.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileWrapper.h"

// The one-pass card codec against the generic record reader and writer: the
// same bytes for every deck it writes, the same deck for every stream it
// reads, and a decline (the generic path then decides) for everything else.
namespace {

std::shared_ptr<FCStudyStats> stats(std::vector<std::int64_t> ratings, std::optional<double> lastStudied1970) {
    auto s = FCStudyStats::statsWithLegacyPastResults(std::move(ratings));
    if (lastStudied1970) s->setLastStudied(Date::fromTimeIntervalSince1970(*lastStudied1970));
    return s;
}

using card_tree_test::card;
using card_tree_test::topic;

// Every form the plain records take: nil and empty sides, non-ASCII text,
// histories short, long and with ratings the packed form leaves out, dates
// before 1970 and with fractions, a missing reverse statistics object, topics
// nested, empty and untitled.
FCCardArray variedCards() {
    std::vector<std::int64_t> long_;
    for (int i = 0; i < 37; ++i) long_.push_back(1 + i % 3);
    return {
        card("Q1", "A1", stats({1, 2, 3}, 1.7e9), stats({}, std::nullopt)),
        card(std::nullopt, "", stats({}, std::nullopt), stats({1}, 12.75)),
        topic("Tópico <b>1</b>",
              {card("Grüße ✓", std::nullopt, stats(long_, -5.0), stats({3}, 0.0)), topic(std::nullopt, {}),
               topic("inner", {card("x", "y", stats({0, 1, 0, 2}, 1e12), nullptr)})}),
        card("last", "card", stats({1, 1, 1, 1, 1, 1, 1, 1, 1}, 3.0), stats({2, 3, 3}, 4.0)),
    };
}

std::string describeStats(const std::shared_ptr<FCStudyStats>& s) {
    if (!s) return "none";
    std::string out = "[";
    for (auto r : s->pastResults()) out += std::to_string(r) + ",";
    out += "]";
    if (s->isUnsureAboutMostRecentResult()) out += "?";
    if (s->lastStudied()) out += "@" + std::to_string(s->lastStudied()->timeIntervalSince1970());
    return out;
}

// Keys, sequence numbers, titles, sides and statistics of the whole tree.
std::string describe(const FCCardArray& cards) {
    std::string out;
    for (const auto& c : cards) {
        out += "#" + std::to_string(c->primaryKey());
        if (c->isTopicCard()) {
            auto t = std::static_pointer_cast<FCTopicCard>(c);
            out += " topic " + t->title().value_or("(nil)") + " {" + describe(*t->cards()) + "} ";
        } else {
            auto s = std::static_pointer_cast<FCStudyCard>(c);
            out += " card " + std::to_string(s->sequenceNumber()) + " " + s->top().value_or("(nil)") + "/" +
                   s->bottom().value_or("(nil)") + " " + describeStats(s->studyStats()) + " " +
                   describeStats(s->reverseStudyStats()) + "; ";
        }
    }
    return out;
}

std::string describe(const FCDeck& deck) {
    return std::to_string(deck.studyCardsCount()) + "/" + std::to_string(deck.unstudiedStudyCardsCount()) + " " +
           std::to_string(deck.studyProgress()) + " next " + std::to_string(deck.lastUsedCardPrimaryKey()) + " " +
           describe(deck.cards());
}

// What the package reader does after the generic reader.
void setUnsureFlagsFromHistories(const FCCardArray& cards) {
    FCDeck::traverseAllCards(cards, [](const std::shared_ptr<FCCard>& c, bool isTopic, bool*) {
        if (isTopic) return;
        auto s = std::static_pointer_cast<FCStudyCard>(c);
        if (s->studyStats()) s->studyStats()->updateUnsureFlagFromHistory();
        if (s->reverseStudyStats()) s->reverseStudyStats()->updateUnsureFlagFromHistory();
    });
}

class FCCCardRecords : public ::testing::Test {
protected:
    void SetUp() override { TWLogger::sharedInstance().setMaxLogLevel(0); }

    Data genericWrite(const FCCardArray& cards) {
        std::vector<BPObject> objects;
        for (const auto& c : cards) objects.push_back(BPObject::of(c));
        auto data = persistence.cardsSchema().serializeDelimited(objects);
        EXPECT_TRUE(data);
        return data.value_or(Data());
    }

    // The deck the generic reader builds and the deck finishes, or "" when it fails.
    std::string genericRead(const Data& records) {
        auto objects = persistence.cardsSchema().parseDelimited(records);
        if (!objects) return "";
        FCCardArray cards;
        for (const auto& o : *objects) {
            auto c = FCCCardFromObject(o);
            if (!c) return "";
            cards.push_back(c);
        }
        setUnsureFlagsFromHistories(cards);
        FCDeck deck;
        deck.setCards(std::move(cards));
        deck.finishInitialization();
        return describe(deck);
    }

    // The deck the codec builds, "declined" when it leaves the stream to the generic reader.
    std::string fastRead(const Data& records) {
        auto read = codec.read(records);
        if (!read) return "declined";
        FCDeck deck;
        const std::int64_t lastKey = read->lastPrimaryKey;
        deck.setCards(std::move(read->cards));
        deck.finishInitializationOfNumberedCards(lastKey, read->studyCardsCount, read->unstudiedStudyCardsCount);
        return describe(deck);
    }

    // The same through the reader that leaves each top-level topic's cards
    // in the records: the cards written before any is made (they must be the
    // bytes the eager reader's cards write), then the deck.
    std::string deferredRead(const Data& records, Data* writtenUntouched = nullptr) {
        auto read = codec.readDeferringTopics(std::make_shared<const BPSnappy::Block>(blockOf(records)));
        if (!read) return "declined";
        if (writtenUntouched) {
            EXPECT_TRUE(codec.write(read->cards, *writtenUntouched));
        }
        FCDeck deck;
        const std::int64_t lastKey = read->lastPrimaryKey;
        deck.setCards(std::move(read->cards));
        deck.finishInitializationOfNumberedCards(lastKey, read->studyCardsCount, read->unstudiedStudyCardsCount);
        return describe(deck);
    }

    static BPSnappy::Block blockOf(const Data& bytes) {
        BPSnappy::Block block(bytes.size());
        if (!bytes.empty()) std::memcpy(block.data(), bytes.data(), bytes.size());
        return block;
    }

    FCCBinaryDocumentPersistence persistence;
    FCCCardRecordCodec codec{persistence.cardsSchema()};
};

TEST_F(FCCCardRecords, WritesTheBytesOfTheGenericWriter) {
    ASSERT_TRUE(codec.isEnabled());
    const FCCardArray cards = variedCards();
    Data fast;
    ASSERT_TRUE(codec.write(cards, fast));
    EXPECT_EQ(fast, genericWrite(cards));

    // A deck built for sharing has no statistics at all; a card may then have no property set.
    FCCardArray shared = {card("a", "b", nullptr, nullptr), topic("t", {card("c", std::nullopt, nullptr, nullptr)}),
                          card(std::nullopt, std::nullopt, nullptr, nullptr)};
    fast.clear();
    ASSERT_TRUE(codec.write(shared, fast));
    EXPECT_EQ(fast, genericWrite(shared));

    // Histories whose packed form takes a length of one byte, of two, and
    // ratings the packed form leaves out.
    std::vector<std::int64_t> longest(511, 2), longer(512, 3), mixed;
    for (int i = 0; i < 700; ++i) mixed.push_back(i % 5);
    FCCardArray histories = {card("a", "b", stats(longest, 1.0), stats(longer, std::nullopt)),
                             card("c", "d", stats(mixed, std::nullopt), stats({0, 0, 4}, 2.0))};
    fast.clear();
    ASSERT_TRUE(codec.write(histories, fast));
    EXPECT_EQ(fast, genericWrite(histories));
}

TEST_F(FCCCardRecords, DeclinesWhatItDoesNotWriteAndLeavesTheBufferAlone) {
    auto base = card("base", "x", stats({1}, 1.0), stats({}, std::nullopt));
    const std::vector<std::pair<const char*, FCCardArray>> cases = {
        {"a reversed view", {card("a", "b", nullptr, nullptr), std::make_shared<FCReversedStudyCard>(base)}},
        {"a null card in a topic", {topic("t", {nullptr})}},
    };
    for (const auto& [name, cards] : cases) {
        Data out = {7, 7};
        EXPECT_FALSE(codec.write(cards, out)) << name;
        EXPECT_EQ(out, (Data{7, 7})) << name;
    }
}

TEST_F(FCCCardRecords, ReadsWhatTheGenericReaderReads) {
    const Data records = genericWrite(variedCards());
    const std::string expected = genericRead(records);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(fastRead(records), expected);
    // The stream ends at a 0 byte where a record would begin, for both.
    Data withTail = records;
    withTail.insert(withTail.end(), {0, 10, 1, 'z', 0});
    EXPECT_EQ(fastRead(withTail), expected);
    EXPECT_EQ(genericRead(withTail), expected);
}

// Every stream cut short and every byte replaced: the codec gives the generic
// reader's deck, or declines; never another deck, never a deck where the
// generic reader fails.
TEST_F(FCCCardRecords, DamagedStreamsReadAsTheGenericReaderReadsThemOrAreDeclined) {
    // The topic's cards are checked as a deck's are when it opens: the
    // second one as written, with a history of two bytes.
    const Data records = genericWrite({card("Q", "A", stats({1, 3}, 9.0), stats({}, std::nullopt)),
                                       topic("T", {card(std::nullopt, "é", stats({2}, std::nullopt), nullptr),
                                                   card("Qé", "A", stats({1, 2, 3, 1, 2}, 7.0), stats({3}, std::nullopt))})});
    int accepted = 0;
    auto check = [&](const Data& damaged, const std::string& what) {
        std::string fast = fastRead(damaged);
        EXPECT_EQ(deferredRead(damaged), fast) << what;
        if (fast == "declined") return;
        ++accepted;
        EXPECT_EQ(fast, genericRead(damaged)) << what;
    };
    for (std::size_t length = 0; length <= records.size(); ++length)
        check(Data(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(length)),
              "cut at " + std::to_string(length));
    for (std::size_t i = 0; i < records.size(); ++i)
        for (std::uint8_t value :
             {0x00, 0x01, 0x02, 0x0A, 0x0B, 0x0C, 0x0E, 0x0F, 0x10, 0x11, 0x7F, 0x80, 0xC3, 0xFF}) {
            Data damaged = records;
            damaged[i] = value;
            check(damaged, "byte " + std::to_string(i) + " = " + std::to_string(value));
        }
    EXPECT_GT(accepted, 50);  // the comparison ran on many streams, not only on declines
}

TEST_F(FCCCardRecords, ReservesNoMoreThanTheBytesLeftCanHold) {
    // A topic claiming 2^40 cards in a few bytes: declined before anything is reserved.
    Data records = {15, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20, 0};
    EXPECT_EQ(fastRead(records), "declined");
    // Nesting beyond the record layer's limit is left to the generic reader's error.
    Data deep;
    for (int i = 0; i < kBPMaxNestingDepth + 2; ++i) deep.insert(deep.end(), {15, 1});
    EXPECT_EQ(fastRead(deep), "declined");
}

// Topics whose cards are made only when asked for: the same deck as reading
// it whole, and the same bytes when written untouched (the records copied
// where writing them gives them again, written afresh where not: fields out
// of order, a longer varint, statistics left out), a small deck and one in
// an arena alike, and a title changed before the cards are made is written.
TEST_F(FCCCardRecords, TopicsMadeWhenAskedForReadAndWriteAsReadingWhole) {
    FCCardArray canonical;
    for (int t = 0; t < 3; ++t) {
        FCCardArray children;
        for (int i = 0; i < 4; ++i)
            children.push_back(card("Q" + std::to_string(i), "A", stats({1 + i % 3, 1}, 1.7e9 + i), stats({}, 2.0)));
        children.push_back(topic("nested", {card("n", std::nullopt, stats({2}, std::nullopt), stats({1}, 1.0))}));
        canonical.push_back(topic("T" + std::to_string(t), std::move(children)));
    }
    canonical.push_back(card("loose", "card", stats({3}, 5.0), stats({}, std::nullopt)));
    Data plain;
    ASSERT_TRUE(codec.write(canonical, plain));
    // Title after the cards; a count as a two-byte varint; the varied cards,
    // written generically (some without statistics).
    Data reordered = {15, 1, 10, 1, 'q', 12, 17, 1, 1, 0, 13, 17, 0, 0, 0, 14, 2, 'T', 'x', 0};
    Data longVarint = {14, 1, 'T', 15, 0x81, 0x00, 10, 1, 'q', 12, 17, 1, 1, 0, 13, 17, 0, 0, 0, 0};
    FCCardArray many;
    for (int i = 0; i < 4000; ++i)
        many.push_back(card("Question " + std::to_string(i) + std::string(120, 'q'), "Answer",
                            stats({1 + i % 3}, 1.7e9 + i), stats({}, std::nullopt)));
    Data large;
    ASSERT_TRUE(codec.write({topic("many", std::move(many)), topic("few", {})}, large));
    ASSERT_GE(large.size(), FCCCardRecordCodec::kArenaRecordsLength);

    struct Case {
        const char* name;
        Data records;
        bool writtenAsRead;  // saved untouched without making its cards
    };
    for (const auto& [name, records, writtenAsRead] :
         std::vector<Case>{{"plain", plain, true},
                           {"reordered", reordered, false},
                           {"long varint", longVarint, false},
                           {"varied", genericWrite(variedCards()), false},
                           {"large", large, true}}) {
        const std::string whole = fastRead(records);
        ASSERT_NE(whole, "declined") << name;
        auto eager = codec.read(records);
        Data eagerWritten;
        ASSERT_TRUE(codec.write(eager->cards, eagerWritten)) << name;
        Data deferredWritten;
        EXPECT_EQ(deferredRead(records, &deferredWritten), whole) << name;
        EXPECT_EQ(deferredWritten, eagerWritten) << name;

        auto read = codec.readDeferringTopics(std::make_shared<const BPSnappy::Block>(blockOf(records)));
        ASSERT_TRUE(read) << name;
        std::size_t firstTopic = 0;
        while (!read->cards[firstTopic]->isTopicCard()) ++firstTopic;
        auto first = std::static_pointer_cast<FCTopicCard>(read->cards[firstTopic]);
        // A topic counts its study cards (nested ones too) without making them.
        for (std::size_t i = 0; i < read->cards.size(); ++i)
            if (read->cards[i]->isTopicCard()) {
                EXPECT_EQ(std::static_pointer_cast<FCTopicCard>(eager->cards[i])->deepStudyCardCount(),
                          std::static_pointer_cast<FCTopicCard>(read->cards[i])->deepStudyCardCount())
                    << name;
            }
        ASSERT_TRUE(first->hasDeferredCards()) << name;
        first->setTitle("renamed");
        std::static_pointer_cast<FCTopicCard>(eager->cards[firstTopic])->setTitle("renamed");
        Data renamed, eagerRenamed;
        ASSERT_TRUE(codec.write(read->cards, renamed));
        ASSERT_TRUE(codec.write(eager->cards, eagerRenamed));
        EXPECT_EQ(renamed, eagerRenamed) << name;
        EXPECT_EQ(first->hasDeferredCards(), writtenAsRead) << name;
    }
}

// Threads asking one deck's topics for their cards at once get one set of
// cards each topic, made once; cards that outlive their deck stay whole.
TEST_F(FCCCardRecords, TopicsMakeTheirCardsOnceWhicheverThreadAsksFirst) {
    FCCardArray topics;
    for (int t = 0; t < 40; ++t) {
        FCCardArray children;
        for (int i = 0; i < 150; ++i)
            children.push_back(card("Q" + std::to_string(t) + "." + std::to_string(i) + std::string(80, 'q'), "A",
                                    stats({1 + i % 3}, 1.7e9), stats({}, std::nullopt)));
        topics.push_back(topic("T" + std::to_string(t), std::move(children)));
    }
    Data records;
    ASSERT_TRUE(codec.write(topics, records));
    const std::string expected = fastRead(records);
    auto read = codec.readDeferringTopics(std::make_shared<const BPSnappy::Block>(blockOf(records)));
    ASSERT_TRUE(read);
    std::vector<std::vector<const FCCardArray*>> seen(4);
    std::vector<std::thread> threads;
    for (auto& arrays : seen)
        threads.emplace_back([&cards = read->cards, &arrays] {
            for (const auto& t : cards) arrays.push_back(t->cards());
        });
    for (auto& thread : threads) thread.join();
    for (const auto& arrays : seen) EXPECT_EQ(arrays, seen.front());
    auto kept = (*read->cards[3]->cards())[5];
    FCDeck deck;
    const std::int64_t lastKey = read->lastPrimaryKey;
    deck.setCards(std::move(read->cards));
    deck.finishInitializationOfNumberedCards(lastKey, read->studyCardsCount, read->unstudiedStudyCardsCount);
    EXPECT_EQ(describe(deck), expected);
    deck.setCards({});
    EXPECT_EQ(std::static_pointer_cast<FCStudyCard>(kept)->top(), "Q3.5" + std::string(80, 'q'));
}

// A large deck's cards live in an arena: it reads as the generic reader reads
// it (a side too large for the arena included), its cards outlive the deck,
// change and are freed on other threads, and its memory goes with the last.
TEST_F(FCCCardRecords, ALargeDeckReadsIntoMemoryThatGoesWithItsLastCard) {
    const std::size_t before = FCCardArena::bytesInChunks();
    FCCardArray cards = variedCards();
    FCCardArray many;
    for (int i = 0; i < 3000; ++i)
        many.push_back(card("Question " + std::to_string(i) + std::string(150, 'q'), "Answer",
                            stats({1 + i % 3, 2}, 1.7e9 + i), i % 2 ? stats({1}, std::nullopt) : nullptr));
    cards.push_back(topic("many", std::move(many)));
    cards.push_back(card(std::string(FCCardArena::kMaxAllocation, 'x'), "huge", stats({1}, 5.0), nullptr));
    const Data records = genericWrite(cards);
    ASSERT_GE(records.size(), FCCCardRecordCodec::kArenaRecordsLength);
    EXPECT_EQ(fastRead(records), genericRead(records));

    auto read = codec.read(records);
    ASSERT_TRUE(read);
    EXPECT_GT(FCCardArena::bytesInChunks(), before);
    auto topicRead = std::static_pointer_cast<FCTopicCard>(read->cards[read->cards.size() - 2]);
    auto kept = std::static_pointer_cast<FCStudyCard>((*topicRead->cards())[7]);
    auto keptStats = std::static_pointer_cast<FCStudyCard>((*topicRead->cards())[8])->studyStats();
    auto huge = std::static_pointer_cast<FCStudyCard>(read->cards.back());
    std::thread([cards = std::move(read->cards), topicRead = std::move(topicRead)]() mutable {
        topicRead.reset();
        cards.clear();
    }).join();
    EXPECT_GT(FCCardArena::bytesInChunks(), before);  // held by what is kept
    EXPECT_EQ(kept->top(), "Question 7" + std::string(150, 'q'));
    kept->setBottom("changed");
    auto copy = std::static_pointer_cast<FCStudyCard>(kept->copy());
    EXPECT_EQ(copy->bottom(), "changed");
    EXPECT_EQ(keptStats->pastResults(), (std::vector<std::int64_t>{3, 2}));
    EXPECT_EQ(huge->top()->size(), FCCardArena::kMaxAllocation);
    // Statistics handed back to the card they live in do not keep it alive.
    kept->setReverseStudyStats(kept->studyStats());
    EXPECT_EQ(kept->reverseStudyStats(), kept->studyStats());
    kept.reset();
    huge.reset();
    EXPECT_GT(FCCardArena::bytesInChunks(), before);
    std::thread([keptStats = std::move(keptStats)]() mutable { keptStats.reset(); }).join();
    EXPECT_EQ(FCCardArena::bytesInChunks(), before);
    EXPECT_EQ(copy->top(), "Question 7" + std::string(150, 'q'));
}

// A deck read after another one went takes the memory that one left (its
// chunks, with its bytes still in them) and reads the same.
TEST_F(FCCCardRecords, ADeckReadAfterAnotherWentReusesItsMemory) {
    FCCardArray many;
    for (int i = 0; i < 3000; ++i)
        many.push_back(card("Question " + std::to_string(i) + std::string(150, 'q'), "Answer " + std::to_string(i),
                            stats({1 + i % 3}, 1.7e9 + i), nullptr));
    FCCardArray cards;
    cards.push_back(topic("many", std::move(many)));
    const Data records = genericWrite(cards);
    ASSERT_GE(records.size(), FCCCardRecordCodec::kArenaRecordsLength);
    const std::string expected = genericRead(records);
    EXPECT_EQ(fastRead(records), expected);
    const std::size_t kept = FCCardArena::pooledChunks();
    ASSERT_GT(kept, 0u);
    const std::size_t before = FCCardArena::bytesInChunks();
    {
        auto read = codec.read(records);
        ASSERT_TRUE(read);
        EXPECT_LT(FCCardArena::pooledChunks(), kept);
        EXPECT_GT(FCCardArena::bytesInChunks(), before);
    }
    EXPECT_EQ(FCCardArena::pooledChunks(), kept);
    EXPECT_EQ(fastRead(records), expected);
    EXPECT_EQ(FCCardArena::bytesInChunks(), before);
}

// A package written before the codec existed (its card records by the generic
// writer) opens through the codec and saves to the very records file that
// opening and saving it generically gives.
TEST_F(FCCCardRecords, AnOlderPackageOpensAndSavesTheSame) {
    auto recordsOf = [&](const std::shared_ptr<FCDeck>& deck) {
        auto metadata = persistence.metadataSchema().serialize(BPObject::of(deck));
        auto settings = persistence.userSettingsSchema().serializeUserDocumentSettings(nullptr);
        auto cards = BPSnappy::compressData(genericWrite(deck->cards()));
        EXPECT_TRUE(metadata && settings && cards);
        Data records = metadata.value_or(Data());
        records.insert(records.end(), settings->begin(), settings->end());
        records.insert(records.end(), cards->begin(), cards->end());
        return records;
    };
    auto written = std::make_shared<FCDeck>();
    written->setCards(variedCards());
    written->finishInitialization();
    const Data older = recordsOf(written);

    // Opened and saved the generic way, as before.
    std::size_t offset = 0;
    auto genericDeck = persistence.metadataSchema().parseNextObjectIn(older, offset).exactly<FCDeck>();
    ASSERT_TRUE(genericDeck);
    ASSERT_TRUE(persistence.userSettingsSchema().parseSettingsAsNextObjectIn(older, offset));
    auto objects = persistence.cardsSchema().parseDelimited(*BPSnappy::uncompressData(older, offset));
    ASSERT_TRUE(objects);
    FCCardArray cards;
    for (const auto& o : *objects) cards.push_back(FCCCardFromObject(o));
    setUnsureFlagsFromHistories(cards);
    genericDeck->setCards(std::move(cards));
    genericDeck->finishInitialization();
    const Data resavedGenerically = recordsOf(genericDeck);

    auto root = FileWrapper::directoryWithFileWrappers();
    root->addRegularFileWithContents(older, "All cards.memdeck");
    auto data = FileWrapper::directoryWithFileWrappers();
    data->setPreferredFilename("Data");
    data->addRegularFileWithContents(Data{'1'}, "Version");
    root->addFileWrapper(data);
    ASSERT_TRUE(codec.read(*BPSnappy::uncompressData(older, offset)));  // the codec reads it, no fallback

    FCCBinaryDocumentPersistence reader;
    Error error;
    auto opened = reader.readFromFileWrapper(root, nullptr, &error);
    ASSERT_TRUE(opened) << error.description();
    EXPECT_EQ(describe(*opened), describe(*genericDeck));
    auto saved = reader.updateFileWrapperForDeck(opened, nullptr, &error);
    ASSERT_TRUE(saved) << error.description();
    EXPECT_EQ(saved->fileWrapperNamed("All cards.memdeck")->regularFileContents(), resavedGenerically);
}

}  // namespace
