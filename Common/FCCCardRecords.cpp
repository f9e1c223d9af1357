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
    Reader(const std::uint8_t* begin, const std::uint8_t* end, FCCCardRecordCodec::ReadCards& result,
           const FCCCardRecordCodec::Tags& tags, FCCardArena* arena)
        : p_(begin), end_(end), result_(result), tags_(tags), arena_(arena) {
        if (arena_) reading_.emplace(*arena_);
    }
    ~Reader() {
        if (arena_) arena_->finishReading();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool readAll() {
        while (p_ < end_) {
            const std::uint8_t tag = *p_++;
            if (tag == BPTagEndOfRecord) break;  // the generic reader stops here too
            std::shared_ptr<FCCard> card = readCard(tag, 0);
            if (!card) return false;
            result_.cards.push_back(std::move(card));
        }
        return true;
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
            if (!(byte & 0x80)) return true;
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
        if (!isValidUTF8(view)) return false;
        into = view;
        return true;
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
        do {
            if (tag == tags_.lastStudied) {
                std::uint64_t seconds;
                if (!varint(seconds)) return false;
                into.lastStudied = Date::fromTimeIntervalSince1970(static_cast<double>(seconds));
            } else if (tag == tags_.pastResults) {
                if (!bytes(into.packed, into.packedLength)) return false;
            } else {
                return false;
            }
            if (!nextTag(tag)) return false;
        } while (tag != BPTagEndOfRecord);
        return true;
    }

    std::shared_ptr<FCCard> readCard(std::uint8_t tag, int depth) {
        if (depth > kBPMaxNestingDepth) return nullptr;
        if (tag == tags_.top || tag == tags_.bottom || tag == tags_.studyStats || tag == tags_.reverseStudyStats)
            return readStudyCard(tag, depth);
        if (tag == tags_.title || tag == tags_.cards) return readTopic(tag, depth);
        return nullptr;
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

    std::shared_ptr<FCCard> readStudyCard(std::uint8_t tag, int depth) {
        const std::int64_t key = ++result_.lastPrimaryKey;
        const std::int64_t sequenceNumber = ++result_.studyCardsCount;
        std::optional<std::string_view> top;
        std::optional<std::string_view> bottom;
        // A statistics property the record leaves out keeps a new card's empty one.
        StoredStats forward;
        StoredStats reverse;
        do {
            if (tag == tags_.top) {
                if (!text(top)) return nullptr;
            } else if (tag == tags_.bottom) {
                if (!text(bottom)) return nullptr;
            } else if (tag == tags_.studyStats) {
                if (!readStats(forward, depth + 1)) return nullptr;
            } else if (tag == tags_.reverseStudyStats) {
                if (!readStats(reverse, depth + 1)) return nullptr;
            } else {
                return nullptr;
            }
            if (!nextTag(tag)) return nullptr;
        } while (tag != BPTagEndOfRecord);
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
        return card;
    }

    std::shared_ptr<FCCard> readTopic(std::uint8_t tag, int depth) {
        auto topic = make<FCTopicCard>();
        topic->setPrimaryKey(++result_.lastPrimaryKey);  // before its children, as the numbering walk does
        bool sawCards = false;
        do {
            if (tag == tags_.title) {
                std::optional<std::string_view> title;
                if (!text(title)) return nullptr;
                topic->setTitle(FCCardSides::toString(title));
            } else if (tag == tags_.cards) {
                // A second array would have numbered cards the generic reader drops.
                if (sawCards) return nullptr;
                sawCards = true;
                std::uint64_t count;
                if (!varint(count) || count > left()) return nullptr;
                FCCardArray children;
                // Every element takes at least two bytes (a tag and the end byte).
                children.reserve(static_cast<std::size_t>(count) < left() / 2 ? static_cast<std::size_t>(count)
                                                                              : left() / 2);
                for (std::uint64_t i = 0; i < count; ++i) {
                    std::uint8_t childTag;
                    if (!nextTag(childTag) || childTag == BPTagEndOfRecord) return nullptr;
                    std::shared_ptr<FCCard> child = readCard(childTag, depth + 1);
                    if (!child) return nullptr;
                    children.push_back(std::move(child));
                }
                topic->setCards(std::move(children));
            } else {
                return nullptr;
            }
            if (!nextTag(tag)) return nullptr;
        } while (tag != BPTagEndOfRecord);
        return topic;
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
    std::optional<FCCardArena::Reading> reading_;
};

// --- Writing ---

// Writes at a cursor into the buffer, which grows (doubling) as needed and is
// cut to what was written at the end.
class Writer {
public:
    Writer(Data& out, const FCCCardRecordCodec::Tags& tags) : out_(out), at_(out.size()), tags_(tags) {
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
    void byte(std::uint8_t value) { out_[at_++] = value; }
    void varint(std::uint64_t value) {
        while (value >= 0x80) {
            out_[at_++] = static_cast<std::uint8_t>(value | 0x80);
            value >>= 7;
        }
        out_[at_++] = static_cast<std::uint8_t>(value);
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
        const std::size_t packedLength = stats.pastResultsBinaryDataLength();
        room(4 + 2 * kBPMaxVarintLength + packedLength);
        byte(tag);
        if (auto lastStudied = stats.lastStudied()) {
            byte(tags_.lastStudied);
            varint(fcWholeSecondsSince1970(*lastStudied));
        }
        byte(tags_.pastResults);
        varint(packedLength);
        at_ += stats.writePastResultsBinaryData(out_.data() + at_);
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

    Data& out_;
    std::size_t at_;
    const FCCCardRecordCodec::Tags& tags_;
};

}  // namespace

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
    if (!enabled_) return false;
    const std::size_t start = out.size();
    Writer writer(out, tags_);
    bool ok = true;
    for (const auto& card : cards)
        if (!(ok = writer.writeCard(card.get(), 0))) break;
    writer.finish(ok, start);
    return ok;
}
