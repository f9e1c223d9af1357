#include "Common/FCCCardRecords.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <typeindex>
#include <typeinfo>

#include "Common/BPDocumentSchema.h"
#include "model/FCCard.h"
#include "model/FCCardArena.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/StringUtils.h"

namespace {

// The class's tags in write order, when the schema maps exactly these
// properties with these types, in this order.
bool classTags(const BPDocumentSchema& schema, const std::type_info& type,
               std::initializer_list<std::pair<const char*, std::uint64_t>> expected,
               std::initializer_list<std::uint8_t*> out) {
    const auto* defs = schema.tagDefinitionsForClass(std::type_index(type));
    if (!defs || defs->size() != expected.size()) return false;
    auto tag = out.begin();
    std::size_t i = 0;
    for (const auto& [name, kind] : expected) {
        const BPDocumentTagDefinition* def = (*defs)[i++];
        if (!def->propertyName() || *def->propertyName() != name || def->type() != kind) return false;
        **tag++ = def->tag();
    }
    return true;
}

// --- Reading ---

class Reader {
public:
    // With `finishArena`, the arena is finished with the reader; otherwise
    // its owner finishes it after the last reading.
    Reader(const std::uint8_t* begin, const std::uint8_t* end, FCCCardRecordCodec::ReadCards& result,
           const FCCCardRecordCodec::Tags& tags, FCCardArena* arena, bool finishArena = true)
        : p_(begin), end_(end), result_(result), tags_(tags), arena_(arena), finishArena_(finishArena) {
        if (arena_) reading_.emplace(*arena_);
    }
    ~Reader() {
        if (arena_ && finishArena_) arena_->finishReading();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool readAll() {
        while (p_ < end_) {
            const std::uint8_t tag = *p_++;
            if (tag == BPTagEndOfRecord) break;  // the generic reader stops here too
            std::shared_ptr<FCCard> card;
            if (!readCard(tag, 0, &card)) return false;
            result_.cards.push_back(std::move(card));
        }
        return true;
    }

    // As readAll, with each top-level topic made without its children: its
    // record is checked and counted as reading it would, and `defer` is given
    // the topic, its record's range (from its first tag), where its cards
    // start (their tag; null without), the key and sequence number before
    // its first child, and whether the cards' part of the record is exactly
    // what writing the cards made from it gives.
    template <class Defer>
    bool readAllDeferringTopics(Defer&& defer) {
        while (p_ < end_) {
            const std::uint8_t* record = p_;
            const std::uint8_t tag = *p_++;
            if (tag == BPTagEndOfRecord) break;
            std::shared_ptr<FCCard> card;
            if (tag == tags_.title || tag == tags_.cards) {
                std::optional<std::string_view> title;
                const std::int64_t studyCardsBefore = result_.studyCardsCount;
                canonical_ = true;
                topLevelCardsTag_ = nullptr;
                if (!readTopic(tag, 0, nullptr, nullptr, &title)) return false;
                auto topic = make<FCTopicCard>();
                const std::int64_t key = scannedTopicKey_;
                topic->setPrimaryKey(key);
                if (title) topic->setTitle(FCCardSides::toString(title));
                defer(*topic, record, topLevelCardsTag_, p_, key, studyCardsBefore, canonical_);
                card = std::move(topic);
            } else if (!readCard(tag, 0, &card)) {
                return false;
            }
            result_.cards.push_back(std::move(card));
        }
        return true;
    }

    // The children of the topic whose record starts here (at its first tag),
    // numbered on from the counts the reader starts with; the record was
    // read whole before.
    bool readChildrenOfTopic(FCCardArray& children) {
        checked_ = true;
        std::uint8_t tag;
        if (!nextTag(tag)) return false;
        return readTopic(tag, 0, nullptr, &children, nullptr);
    }

private:
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }

    // Only varints of up to nine bytes: longer ones (never written for the
    // values stored here) are left to the generic reader's rules.
    bool varint(std::uint64_t& value) {
        value = 0;
        for (int i = 0; i < 9; ++i) {
            if (p_ == end_) return false;
            const std::uint8_t byte = *p_++;
            value |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
            if (!(byte & 0x80)) {
                if (byte == 0 && i > 0) canonical_ = false;  // longer than a writer makes it
                return true;
            }
        }
        return false;
    }

    // A length and that many bytes, checked against the bytes left.
    bool bytes(const std::uint8_t*& at, std::size_t& length) {
        std::uint64_t count;
        if (!varint(count) || count > left()) return false;
        at = p_;
        length = static_cast<std::size_t>(count);
        p_ += length;
        return true;
    }

