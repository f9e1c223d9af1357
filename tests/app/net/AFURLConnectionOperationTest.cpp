// The connection and HTTP operations without a network: state changes and
// their notifications, description, coding, copying, the acceptable sets and
// the text rules.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "app/net/AFHTTPRequestOperation.h"
#include "app/net/JSONOnlyOperation.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLError.h"
#include "platform/ui/Application.h"
#include "support/MainLoop.h"

namespace {

URLRequest requestFor(const std::string& url) {
    return URLRequest(URL::URLWithString(url));
}

// Exposes the state change for the table below.
class StateProbe : public AFURLConnectionOperation {
public:
    using AFURLConnectionOperation::AFURLConnectionOperation;
    using AFURLConnectionOperation::setState;
};

std::shared_ptr<StateProbe> probeIn(int state, bool cancelled) {
    Value coder = Value::dictionary();
    coder.set("request", requestFor("http://127.0.0.1/x").toValue());
    coder.set("state", state);
    coder.set("isCancelled", cancelled);
    return AFURLConnectionOperation::decodeWithCoder<StateProbe>(coder);
}

// An operation of class T that holds a response as if it had run.
template <class T>
std::shared_ptr<T> finishedWith(int status, const std::string& contentType, const std::string& body) {
    HTTPHeaderFields headers;
    if (!contentType.empty()) headers.set("Content-Type", contentType);
    HTTPURLResponse response(URL::URLWithString("http://127.0.0.1/r"), status, "HTTP/1.1", headers);
    Value coder = Value::dictionary();
    coder.set("request", requestFor("http://127.0.0.1/r").toValue());
    coder.set("state", 3);
    coder.set("response", response.toValue());
    coder.set("responseData", dataFromString(body));
    return AFURLConnectionOperation::decodeWithCoder<T>(coder);
}

}  // namespace

TEST(AFURLConnectionOperation, StateTransitionTable) {
    using S = AFURLConnectionOperation;
    const struct {
        int from, to;
        bool cancelled;
        int expected;
    } cases[] = {
        {S::Ready, S::Paused, false, S::Paused},           {S::Ready, S::Executing, false, S::Executing},
        {S::Ready, S::Finished, false, S::Ready},          {S::Ready, S::Finished, true, S::Finished},
        {S::Executing, S::Paused, false, S::Paused},       {S::Executing, S::Finished, false, S::Finished},
        {S::Executing, S::Ready, false, S::Executing},     {S::Finished, S::Ready, false, S::Finished},
        {S::Finished, S::Executing, true, S::Finished},    {S::Paused, S::Ready, false, S::Ready},
        {S::Paused, S::Executing, false, S::Paused},       {S::Paused, S::Finished, true, S::Paused},
        {S::Initialized, S::Finished, false, S::Finished},
    };
    for (const auto& c : cases) {
        auto probe = probeIn(c.from, c.cancelled);
        probe->setState(static_cast<S::State>(c.to));
        EXPECT_EQ(probe->state(), c.expected) << c.from << " -> " << c.to << (c.cancelled ? " cancelled" : "");
    }
}

TEST(AFURLConnectionOperation, StateChangesAnnounceNewThenOldAndFinishInReverse) {
    auto operation = AFURLConnectionOperation::create(requestFor("http://127.0.0.1/x"));
    std::vector<std::string> events;
    std::vector<std::unique_ptr<KVOObservation>> observations;
    for (const std::string key : {"isReady", "isPaused", "isExecuting"})
        observations.push_back(
            operation->observe(key, KVOOptionPrior, [&events, key](KVOObservable&, const KVOChange& change) {
                events.push_back((change.isPrior ? "will " : "did ") + key);
            }));
    operation->pause();
    EXPECT_EQ(events, (std::vector<std::string>{"will isPaused", "will isReady", "did isReady", "did isPaused"}));
    EXPECT_TRUE(operation->isPaused());
    EXPECT_FALSE(operation->isReady());

    events.clear();
    operation->pause();  // already paused: nothing
    EXPECT_TRUE(events.empty());
    operation->cancel();
    operation->resume();  // paused -> ready -> start; cancelled, so it finishes without a connection
    EXPECT_EQ(events.front(), "will isReady");
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return operation->isFinished(); }));
    EXPECT_EQ(operation->error().code(), URLErrorCancelled);
    operation->pause();  // finished: nothing
    EXPECT_TRUE(operation->isFinished());
}

