#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/Locale.h"
#include "support/MainLoop.h"

namespace memorant_test {

// 2025-03-10 00:00 in Berlin (UTC+1 then).
inline const Date kBerlinMidnight = Date::fromTimeIntervalSince1970(1741561200);

// Deck-list tests run at noon of that day on the virtual clock, in Berlin and
// British English, so date subtitles read "Today, 09:00", "Yesterday", "10/03/2024".
class DeckListClockTest : public VirtualClockTest {
protected:
    DeckListClockTest() {
        Locale::setCurrent("en_GB");
        TimeZone::setCurrent("Europe/Berlin");
        virtualClock.clock().set(kBerlinMidnight.byAddingTimeInterval(12 * 3600));
    }
    ~DeckListClockTest() override {
        Locale::setCurrent("");
        TimeZone::setCurrent("");
    }
};

}  // namespace memorant_test