    // Valid UTF-8 only: the generic reader refuses anything else.
    bool text(std::optional<std::string_view>& into) {
        const std::uint8_t* at;
        std::size_t length;
        if (!bytes(at, length)) return false;
        std::string_view view(reinterpret_cast<const char*>(at), length);
        if (!checked_ && !isUTF8(at, length, end_)) return false;
        into = view;
        return true;
    }

    static std::uint64_t word(const std::uint8_t* at) {
        std::uint64_t value;
        std::memcpy(&value, at, 8);
        return value;
    }

    // Plain ASCII (most texts), looked at eight bytes at a time without a
    // call or a branch per word: the last word overlaps the one before it,
    // and a text shorter than a word is read as one word when the buffer
    // (which ends at `end`) goes on that far, the bytes behind it masked off.
    static bool isASCII(const std::uint8_t* at, std::size_t length, const std::uint8_t* end) {
        constexpr std::uint64_t kHigh = 0x8080808080808080ull;
        if (length >= 8) {
            // Up to 64 bytes (most sides) in a fixed number of words: the
            // first ones and the last ones, overlapping.
            const std::uint8_t* last = at + length - 8;
            if (length <= 16) return ((word(at) | word(last)) & kHigh) == 0;
            if (length <= 32) return ((word(at) | word(at + 8) | word(last - 8) | word(last)) & kHigh) == 0;
            if (length <= 64)
                return ((word(at) | word(at + 8) | word(at + 16) | word(at + 24) | word(last - 24) | word(last - 16) |
                         word(last - 8) | word(last)) &
                        kHigh) == 0;
            std::uint64_t high = word(last);
            for (std::size_t i = 0; i + 8 < length; i += 8) high |= word(at + i);
            return (high & kHigh) == 0;
        }
        if (length == 0) return true;
        if (static_cast<std::size_t>(end - at) >= 8) return (word(at) & (kHigh >> (64 - 8 * length))) == 0;
        std::uint8_t high = 0;
        for (std::size_t i = 0; i < length; ++i) high |= at[i];
        return high < 0x80;
    }

    static bool isUTF8(const std::uint8_t* at, std::size_t length, const std::uint8_t* end) {
        return isASCII(at, length, end) || isValidUTF8(std::string_view(reinterpret_cast<const char*>(at), length));
    }

    // The next tag of a record; false at the end of the data (a record cut
    // short).
    bool nextTag(std::uint8_t& tag) {
        if (p_ == end_) return false;
        tag = *p_++;
        return true;
    }

    // A statistics record as it is stored: its packed history and date.
    struct StoredStats {
        const std::uint8_t* packed = nullptr;
        std::size_t packedLength = 0;
        std::optional<Date> lastStudied;
        // Fills statistics that nobody observes yet, as a new object would be filled.
        void fill(FCStudyStats& stats) const { stats.initializeFromStoredForm(packed, packedLength, lastStudied); }
    };

    bool readStats(StoredStats& into, int depth) {
        if (depth > kBPMaxNestingDepth) return false;
        std::uint8_t tag;
        if (!nextTag(tag) || tag == BPTagEndOfRecord) return false;
        into = StoredStats{};
        int order = -1;  // the writer's order: date, history
        do {
            if (tag == tags_.lastStudied) {
                std::uint64_t seconds;
                if (!varint(seconds)) return false;
                into.lastStudied = Date::fromTimeIntervalSince1970(static_cast<double>(seconds));
                // Whole seconds come back as they were only below 2^52.
                if (order >= 0 || seconds >= (std::uint64_t{1} << 52)) canonical_ = false;
                order = 0;
            } else if (tag == tags_.pastResults) {
                if (!bytes(into.packed, into.packedLength)) return false;
                if (order >= 1 || !isPackedAsWritten(into.packed, into.packedLength)) canonical_ = false;
                order = 1;
            } else {
                return false;
            }
            if (!nextTag(tag)) return false;
        } while (tag != BPTagEndOfRecord);
        if (order != 1) canonical_ = false;
        return true;
    }

    // A history packed as a writer packs it: four ratings to each byte but
    // the last, which holds at least one and nothing above them.
    static bool isPackedAsWritten(const std::uint8_t* packed, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t byte = packed[i];
            int places = 0;
            while (places < 4 && ((byte >> (2 * places)) & 3) != 0) ++places;
            if (i + 1 < length ? places != 4 : places == 0 || (places < 4 && (byte >> (2 * places)) != 0))
                return false;
        }
        return true;
    }

