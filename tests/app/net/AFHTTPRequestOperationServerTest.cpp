// The HTTP operations against a real server in this process (cpp-httplib on
// 127.0.0.1, a port the system picks). Every wait is bounded by the main-loop
// helpers; handlers that stall wait for the test to release them.
#include <gtest/gtest.h>
#include <httplib.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>

#include "app/net/AFHTTPRequestOperation.h"
#include "app/net/JSONOnlyOperation.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/ServerTrust.h"
#include "platform/net/URLError.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"
#include "support/TestHTTPServer.h"

using memorant_test::runMainLoopUntil;
using memorant_test::TestCertificates;
using memorant_test::TestHTTPServer;

namespace {

std::string pattern(std::size_t length) {
    std::string s(length, '\0');
    for (std::size_t i = 0; i < length; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

// A body stream that cannot be copied, so it cannot be sent twice.
class OneShotStream : public InputStream {
public:
    explicit OneShotStream(std::string bytes) : bytes_(std::move(bytes)) {}
    ssize_t read(std::uint8_t* buffer, std::size_t length) override {
        const std::size_t n = std::min(length, bytes_.size() - offset_);
        std::memcpy(buffer, bytes_.data() + offset_, n);
        offset_ += n;
        return static_cast<ssize_t>(n);
    }
    bool hasBytesAvailable() const override { return offset_ < bytes_.size(); }

private:
    std::string bytes_;
    std::size_t offset_ = 0;
};

// An output stream that takes at most 100 bytes at a time and refuses every
// other write, reporting space again afterwards.
class SlowOutputStream : public OutputStream {
public:
    ssize_t write(const std::uint8_t* buffer, std::size_t length) override {
        {
            std::lock_guard lock(streamMutex_);
            refuse_ = !refuse_;
            if (!refuse_) {
                const std::size_t n = std::min<std::size_t>(length, 100);
                data_.insert(data_.end(), buffer, buffer + n);
                return static_cast<ssize_t>(n);
            }
            ++refusals_;
        }
        postEvent(StreamEventHasSpaceAvailable);
        return 0;
    }
    bool hasSpaceAvailable() const override { return true; }
    Data data() const {
        std::lock_guard lock(streamMutex_);
        return data_;
    }
    int refusals() const {
        std::lock_guard lock(streamMutex_);
        return refusals_;
    }

private:
    Data data_;
    bool refuse_ = false;
    int refusals_ = 0;
};

class OperationAgainstServer : public ::testing::Test {
protected:
    void SetUp() override {
        auto& s = server.server();
        s.Get("/hello", [this](const httplib::Request&, httplib::Response& res) {
            ++hits;
            res.set_content("hello", "text/plain");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        s.Get("/html",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("<p>x</p>", "text/html"); });
        s.Get("/html-empty", [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/html"); });
        s.Get("/latin1",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("caf\xE9", "text/plain"); });
        s.Get("/redirect", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello", 302); });
        s.Post("/post307", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/echo", 307); });
        s.Post("/echo", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex);
            echoed.push_back(req.body);
            res.set_content(req.body, "text/plain");
        });
        s.Get("/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(pattern(64 * 1024), "application/octet-stream");
        });
        s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            server.stallUntilReleased();
            res.set_content("late", "text/plain");
        });
        // The first 1,000 bytes, then nothing until released; a request with
        // a range gets what it asks for ("/resumable"), or the whole body
        // again with 200 ("/resumable-whole").
        for (const bool honoursRange : {true, false}) {
            s.Get(honoursRange ? "/resumable" : "/resumable-whole",
                  [this, honoursRange](const httplib::Request& req, httplib::Response& res) {
                      {
                          std::lock_guard lock(mutex);
                          ranges.push_back(req.get_header_value("Range"));
                          ifRanges.push_back(req.get_header_value("If-Range"));
                      }
                      res.set_header("ETag", "abc");
                      if (req.has_header("Range")) {
                          if (honoursRange) return res.set_content(resumableBody, "application/octet-stream");
                          // Chunked: the server's own range handling leaves it whole.
                          res.status = 200;
                          return res.set_chunked_content_provider(
                              "application/octet-stream", [this](size_t, httplib::DataSink& sink) {
                                  sink.write(resumableBody.data(), resumableBody.size());
                                  sink.done();
                                  return true;
                              });
                      }
                      res.set_content_provider(resumableBody.size(), "application/octet-stream",
                                               [this](size_t offset, size_t, httplib::DataSink& sink) {
                                                   if (offset == 0) return sink.write(resumableBody.data(), 1000);
                                                   server.stallUntilReleased();
                                                   return false;
                                               });
                  });
        }
        // 64 KiB chunks for as long as the client reads (at most 1 GiB).
        s.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
                static const std::string chunk(64 * 1024, 'z');
                if (offset >= (std::size_t(1) << 30)) return false;
                return sink.write(chunk.data(), chunk.size());
            });
        });
        // Logs in, then sends the client to another origin.
        s.Get("/login-then-away", [this](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") != "Basic dXNlcjpwdw==") {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"deck\"");
                return;
            }
            res.set_redirect(elsewhere.url("/collect"), 302);
        });
        s.Get("/away", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(elsewhere.url("/collect"), 302);
        });
        s.Get("/home", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/private", 302); });
        // The other origin keeps what it was sent and asks for a login too.
        elsewhere.server().Get("/collect", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex);
                collected.push_back(req.get_header_value("Authorization"));
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"elsewhere\"");
        });
        elsewhere.start();
        s.Get("/private", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") == "Basic dXNlcjpwdw==")  // user:pw
                return res.set_content("secret", "text/plain");
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"deck\"");
            res.set_content("who?", "text/plain");
        });
        server.start();
        startToken = NotificationCenter::defaultCenter().addObserverForName(
            kCorvexOperationDidStartNotification, {}, nullptr, [this](const Notification& n) {
                notes.push_back({"start", n.object().identity()});
            });
        finishToken = NotificationCenter::defaultCenter().addObserverForName(
            kCorvexOperationDidFinishNotification, {}, nullptr, [this](const Notification& n) {
                notes.push_back({"finish", n.object().identity()});
            });
    }

    void TearDown() override {
        server.release();
        elsewhere.release();
        memorant_test::drainMainLoop();
    }

    URLRequest request(const std::string& path, double timeout = 10) {
        return URLRequest(URL::URLWithString(server.url(path)), timeout);
    }

    // Starts the operation and runs the main loop until it finished and its
    // finish notification arrived.
    ::testing::AssertionResult run(const std::shared_ptr<AFURLConnectionOperation>& operation) {
        operation->start();
        return waitFor(operation);
    }
    ::testing::AssertionResult waitFor(const std::shared_ptr<AFURLConnectionOperation>& operation) {
        return runMainLoopUntil([&] {
            return operation->isFinished() &&
                   std::count(notes.begin(), notes.end(),
                              std::pair<std::string, const void*>{"finish", operation.get()}) > 0;
        });
    }

    // Only the notes of one operation: one that an earlier test left running
    // may still post its own finish while this test runs.
    std::vector<std::pair<std::string, const void*>> notesOf(const void* operation) const {
        std::vector<std::pair<std::string, const void*>> own;
        std::copy_if(notes.begin(), notes.end(), std::back_inserter(own),
                     [&](const auto& note) { return note.second == operation; });
        return own;
    }

    std::mutex mutex;
    std::vector<std::string> echoed, ranges, ifRanges, collected;
    TestHTTPServer server, elsewhere;
    std::atomic<int> hits{0};
    const std::string resumableBody = pattern(5000);
    std::vector<std::pair<std::string, const void*>> notes;
    std::shared_ptr<NotificationObserver> startToken, finishToken;
};

}  // namespace

