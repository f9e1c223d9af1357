#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/foundation/JSON.h"

namespace {

std::optional<Value> parse(const std::string& text, unsigned options = 0, Error* error = nullptr) {
    return JSONSerialization::JSONObjectWithData(dataFromString(text), options, error);
}

std::optional<std::string> write(const Value& v, unsigned options = 0, Error* error = nullptr) {
    auto data = JSONSerialization::dataWithJSONObject(v, options, error);
    if (!data) return std::nullopt;
    return stringFromData(*data);
}

}  // namespace

TEST(JSONSerialization, ReadsNumbersAsTheirKinds) {
    auto v = parse(R"([1, -1, 9223372036854775807, 9223372036854775808, 18446744073709551616,
                       -9223372036854775809, 1.5, 1e2, true, false, null, "a\u00e9\ud83d\ude00\/"])");
    ASSERT_TRUE(v);
    struct Case {
        Value value;
        Value::Type type;
    } expected[] = {
        {1, Value::Type::Int},
        {-1, Value::Type::Int},
        {INT64_MAX, Value::Type::Int},
        {9223372036854775808ULL, Value::Type::UInt},
        {18446744073709551616.0, Value::Type::Real},
        {-9223372036854775809.0, Value::Type::Real},
        {1.5, Value::Type::Real},
        {100.0, Value::Type::Real},
        {true, Value::Type::Bool},
        {false, Value::Type::Bool},
        {nullptr, Value::Type::Null},
        {"a\u00e9\U0001F600/", Value::Type::String},
    };
    ASSERT_EQ(std::size(expected), v->count());
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].type, (*v)[i].type());
        EXPECT_EQ(expected[i].value, (*v)[i]);
    }
}

TEST(JSONSerialization, ReadsNestedObjects) {
    auto v = parse("\xEF\xBB\xBF {\"b\": {\"x\": [ ]}, \"a\": [1, {\"y\": \"z\"}], \"a\": 2}\n");
    ASSERT_TRUE(v);
    EXPECT_EQ(Value::dictionary({{"a", 2}, {"b", Value::dictionary({{"x", Value::array()}})}}), *v);
}

TEST(JSONSerialization, ReadFailuresAreCocoaError3840) {
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"number fragment", "1"},
        {"string fragment", "\"a\""},
        {"trailing comma", "[1,]"},
        {"garbage after", "{\"a\":1} x"},
        {"single quotes", "{'a':1}"},
        {"invalid UTF-8", "[\"\xFF\"]"},
        {"lone surrogate", "[\"\\ud800\"]"},
        {"raw control character", "[\"a\x01\"]"},
        {"number overflow", "[1e400]"},
        {"unclosed", "[[1]"},
        {"deep nesting", std::string(100000, '[') + std::string(100000, ']')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Error error(NSPOSIXErrorDomain, 1);
        EXPECT_FALSE(parse(c.text, 0, &error));
        EXPECT_EQ(NSCocoaErrorDomain, error.domain());
        EXPECT_EQ(3840, error.code());
        EXPECT_FALSE(error.userInfo()["NSDebugDescription"].stringValue().empty());
        EXPECT_FALSE(parse(c.text));  // no error pointer
    }
    EXPECT_TRUE(parse(std::string(512, '[') + std::string(512, ']')));
}

TEST(JSONSerialization, FragmentsOnlyWhenAllowed) {
    const unsigned allow = JSONSerialization::ReadingFragmentsAllowed;
    EXPECT_EQ(Value(7), parse(" 7 ", allow));
    EXPECT_EQ(Value("s"), parse("\"s\"", allow));
    auto null = parse("null", allow);
    ASSERT_TRUE(null);
    EXPECT_TRUE(null->isNull());
    Error error;
    EXPECT_FALSE(parse("null", 0, &error));
    EXPECT_EQ(3840, error.code());
}