    // A card's record, made into `out`; without `out` only checked and
    // counted, as reading it would.
    bool readCard(std::uint8_t tag, int depth, std::shared_ptr<FCCard>* out) {
        if (depth > kBPMaxNestingDepth) return false;
        if (tag == tags_.top || tag == tags_.bottom || tag == tags_.studyStats || tag == tags_.reverseStudyStats)
            return readStudyCard(tag, depth, out);
        if (tag == tags_.title || tag == tags_.cards) return readTopic(tag, depth, out, nullptr, nullptr);
        return false;
    }

    // Both statistics of a card in one allocation: most cards have both, and
    // a deck has tens of thousands of cards.
    struct StatisticsPair {
        FCStudyStats forward;
        FCStudyStats reverse;
    };

    // A card read into the arena and both its statistics, in one block
    // followed by the block of its sides: one allocation for all that a card
    // holds. The card points to its statistics without owning them; the block
    // goes when the card goes.
    struct StudyCardBlock {
        StudyCardBlock(FCCardSides sides, std::int64_t key, std::int64_t sequenceNumber)
            : card(std::move(sides), std::shared_ptr<FCStudyStats>(std::shared_ptr<FCStudyStats>(), &forward),
                   std::shared_ptr<FCStudyStats>(std::shared_ptr<FCStudyStats>(), &reverse), key, sequenceNumber) {}
        FCStudyCard card;  // first: the card's address is the block's
        FCStudyStats forward;
        FCStudyStats reverse;
    };
    struct DestroyStudyCardBlock {
        void operator()(FCStudyCard* card) const noexcept {
            auto* block = reinterpret_cast<StudyCardBlock*>(card);
            FCCardArena& arena = FCCardArena::owning(block);
            block->~StudyCardBlock();
            arena.deallocate();
        }
    };

    // FCStudyCard::isUnstudied for a card just read, without its virtual
    // accessors: the forward side not last answered right, or the reverse
    // side studied and not last answered right.
    static bool isUnstudied(const FCStudyStats& forward, const FCStudyStats& reverse) {
        constexpr std::int64_t kRight = 1;
        if (forward.mostRecentResult() != kRight) return true;
        return reverse.numberOfRatings() != 0 && reverse.mostRecentResult() != kRight;
    }

    bool readStudyCard(std::uint8_t tag, int depth, std::shared_ptr<FCCard>* out) {
        const std::int64_t key = ++result_.lastPrimaryKey;
        const std::int64_t sequenceNumber = ++result_.studyCardsCount;
        std::optional<std::string_view> top;
        std::optional<std::string_view> bottom;
        // A statistics property the record leaves out keeps a new card's empty one.
        StoredStats forward;
        StoredStats reverse;
        int order = -1;  // the writer's order: top, bottom, statistics, reverse statistics
        auto inOrder = [&](int next) {
            if (next <= order) canonical_ = false;
            order = next;
        };
        bool sawForward = false;
        bool sawReverse = false;
        do {
            if (tag == tags_.top) {
                if (!text(top)) return false;
                inOrder(0);
            } else if (tag == tags_.bottom) {
                if (!text(bottom)) return false;
                inOrder(1);
            } else if (tag == tags_.studyStats) {
                if (!readStats(forward, depth + 1)) return false;
                inOrder(2);
                sawForward = true;
            } else if (tag == tags_.reverseStudyStats) {
                if (!readStats(reverse, depth + 1)) return false;
                inOrder(3);
                sawReverse = true;
            } else {
                return false;
            }
            if (!nextTag(tag)) return false;
        } while (tag != BPTagEndOfRecord);
        // A card read without statistics gets empty ones, which are written.
        if (!sawForward || !sawReverse) canonical_ = false;
        if (!out) {
            constexpr std::int64_t kRight = 1;
            const std::int64_t forwardNewest =
                FCStudyStats::mostRecentResultOfStoredForm(forward.packed, forward.packedLength);
            const std::int64_t reverseNewest =
                FCStudyStats::mostRecentResultOfStoredForm(reverse.packed, reverse.packedLength);
            if (forwardNewest != kRight || (reverseNewest != 0 && reverseNewest != kRight))
                ++result_.unstudiedStudyCardsCount;
            return true;
        }
        FCStudyStats* forwardStats;
        FCStudyStats* reverseStats;
        std::shared_ptr<FCCard> card;
        if (arena_) {
            const std::size_t sidesSize = FCCardSides::blockSize(top, bottom);
            const bool sidesInBlock = sidesSize <= FCCardArena::kMaxAllocation - sizeof(StudyCardBlock);
            FCCardSides sides = sidesInBlock ? FCCardSides() : FCCardSides(top, bottom);
            char* at = static_cast<char*>(arena_->allocate(sizeof(StudyCardBlock) + (sidesInBlock ? sidesSize : 0)));
            if (sidesInBlock) sides = FCCardSides::inPlace(at + sizeof(StudyCardBlock), top, bottom);
            auto* block = new (at) StudyCardBlock(std::move(sides), key, sequenceNumber);
            forwardStats = &block->forward;
            reverseStats = &block->reverse;
            card = std::shared_ptr<FCStudyCard>(&block->card, DestroyStudyCardBlock{},
                                                FCCardArena::Allocator<FCStudyCard>());
        } else {
            auto statistics = std::make_shared<StatisticsPair>();
            forwardStats = &statistics->forward;
            reverseStats = &statistics->reverse;
            card = std::make_shared<FCStudyCard>(
                FCCardSides(top, bottom), std::shared_ptr<FCStudyStats>(statistics, forwardStats),
                std::shared_ptr<FCStudyStats>(statistics, reverseStats), key, sequenceNumber);
        }
        forward.fill(*forwardStats);
        reverse.fill(*reverseStats);
        if (isUnstudied(*forwardStats, *reverseStats)) ++result_.unstudiedStudyCardsCount;
        *out = std::move(card);
        return true;
    }