TEST_F(OperationAgainstServer, RunsFromAQueueWithStartAndFinishNotifications) {
    auto queue = OperationQueue::create("test");
    auto operation = AFHTTPRequestOperation::create(request("/hello"));
    std::atomic<bool> completed{false};
    operation->setCompletionBlock([&] { completed = true; });
    queue->addOperation(operation);
    ASSERT_TRUE(waitFor(operation));
    EXPECT_TRUE(completed);
    EXPECT_EQ(notesOf(operation.get()), (decltype(notes){{"start", operation.get()}, {"finish", operation.get()}}));
    EXPECT_FALSE(operation->error()) << operation->error().description();
    EXPECT_EQ(operation->responseString(), "hello");
    EXPECT_EQ(operation->totalBytesRead(), 5);
    EXPECT_EQ(dynamic_cast<HTTPURLResponse*>(operation->response().get())->statusCode(), 200);
    EXPECT_EQ(operation->completionBlock(), nullptr);  // let go after it ran
}

TEST_F(OperationAgainstServer, CancelBeforeStartFinishesWithoutAConnection) {
    auto operation = AFHTTPRequestOperation::create(request("/hello"));
    operation->cancel();
    operation->cancel();
    ASSERT_TRUE(run(operation));
    EXPECT_EQ(hits, 0);
    EXPECT_EQ(notesOf(operation.get()).front(), (std::pair<std::string, const void*>{"start", operation.get()}));
    const Error error = operation->error();
    EXPECT_EQ(error.domain(), NSURLErrorDomain);
    EXPECT_EQ(error.code(), -999);
    EXPECT_EQ(error.userInfo()[NSURLErrorFailingURLErrorKey].stringValue(), server.url("/hello"));
}

