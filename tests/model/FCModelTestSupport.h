#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/FCCard.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/Date.h"

namespace fc_test {

// Pins the time zone to Berlin and "now" to a virtual clock; both are restored
// afterwards. Berlin changes to summer time on 2024-03-31 (a 23-hour day) and
// back on 2024-10-27 (a 25-hour day).
class BerlinClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        TimeZone::setCurrent("Europe/Berlin");
        Clock::setCurrent(clock_);
        clock_->set(at(2024, 5, 6, 12));
    }
    void TearDown() override {
        Clock::setCurrent(nullptr);
        TimeZone::setCurrent("");
    }
    static Date at(int y, int mo, int d, int h = 0, int mi = 0) {
        return Calendar::dateFromComponents(y, mo, d, h, mi);
    }

    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
};

inline std::shared_ptr<FCStudyStats> statsWith(std::vector<std::int64_t> ratings) {
    return FCStudyStats::statsWithLegacyPastResults(std::move(ratings));
}

inline std::shared_ptr<FCStudyCard> studyCard(const std::string& top, const std::string& bottom, std::int64_t key = 0) {
    return FCStudyCard::studyCardWithTop(top, bottom, key);
}

// Whether a backlog line holding the text was logged since the backlog was
// last cleared.
inline bool loggedLineContaining(const std::string& text) {
    const auto lines = TWLogger::sharedInstance().messageBacklog();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

inline void clearLogBacklog() {
    TWLogger::sharedInstance().setMessageBacklog({});
}

}  // namespace fc_test