    // --- The plain form, checked and counted in one straight pass ---
    //
    // Nearly every study card of a deck is stored exactly as the writer
    // writes it: its sides (each optional), both statistics, the end byte;
    // a statistics record as its date (optional) and its packed history, as
    // written. Opening a deck checks every one of them, so a run of cards of
    // that form is checked here without the general path's bookkeeping.
    // Anything else (another order, a statistics object left out, a longer
    // varint, a date that does not come back whole, a history packed
    // otherwise, bytes cut short, another kind of record) ends the run before
    // that record: nothing of it is read or counted, and the general path
    // reads it and decides. What this pass takes, the general path takes
    // with the same counts and finds written as read.

    // A varint as the writer writes it: at most nine bytes, no trailing zero
    // byte.
    [[gnu::always_inline]] static bool plainVarint(const std::uint8_t*& p, const std::uint8_t* end,
                                                   std::uint64_t& value) {
        if (p == end) return false;
        std::uint8_t byte = *p++;
        value = byte;
        if (byte < 0x80) [[likely]]
            return true;
        value &= 0x7F;
        for (int i = 1; i < 9; ++i) {
            if (p == end) return false;
            byte = *p++;
            value |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
            if (byte < 0x80) return byte != 0;
        }
        return false;
    }

    // A length and that many bytes of UTF-8.
    [[gnu::always_inline]] static bool plainText(const std::uint8_t*& p, const std::uint8_t* end) {
        std::uint64_t length;
        if (!plainVarint(p, end, length) || length > static_cast<std::size_t>(end - p)) return false;
        const std::uint8_t* at = p;
        p += length;
        return isUTF8(at, static_cast<std::size_t>(length), end);
    }

    // A bit for each pair of bits of a history byte that holds a rating
    // (is not 00). A byte but the last holds four; the last holds one to
    // four from its lowest pair up, and nothing above them.
    [[gnu::always_inline]] static unsigned pairsInUse(std::uint8_t byte) { return (byte | (byte >> 1)) & 0x55u; }

    // A statistics record as written, after its tag; its newest rating.
    [[gnu::always_inline]] bool plainStats(const std::uint8_t*& p, const std::uint8_t* end,
                                           std::int64_t& newest) const {
        if (p == end) return false;
        std::uint8_t tag = *p++;
        if (tag == tags_.lastStudied) {
            std::uint64_t seconds;
            if (!plainVarint(p, end, seconds) || seconds >= (std::uint64_t{1} << 52) || p == end) return false;
            tag = *p++;
        }
        std::uint64_t length;
        if (tag != tags_.pastResults || !plainVarint(p, end, length) ||
            length >= static_cast<std::size_t>(end - p))  // and the end byte
            return false;
        const std::uint8_t* packed = p;
        p += length;
        if (*p++ != BPTagEndOfRecord) return false;
        if (length == 0) {
            newest = 0;
            return true;
        }
        for (std::size_t i = 0; i + 1 < length; ++i)
            if (pairsInUse(packed[i]) != 0x55u) return false;
        const std::uint8_t last = packed[length - 1];
        const unsigned used = pairsInUse(last);
        if (used != 0x01 && used != 0x05 && used != 0x15 && used != 0x55) return false;
        // The highest pair in use holds the newest rating.
        const int pair = (31 - __builtin_clz(last)) / 2;
        newest = (last >> (2 * pair)) & 3;
        return true;
    }

