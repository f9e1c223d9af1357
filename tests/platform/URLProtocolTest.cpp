#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/URLProtocol.h"

namespace {

struct Calls {
    std::mutex mutex;
    std::vector<std::string> lines;
    void add(std::string line) {
        std::lock_guard lock(mutex);
        lines.push_back(std::move(line));
    }
    std::vector<std::string> take() {
        std::lock_guard lock(mutex);
        return std::move(lines);
    }
};
Calls calls;

// Answers "memo:" URLs; its canonical form drops the query.
template <int Tag>
struct MemoProtocol : URLProtocol {
    using URLProtocol::URLProtocol;
    static bool canInitWithRequest(const URLRequest& r) {
        return r.url() && r.url()->scheme() == std::optional<std::string>("memo");
    }
    static URLRequest canonicalRequestForRequest(const URLRequest& r) {
        URLRequest canonical = r;
        const std::string text = r.url()->absoluteString();
        canonical.setURL(URL::URLWithString(text.substr(0, text.find('?'))));
        return canonical;
    }
    void startLoading() override {
        calls.add(std::to_string(Tag) + " start " + request().url()->absoluteString() +
                  (isMainThread() ? " on main" : " off main"));
        client()->urlProtocolDidReceiveResponse(*this, response(), URLCacheStoragePolicy::Allowed);
        client()->urlProtocolDidLoadData(*this, Data{'h', 'i'});
        client()->urlProtocolDidFinishLoading(*this);
    }
    void stopLoading() override { calls.add(std::to_string(Tag) + " stop"); }
    URLResponse response() const { return URLResponse(request().url(), "text/plain", 2, "utf-8"); }
};

URLRequest requestFor(const char* url) {
    return URLRequest(URL::URLWithString(url));
}

struct Client : URLProtocolClient {
    void urlProtocolDidReceiveResponse(URLProtocol&, const URLResponse& r, URLCacheStoragePolicy) override {
        calls.add("response " + r.MIMEType().value_or(""));
    }
    void urlProtocolDidLoadData(URLProtocol&, const Data& d) override { calls.add("data " + std::to_string(d.size())); }
    void urlProtocolDidFinishLoading(URLProtocol&) override { calls.add("finished"); }
    void urlProtocolDidFailWithError(URLProtocol&, const Error& e) override {
        calls.add("failed " + e.domain() + " " + std::to_string(e.code()));
    }
};

}  // namespace

TEST(URLProtocolTest, TheNewestClassThatCanAnswerLoadsOnTheLoadingThread) {
    ASSERT_TRUE(URLProtocol::registerClass<MemoProtocol<1>>("Memo1"));
    ASSERT_TRUE(URLProtocol::registerClass<MemoProtocol<2>>("Memo2"));
    EXPECT_FALSE(URLProtocol::registerClass<MemoProtocol<3>>("Memo1"));
    auto names = URLProtocol::registeredClassNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ("Memo2", names[0]);
    EXPECT_EQ("Memo1", names[1]);

    auto client = std::make_shared<Client>();
    auto task = URLLoadingSystem::load(requestFor("memo:/note?x=1"), client);
    URLLoadingSystem::waitForLoadingThread();
    EXPECT_EQ((std::vector<std::string>{"2 start memo:/note off main", "response text/plain", "data 2", "finished"}),
              calls.take());
    task->cancel();
    task->cancel();
    URLLoadingSystem::waitForLoadingThread();
    EXPECT_EQ((std::vector<std::string>{"2 stop"}), calls.take());

    URLProtocol::unregisterClass("Memo2");
    URLLoadingSystem::load(requestFor("memo:/b"), client);
    URLLoadingSystem::load(requestFor("other:/b"), client);
    URLLoadingSystem::waitForLoadingThread();
    EXPECT_EQ((std::vector<std::string>{"1 start memo:/b off main", "response text/plain", "data 2", "finished",
                                        "failed NSURLErrorDomain -1002"}),
              calls.take());
    URLProtocol::unregisterClass("Memo1");
}