TEST_F(OperationAgainstServer, PauseAsksForTheRestWithRangeAndETag) {
    auto operation = AFHTTPRequestOperation::create(request("/resumable"));
    std::atomic<std::int64_t> read{0};
    operation->setDownloadProgressBlock([&](std::int64_t, std::int64_t total, std::int64_t) { read = total; });
    operation->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return read >= 1000; }));
    operation->pause();
    EXPECT_TRUE(operation->isPaused());
    EXPECT_EQ(operation->request().valueForHTTPHeaderField("Range"), "bytes=1000-");
    EXPECT_EQ(operation->request().valueForHTTPHeaderField("If-Range"), "abc");
    ASSERT_TRUE(runMainLoopUntil([&] {
        const auto own = notesOf(operation.get());
        return !own.empty() && own.back().first == "finish";
    }));
    EXPECT_FALSE(operation->isFinished());
    server.release();

    operation->resume();
    ASSERT_TRUE(waitFor(operation));
    EXPECT_FALSE(operation->error()) << operation->error().description();
    std::lock_guard lock(mutex);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1], "bytes=1000-");
    EXPECT_EQ(ifRanges[1], "abc");
    EXPECT_EQ(stringFromData(*operation->responseData()), resumableBody);
}

TEST_F(OperationAgainstServer, AResumeAnsweredWithTheWholeBodyStartsTheBodyAgain) {
    const struct {
        const char* what;
        std::function<std::shared_ptr<OutputStream>(const std::string& path)> stream;
    } sinks[] = {
        {"memory", [](const std::string&) { return std::shared_ptr<OutputStream>(); }},
        {"file", [](const std::string& path) { return OutputStream::outputStreamToFileAtPath(path, false); }},
    };
    memorant_test::TempDir dir;
    for (const auto& sink : sinks) {
        SCOPED_TRACE(sink.what);
        auto operation = AFHTTPRequestOperation::create(request("/resumable-whole"));
        if (auto stream = sink.stream(dir.file("body"))) operation->setOutputStream(stream);
        std::atomic<std::int64_t> read{0};
        operation->setDownloadProgressBlock([&](std::int64_t, std::int64_t total, std::int64_t) { read = total; });
        operation->start();
        ASSERT_TRUE(runMainLoopUntil([&] { return read >= 1000; }));
        operation->pause();
        ASSERT_TRUE(runMainLoopUntil([&] {
            const auto own = notesOf(operation.get());
            return !own.empty() && own.back().first == "finish";
        }));
        // The first request's handler stays stalled (until the fixture ends),
        // so that the next sink's first request stalls as well.
        operation->resume();
        ASSERT_TRUE(waitFor(operation));
        memorant_test::drainMainLoop();  // the progress counts that are still on their way
        EXPECT_FALSE(operation->error()) << operation->error().description();
        EXPECT_EQ(operation->request().valueForHTTPHeaderField("Range"), "bytes=1000-");
        if (std::string(sink.what) == "memory") {
            EXPECT_EQ(stringFromData(*operation->responseData()), resumableBody);
        } else {
            EXPECT_EQ(stringFromData(*dataWithContentsOfFile(dir.file("body"))), resumableBody);
        }
        EXPECT_EQ(operation->totalBytesRead(), static_cast<std::int64_t>(resumableBody.size()));
    }
}