    // One study card's record of the plain form from its first tag; false
    // when it is not of that form.
    [[gnu::always_inline]] bool plainStudyCard(const std::uint8_t*& p, const std::uint8_t* end,
                                               bool& unstudied) const {
        if (p == end) return false;
        std::uint8_t tag = *p++;
        if (tag == tags_.top) {
            if (!plainText(p, end) || p == end) return false;
            tag = *p++;
        }
        if (tag == tags_.bottom) {
            if (!plainText(p, end) || p == end) return false;
            tag = *p++;
        }
        std::int64_t forward, reverse;
        if (tag != tags_.studyStats || !plainStats(p, end, forward) || p == end || *p++ != tags_.reverseStudyStats ||
            !plainStats(p, end, reverse) || p == end || *p++ != BPTagEndOfRecord)
            return false;
        constexpr std::int64_t kRight = 1;
        unstudied = forward != kRight || (reverse != 0 && reverse != kRight);
        return true;
    }

    // Checks and counts study cards of the plain form from the next record
    // on, at `depth`, `count` at most; how many it took.
    std::uint64_t scanPlainStudyCards(std::uint64_t count, int depth) {
        if (depth + 1 > kBPMaxNestingDepth) return 0;  // their statistics would be too deep
        const std::uint8_t* p = p_;
        std::uint64_t taken = 0;
        std::int64_t unstudiedCount = 0;
        for (; taken < count; ++taken) {
            const std::uint8_t* q = p;
            bool unstudied;
            if (!plainStudyCard(q, end_, unstudied)) break;
            unstudiedCount += unstudied;
            p = q;
        }
        p_ = p;
        result_.lastPrimaryKey += static_cast<std::int64_t>(taken);
        result_.studyCardsCount += static_cast<std::int64_t>(taken);
        result_.unstudiedStudyCardsCount += unstudiedCount;
        return taken;
    }

    // A topic's record: made into `out`; or only its children made into
    // `children`; or, with neither, only checked and counted (its title, the
    // last one given, in `title` when asked for).
    bool readTopic(std::uint8_t tag, int depth, std::shared_ptr<FCCard>* out, FCCardArray* children,
                   std::optional<std::string_view>* title) {
        const bool build = out || children;
        std::shared_ptr<FCTopicCard> topic;
        if (out) topic = make<FCTopicCard>();
        scannedTopicKey_ = ++result_.lastPrimaryKey;  // before its children, as the numbering walk does
        if (topic) topic->setPrimaryKey(scannedTopicKey_);
        const std::int64_t key = scannedTopicKey_;
        bool sawCards = false;
        bool sawTitle = false;
        do {
            if (tag == tags_.title) {
                std::optional<std::string_view> value;
                if (!text(value)) return false;
                // The writer writes one title, before the cards.
                if (sawTitle || sawCards) canonical_ = false;
                sawTitle = true;
                if (topic) topic->setTitle(FCCardSides::toString(value));
                if (title) *title = value;
            } else if (tag == tags_.cards) {
                // A second array would have numbered cards the generic reader drops.
                if (sawCards) return false;
                sawCards = true;
                if (depth == 0) topLevelCardsTag_ = p_ - 1;
                std::uint64_t count;
                if (!varint(count) || count > left()) return false;
                FCCardArray made;
                // Every element takes at least two bytes (a tag and the end byte).
                if (build)
                    made.reserve(static_cast<std::size_t>(count) < left() / 2 ? static_cast<std::size_t>(count)
                                                                              : left() / 2);
                for (std::uint64_t i = 0; i < count; ++i) {
                    if (!build) {
                        i += scanPlainStudyCards(count - i, depth + 1);
                        if (i == count) break;
                    }
                    std::uint8_t childTag;
                    if (!nextTag(childTag) || childTag == BPTagEndOfRecord) return false;
                    std::shared_ptr<FCCard> child;
                    if (!readCard(childTag, depth + 1, build ? &child : nullptr)) return false;
                    if (build) made.push_back(std::move(child));
                }
                if (topic)
                    topic->setCards(std::move(made));
                else if (children)
                    *children = std::move(made);
            } else {
                return false;
            }
            if (!nextTag(tag)) return false;
        } while (tag != BPTagEndOfRecord);
        if (!sawCards) canonical_ = false;  // written with an empty array
        scannedTopicKey_ = key;
        if (out) *out = std::move(topic);
        return true;
    }

