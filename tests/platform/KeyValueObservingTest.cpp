#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/KeyValueObserving.h"

namespace {

// A small model: a parent with a replaceable child, and keys derived across it.
//   Leaf:   "value"; "doubled" depends on "value".
//   Parent: "child", "name"; "score" depends on "self.child.doubled";
//           "summary" depends on "score" and "name".
class Leaf : public KVOObservable {
public:
    explicit Leaf(int value = 0) : value_(value) {}
    int value() const { return value_; }
    void setValue(int value) {
        willChangeValueForKey("value");
        value_ = value;
        didChangeValueForKey("value");
    }
    std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const override {
        if (key == "doubled") return {"value"};
        return {};
    }
    std::optional<Value> valueForKey(const std::string& key) const override {
        if (key == "value") return Value(value_);
        if (key == "doubled") return Value(2 * value_);
        return std::nullopt;
    }

private:
    int value_;
};

class Parent : public KVOObservable {
public:
    std::shared_ptr<Leaf> child() const { return child_; }
    void setChild(std::shared_ptr<Leaf> child) {
        willChangeValueForKey("child");
        child_ = std::move(child);
        didChangeValueForKey("child");
    }
    void setName(std::string name) {
        willChangeValueForKey("name");
        name_ = std::move(name);
        didChangeValueForKey("name");
    }
    std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const override {
        if (key == "score") return {"self.child.doubled"};
        if (key == "summary") return {"score", "name"};
        return {};
    }
    std::shared_ptr<KVOObservable> observableForKey(const std::string& key) const override {
        if (key == "child") return child_;
        return nullptr;
    }
    std::optional<Value> valueForKey(const std::string& key) const override {
        if (key == "score") return child_ ? Value(2 * child_->value()) : Value();
        if (key == "name") return Value(name_);
        return std::nullopt;
    }

private:
    std::shared_ptr<Leaf> child_;
    std::string name_;
};

class Recorder : public KVOObserver {
public:
    void observeValueForKeyPath(const std::string& keyPath, KVOObservable&, const KVOChange& change,
                                void* context) override {
        std::string line = (change.isPrior ? "will " : "did ") + keyPath;
        if (change.oldValue) line += " old=" + change.oldValue->description();
        if (change.newValue) line += " new=" + change.newValue->description();
        if (context) line += " ctx=" + *static_cast<std::string*>(context);
        lines.push_back(line);
    }
    std::vector<std::string> lines;
};

TEST(KeyValueObserving, ObserversGetTheChangesTheyAskFor) {
    struct Case {
        unsigned options;
        std::vector<std::string> expected;
    } cases[] = {
        {KVOOptionNone, {"did value"}},
        {KVOOptionNew, {"did value new=2"}},
        {KVOOptionOld | KVOOptionNew, {"did value old=1 new=2"}},
        {KVOOptionPrior | KVOOptionOld, {"will value old=1", "did value old=1"}},
        {KVOOptionInitial | KVOOptionNew, {"did value new=1", "did value new=2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        Leaf leaf(1);
        Recorder recorder;
        leaf.addObserver(&recorder, "value", c.options);
        leaf.setValue(2);
        leaf.removeObserver(&recorder, "value");
        leaf.setValue(3);
        EXPECT_EQ(recorder.lines, c.expected);
    }
}

TEST(KeyValueObserving, ContextIsPassedAndSelectsTheRegistrationToRemove) {
    Leaf leaf;
    Recorder recorder;
    std::string first = "first", second = "second";
    leaf.addObserver(&recorder, "value", KVOOptionNone, &first);
    leaf.addObserver(&recorder, "value", KVOOptionNone, &second);
    leaf.setValue(1);
    leaf.removeObserver(&recorder, "value", &first);
    leaf.setValue(2);
    EXPECT_EQ(recorder.lines,
              (std::vector<std::string>{"did value ctx=first", "did value ctx=second", "did value ctx=second"}));
    leaf.removeObserver(&recorder, "value", &second);
}

TEST(KeyValueObserving, DependentKeysFireWhenWhatTheyDependOnChanges) {
    struct Case {
        const char* keyPath;
        const char* action;
        int expectedCalls;
    } cases[] = {
        {"doubled", "set value", 1},          {"score", "set value", 1},
        {"score", "replace child", 1},        {"score", "set name", 0},
        {"summary", "set value", 1},          {"summary", "set name", 1},
        {"summary", "replace child", 1},      {"child.value", "set value", 1},
        {"child.doubled", "set value", 1},    {"child.value", "replace child", 1},
        {"score", "change the old child", 0}, {"score", "change the new child", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.keyPath) + " / " + c.action);
        auto parent = std::make_shared<Parent>();
        auto oldChild = std::make_shared<Leaf>(1);
        auto newChild = std::make_shared<Leaf>(5);
        parent->setChild(oldChild);
        KVOObservable& observed = std::string(c.keyPath) == "doubled" ? static_cast<KVOObservable&>(*oldChild)
                                                                      : static_cast<KVOObservable&>(*parent);
        int calls = 0;
        auto token = observed.observe(c.keyPath, KVOOptionNone, [&](KVOObservable&, const KVOChange&) { ++calls; });
        std::string action = c.action;
        if (action == "set value") oldChild->setValue(2);
        if (action == "set name") parent->setName("deck");
        if (action == "replace child") parent->setChild(newChild);
        if (action == "change the old child" || action == "change the new child") {
            parent->setChild(newChild);
            calls = 0;
            (action == "change the old child" ? oldChild : newChild)->setValue(9);
        }
        EXPECT_EQ(calls, c.expectedCalls);
    }
}

TEST(KeyValueObserving, KeyPathValuesFollowTheCurrentChild) {
    auto parent = std::make_shared<Parent>();
    parent->setChild(std::make_shared<Leaf>(1));
    Recorder recorder;
    parent->addObserver(&recorder, "child.value", KVOOptionOld | KVOOptionNew);
    parent->setChild(std::make_shared<Leaf>(7));  // the old child goes away here
    parent->child()->setValue(8);
    parent->setChild(nullptr);
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"did child.value old=1 new=7", "did child.value old=7 new=8",
                                                        "did child.value old=8"}));
    parent->removeObserver(&recorder, "child.value");
}

