#include "Common/FCCModelEntityClasses.h"

#include "model/FCCard.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"

namespace {

using K = BPPropertyKind;

// A string property over an optional<std::string> getter and setter.
template <class T, class Get, class Set>
void stringProperty(BPEntityClass& c, const char* name, Get get, Set set) {
    c.property<T>(
        name, K::String, [get](const T& o) { return BPValueFromOptionalString((o.*get)()); },
        [set](T& o, BPValue&& v) {
            auto s = std::get_if<std::string>(&v);
            if (!s) return false;
            (o.*set)(std::move(*s));
            return true;
        });
}

template <class T>
bool setInteger(BPValue& v, T& o, void (T::*set)(std::int64_t)) {
    auto i = BPValueInteger(v);
    if (!i) return false;
    (o.*set)(*i);
    return true;
}

}  // namespace

std::shared_ptr<FCCard> FCCCardFromObject(const BPObject& object) {
    if (auto card = object.exactly<FCStudyCard>()) return card;
    if (auto topic = object.exactly<FCTopicCard>()) return topic;
    return nullptr;
}

const BPEntityClass& FCDeckEntityClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<FCDeck>("FCDeck");
        c.property<FCDeck>(
            "coverStyle", K::Object,
            [](const FCDeck& d) -> BPValue {
                auto style = d.coverStyle();
                if (!style) return std::monostate{};
                return BPObject::of(style);
            },
            [](FCDeck& d, BPValue&& v) {
                auto o = std::get_if<BPObject>(&v);
                auto style = o ? o->exactly<FCCoverStyle>() : nullptr;
                if (!style) return false;
                d.setCoverStyle(style);
                return true;
            });
        c.property<FCDeck>(
            "studyCardsCount", K::Long, [](const FCDeck& d) -> BPValue { return d.studyCardsCount(); },
            [](FCDeck& d, BPValue&& v) { return setInteger(v, d, &FCDeck::setStudyCardsCount); });
        c.property<FCDeck>(
            "studyProgress", K::Double, [](const FCDeck& d) -> BPValue { return d.studyProgress(); },
            [](FCDeck& d, BPValue&& v) {
                auto x = BPValueDouble(v);
                if (!x) return false;
                d.setStudyProgress(*x);
                return true;
            });
        c.property<FCDeck>(
            "preferredStudyDirection", K::Long, [](const FCDeck& d) -> BPValue { return d.preferredStudyDirection(); },
            [](FCDeck& d, BPValue&& v) { return setInteger(v, d, &FCDeck::setPreferredStudyDirection); });
        stringProperty<FCDeck>(c, "topPreferredLocaleIdentifier", &FCDeck::topPreferredLocaleIdentifier,
                               &FCDeck::setTopPreferredLocaleIdentifier);
        stringProperty<FCDeck>(c, "bottomPreferredLocaleIdentifier", &FCDeck::bottomPreferredLocaleIdentifier,
                               &FCDeck::setBottomPreferredLocaleIdentifier);
        return c;
    }();
    return c;
}

const BPEntityClass& FCCoverStyleEntityClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<FCCoverStyle>("FCCoverStyle");
        stringProperty<FCCoverStyle>(c, "startHexColor", &FCCoverStyle::startHexColor, &FCCoverStyle::setStartHexColor);
        stringProperty<FCCoverStyle>(c, "endHexColor", &FCCoverStyle::endHexColor, &FCCoverStyle::setEndHexColor);
        stringProperty<FCCoverStyle>(c, "iconName", &FCCoverStyle::iconName, &FCCoverStyle::setIconName);
        stringProperty<FCCoverStyle>(c, "customImageName", &FCCoverStyle::customImageName,
                                     &FCCoverStyle::setCustomImageName);
        return c;
    }();
    return c;
}

const BPEntityClass& FCStudyCardEntityClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<FCStudyCard>("FCStudyCard");
        stringProperty<FCStudyCard>(c, "top", &FCStudyCard::top, &FCStudyCard::setTop);
        stringProperty<FCStudyCard>(c, "bottom", &FCStudyCard::bottom, &FCStudyCard::setBottom);
        auto statsProperty = [&c](const char* name, std::shared_ptr<FCStudyStats> (FCStudyCard::*get)() const,
                                  void (FCStudyCard::*set)(std::shared_ptr<FCStudyStats>)) {
            c.property<FCStudyCard>(
                name, K::Object,
                [get](const FCStudyCard& card) -> BPValue {
                    auto stats = (card.*get)();
                    if (!stats) return std::monostate{};
                    return BPObject::of(stats);
                },
                [set](FCStudyCard& card, BPValue&& v) {
                    auto o = std::get_if<BPObject>(&v);
                    auto stats = o ? o->exactly<FCStudyStats>() : nullptr;
                    if (!stats) return false;
                    (card.*set)(stats);
                    return true;
                });
        };
        statsProperty("studyStats", &FCStudyCard::studyStats, &FCStudyCard::setStudyStats);
        statsProperty("reverseStudyStats", &FCStudyCard::reverseStudyStats, &FCStudyCard::setReverseStudyStats);
        return c;
    }();
    return c;
}

const BPEntityClass& FCTopicCardEntityClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<FCTopicCard>("FCTopicCard");
        stringProperty<FCTopicCard>(c, "title", &FCTopicCard::title, &FCTopicCard::setTitle);
        c.property<FCTopicCard>(
            "cards", K::MutableArray,
            [](const FCTopicCard& topic) -> BPValue {
                std::vector<BPObject> objects;
                objects.reserve(topic.cards()->size());
                for (const auto& card : *topic.cards()) objects.push_back(BPObject::of(card));
                return objects;
            },
            [](FCTopicCard& topic, BPValue&& v) {
                auto objects = std::get_if<std::vector<BPObject>>(&v);
                if (!objects) return false;
                FCCardArray cards;
                cards.reserve(objects->size());
                for (const auto& o : *objects) {
                    auto card = FCCCardFromObject(o);
                    if (!card) return false;
                    cards.push_back(std::move(card));
                }
                topic.setCards(std::move(cards));
                return true;
            });
        return c;
    }();
    return c;
}

const BPEntityClass& FCStudyStatsEntityClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<FCStudyStats>("FCStudyStats");
        c.property<FCStudyStats>(
            "lastStudied", K::Date,
            [](const FCStudyStats& s) -> BPValue {
                if (!s.lastStudied()) return std::monostate{};
                return *s.lastStudied();
            },
            [](FCStudyStats& s, BPValue&& v) {
                auto d = std::get_if<Date>(&v);
                if (!d) return false;
                s.setLastStudied(*d);
                return true;
            });
        c.property<FCStudyStats>(
            "pastResultsBinaryData", K::Data,
            [](const FCStudyStats& s) -> BPValue { return s.pastResultsBinaryData(); },
            [](FCStudyStats& s, BPValue&& v) {
                auto d = std::get_if<Data>(&v);
                if (!d) return false;
                s.setPastResultsBinaryData(*d);
                return true;
            });
        return c;
    }();
    return c;
}