    // An object of the deck, in the arena when there is one.
    template <class T, class... Args>
    std::shared_ptr<T> make(Args&&... args) {
        if (arena_) return std::allocate_shared<T>(FCCardArena::Allocator<T>(), std::forward<Args>(args)...);
        return std::make_shared<T>(std::forward<Args>(args)...);
    }

    const std::uint8_t* p_;
    const std::uint8_t* end_;
    FCCCardRecordCodec::ReadCards& result_;
    const FCCCardRecordCodec::Tags& tags_;
    FCCardArena* arena_;
    bool finishArena_;
    std::optional<FCCardArena::Reading> reading_;
    // The key of the topic read last.
    std::int64_t scannedTopicKey_ = 0;
    // Cleared when a record read since it was last set would be written
    // otherwise (another order, a longer varint, a value written apart).
    bool canonical_ = true;
    // The tag of the cards of the top-level topic read last.
    const std::uint8_t* topLevelCardsTag_ = nullptr;
    // Set for records read once already: their texts are known to be UTF-8.
    bool checked_ = false;
};

// --- Deferred children ---

// The records of a deck whose topics make their children when first asked
// for, shared by those topics; the arena of their cards, when there is one,
// is finished when the last of them has made its children or is gone.
struct DeferredRecords {
    DeferredRecords(std::shared_ptr<const BPSnappy::Block> records, const FCCCardRecordCodec::Tags& cardTags,
                    FCCardArena* cardArena)
        : bytes(std::move(records)), tags(cardTags), arena(cardArena) {}
    ~DeferredRecords() {
        if (arena) arena->finishReading();
    }
    DeferredRecords(const DeferredRecords&) = delete;
    DeferredRecords& operator=(const DeferredRecords&) = delete;

    std::shared_ptr<const BPSnappy::Block> bytes;
    FCCCardRecordCodec::Tags tags;
    FCCardArena* arena;
};

class DeferredTopicCards : public FCDeferredCards {
public:
    DeferredTopicCards(std::shared_ptr<DeferredRecords> records, std::size_t begin, std::size_t cards,
                       std::size_t end, std::int64_t topicKey, std::int64_t studyCardsBefore,
                       std::int64_t studyCards, bool writtenAsRead)
        : records_(std::move(records)), begin_(begin), cards_(cards), end_(end), topicKey_(topicKey),
          studyCardsBefore_(studyCardsBefore), studyCards_(studyCards), writtenAsRead_(writtenAsRead) {}

    // Counted when the record was read whole.
    std::optional<std::int64_t> deepStudyCardCount() const override { return studyCards_; }

    // The record was read whole when the deck was: reading it again gives
    // the same cards, numbered as they were counted then.
    FCCardArray makeCards() override {
        FCCCardRecordCodec::ReadCards counts;
        counts.lastPrimaryKey = topicKey_ - 1;
        counts.studyCardsCount = studyCardsBefore_;
        const std::uint8_t* bytes = records_->bytes->view().data();
        FCCardArray children;
        Reader reader(bytes + begin_, bytes + end_, counts, records_->tags, records_->arena, false);
        reader.readChildrenOfTopic(children);
        return children;
    }

    // The topic's record from the tag of its cards to its end, when writing
    // the cards made from it gives exactly these bytes.
    std::optional<BPBytes> cardsAsWritten() const {
        if (!writtenAsRead_) return std::nullopt;
        return records_->bytes->view().subspan(cards_, end_ - cards_);
    }

private:
    std::shared_ptr<DeferredRecords> records_;
    std::size_t begin_;
    std::size_t cards_;
    std::size_t end_;
    std::int64_t topicKey_;
    std::int64_t studyCardsBefore_;
    std::int64_t studyCards_;
    bool writtenAsRead_;
};

// --- Writing ---

// Writes at a cursor into the buffer (Data, or a BPBlock, which is not
// zero-filled as it grows), which grows (doubling) as needed and is cut to
// what was written at the end.
template <class Buffer>
class Writer {
public:
    Writer(Buffer& out, const FCCCardRecordCodec::Tags& tags) : out_(out), at_(out.size()), tags_(tags) {
        out_.resize(std::max(out_.capacity(), at_ + 64));
    }