TEST_F(OperationAgainstServer, BodiesOverTheLimitFailAndTheNextRequestWorks) {
    const struct {
        const char* path;
        std::int64_t limit;
    } cases[] = {
        {"/large", 64 * 1024 - 1},  // announced length over the limit
        {"/endless", 1024 * 1024},  // chunked, without end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto operation = AFHTTPRequestOperation::create(request(c.path));
        operation->setMaximumResponseBodyLength(c.limit);
        std::atomic<std::int64_t> read{0};
        operation->setDownloadProgressBlock([&](std::int64_t, std::int64_t total, std::int64_t) { read = total; });
        ASSERT_TRUE(run(operation));
        EXPECT_EQ(operation->error().domain(), NSURLErrorDomain);
        EXPECT_EQ(operation->error().code(), URLErrorDataLengthExceedsMaximum);
        EXPECT_EQ(operation->responseData(), std::nullopt);
        memorant_test::drainMainLoop();
        EXPECT_LE(read, c.limit);
    }
    EXPECT_EQ(AFHTTPRequestOperation::create(request("/hello"))->maximumResponseBodyLength(), 32 * 1024 * 1024);
    auto normal = AFHTTPRequestOperation::create(request("/large"));
    normal->setMaximumResponseBodyLength(64 * 1024);
    ASSERT_TRUE(run(normal));
    EXPECT_FALSE(normal->error()) << normal->error().description();
    EXPECT_EQ(normal->responseData()->size(), 64u * 1024);
}

TEST_F(OperationAgainstServer, CredentialsGoOnlyToTheOriginThatAskedForThem) {
    // A login answered by a redirect to another origin that asks for one too.
    auto login = AFHTTPRequestOperation::create(request("/login-then-away"));
    login->setCredential(URLCredential::credentialWithUser("user", "pw"));
    ASSERT_TRUE(run(login));
    EXPECT_EQ(dynamic_cast<HTTPURLResponse*>(login->response().get())->statusCode(), 401);

    // The caller's own header, redirected away and redirected home.
    URLRequest away = request("/away");
    away.setValueForHTTPHeaderField("Basic dXNlcjpwdw==", "Authorization");
    ASSERT_TRUE(run(AFHTTPRequestOperation::create(away)));
    URLRequest home = request("/home");
    home.setValueForHTTPHeaderField("Basic dXNlcjpwdw==", "Authorization");
    auto homeOperation = AFHTTPRequestOperation::create(home);
    ASSERT_TRUE(run(homeOperation));
    EXPECT_EQ(homeOperation->responseString(), "secret");

    std::lock_guard lock(mutex);
    EXPECT_EQ(collected, (std::vector<std::string>{"", ""}));
}

TEST_F(OperationAgainstServer, NotFoundGoesToTheFailureCallbackOnTheMainQueue) {
    auto operation = AFHTTPRequestOperation::create(request("/missing"));
    std::optional<Error> failed;
    bool succeeded = false, onMain = false;
    operation->setCompletionBlockWithSuccess([&](auto, const auto&) { succeeded = true; },
                                             [&](auto, const Error& error) {
                                                 onMain = isMainThread();
                                                 failed = error;
                                             });
    operation->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return failed.has_value(); }));
    EXPECT_FALSE(succeeded);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(failed->domain(), "CorvexErrorDomain");
    EXPECT_EQ(failed->code(), -1011);
    EXPECT_EQ(failed->localizedDescription(), "Expected status code in (200-299), got 404");
    EXPECT_EQ(failed->localizedRecoverySuggestion(), "not here");
}

TEST_F(OperationAgainstServer, ContentTypeAndTextRules) {
    auto html = std::make_shared<JSONOnlyOperation>(request("/html"));
    ASSERT_TRUE(run(html));
    EXPECT_EQ(html->error().code(), -1016);
    auto empty = std::make_shared<JSONOnlyOperation>(request("/html-empty"));
    ASSERT_TRUE(run(empty));
    EXPECT_FALSE(empty->error()) << empty->error().description();

    auto latin1 = AFHTTPRequestOperation::create(request("/latin1"));
    ASSERT_TRUE(run(latin1));
    EXPECT_EQ(latin1->responseString(), "caf\u00e9");
}