TEST(KeyValueObserving, ABlockObservationEndsWithItsTokenAndMayOutliveTheObject) {
    auto child = std::make_shared<Leaf>(1);
    int calls = 0;
    std::unique_ptr<KVOObservation> token;
    {
        auto parent = std::make_shared<Parent>();
        parent->setChild(child);
        token = parent->observe("score", KVOOptionNone, [&](KVOObservable&, const KVOChange&) { ++calls; });
        child->setValue(2);
        EXPECT_EQ(calls, 1);
    }
    child->setValue(3);  // the parent is gone: nothing, and no crash
    EXPECT_EQ(calls, 1);
    token.reset();

    Leaf leaf;
    token = leaf.observe("value", KVOOptionNone, [&](KVOObservable&, const KVOChange&) { ++calls; });
    token->invalidate();
    leaf.setValue(4);
    EXPECT_EQ(calls, 1);
}

TEST(KeyValueObserving, CopiesStartWithoutObservers) {
    Leaf leaf;
    int calls = 0;
    auto token = leaf.observe("value", KVOOptionNone, [&](KVOObservable&, const KVOChange&) { ++calls; });
    Leaf copy = leaf;
    copy.setValue(5);
    EXPECT_EQ(calls, 0);
    leaf.setValue(5);
    EXPECT_EQ(calls, 1);
}

// The observer table is made by the first registration: observers that
// register at once from several threads on an object nobody observed all get
// it, and all hear the next change; after the last leaves, changes reach none.
TEST(KeyValueObserving, FirstRegistrationsFromSeveralThreadsShareOneTable) {
    for (int round = 0; round < 20; ++round) {
        Leaf leaf;
        leaf.setValue(1);  // announced to nobody
        std::atomic<int> calls{0};
        std::vector<std::unique_ptr<KVOObservation>> tokens(4);
        std::vector<std::thread> threads;
        for (auto& token : tokens)
            threads.emplace_back([&] {
                token = leaf.observe("value", KVOOptionNone, [&](KVOObservable&, const KVOChange&) { ++calls; });
            });
        for (auto& thread : threads) thread.join();
        leaf.setValue(2);
        EXPECT_EQ(calls.load(), 4);
        tokens.clear();
        leaf.setValue(3);
        EXPECT_EQ(calls.load(), 4);
    }
}

TEST(KeyValueObserving, KeyPathsSplitAndDropALeadingSelf) {
    EXPECT_EQ(kvoSplitKeyPath("self.studyStats.combinedConfidenceAndDifficulty"),
              (std::vector<std::string>{"studyStats", "combinedConfidenceAndDifficulty"}));
    EXPECT_EQ(kvoSplitKeyPath("top"), std::vector<std::string>{"top"});
    EXPECT_TRUE(kvoSplitKeyPath("").empty());
}

}  // namespace