    bool writeCard(const FCCard* card, int depth) {
        if (!card || depth > kBPMaxNestingDepth) return false;
        const std::type_info& type = typeid(*card);
        if (type == typeid(FCStudyCard)) return writeStudyCard(static_cast<const FCStudyCard&>(*card), depth);
        if (type == typeid(FCTopicCard)) return writeTopic(static_cast<const FCTopicCard&>(*card), depth);
        return false;
    }

    // The buffer cut to what was written; `out` as it was when `ok` is false.
    void finish(bool ok, std::size_t start) { out_.resize(ok ? at_ : start); }

private:
    void room(std::size_t bytes) {
        if (out_.size() - at_ < bytes) out_.resize(std::max(out_.size() * 2, at_ + bytes));
    }
    void byte(std::uint8_t value) { out_.data()[at_++] = value; }
    void varint(std::uint64_t value) {
        while (value >= 0x80) {
            out_.data()[at_++] = static_cast<std::uint8_t>(value | 0x80);
            value >>= 7;
        }
        out_.data()[at_++] = static_cast<std::uint8_t>(value);
    }
    void text(std::uint8_t tag, std::string_view value) {
        room(1 + kBPMaxVarintLength + value.size());
        byte(tag);
        varint(value.size());
        std::memcpy(out_.data() + at_, value.data(), value.size());
        at_ += value.size();
    }

    bool writeStats(std::uint8_t tag, const FCStudyStats& stats, int depth) {
        if (typeid(stats) != typeid(FCStudyStats) || depth > kBPMaxNestingDepth) return false;
        // Room for every rating packed (four to a byte), so that the history
        // is packed in one pass, behind a one-byte length that is widened
        // when the history turns out to need more.
        const auto ratings = static_cast<std::size_t>(stats.numberOfRatings());
        room(4 + 2 * kBPMaxVarintLength + (ratings + 3) / 4);
        byte(tag);
        if (auto lastStudied = stats.lastStudied()) {
            byte(tags_.lastStudied);
            varint(fcWholeSecondsSince1970(*lastStudied));
        }
        byte(tags_.pastResults);
        std::uint8_t* length = out_.data() + at_;
        const std::size_t packed = stats.writePastResultsBinaryData(length + 1);
        if (packed < 0x80) {
            *length = static_cast<std::uint8_t>(packed);
            at_ += 1 + packed;
        } else {
            std::uint8_t prefix[kBPMaxVarintLength];
            std::size_t prefixLength = 0;
            for (std::size_t value = packed; ; value >>= 7) {
                prefix[prefixLength++] = static_cast<std::uint8_t>(value >= 0x80 ? (value & 0x7F) | 0x80 : value);
                if (value < 0x80) break;
            }
            std::memmove(length + prefixLength, length + 1, packed);
            std::memcpy(length, prefix, prefixLength);
            at_ += prefixLength + packed;
        }
        byte(BPTagEndOfRecord);
        return true;
    }

    bool writeStudyCard(const FCStudyCard& card, int depth) {
        bool wroteValue = false;
        if (auto top = card.storedSides().top()) {
            text(tags_.top, *top);
            wroteValue = true;
        }
        if (auto bottom = card.storedSides().bottom()) {
            text(tags_.bottom, *bottom);
            wroteValue = true;
        }
        if (const auto& stats = card.storedStudyStats()) {
            if (!writeStats(tags_.studyStats, *stats, depth + 1)) return false;
            wroteValue = true;
        }
        if (const auto& reverse = card.storedReverseStudyStats()) {
            if (!writeStats(tags_.reverseStudyStats, *reverse, depth + 1)) return false;
            wroteValue = true;
        }
        room(3);
        if (wroteValue) {
            byte(BPTagEndOfRecord);
        } else {
            byte(BPTagAllNilPropertiesRecord);
            byte(tags_.top);
            byte(BPTagEndOfRecord);
        }
        return true;
    }