TEST(AFURLConnectionOperation, Description) {
    auto operation = AFURLConnectionOperation::create(requestFor("http://127.0.0.1/x"));
    const std::regex expected(
        "<AFURLConnectionOperation: 0x[0-9a-f]+, state: isReady, cancelled: NO request: "
        "<NSMutableURLRequest: 0x[0-9a-f]+> \\{ URL: http://127.0.0.1/x \\}, response: \\(null\\)>");
    EXPECT_TRUE(std::regex_match(operation->description(), expected)) << operation->description();
    auto http = finishedWith<AFHTTPRequestOperation>(404, "text/plain", "");
    EXPECT_NE(http->description().find("<AFHTTPRequestOperation: 0x"), std::string::npos);
    EXPECT_NE(http->description().find("state: isFinished"), std::string::npos);
    EXPECT_NE(http->description().find("{ Status Code: 404 }"), std::string::npos);
}

TEST(AFURLConnectionOperation, CodingStoresReadyForAnExecutingOperationAndPausesIt) {
    auto executing = probeIn(AFURLConnectionOperation::Executing, false);
    executing->setAllowsInvalidSSLCertificate(true);
    Value coder = Value::dictionary();
    executing->encodeWithCoder(coder);
    EXPECT_TRUE(executing->isPaused());
    EXPECT_EQ(coder["state"].integerValue(), 1);
    EXPECT_EQ(coder["isCancelled"].boolValue(true), false);
    EXPECT_EQ(coder["totalBytesRead"].integerValue(-1), 0);
    EXPECT_TRUE(coder["allowsInvalidSSLCertificate"].boolValue());
    EXPECT_EQ(coder["request"]["URL"].stringValue(), "http://127.0.0.1/x");

    auto finished = finishedWith<AFHTTPRequestOperation>(200, "text/plain", "body");
    Value archived = Value::dictionary();
    finished->encodeWithCoder(archived);
    EXPECT_EQ(archived["state"].integerValue(), 3);
    auto decoded = AFURLConnectionOperation::decodeWithCoder<AFHTTPRequestOperation>(archived);
    EXPECT_TRUE(decoded->isFinished());
    EXPECT_EQ(decoded->responseString(), "body");
    EXPECT_EQ(dynamic_cast<HTTPURLResponse*>(decoded->response().get())->statusCode(), 200);
    // Drain the finish notification of the pause.
    memorant_test::drainMainLoop();
}

TEST(AFURLConnectionOperation, CopyTakesRequestCallbacksAndTrustFlagOnly) {
    auto finished = finishedWith<AFHTTPRequestOperation>(200, "text/plain", "body");
    int redirects = 0;
    finished->setRedirectResponseBlock([&](URLConnection&, const URLRequest& r, const std::shared_ptr<URLResponse>&) {
        ++redirects;
        return std::optional<URLRequest>(r);
    });
    finished->setAllowsInvalidSSLCertificate(true);
    auto copy = finished->copy();
    EXPECT_NE(dynamic_cast<AFHTTPRequestOperation*>(copy.get()), nullptr);
    EXPECT_TRUE(copy->isReady());
    EXPECT_EQ(copy->response(), nullptr);
    EXPECT_EQ(copy->responseData(), std::nullopt);
    EXPECT_TRUE(copy->allowsInvalidSSLCertificate());
    EXPECT_EQ(copy->request().url(), finished->request().url());
    auto connection = URLConnection::create(copy->request(), nullptr);
    copy->connectionWillSendRequest(*connection, copy->request(), nullptr);
    EXPECT_EQ(redirects, 1);
}