TEST_F(OperationAgainstServer, RedirectCallbackDecides) {
    auto operation = AFHTTPRequestOperation::create(request("/redirect"));
    std::vector<std::pair<std::string, int>> seen;
    std::string thread;
    operation->setRedirectResponseBlock(
        [&](URLConnection&, const URLRequest& next, const std::shared_ptr<URLResponse>& r) {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            thread = name;
            auto* http = dynamic_cast<HTTPURLResponse*>(r.get());
            seen.emplace_back(next.url()->absoluteString(), http ? http->statusCode() : 0);
            return std::optional<URLRequest>(next);
        });
    ASSERT_TRUE(run(operation));
    EXPECT_EQ(seen,
              (std::vector<std::pair<std::string, int>>{{server.url("/redirect"), 0}, {server.url("/hello"), 302}}));
    EXPECT_EQ(operation->responseString(), "hello");
    EXPECT_EQ(thread, "Corvex");  // connections run on the network thread

    auto stopped = AFHTTPRequestOperation::create(request("/redirect"));
    stopped->setRedirectResponseBlock(
        [](URLConnection&, const URLRequest& next, const std::shared_ptr<URLResponse>& r) {
            return r ? std::nullopt : std::optional<URLRequest>(next);
        });
    ASSERT_TRUE(run(stopped));
    EXPECT_EQ(dynamic_cast<HTTPURLResponse*>(stopped->response().get())->statusCode(), 302);
    EXPECT_EQ(hits, 1);
}

TEST_F(OperationAgainstServer, TemporaryRedirectOfAStreamedPostSendsTheBodyAgainOnlyWhenItCanBeCopied) {
    const std::string body = pattern(3000);
    URLRequest post = request("/post307");
    post.setHTTPMethod("POST");
    post.setHTTPBodyStream(InputStream::inputStreamWithData(dataFromString(body)));
    auto copyable = AFHTTPRequestOperation::create(post);
    ASSERT_TRUE(run(copyable));
    EXPECT_FALSE(copyable->error()) << copyable->error().description();
    EXPECT_EQ(copyable->responseString(), body);

    post.setHTTPBodyStream(std::make_shared<OneShotStream>(body));
    auto oneShot = AFHTTPRequestOperation::create(post);
    ASSERT_TRUE(run(oneShot));
    EXPECT_EQ(oneShot->error().domain(), NSURLErrorDomain);
    EXPECT_EQ(oneShot->error().code(), -999);
    std::lock_guard lock(mutex);
    EXPECT_EQ(echoed, std::vector<std::string>{body});
}

TEST_F(OperationAgainstServer, BasicChallengesUseTheCredentialOnce) {
    const struct {
        const char* what;
        std::shared_ptr<URLCredential> credential;
        int status;
    } cases[] = {
        {"right credential", URLCredential::credentialWithUser("user", "pw"), 200},
        {"wrong credential", URLCredential::credentialWithUser("user", "nope"), 401},
        {"no credential", nullptr, 401},
    };
    for (const auto& c : cases) {
        auto operation = AFHTTPRequestOperation::create(request("/private"));
        operation->setCredential(c.credential);
        ASSERT_TRUE(run(operation)) << c.what;
        auto* http = dynamic_cast<HTTPURLResponse*>(operation->response().get());
        ASSERT_NE(http, nullptr) << c.what;
        EXPECT_EQ(http->statusCode(), c.status) << c.what;
        EXPECT_EQ(operation->error().code(), c.status == 200 ? 0 : -1011) << c.what;
    }
}

TEST_F(OperationAgainstServer, ProgressCallbacksCountEveryByte) {
    URLRequest post = request("/echo");
    post.setHTTPMethod("POST");
    post.setHTTPBody(dataFromString(pattern(100000)));
    auto upload = AFHTTPRequestOperation::create(post);
    std::int64_t sent = 0, lastTotal = 0, expected = 0;
    upload->setUploadProgressBlock([&](std::int64_t n, std::int64_t total, std::int64_t of) {
        sent += n;
        lastTotal = total;
        expected = of;
    });
    ASSERT_TRUE(run(upload));
    EXPECT_EQ(sent, 100000);
    EXPECT_EQ(lastTotal, 100000);
    EXPECT_EQ(expected, 100000);

    auto download = AFHTTPRequestOperation::create(request("/large"));
    std::int64_t received = 0, total = 0, expectedRead = 0;
    download->setDownloadProgressBlock([&](std::int64_t n, std::int64_t t, std::int64_t of) {
        received += n;
        total = t;
        expectedRead = of;
    });
    ASSERT_TRUE(run(download));
    EXPECT_EQ(received, 64 * 1024);
    EXPECT_EQ(total, 64 * 1024);
    EXPECT_EQ(expectedRead, 64 * 1024);
}