    bool writeTopic(const FCTopicCard& topic, int depth) {
        // Children still in the records they were read from, which are what
        // writing them would give: the title, then those bytes as they are.
        if (depth == 0 && topic.hasDeferredCards() && topic.lookAtDeferredCards([&](const FCDeferredCards& deferred) {
                const auto* ours = dynamic_cast<const DeferredTopicCards*>(&deferred);
                const std::optional<BPBytes> cards = ours ? ours->cardsAsWritten() : std::nullopt;
                if (!cards) return false;
                if (auto title = topic.title()) text(tags_.title, *title);
                room(cards->size());
                std::memcpy(out_.data() + at_, cards->data(), cards->size());
                at_ += cards->size();
                return true;
            }))
            return true;
        if (auto title = topic.title()) text(tags_.title, *title);
        const FCCardArray& children = *topic.cards();
        room(1 + kBPMaxVarintLength);
        byte(tags_.cards);
        varint(children.size());
        for (const auto& child : children)
            if (!writeCard(child.get(), depth + 1)) return false;
        room(1);
        byte(BPTagEndOfRecord);
        return true;
    }

    Buffer& out_;
    std::size_t at_;
    const FCCCardRecordCodec::Tags& tags_;
};

template <class Buffer>
bool writeCards(const FCCardArray& cards, Buffer& out, const FCCCardRecordCodec::Tags& tags) {
    const std::size_t start = out.size();
    Writer<Buffer> writer(out, tags);
    bool ok = true;
    for (const auto& card : cards)
        if (!(ok = writer.writeCard(card.get(), 0))) break;
    writer.finish(ok, start);
    return ok;
}

}  // namespace

std::optional<FCCCardRecordCodec::ReadCards> FCCCardRecordCodec::readDeferringTopics(
    std::shared_ptr<const BPSnappy::Block> records) const {
    if (!enabled_ || !records) return std::nullopt;
    const BPBytes bytes = records->view();
    FCCardArena* arena = bytes.size() >= kArenaRecordsLength ? FCCardArena::make() : nullptr;
    auto shared = std::make_shared<DeferredRecords>(records, tags_, arena);
    ReadCards result;
    std::vector<std::pair<FCTopicCard*, std::unique_ptr<DeferredTopicCards>>> deferred;
    {
        Reader reader(bytes.data(), bytes.data() + bytes.size(), result, tags_, arena, false);
        const bool read = reader.readAllDeferringTopics(
            [&](FCTopicCard& topic, const std::uint8_t* begin, const std::uint8_t* cards, const std::uint8_t* end,
                std::int64_t key, std::int64_t studyCardsBefore, bool writtenAsRead) {
                auto offset = [&](const std::uint8_t* at) { return static_cast<std::size_t>(at - bytes.data()); };
                // The topic's record was read whole: the count has moved on by its study cards.
                deferred.emplace_back(&topic, std::make_unique<DeferredTopicCards>(
                                                  shared, offset(begin), cards ? offset(cards) : offset(end),
                                                  offset(end), key, studyCardsBefore,
                                                  result.studyCardsCount - studyCardsBefore, writtenAsRead && cards));
            });
        if (!read) return std::nullopt;
    }
    // Handed over only when the whole stream read: a stream declined leaves no
    // topic holding its records.
    for (auto& [topic, cards] : deferred) topic->setDeferredCards(std::move(cards));
    return result;
}

FCCCardRecordCodec::FCCCardRecordCodec(const BPDocumentSchema& schema) {
    enabled_ = classTags(schema, typeid(FCStudyCard),
                         {{"top", BPTagTypeString},
                          {"bottom", BPTagTypeString},
                          {"studyStats", BPTagTypeObject},
                          {"reverseStudyStats", BPTagTypeObject}},
                         {&tags_.top, &tags_.bottom, &tags_.studyStats, &tags_.reverseStudyStats}) &&
               classTags(schema, typeid(FCTopicCard), {{"title", BPTagTypeString}, {"cards", BPTagTypeMutableArray}},
                         {&tags_.title, &tags_.cards}) &&
               classTags(schema, typeid(FCStudyStats),
                         {{"lastStudied", BPTagTypeDateWithSecondsPrecision}, {"pastResultsBinaryData", BPTagTypeData}},
                         {&tags_.lastStudied, &tags_.pastResults});
}

std::optional<FCCCardRecordCodec::ReadCards> FCCCardRecordCodec::read(BPBytes records, bool inArena) const {
    if (!enabled_) return std::nullopt;
    ReadCards result;
    {
        Reader reader(records.data(), records.data() + records.size(), result, tags_,
                      inArena ? FCCardArena::make() : nullptr);
        if (!reader.readAll()) return std::nullopt;
    }
    return result;
}

bool FCCCardRecordCodec::write(const FCCardArray& cards, Data& out) const {
    return enabled_ && writeCards(cards, out, tags_);
}

bool FCCCardRecordCodec::write(const FCCardArray& cards, BPBlock& out) const {
    return enabled_ && writeCards(cards, out, tags_);
}
