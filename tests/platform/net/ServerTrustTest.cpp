#include <gtest/gtest.h>

#include "platform/net/ServerTrust.h"
#include "support/TestHTTPServer.h"

using memorant_test::TestCertificates;

// Which chains verify, for which host, with which anchors.
TEST(ServerTrust, EvaluatesChainAnchorsAndHost) {
    const auto& c = TestCertificates::shared();
    const struct {
        const char* what;
        std::vector<Data> chain;
        std::optional<std::string> host;
        std::vector<Data> anchors;
        bool verifies;
    } cases[] = {
        {"signed by an anchor", {c.server.der(), c.authority.der()}, "127.0.0.1", {c.authority.der()}, true},
        {"leaf alone, anchor known", {c.server.der()}, "127.0.0.1", {c.authority.der()}, true},
        {"unknown authority", {c.server.der(), c.authority.der()}, "127.0.0.1", {}, false},
        {"self-signed", {c.selfSigned.der()}, "127.0.0.1", {}, false},
        {"self-signed anchor", {c.selfSigned.der()}, "127.0.0.1", {c.selfSigned.der()}, true},
        {"wrong host", {c.wrongHost.der()}, "127.0.0.1", {c.authority.der()}, false},
        {"wrong host, basic policy", {c.wrongHost.der()}, std::nullopt, {c.authority.der()}, true},
        {"other address", {c.server.der()}, "127.0.0.2", {c.authority.der()}, false},
        {"forged leaf with the anchor appended",
         {c.forged.der(), c.selfSigned.der()},
         "127.0.0.1",
         {c.selfSigned.der()},
         false},
    };
    for (const auto& test : cases) {
        ServerTrust trust(test.chain, test.host);
        trust.setAnchorCertificates(test.anchors);
        ServerTrust::Result result = ServerTrust::Invalid;
        ASSERT_TRUE(trust.evaluate(&result)) << test.what;
        EXPECT_EQ(result == ServerTrust::Unspecified, test.verifies) << test.what << ": " << trust.failureReason();
        if (test.verifies) {
            EXPECT_EQ(trust.verifiedChain().front(), test.chain.front()) << test.what;
        }
    }
}

TEST(ServerTrust, PublicKeysAndUnreadableChains) {
    const auto& c = TestCertificates::shared();
    ServerTrust trust({c.server.der()}, "127.0.0.1");
    EXPECT_EQ(trust.publicKey(), ServerTrust::publicKeyOfCertificate(c.server.der()));
    EXPECT_NE(ServerTrust::publicKeyOfCertificate(c.server.der()), ServerTrust::publicKeyOfCertificate(c.forged.der()));
    EXPECT_EQ(ServerTrust::publicKeyOfCertificate({1, 2, 3}), std::nullopt);
    ServerTrust empty({}, "127.0.0.1");
    ServerTrust::Result result;
    EXPECT_FALSE(empty.evaluate(&result));
    ServerTrust garbage({{1, 2, 3}}, "127.0.0.1");
    EXPECT_FALSE(garbage.evaluate(&result));
}
