#include <gtest/gtest.h>

#include <functional>

#include "model/FCJSONAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/StringUtils.h"

namespace {

std::string newestLogLine() {
    auto backlog = TWLogger::sharedInstance().messageBacklog();
    return backlog.empty() ? std::string() : backlog.front();
}

Error readError(const std::string& text) {
    Error error;
    JSONSerialization::JSONObjectWithData(dataFromString(text), 0, &error);
    return error;
}

Error writeError(const Value& value) {
    Error error;
    JSONSerialization::dataWithJSONObject(value, 0, &error);
    return error;
}

}  // namespace

TEST(FCJSONAdditions, ReadsAndWrites) {
    auto object = objectFromJSONString("{\"title\":\"Caf\u00e9\",\"cards\":[1,2]}");
    ASSERT_TRUE(object);
    EXPECT_EQ(Value::dictionary({{"title", "Caf\u00e9"}, {"cards", Value::array({1, 2})}}), *object);
    EXPECT_EQ(Value::array({true}), objectFromJSONData(dataFromString("[true]")));

    Value::Dictionary dictionary{{"url", "a/b"}, {"n", 1.5}};
    EXPECT_EQ("{\"n\":1.5,\"url\":\"a\\/b\"}", JSONString(dictionary));
    EXPECT_EQ(dataFromString("{\"n\":1.5,\"url\":\"a\\/b\"}"), JSONData(dictionary));
    Value::Array array{"x", nullptr};
    EXPECT_EQ("[\"x\",null]", JSONString(array));
    EXPECT_EQ(dataFromString("[\"x\",null]"), JSONData(array));
}

TEST(FCJSONAdditions, FailuresLogTheirWarning) {
    const Value::Array withData{Data{1}};
    const Value::Dictionary withDate{{"d", Date(0)}};
    struct Case {
        const char* name;
        std::function<bool()> call;  // true when the call gave nothing
        std::string message;
    } cases[] = {
        {"string to object", [] { return !objectFromJSONString("{bad"); },
         // Received text and the parser's error about it are logged as short escaped excerpts.
         stringWithFormat("Error parsing JSON: %@, error: %@", "{bad",
                          escapedExcerpt(readError("{bad").description(), 600))},
        {"data to object", [] { return !objectFromJSONData(dataFromString("7")); },
         stringWithFormat("Error parsing JSON data, error: %@", readError("7"))},
        {"plain string to data", [] { return !JSONData(std::string("plain")); },
         stringWithFormat("Error getting JSON data from string: %@, error: %@", "plain", writeError("plain"))},
        {"array to data", [&] { return !JSONData(withData); },
         stringWithFormat("Error getting JSON data from array, error: %@", writeError(withData))},
        {"array to string", [&] { return !JSONString(withData); },
         stringWithFormat("Error getting JSON string from array: %@", writeError(withData))},
        {"dictionary to data", [&] { return !JSONData(withDate); },
         stringWithFormat("Error getting JSON data from dictionary, error: %@", writeError(withDate))},
        {"dictionary to string", [&] { return !JSONString(withDate); },
         stringWithFormat("Error getting JSON string from dictionary: %@", writeError(withDate))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = TWLogger::sharedInstance().messageBacklog().size();
        EXPECT_TRUE(c.call());
        // One warning line: " WARN| <message> |<file>:<line>| <function>".
        EXPECT_EQ(std::min<std::size_t>(before + 1, TWLogger::sharedInstance().messageBacklogSize()),
                  TWLogger::sharedInstance().messageBacklog().size());
        EXPECT_EQ(0u, newestLogLine().rfind(" WARN| " + c.message + " |FCJSONAdditions.cpp:", 0)) << newestLogLine();
    }
}

TEST(FCJSONAdditions, ErrorOutParameterInsteadOfLogging) {
    const std::string before = newestLogLine();
    Error error(NSPOSIXErrorDomain, 2);
    EXPECT_FALSE(objectFromJSONDataWithError(dataFromString("[1,"), &error));
    EXPECT_EQ(NSCocoaErrorDomain, error.domain());
    EXPECT_EQ(3840, error.code());
    EXPECT_EQ(Value::array({1}), objectFromJSONDataWithError(dataFromString("[1]"), &error));
    EXPECT_FALSE(error);
    EXPECT_EQ(before, newestLogLine());
}
