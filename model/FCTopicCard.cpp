#include "model/FCCard.h"
#include "model/FCDigest.h"

namespace {

// Making deferred children is rare (once per topic of a deck read from a
// file) and may use memory that only one thread at a time may take from
// (FCCardArena): one lock for all.
std::mutex& deferredCardsLock() {
    static std::mutex* lock = new std::mutex();
    return *lock;
}

}  // namespace

FCTopicCard::FCTopicCard() = default;

FCTopicCard::~FCTopicCard() {
    delete deferred_.load(std::memory_order_acquire);
}

void FCTopicCard::setDeferredCards(std::unique_ptr<FCDeferredCards> deferred) {
    std::lock_guard guard(deferredCardsLock());
    delete deferred_.exchange(deferred.release(), std::memory_order_acq_rel);
}

bool FCTopicCard::lookAtDeferredCards(const std::function<bool(const FCDeferredCards&)>& look) const {
    std::lock_guard guard(deferredCardsLock());
    const FCDeferredCards* deferred = deferred_.load(std::memory_order_acquire);
    return deferred && look(*deferred);
}

void FCTopicCard::makeDeferredCardsNow() const {
    std::lock_guard guard(deferredCardsLock());
    FCDeferredCards* deferred = deferred_.load(std::memory_order_acquire);
    if (!deferred) return;  // another thread made them meanwhile
    cards_ = deferred->makeCards();
    deferred_.store(nullptr, std::memory_order_release);
    delete deferred;
}

std::shared_ptr<FCTopicCard> FCTopicCard::topicCardWithTitle(std::optional<std::string> title,
                                                             std::int64_t primaryKey) {
    auto topic = std::make_shared<FCTopicCard>();
    topic->setTitle(std::move(title));
    topic->setPrimaryKey(primaryKey);
    return topic;
}

std::optional<std::string> FCTopicCard::title() const {
    std::lock_guard<std::mutex> guard(propertyLock());
    return title_;
}

void FCTopicCard::setTitle(std::optional<std::string> title) {
    willChangeValueForKey("title");
    {
        std::lock_guard<std::mutex> guard(propertyLock());
        title_ = std::move(title);
    }
    didChangeValueForKey("title");
}

void FCTopicCard::setCards(FCCardArray cards) {
    willChangeValueForKey("cards");
    // Only a topic with deferred children takes the lock: topics are made
    // while it is held.
    if (deferred_.load(std::memory_order_acquire)) setDeferredCards(nullptr);
    cards_ = std::move(cards);
    didChangeValueForKey("cards");
}

std::optional<std::string> FCTopicCard::versionstamp() const {
    const std::optional<std::string> text = title();
    if (!text) return std::nullopt;
    return fcMD5HexDigest(*text);
}

std::int64_t FCTopicCard::deepStudyCardCount() const {
    // Children not made yet may know their count: counting them must not make them.
    std::int64_t known = 0;
    if (hasDeferredCards() && lookAtDeferredCards([&](const FCDeferredCards& deferred) {
            const auto count = deferred.deepStudyCardCount();
            if (count) known = *count;
            return count.has_value();
        }))
        return known;
    return deepStudyCardCountFor(*cards());
}

std::int64_t FCTopicCard::deepStudyCardCountFor(const FCCardArray& cards) {
    std::int64_t count = 0;
    for (const auto& card : cards) {
        if (!card) continue;
        if (card->isStudyCard()) {
            ++count;
        } else if (const FCCardArray* children = card->cards()) {
            count += deepStudyCardCountFor(*children);
        }
    }
    return count;
}

void FCTopicCard::findAllStudyCardsIn(const FCCardArray& cards, FCStudyCardArray& placeIn) {
    for (const auto& card : cards) {
        if (!card) continue;
        if (card->isStudyCard()) {
            placeIn.push_back(std::static_pointer_cast<FCStudyCard>(card));
        } else if (const FCCardArray* children = card->cards()) {
            findAllStudyCardsIn(*children, placeIn);
        }
    }
}

std::shared_ptr<FCStudyCard> FCTopicCard::findFirstStudyCard() const {
    for (const auto& card : *cards()) {
        if (!card) continue;
        if (card->isStudyCard()) return std::static_pointer_cast<FCStudyCard>(card);
        if (card->isTopicCard()) {
            if (auto found = static_cast<const FCTopicCard&>(*card).findFirstStudyCard()) return found;
        }
    }
    return nullptr;
}

std::shared_ptr<FCTopicCard> FCTopicCard::copy() const {
    auto topic = std::make_shared<FCTopicCard>();
    topic->setPrimaryKey(primaryKey());
    topic->title_ = title();
    const FCCardArray& children = *cards();
    topic->cards_.reserve(children.size());
    for (const auto& card : children) topic->cards_.push_back(card ? card->copy() : nullptr);
    topic->setLegacyIdentifier(legacyIdentifier());
    return topic;
}

std::shared_ptr<FCCard> FCTopicCard::copyCard() const {
    return copy();
}
