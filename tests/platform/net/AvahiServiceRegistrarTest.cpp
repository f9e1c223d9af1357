#include "platform/net/AvahiServiceRegistrar.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/MainLoop.h"

namespace {

// Runs a shell command; its standard output and its exit status.
std::pair<std::string, int> run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {"popen failed", -1};
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

struct PublishingDelegate : NetServiceDelegate {
    int published = 0;
    std::map<std::string, std::int64_t> failure;
    void netServiceDidPublish(NetService&) override { ++published; }
    void netServiceDidNotPublish(NetService&, const std::map<std::string, std::int64_t>& error) override {
        failure = error;
    }
};

// Inside the namespace: publish through the daemon and find the service with
// the daemon's own browser.
void publishAndBrowse() {
    NetServiceRegistrar::setShared(makeAvahiServiceRegistrar());
    auto delegate = std::make_shared<PublishingDelegate>();
    auto service = NetService::create("local.", "_memrc1._tcp.", "Memorant Namespace Test", 0);
    service->setDelegate(delegate);
    service->publish(NetService::ListenForConnections);
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return delegate->published || !delegate->failure.empty(); }));
    ASSERT_EQ(delegate->published, 1) << "error code " << delegate->failure[NSNetServicesErrorCode];
    const auto [browsed, status] = run("avahi-browse --resolve --parsable --terminate _memrc1._tcp 2>&1");
    EXPECT_EQ(status, 0) << browsed;
    EXPECT_NE(browsed.find(";Memorant\\032Namespace\\032Test;_memrc1._tcp;local;"), std::string::npos) << browsed;
    EXPECT_NE(browsed.find(";" + std::to_string(service->port()) + ";"), std::string::npos) << browsed;

    // The same name again, while the first is advertised: a collision.
    auto rivalDelegate = std::make_shared<PublishingDelegate>();
    auto rival = NetService::create("local.", "_memrc1._tcp.", "Memorant Namespace Test", 0);
    rival->setDelegate(rivalDelegate);
    rival->publish(NetService::ListenForConnections);
    ASSERT_TRUE(memorant_test::runMainLoopUntil(
        [&] { return rivalDelegate->published || !rivalDelegate->failure.empty(); }));
    EXPECT_EQ(rivalDelegate->published, 0);
    EXPECT_EQ(rivalDelegate->failure[NSNetServicesErrorCode], NSNetServicesCollisionError);
    EXPECT_EQ(rivalDelegate->failure[NSNetServicesErrorDomain], kNetServicesRegistrarErrorDomain);
    service->stop();
    NetServiceRegistrar::setShared(nullptr);
}

// The service is published through a real mDNS daemon and found by its
// browser. The daemons run in a network and mount namespace of the test's own
// (a dummy interface, a private /run), so nothing reaches any other machine;
// where such a namespace or the daemons are not available, the test says why
// it did not run.
TEST(AvahiServiceRegistrarTest, APublishedServiceIsFoundInANamespaceOfItsOwn) {
    if (std::getenv("MEMORANT_INSIDE_AVAHI_NAMESPACE")) return publishAndBrowse();

    for (const char* tool : {"unshare", "ip", "dbus-daemon", "dbus-send", "avahi-daemon", "avahi-browse"})
        if (run(std::string("command -v ") + tool + " >/dev/null 2>&1").second != 0)
            GTEST_SKIP() << tool << " is not installed";
    if (const auto [output, status] = run("unshare --net --mount true 2>&1"); status != 0)
        GTEST_SKIP() << "no network namespace of our own here: " << output;

    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = 0;
    const std::string script = std::string(MEMORANT_TEST_FIXTURES) + "/../platform/net/avahi-namespace.sh";
    const std::string filter = std::string("--gtest_filter=") +
                               ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const auto [output, status] =
        run("unshare --net --mount sh '" + script + "' '" + self + "' '" + filter + "' 2>&1");
    if (status == 77) GTEST_SKIP() << "the namespace could not be set up: " << output;
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

TEST(AvahiServiceRegistrarTest, NoDaemonToTalkToIsAnUnknownErrorReportedLater) {
    // A system bus address where nobody listens: the client cannot reach a daemon.
    const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string saved = previous ? previous : "";
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/memorant-test-bus", 1);
    auto registrar = makeAvahiServiceRegistrar();
    std::map<std::string, std::int64_t> answer;
    bool answered = false;
    registrar->registerService({"Nobody", "_memrc1._tcp.", "local.", 4242},
                               [&](const std::map<std::string, std::int64_t>& error) {
                                   answer = error;
                                   answered = true;
                               });
    EXPECT_FALSE(answered) << "answers come through the run loop";
    EXPECT_TRUE(memorant_test::runMainLoopUntil([&] { return answered; }));
    EXPECT_EQ(answer[NSNetServicesErrorCode], NSNetServicesUnknownError);
    EXPECT_EQ(answer[NSNetServicesErrorDomain], kNetServicesRegistrarErrorDomain);
    if (previous)
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", saved.c_str(), 1);
    else
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