TEST(AFURLConnectionOperation, BackgroundTaskExpiryCancelsAndReleaseEndsTheTask) {
    auto operation = AFURLConnectionOperation::create(requestFor("http://127.0.0.1/x"));
    bool handled = false;
    operation->setShouldExecuteAsBackgroundTaskWithExpirationHandler([&] { handled = true; });
    const auto identifier = operation->backgroundTaskIdentifier();
    EXPECT_NE(identifier, 0u);
    operation->setShouldExecuteAsBackgroundTaskWithExpirationHandler(nullptr);  // one task per operation
    EXPECT_EQ(operation->backgroundTaskIdentifier(), identifier);
    Application::shared().expireBackgroundTasks();
    EXPECT_TRUE(handled);
    EXPECT_TRUE(operation->isCancelled());
    EXPECT_EQ(operation->backgroundTaskIdentifier(), 0u);

    auto released = AFURLConnectionOperation::create(requestFor("http://127.0.0.1/y"));
    released->setShouldExecuteAsBackgroundTaskWithExpirationHandler(nullptr);
    released.reset();
    EXPECT_TRUE(Application::shared().openBackgroundTasks().empty());
}

TEST(AFHTTPRequestOperation, StatusListsAreWrittenRangeByRange) {
    EXPECT_EQ(statusCodeListString(*AFHTTPRequestOperation::acceptableStatusCodes()), "200-299");
    EXPECT_EQ(statusCodeListString({200, 201, 202, 204}), "200-202,204");
    EXPECT_EQ(statusCodeListString({304}), "304");
    EXPECT_EQ(statusCodeListString({}), "");
}

TEST(AFHTTPRequestOperation, StatusAndContentTypeErrors) {
    auto notFound = finishedWith<AFHTTPRequestOperation>(404, "text/plain", "gone");
    EXPECT_FALSE(notFound->hasAcceptableStatusCode());
    Error error = notFound->error();
    EXPECT_EQ(error.domain(), "CorvexErrorDomain");
    EXPECT_EQ(error.code(), -1011);
    EXPECT_EQ(error.localizedDescription(), "Expected status code in (200-299), got 404");
    EXPECT_EQ(error.localizedRecoverySuggestion(), "gone");
    EXPECT_EQ(error.userInfo()[NSURLErrorFailingURLErrorKey].stringValue(), "http://127.0.0.1/r");
    EXPECT_EQ(error.userInfo()["CorvexOperationFailingURLResponseErrorKey"]["statusCode"].integerValue(), 404);

    auto html = finishedWith<JSONOnlyOperation>(200, "text/html", "<p>");
    EXPECT_FALSE(html->hasAcceptableContentType());
    EXPECT_EQ(html->error().code(), -1016);
    EXPECT_EQ(html->error().localizedDescription(),
              "Expected content type {(\n    \"application/json\"\n)}, got text/html");
    EXPECT_FALSE(finishedWith<JSONOnlyOperation>(200, "text/html", "")->error());
    EXPECT_FALSE(finishedWith<JSONOnlyOperation>(200, "application/json", "{}")->error());
    // No type at all counts as "application/octet-stream".
    EXPECT_EQ(finishedWith<JSONOnlyOperation>(200, "", "x")->error().code(), -1016);
    EXPECT_TRUE(finishedWith<AFHTTPRequestOperation>(200, "", "x")->hasAcceptableContentType());
}

TEST(AFHTTPRequestOperation, ErrorIsMadeOnceWhicheverThreadAsksFirst) {
    auto operation = finishedWith<AFHTTPRequestOperation>(500, "text/plain", "down");
    std::vector<Error> seen(8);
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&operation, &slot] { slot = operation->error(); });
    for (auto& thread : threads) thread.join();
    for (const auto& error : seen) EXPECT_EQ(error, seen.front());
    EXPECT_EQ(seen.front().code(), -1011);
}