TEST_F(OperationAgainstServer, AStallingServerTimesOut) {
    auto operation = AFHTTPRequestOperation::create(request("/stall", 1));
    ASSERT_TRUE(run(operation));
    EXPECT_EQ(operation->error().domain(), NSURLErrorDomain);
    EXPECT_EQ(operation->error().code(), -1001);
}

TEST_F(OperationAgainstServer, ASlowOutputStreamReceivesTheWholeBody) {
    auto operation = AFHTTPRequestOperation::create(request("/large"));
    auto stream = std::make_shared<SlowOutputStream>();
    operation->setOutputStream(stream);
    ASSERT_TRUE(run(operation));
    EXPECT_FALSE(operation->error()) << operation->error().description();
    EXPECT_GT(stream->refusals(), 0);
    EXPECT_EQ(stringFromData(stream->data()), pattern(64 * 1024));
}

// ---- TLS ----

namespace {

class OperationOverTLS : public ::testing::Test {
protected:
    void SetUp() override {
        ServerTrust::setAdditionalSystemAnchors({c.authority.der()});
        AFURLConnectionOperation::setPinnedCertificates({c.selfSigned.der()});
        for (auto* s : {&trusted, &selfSigned, &wrongHost, &forged}) {
            s->server().Get(
                "/x", [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
            s->start();
        }
    }
    void TearDown() override {
        ServerTrust::setAdditionalSystemAnchors({});
        AFURLConnectionOperation::setPinnedCertificates({});
        memorant_test::drainMainLoop();
    }

    const TestCertificates& c = TestCertificates::shared();
    TestHTTPServer trusted{c.server}, selfSigned{c.selfSigned}, wrongHost{c.wrongHost};
    // A leaf of another key for the same address, with the pinned certificate appended.
    TestHTTPServer forged{c.forged, {c.selfSigned}};
};

}  // namespace

TEST_F(OperationOverTLS, TrustAndPinning) {
    const struct {
        const char* what;
        TestHTTPServer* server;
        PinningMode mode;
        bool allowInvalid;
        bool accepted;
    } cases[] = {
        {"valid chain", &trusted, PinningModeNone, false, true},
        {"self-signed", &selfSigned, PinningModeNone, false, false},
        {"self-signed allowed", &selfSigned, PinningModeNone, true, true},
        {"wrong host", &wrongHost, PinningModeNone, false, false},
        {"wrong host allowed", &wrongHost, PinningModeNone, true, true},
        {"pinned certificate", &selfSigned, PinningModeCertificate, false, true},
        {"pinned key", &selfSigned, PinningModePublicKey, false, true},
        {"forged leaf, certificate pin", &forged, PinningModeCertificate, false, false},
        {"forged leaf, key pin", &forged, PinningModePublicKey, false, false},
        {"valid chain without the pin", &trusted, PinningModeCertificate, false, false},
    };
    for (const auto& test : cases) {
        auto operation = AFHTTPRequestOperation::create(URLRequest(URL::URLWithString(test.server->url("/x")), 10));
        operation->setSSLPinningMode(test.mode);
        operation->setAllowsInvalidSSLCertificate(test.allowInvalid);
        operation->start();
        ASSERT_TRUE(runMainLoopUntil([&] { return operation->isFinished(); })) << test.what;
        if (test.accepted) {
            EXPECT_FALSE(operation->error()) << test.what << ": " << operation->error().description();
            EXPECT_EQ(operation->responseString(), "ok") << test.what;
        } else {
            EXPECT_EQ(operation->error().domain(), NSURLErrorDomain) << test.what;
            EXPECT_EQ(operation->error().code(), URLErrorUserCancelledAuthentication) << test.what;
        }
    }
}
