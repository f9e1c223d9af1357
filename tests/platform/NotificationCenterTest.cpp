#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Operation.h"
#include "support/MainLoop.h"

using memorant_test::runMainLoopUntil;

namespace {

struct Document {
    virtual ~Document() = default;
};
struct FlashcardsDocument : Document {};

TEST(NotificationCenter, DeliversByNameAndObject) {
    auto center = NotificationCenter::create();
    auto deckA = std::make_shared<FlashcardsDocument>();
    auto deckB = std::make_shared<FlashcardsDocument>();
    struct Case {
        const char* what;
        std::optional<std::string> name;
        AnyObject object;
        int expected;  // of the five posts below
    } cases[] = {
        {"any name, any object", std::nullopt, nullptr, 5}, {"name only", "Modified", nullptr, 3},
        {"name and object", "Modified", deckA, 1},          {"object only", std::nullopt, deckA, 2},
        {"string identifier", "Deleted", "deck-1", 1},
    };
    std::vector<int> counts(std::size(cases));
    std::vector<std::shared_ptr<NotificationObserver>> tokens;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        tokens.push_back(center->addObserverForName(cases[i].name, cases[i].object, nullptr,
                                                    [&counts, i](const Notification&) { ++counts[i]; }));
    center->postNotificationName("Modified", deckA);
    center->postNotificationName("Modified", deckB);
    center->postNotificationName("Modified");
    center->postNotificationName("Deleted", std::string("deck-1"));
    center->postNotificationName("Added", deckA, Value::dictionary({{"count", 1}}));
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(counts[i], cases[i].expected) << cases[i].what;
}

TEST(NotificationCenter, CarriesObjectAndUserInfo) {
    auto center = NotificationCenter::create();
    auto document = std::make_shared<FlashcardsDocument>();
    std::shared_ptr<Document> received;
    Value info;
    auto token = center->addObserverForName("Loaded", nullptr, nullptr, [&](const Notification& n) {
        received = n.object().as<Document>();  // a base class of what was posted
        info = n.userInfo();
        EXPECT_EQ(n.object().as<FlashcardsDocument>(), document);
        EXPECT_EQ(n.object().as<std::string>(), nullptr);
    });
    center->postNotificationName("Loaded", document, Value::dictionary({{"pages", 3}}));
    EXPECT_EQ(received.get(), document.get());
    EXPECT_EQ(info["pages"].integerValue(), 3);
}

TEST(NotificationCenter, AnObservationEndsWithItsTokenOrItsRemoval) {
    auto center = NotificationCenter::create();
    int kept = 0, destroyed = 0, removed = 0;
    auto keptToken = center->addObserverForName("N", nullptr, nullptr, [&](const Notification&) { ++kept; });
    auto destroyedToken = center->addObserverForName("N", nullptr, nullptr, [&](const Notification&) { ++destroyed; });
    auto removedToken = center->addObserverForName("N", nullptr, nullptr, [&](const Notification&) { ++removed; });
    center->postNotificationName("N");
    destroyedToken.reset();
    center->removeObserver(removedToken);
    center->postNotificationName("N");
    removedToken.reset();  // a second removal does nothing
    EXPECT_EQ(kept, 2);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(removed, 1);
}

TEST(NotificationCenter, OwnerObserversAreRemovedByOwner) {
    auto center = NotificationCenter::create();
    int a = 0, b = 0;
    int ownerA = 0, ownerB = 0;
    center->addObserver(&ownerA, "N", nullptr, [&](const Notification&) { ++a; });
    center->addObserver(&ownerA, "M", nullptr, [&](const Notification&) { ++a; });
    center->addObserver(&ownerB, "N", nullptr, [&](const Notification&) { ++b; });
    center->removeObserver(&ownerA, std::string("M"), nullptr);
    center->postNotificationName("M");
    center->postNotificationName("N");
    center->removeObserver(&ownerA);
    center->postNotificationName("N");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
}

TEST(NotificationCenter, AnObserverWithAQueueRunsThereWhileThePosterWaits) {
    auto center = NotificationCenter::create();
    std::atomic<bool> ranOnMain{false};
    std::atomic<int> runs{0};
    auto token = center->addObserverForName("N", nullptr, OperationQueue::mainQueue().shared_from_this(),
                                            [&](const Notification&) {
                                                ranOnMain = isMainThread();
                                                ++runs;
                                            });
    center->postNotificationName("N");
    EXPECT_EQ(runs, 1) << "posted on the main thread, the main-queue observer runs at once";

    std::atomic<bool> posted{false};
    std::atomic<int> runsWhenPostReturned{-1};
    DispatchQueue::global().async([&] {
        center->postNotificationName("N");
        runsWhenPostReturned = runs.load();
        posted = true;
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return posted.load(); }));
    EXPECT_EQ(runsWhenPostReturned, 2);
    EXPECT_TRUE(ranOnMain);

    auto background = OperationQueue::create("com.memorant.test.observer");
    std::shared_ptr<OperationQueue> ranOn;
    auto backgroundToken = center->addObserverForName(
        "B", nullptr, background, [&](const Notification&) { ranOn = OperationQueue::currentQueue(); });
    center->postNotificationName("B");
    EXPECT_EQ(ranOn, background);
}

TEST(NotificationCenter, DefaultCenterIsOneCenter) {
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
    int calls = 0;
    auto token = NotificationCenter::defaultCenter().addObserverForName("NotificationCenterTest.Default", nullptr,
                                                                        nullptr, [&](const Notification&) { ++calls; });
    NotificationCenter::defaultCenter().postNotificationName("NotificationCenterTest.Default");
    EXPECT_EQ(calls, 1);
}

TEST(AnyObject, ComparesObjectsByIdentityAndStringsByValue) {
    auto a = std::make_shared<int>(1);
    auto b = std::make_shared<int>(1);
    EXPECT_TRUE(AnyObject(a) == AnyObject(a));
    EXPECT_FALSE(AnyObject(a) == AnyObject(b));
    EXPECT_TRUE(AnyObject("x") == AnyObject(std::string("x")));
    EXPECT_FALSE(AnyObject("x") == AnyObject(a));
    EXPECT_TRUE(AnyObject().isNil());
    EXPECT_EQ(*AnyObject(a).as<int>(), 1);
    EXPECT_EQ(AnyObject(a).as<double>(), nullptr);
}

}  // namespace
