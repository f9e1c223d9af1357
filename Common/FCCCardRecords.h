#pragma once

// The card records of a ".flashcards" package read and written in one pass,
// without boxing values: the records file holds tens of thousands of study
// cards, and the generic record reader and writer (BPDocumentSchema) spend
// most of an open or a save moving each value through the property registry.
//
// The codec handles the plain form every deck is written in: study cards
// (sides and both statistics), topics (title and cards) and statistics (date
// and packed ratings), of exactly these classes, nested within the record
// layer's depth limit. Anything else — another class, an all-nil record, a
// record cut short, a tag out of place, bytes that are not UTF-8, an overlong
// varint — is declined, and the caller runs the generic reader or writer,
// which decides with its own errors. So both paths give the same deck for
// every stream, and the same bytes for every deck.
//
// The tags and types come from the cards schema (the schema as data stays the
// reference): a schema that does not map the card properties as expected
// turns the codec off, and every call declines.
//
// Reading checks every length and count against the bytes left before
// allocating, and reserves for an array no more than the bytes left can hold.
// The cards of a large stream (kArenaRecordsLength bytes or more) and their
// sides and statistics are made in one FCCardArena.

#include <cstdint>
#include <memory>
#include <optional>

#include "Common/BPDataAdditions.h"
#include "Common/BPDocumentSchema.h"
#include "model/FCCard.h"
#include "platform/foundation/Data.h"

class BPDocumentSchema;

class FCCCardRecordCodec {
public:
    explicit FCCCardRecordCodec(const BPDocumentSchema& cardsSchema);

    bool isEnabled() const { return enabled_; }

    // The top-level cards of a delimited stream, with the primary keys and
    // sequence numbers finishInitialization would give them (1, 2, ... depth
    // first, a topic before its children) and the counts it would take;
    // unsure flags set from the histories.
    struct ReadCards {
        FCCardArray cards;
        std::int64_t lastPrimaryKey = 0;
        std::int64_t studyCardsCount = 0;
        std::int64_t unstudiedStudyCardsCount = 0;
    };
    // nullopt: the stream is not of the plain form.
    std::optional<ReadCards> read(BPBytes records) const {
        return read(records, records.size() >= kArenaRecordsLength);
    }
    // The same, with the cards in an FCCardArena or not, whatever the size.
    std::optional<ReadCards> read(BPBytes records, bool inArena) const;
    // The same deck, with each top-level topic made without its children:
    // the stream is checked whole and its cards numbered and counted now,
    // and a topic makes its children from the records it shares with the
    // others when they are first asked for (FCTopicCard::cards(), from any
    // thread), exactly as `read` would have made them. The records are held
    // until the last such topic has made its children or is gone.
    std::optional<ReadCards> readDeferringTopics(std::shared_ptr<const BPSnappy::Block> records) const;

    // About 5,500 cards, whose objects fill about one chunk; a smaller deck
    // would leave most of it unused.
    static constexpr std::size_t kArenaRecordsLength = std::size_t{512} << 10;

    // Appends the records of the cards, back to back, exactly as the generic
    // writer would. False, with `out` as it was, when a card is not of the
    // plain form.
    bool write(const FCCardArray& cards, Data& out) const;
    // The same into a block that is not zero-filled as it grows.
    bool write(const FCCardArray& cards, BPBlock& out) const;

    // The tags of the card properties, as the schema maps them.
    struct Tags {
        std::uint8_t top, bottom, studyStats, reverseStudyStats;
        std::uint8_t title, cards;
        std::uint8_t lastStudied, pastResults;
    };

private:
    Tags tags_{};
    bool enabled_ = false;
};