TEST(AFHTTPRequestOperation, TextWithoutCharsetIsLatin1AndTheRestUTF8) {
    const struct {
        const char* contentType;
        std::string body;
        StringEncoding encoding;
        std::optional<std::string> text;
    } cases[] = {
        {"text/plain", "caf\xE9", NSISOLatin1StringEncoding, "caf\u00e9"},
        {" text /html", "\xE9", NSISOLatin1StringEncoding, "\u00e9"},
        {"application/json", "\"caf\xC3\xA9\"", NSUTF8StringEncoding, "\"caf\u00e9\""},
        {"application/json", "\xE9", NSUTF8StringEncoding, std::nullopt},
        {"text/plain; charset=windows-1252", "\x80", NSWindowsCP1252StringEncoding, "\u20ac"},
        {"text/plain; charset=bogus", "ok", NSUTF8StringEncoding, "ok"},
    };
    for (const auto& c : cases) {
        auto operation = finishedWith<AFHTTPRequestOperation>(200, c.contentType, c.body);
        EXPECT_EQ(operation->responseStringEncoding(), c.encoding) << c.contentType;
        EXPECT_EQ(operation->responseString(), c.text) << c.contentType;
    }
    // The connection operation alone knows no Latin-1 rule.
    EXPECT_EQ(finishedWith<AFURLConnectionOperation>(200, "text/plain", "x")->responseStringEncoding(),
              NSUTF8StringEncoding);
}

TEST(AFHTTPRequestOperation, AcceptableSetsInheritAndAddUnions) {
    AFHTTPOperationClass base("Base", &AFHTTPRequestOperation::classObject(), std::nullopt,
                              std::optional<std::set<std::string>>({"application/json"}));
    AFHTTPOperationClass child("Child", &base);
    AFHTTPOperationClass own("Own", &base, std::nullopt, std::optional<std::set<std::string>>({"text/xml"}));
    EXPECT_EQ(child.acceptableStatusCodes(), AFHTTPRequestOperation::acceptableStatusCodes());
    base.addAcceptableContentTypes({"text/json"});
    base.addAcceptableStatusCodes({304});
    EXPECT_EQ(child.acceptableContentTypes(), (std::set<std::string>{"application/json", "text/json"}));
    EXPECT_EQ(statusCodeListString(*child.acceptableStatusCodes()), "200-299,304");
    EXPECT_EQ(own.acceptableContentTypes(), (std::set<std::string>{"text/xml"}));
    EXPECT_EQ(statusCodeListString(*AFHTTPRequestOperation::acceptableStatusCodes()), "200-299");
    // The union is fixed when made: a later change of the superclass does not reach it.
    child.addAcceptableContentTypes({"a/b"});
    base.addAcceptableContentTypes({"c/d"});
    EXPECT_EQ(child.acceptableContentTypes(), (std::set<std::string>{"application/json", "text/json", "a/b"}));
}

TEST(AFHTTPRequestOperation, CanProcessRequestByAcceptHeader) {
    URLRequest request = requestFor("http://127.0.0.1/x");
    EXPECT_TRUE(AFHTTPRequestOperation::canProcessRequest(request));
    EXPECT_FALSE(JSONOnlyOperation::classObject().canProcessRequest(request));
    const struct {
        const char* accept;
        bool suitable;
    } cases[] = {
        {"application/json", true},
        {"text/html, application/json;q=0.9", true},
        {" \n application/json \t; q=1,", true},
        {"text/html", false},
        {"", false},
        {"application/json-patch", false},
    };
    for (const auto& c : cases) {
        request.setValueForHTTPHeaderField(c.accept, "Accept");
        EXPECT_EQ(JSONOnlyOperation::classObject().canProcessRequest(request), c.suitable) << c.accept;
    }
    EXPECT_EQ(contentTypesFromAcceptHeader("a/b;q=1, ,c/d"), (std::set<std::string>{"a/b", "c/d"}));
}
