#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/foundation/FileManager.h"
#include "platform/net/ServerTrust.h"
#include "platform/net/URLContentReader.h"
#include "platform/net/URLError.h"
#include "support/TestEnvironment.h"
#include "support/TestHTTPServer.h"

using memorant_test::TestCertificates;
using memorant_test::TestHTTPServer;

namespace {

class URLContentReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.server().Get("/deck.json", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(2000, 'x'), "application/json");
        });
        server.server().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/json", [](size_t offset, httplib::DataSink& sink) {
                if (offset >= 4000) {
                    sink.done();
                    return true;
                }
                std::string part(500, 'y');
                sink.write(part.data(), part.size());
                return true;
            });
        });
        // A byte every 20 ms, for as long as the client stays (at most 20 s).
        server.server().Get("/trickle", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/json", [](size_t offset, httplib::DataSink& sink) {
                if (offset >= 1000) return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return sink.write("[", 1);
            });
        });
        server.server().Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            server.stallUntilReleased();
            res.set_content("late", "text/plain");
        });
        server.start();
    }

    URL url(const std::string& path) { return *URL::URLWithString(server.url(path)); }

    TestHTTPServer server;
};

}  // namespace

TEST_F(URLContentReaderTest, ReadsWithinTheCapAndRefusesBeyondIt) {
    Error error;
    URLContentReadOptions options;
    options.maxBytes = 2000;
    auto data = readContentsOfURL(url("/deck.json"), options, &error);
    ASSERT_TRUE(data) << error.description();
    EXPECT_EQ(data->size(), 2000u);

    options.maxBytes = 1999;  // the declared length is over the cap
    EXPECT_FALSE(readContentsOfURL(url("/deck.json"), options, &error));
    EXPECT_EQ(error.code(), URLErrorDataLengthExceedsMaximum);
    EXPECT_EQ(error.userInfo()[NSURLErrorFailingURLErrorKey].stringValue(), url("/deck.json").absoluteString());

    options.maxBytes = 1000;  // no declared length: the bytes pass the cap
    EXPECT_FALSE(readContentsOfURL(url("/chunked"), options, &error));
    EXPECT_EQ(error.code(), URLErrorDataLengthExceedsMaximum);
}

TEST_F(URLContentReaderTest, StallsTimeOutAndCancelStops) {
    Error error;
    URLContentReadOptions options;
    options.stallTimeout = 1;
    EXPECT_FALSE(readContentsOfURL(url("/stall"), options, &error));
    EXPECT_EQ(error.domain(), NSURLErrorDomain);
    EXPECT_EQ(error.code(), URLErrorTimedOut);
    server.release();

    std::atomic<int> asked{0};
    options.isCancelled = [&] { return ++asked > 1; };
    EXPECT_FALSE(readContentsOfURL(url("/chunked"), options, &error));
    EXPECT_EQ(error.code(), URLErrorCancelled);
}

TEST_F(URLContentReaderTest, ATrickleEndsAtTheOverallDeadline) {
    Error error;
    URLContentReadOptions options;
    options.stallTimeout = 5;  // the trickle never stalls
    options.totalTimeout = 0.3;
    EXPECT_FALSE(readContentsOfURL(url("/trickle"), options, &error));
    EXPECT_EQ(error.domain(), NSURLErrorDomain);
    EXPECT_EQ(error.code(), URLErrorTimedOut);

    // A reply that fits the deadline still arrives.
    options.totalTimeout = 5;
    EXPECT_TRUE(readContentsOfURL(url("/deck.json"), options, &error)) << error.description();
}

TEST_F(URLContentReaderTest, ErrorsStatusesAndFiles) {
    Error error;
    int status = 0;
    EXPECT_FALSE(readContentsOfURL(url("/missing"), {}, &error, &status));
    EXPECT_EQ(status, 404);
    EXPECT_EQ(error.code(), URLErrorBadServerResponse);

    memorant_test::TempDir dir;
    ASSERT_TRUE(writeDataAtomically(dataFromString("0123456789"), dir.file("a.json")));
    URLContentReadOptions options;
    EXPECT_EQ(readContentsOfURL(URL::fileURLWithPath(dir.file("a.json")), options), dataFromString("0123456789"));
    options.maxBytes = 9;
    EXPECT_FALSE(readContentsOfURL(URL::fileURLWithPath(dir.file("a.json")), options, &error));
    EXPECT_EQ(error.code(), URLErrorDataLengthExceedsMaximum);
    EXPECT_FALSE(readContentsOfURL(URL::fileURLWithPath(dir.file("none")), {}, &error));
    EXPECT_TRUE(error.isSet());
    EXPECT_FALSE(readContentsOfURL(*URL::URLWithString("ftp://127.0.0.1/x"), {}, &error));
    EXPECT_EQ(error.code(), URLErrorUnsupportedURL);
}

TEST(URLContentReaderTLS, VerifiesTheServer) {
    const auto& c = TestCertificates::shared();
    TestHTTPServer trusted(c.server), selfSigned(c.selfSigned);
    for (auto* s : {&trusted, &selfSigned}) {
        s->server().Get("/x",
                        [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
        s->start();
    }
    ServerTrust::setAdditionalSystemAnchors({c.authority.der()});
    Error error;
    EXPECT_EQ(readContentsOfURL(*URL::URLWithString(trusted.url("/x")), {}, &error), dataFromString("ok"))
        << error.description();
    EXPECT_FALSE(readContentsOfURL(*URL::URLWithString(selfSigned.url("/x")), {}, &error));
    EXPECT_EQ(error.domain(), NSURLErrorDomain);
    ServerTrust::setAdditionalSystemAnchors({});
}
