#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>

#include "app/net/AFHTTPClient.h"
#include "app/net/AFImageRequestOperation.h"
#include "app/net/AFJSONRequestOperation.h"
#include "app/net/AFXMLRequestOperation.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/Languages.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/PropertyList.h"
#include "support/MainLoop.h"
#include "support/TestHTTPServer.h"

using memorant_test::runMainLoopUntil;
using memorant_test::TestHTTPServer;

namespace {

// Sets environment variables for a test and puts them back after.
class ScopedEnvironment {
public:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::shared_ptr<AFHTTPClient> client(const std::string& base = "http://h/api") {
    return AFHTTPClient::clientWithBaseURL(*URL::URLWithString(base));
}

std::string bodyText(const URLRequest& request) {
    return request.HTTPBody() ? stringFromData(*request.HTTPBody()) : std::string("(none)");
}

}  // namespace

TEST(AFHTTPClientTest, BuildsRequestsRelativeToTheBaseURL) {
    struct Case {
        std::string base, method, path;
        Value parameters;
        std::string url, body;
    };
    const Value nested =
        Value::dictionary({{"b", Value::array({"x y", "z"})}, {"a", Value::dictionary({{"k", "1&2"}})}});
    const std::vector<Case> cases = {
        {"http://h/api", "GET", "list", Value(), "http://h/api/list", "(none)"},
        {"http://h", "GET", "list", Value(), "http://h/list", "(none)"},
        {"http://h/api/", "GET", "/root", Value(), "http://h/root", "(none)"},
        {"http://h/api", "GET", "", Value(), "http://h/api/", "(none)"},
        {"http://h/api", "GET", "list?x=1", Value::dictionary({{"y", 2}}), "http://h/api/list?x=1&y=2", "(none)"},
        {"http://h/api", "GET", "list", Value::dictionary({{"y", 2}}), "http://h/api/list?y=2", "(none)"},
        {"http://h/api", "DELETE", "list", Value::dictionary({{"a", Value()}, {"b", 2}}), "http://h/api/list?a&b=2",
         "(none)"},
        {"http://h/api", "HEAD", "list", Value::dictionary({{"B", 1}, {"a", 2}}), "http://h/api/list?a=2&B=1",
         "(none)"},
        {"http://h/api", "GET", "q", nested, "http://h/api/q?a[k]=1%262&b[]=x%20y&b[]=z", "(none)"},
        {"http://h/api", "POST", "q", nested, "http://h/api/q", "a[k]=1%262&b[]=x%20y&b[]=z"},
        {"http://h/api", "PUT", "q", Value::dictionary({{"s", ":/?&=;+!@#$()',* %\xC3\xA9"}}), "http://h/api/q",
         "s=%3A%2F%3F%26%3D%3B%2B%21%40%23%24%28%29%27%2C%2A%20%25%C3%A9"},
    };
    for (const auto& c : cases) {
        auto request = client(c.base)->requestWithMethod(c.method, c.path, c.parameters);
        ASSERT_TRUE(request.url()) << c.path;
        EXPECT_EQ(request.url()->absoluteString(), c.url) << c.method << " " << c.path;
        EXPECT_EQ(request.HTTPMethod(), c.method);
        EXPECT_EQ(bodyText(request), c.body) << c.method << " " << c.path;
    }
    EXPECT_EQ(client("http://h")->baseURL().absoluteString(), "http://h");
    EXPECT_EQ(client("http://h/api")->baseURL().absoluteString(), "http://h/api/");

    auto form = client()->requestWithMethod("POST", "q", Value::dictionary({{"a", 1}}));
    EXPECT_EQ(form.valueForHTTPHeaderField("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
}

TEST(AFHTTPClientTest, EncodesJSONAndPropertyListBodies) {
    auto c = client();
    const Value parameters = Value::dictionary({{"name", "deck"}, {"count", 3}});
    c->setParameterEncoding(JSONParameterEncoding);
    auto json = c->requestWithMethod("POST", "up", parameters);
    EXPECT_EQ(json.valueForHTTPHeaderField("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(JSONSerialization::JSONObjectWithData(*json.HTTPBody()), parameters);

    c->setParameterEncoding(PropertyListParameterEncoding);
    auto plist = c->requestWithMethod("PUT", "up", parameters);
    EXPECT_EQ(plist.valueForHTTPHeaderField("Content-Type"), "application/x-plist; charset=utf-8");
    EXPECT_EQ(PropertyList::valueFromData(*plist.HTTPBody()), parameters);

    // What cannot be serialised leaves the body empty; the request still comes.
    c->setParameterEncoding(JSONParameterEncoding);
    ::testing::internal::CaptureStderr();
    auto bad = c->requestWithMethod("POST", "up", Value::dictionary({{"when", Date(5)}}));
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(bad.HTTPBody() && bad.HTTPBody()->empty());
    EXPECT_NE(log.find("AFHTTPClient requestWithMethod:path:parameters:"), std::string::npos) << log;

    // Default headers reach every request.
    c->setDefaultHeader("X-Deck", "7");
    EXPECT_EQ(c->requestWithMethod("GET", "x").valueForHTTPHeaderField("X-Deck"), "7");
    c->setDefaultHeader("X-Deck", std::nullopt);
    EXPECT_FALSE(c->requestWithMethod("GET", "x").valueForHTTPHeaderField("X-Deck"));
}

TEST(AFHTTPClientTest, DefaultHeadersFromLanguagesDeviceAndCredentials) {
    ScopedEnvironment env;
    env.set("LANGUAGE", "fr_CA:de:es:it:nl:pt:sv");
    env.set("LANG", "en_US.UTF-8");
    EXPECT_EQ(client()->defaultValueForHeader("Accept-Language"),
              "fr-CA;q=1, de;q=0.9, es;q=0.8, it;q=0.7, nl;q=0.6, pt;q=0.5");
    env.set("LANGUAGE", nullptr);
    env.set("LANG", "C");
    EXPECT_EQ(client()->defaultValueForHeader("Accept-Language"), "en;q=1");

    DeviceInfo::setModelOverride("Тестовый телефон");
    DeviceInfo::setSystemVersionOverride("17.1");
    auto agent = client()->defaultValueForHeader("User-Agent");
    DeviceInfo::setModelOverride(std::nullopt);
    DeviceInfo::setSystemVersionOverride(std::nullopt);
    ASSERT_TRUE(agent);
    EXPECT_EQ(*agent, "org.memorant.Memorant/200 (Testovyj telefon; iOS 17.1; Scale/2.00)");

    auto c = client();
    c->setAuthorizationHeaderWithUsername("user", "pa:ss\xC3\xA9");
    EXPECT_EQ(c->defaultValueForHeader("Authorization"), "Basic dXNlcjpwYTpzc8Op");
    c->setAuthorizationHeaderWithToken("abc");
    EXPECT_EQ(c->defaultValueForHeader("Authorization"), "Token token=\"abc\"");
    c->clearAuthorizationHeader();
    EXPECT_FALSE(c->defaultValueForHeader("Authorization"));
}

TEST(AFHTTPClientTest, RegistersClassesLatestFirstAndChoosesByRequest) {
    EXPECT_THROW(
        {
            try {
                AFHTTPClient plain;
            } catch (const NamedException& e) {
                EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
                EXPECT_STREQ(e.reason(),
                             "AFHTTPClient Failed to call designated initializer. Invoke `initWithBaseURL:` instead.");
                throw;
            }
        },
        NamedException);

    auto c = client();
    EXPECT_TRUE(c->registerHTTPOperationClass(AFJSONRequestOperation::classObject()));
    EXPECT_TRUE(c->registerHTTPOperationClass(AFXMLRequestOperation::classObject()));
    EXPECT_TRUE(c->registerHTTPOperationClass(AFJSONRequestOperation::classObject()));
    EXPECT_EQ(c->registeredHTTPOperationClassNames(),
              (std::vector<std::string>{"AFJSONRequestOperation", "AFXMLRequestOperation"}));
    AFHTTPOperationClass stranger("AFURLConnectionOperation", nullptr);
    EXPECT_FALSE(c->registerHTTPOperationClass(stranger));

    auto json = c->HTTPRequestOperationWithRequest(c->requestWithMethod("GET", "decks.json"), nullptr, nullptr);
    EXPECT_EQ(json->className(), "AFJSONRequestOperation");
    auto plain = c->HTTPRequestOperationWithRequest(c->requestWithMethod("GET", "decks.JSON"), nullptr, nullptr);
    EXPECT_EQ(plain->className(), "AFHTTPRequestOperation");
    auto accepted = c->requestWithMethod("GET", "feed");
    accepted.setValueForHTTPHeaderField("text/xml", "Accept");
    EXPECT_EQ(c->HTTPRequestOperationWithRequest(accepted, nullptr, nullptr)->className(), "AFXMLRequestOperation");
    c->unregisterHTTPOperationClass(AFXMLRequestOperation::classObject());
    EXPECT_EQ(c->HTTPRequestOperationWithRequest(accepted, nullptr, nullptr)->className(), "AFHTTPRequestOperation");

    // A copy and an archived client keep what was set.
    c->setParameterEncoding(JSONParameterEncoding);
    c->setDefaultHeader("X-A", "1");
    Value coder = Value::dictionary();
    c->encodeWithCoder(coder);
    for (const auto& other : {c->copy(), AFHTTPClient::decodeWithCoder(coder)}) {
        ASSERT_TRUE(other);
        EXPECT_EQ(other->baseURL(), c->baseURL());
        EXPECT_EQ(other->parameterEncoding(), JSONParameterEncoding);
        EXPECT_EQ(other->registeredHTTPOperationClassNames(), c->registeredHTTPOperationClassNames());
        EXPECT_EQ(other->defaultValueForHeader("X-A"), "1");
    }
    EXPECT_NE(c->description().find("baseURL: http://h/api/"), std::string::npos);
}

TEST(AFHTTPClientTest, ZeroOperationBatchCompletesOnceOnTheMainQueue) {
    auto c = client();
    int completions = 0;
    bool onMain = false;
    c->enqueueBatchOfHTTPRequestOperations(
        {}, [](std::size_t, std::size_t) { ADD_FAILURE() << "no progress without operations"; },
        [&](const std::vector<std::shared_ptr<AFHTTPRequestOperation>>& operations) {
            ++completions;
            onMain = isMainThread();
            EXPECT_TRUE(operations.empty());
        });
    ASSERT_TRUE(runMainLoopUntil([&] { return completions > 0; }));
    memorant_test::drainMainLoop();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(onMain);
}

TEST(AFHTTPClientTest, BatchesCountFinishedOperationsAndCancelByMethodAndPath) {
    TestHTTPServer server;
    server.server().Get(R"(/api/item/(\d+)\.json)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("{\"id\":" + req.matches[1].str() + "}", "application/json");
    });
    server.server().Get("/api/slow", [&server](const httplib::Request&, httplib::Response& res) {
        server.stallUntilReleased();
        res.set_content("late", "text/plain");
    });
    server.start();
    auto c = client(server.url("/api"));
    c->registerHTTPOperationClass(AFJSONRequestOperation::classObject());

    std::vector<URLRequest> requests;
    for (int i = 1; i <= 3; ++i) requests.push_back(c->requestWithMethod("GET", "item/" + std::to_string(i) + ".json"));
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    std::vector<std::shared_ptr<AFHTTPRequestOperation>> finished;
    bool done = false;
    c->enqueueBatchOfHTTPRequestOperationsWithRequests(
        requests,
        [&](std::size_t n, std::size_t total) {
            progress.push_back({n, total});
        },
        [&](const std::vector<std::shared_ptr<AFHTTPRequestOperation>>& operations) {
            finished = operations;
            done = true;
        });
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    ASSERT_EQ(progress.size(), 3u);
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i].second, 3u);
        EXPECT_GE(progress[i].first, i + 1);
    }
    EXPECT_EQ(progress.back().first, 3u);
    ASSERT_EQ(finished.size(), 3u);
    for (const auto& op : finished) {
        EXPECT_TRUE(op->isFinished());
        EXPECT_EQ(op->className(), "AFJSONRequestOperation");
        EXPECT_FALSE(op->error()) << op->error().description();
    }

    // Cancelling by method and path reaches only the matching operation.
    std::optional<Error> slowError;
    bool otherDone = false;
    auto slow = c->HTTPRequestOperationWithRequest(
        c->requestWithMethod("GET", "slow"), [](auto, const std::any&) {},
        [&](auto, const Error& error) { slowError = error; });
    c->enqueueHTTPRequestOperation(slow);
    c->getPath(
        "item/9.json", Value(),
        [&](auto, const std::any& object) {
            EXPECT_EQ(std::any_cast<std::optional<Value>>(object), Value::dictionary({{"id", 9}}));
            otherDone = true;
        },
        nullptr);
    c->cancelAllHTTPOperationsWithMethod("POST", "slow");
    c->cancelAllHTTPOperationsWithMethod(std::nullopt, "slow");
    ASSERT_TRUE(runMainLoopUntil([&] { return slowError.has_value() && otherDone; }));
    server.release();
    EXPECT_EQ(slowError->code(), -999);
}
