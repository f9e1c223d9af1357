#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/TWErrorAdditions.h"

namespace {

std::set<std::string> keys(const Error& e) {
    std::set<std::string> out;
    for (const auto& [key, value] : *e.userInfo().asDictionary()) out.insert(key);
    return out;
}

TEST(TWErrorAdditions, CarryOnlyTheGivenTexts) {
    using S = std::optional<std::string>;
    const std::string d = NSLocalizedDescriptionKey, r = NSLocalizedFailureReasonErrorKey,
                      s = NSLocalizedRecoverySuggestionErrorKey;
    struct Case {
        const char* name;
        Error error;
        std::set<std::string> keys;
    } cases[] = {
        {"description", twErrorWithDomain("D", -1, S("desc")), {d}},
        {"nil description", twErrorWithDomain("D", -1, std::nullopt), {}},
        {"suggestion", twErrorWithDomainCodeLocalizedDescriptionLocalizedRecoverySuggestion("D", 1, S("desc"), S("try")), {d, s}},
        {"nil suggestion", twErrorWithDomainCodeLocalizedDescriptionLocalizedRecoverySuggestion("D", 1, S("desc"), std::nullopt), {d}},
        {"reason", twErrorWithDomainCodeLocalizedDescriptionLocalizedFailureReason("D", 1, std::nullopt, S("why")), {r}},
        {"all three", twErrorWithDomain("D", 1, S("desc"), S("why"), S("try")), {d, r, s}},
        {"reason only of three", twErrorWithDomain("D", 1, std::nullopt, S("why"), std::nullopt), {r}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ("D", c.error.domain());
        EXPECT_EQ(c.keys, keys(c.error));
        EXPECT_EQ(nullptr, c.error.underlyingError());
    }
    const Error all = twErrorWithDomain("D", INT64_MIN, S("desc"), S("why"), S("try"));
    EXPECT_EQ(INT64_MIN, all.code());
    EXPECT_EQ("desc", all.localizedDescription());
    EXPECT_EQ(S("why"), all.localizedFailureReason());
    EXPECT_EQ(S("try"), all.localizedRecoverySuggestion());
}

TEST(TWErrorAdditions, UnderlyingErrorOnlyWhenSet) {
    const Error cause = twErrorWithDomain("Inner", 2, std::optional<std::string>("inner"));
    const Error wrapped = twErrorWithDomain("Outer", 3, std::optional<std::string>("outer"), cause);
    ASSERT_NE(nullptr, wrapped.underlyingError());
    EXPECT_EQ(cause, *wrapped.underlyingError());
    EXPECT_EQ(nullptr, twErrorWithDomain("Outer", 3, std::nullopt, Error()).underlyingError());
}

TEST(TWErrorAdditions, SetOutErrorAlwaysAnswersYes) {
    EXPECT_TRUE(twSetOutError(nullptr, "D", 5, std::optional<std::string>("lost")));
    Error out;
    EXPECT_TRUE(twSetOutError(&out, "D", 5, std::optional<std::string>("kept")));
    EXPECT_EQ(twErrorWithDomain("D", 5, std::optional<std::string>("kept")), out);
}

}  // namespace
