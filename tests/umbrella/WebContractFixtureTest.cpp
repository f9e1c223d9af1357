#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "BridgeTestSupport.h"
#include "WebContractCases.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/JSON.h"

using namespace umbrella_test;

namespace {

// The fixture goes to $MEMORANT_WEB_FIXTURES, else to "web-fixtures" beside
// this test program (build/tests/web-fixtures), where the browser test
// (tests/web) reads it.
std::filesystem::path fixtureDirectory() {
    if (const char* env = std::getenv("MEMORANT_WEB_FIXTURES"); env && *env) return env;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "web-fixtures";
}

// Writes the scripts native code evaluates for every case, made by the real
// bridge and call operations, with what the page should see of each.
TEST_F(BridgeTest, WritesTheWebContractFixture) {
    auto handler = std::make_shared<StudyPageHandler>();
    bridge->addHandler(handler, "study");
    Value replies = Value::array();
    for (const ReplyCase& c : replyCases()) {
        handler->nextResult = c.result;
        auto scripts = post("study", callBody(c.voidMethod ? "didTapCard" : "result", {}, c.promiseId));
        ASSERT_LE(scripts.size(), 1u) << c.name;
        replies.append(Value::dictionary({{"name", c.name},
                                          {"promiseId", c.promiseId},
                                          {"script", scripts.empty() ? Value() : Value(scripts[0])},
                                          {"value", c.pageValue}}));
    }
    Value calls = Value::array();
    for (const CallCase& c : callCases()) {
        c.call(*webView);
        calls.append(Value::dictionary({{"name", c.name},
                                        {"script", *page().lastEvaluatedScript()},
                                        {"object", c.object},
                                        {"method", c.method},
                                        {"arguments", c.pageArguments}}));
    }
    Error error;
    auto json = JSONSerialization::dataWithJSONObject(Value::dictionary({{"replies", replies}, {"calls", calls}}),
                                                      JSONSerialization::WritingPrettyPrinted, &error);
    ASSERT_TRUE(json) << error.description();
    std::filesystem::create_directories(fixtureDirectory());
    const std::string path = (fixtureDirectory() / "bridge-contract.json").string();
    ASSERT_TRUE(writeDataAtomically(*json, path, &error)) << error.description();
}

}  // namespace
