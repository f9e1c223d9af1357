#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "Common/FCDeckStoreV1.h"
#include "model/FCModelTestSupport.h"
#include "support/TestEnvironment.h"

namespace store_test {

inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

inline bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// A serialized deck as the context writes one, with the given cards.
inline Value serializedDeck(const std::string& identifier, const std::string& title, Value cards = Value::array()) {
    return Value::dictionary({
        {"identifier", identifier},
        {"title", title},
        {"coverStyle", Value::dictionary({{"startColor", "#111111"}, {"endColor", "#222222"}, {"icon", "star"}})},
        {"studyCardsCount", static_cast<std::int64_t>(cards.count())},
        {"studyProgress", 12.5},
        {"preferredStudyDirection", 1},
        {"downloadDate", Value()},
        {"author", Value()},
        {"cards", std::move(cards)},
    });
}

inline Value studyCardDictionary(const std::string& identifier, const std::string& top, const std::string& bottom) {
    return Value::dictionary({{"type", "studycard"},
                              {"identifier", identifier},
                              {"top", top},
                              {"bottom", bottom},
                              {"studystats", Value()},
                              {"reversestudystats", Value()}});
}

// A fresh version-1 store in a temporary parent folder.
class DeckStoreV1Test : public ::testing::Test {
protected:
    void SetUp() override {
        fc_test::clearLogBacklog();
        store_ = FCDeckStoreV1::openDeckStoreInDirectory(dir_.str(), nullptr);
        ASSERT_TRUE(store_);
    }

    std::string deckPath(const std::string& identifier) const { return store_->storePath() + "/" + identifier + ".deck"; }

    void save(const Value& deck) {
        Error error;
        ASSERT_TRUE(store_->saveSerializedDeck(deck, &error)) << error.description();
    }

    memorant_test::TempDir dir_;
    std::shared_ptr<FCDeckStoreV1> store_;
};

}  // namespace store_test