TEST(JSONSerialization, WritesCompactWithThePlatformsEscapes) {
    struct Case {
        Value value;
        std::string json;
    } cases[] = {
        {Value::array({"a/b", "q\"\\", "\n\t\r\b\f\x01\x1f\x7f", "\u00e9\U0001F600"}),
         "[\"a\\/b\",\"q\\\"\\\\\",\"\\n\\t\\r\\b\\f\\u0001\\u001f\x7f\",\"\u00e9\U0001F600\"]"},
        {Value::dictionary({{"b", 1}, {"a", Value::array({true, false, nullptr})}, {"c/d", Value::dictionary()}}),
         "{\"a\":[true,false,null],\"b\":1,\"c\\/d\":{}}"},
        {Value::array({0.1, 1.0, -2.5, 1e300, 2.5e-7, 1.0 / 3}), "[0.1,1,-2.5,1e+300,2.5e-07,0.3333333333333333]"},
        {Value::array({INT64_MIN, static_cast<unsigned long long>(UINT64_MAX), 0}),
         "[-9223372036854775808,18446744073709551615,0]"},
        {Value::array(), "[]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_TRUE(JSONSerialization::isValidJSONObject(c.value));
        EXPECT_EQ(c.json, write(c.value));
        // What is written reads back as the same value.
        EXPECT_EQ(c.value, parse(c.json));
    }
}

TEST(JSONSerialization, PrettyPrinting) {
    EXPECT_EQ("{\n  \"a\" : [\n    1,\n    {}\n  ],\n  \"b\" : \"x\"\n}",
              write(Value::dictionary({{"a", Value::array({1, Value::dictionary()})}, {"b", "x"}}),
                    JSONSerialization::WritingPrettyPrinted));
}

TEST(JSONSerialization, UnwritableValuesGiveAnErrorNotAnException) {
    struct Case {
        const char* name;
        Value value;
    } cases[] = {
        {"top-level string", "text"},
        {"top-level number", 3},
        {"top-level null", nullptr},
        {"data inside", Value::array({Data{1, 2}})},
        {"date inside", Value::dictionary({{"d", Date(0)}})},
        {"NaN", Value::array({std::nan("")})},
        {"infinity", Value::array({std::numeric_limits<double>::infinity()})},
        {"invalid UTF-8 string", Value::array({"\xC3"})},
        {"invalid UTF-8 key", Value::dictionary({{"\xFF", 1}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(JSONSerialization::isValidJSONObject(c.value));
        Error error;
        EXPECT_FALSE(write(c.value, 0, &error));
        EXPECT_EQ(NSCocoaErrorDomain, error.domain());
        EXPECT_EQ(3840, error.code());
        EXPECT_FALSE(error.userInfo()["NSDebugDescription"].stringValue().empty());
    }
}

TEST(JSONSerialization, ReadingLimitsRefuseWhatWouldCostTooMuch) {
    auto zeros = [](std::size_t count) {
        std::string text = "[";
        for (std::size_t i = 0; i < count; ++i) text += i ? ",0" : "0";
        return text + "]";
    };
    auto strings = [](std::size_t count, std::size_t length) {
        std::string text = "{";
        for (std::size_t i = 0; i < count; ++i)
            text += (i ? ",\"" : "\"") + std::to_string(i) + "\":\"" + std::string(length, 's') + "\"";
        return text + "}";
    };
    JSONReadingLimits values;
    values.maxValues = 1000;
    JSONReadingLimits depth;
    depth.maxDepth = 3;
    JSONReadingLimits memory;
    memory.maxBytes = 64 * 1024;
    const struct {
        const char* what;
        std::string text;
        JSONReadingLimits limits;
        bool accepted;
        const char* debugDescription;
    } cases[] = {
        {"values at the bound (the array counts)", zeros(999), values, true, ""},
        {"one value more", zeros(1000), values, false, "Too many values."},
        {"many small values", zeros(200000), values, false, "Too many values."},
        {"depth at the bound", "[[[1]]]", depth, true, ""},
        {"one level more", "[[[[1]]]]", depth, false, "Too many nested arrays or dictionaries."},
        {"strings within the memory", strings(10, 1000), memory, true, ""},
        {"strings past the memory", strings(100, 1000), memory, false, "The values would take too much memory."},
        {"many entries past the memory", strings(2000, 0), memory, false, "The values would take too much memory."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Error error;
        const auto parsed = JSONSerialization::JSONObjectWithData(dataFromString(c.text), 0, &error, c.limits);
        EXPECT_EQ(parsed.has_value(), c.accepted);
        if (c.accepted) continue;
        EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
        EXPECT_EQ(error.code(), 3840);
        EXPECT_EQ(error.userInfo()["NSDebugDescription"].stringValue(), c.debugDescription);
    }
    // Without limits the same texts read as before.
    EXPECT_TRUE(parse(zeros(200000)));
}
