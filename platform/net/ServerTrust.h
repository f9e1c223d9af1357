#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"

// A server's trust (SecTrust) over OpenSSL: the certificate chain a server
// presented (DER, leaf first) and the policy to evaluate it with — an SSL
// server policy for a host name or IP address, or the basic X.509 policy when
// no host is given.
//
// Evaluation builds a chain from the leaf through the presented certificates
// to an anchor: the system's trust store, the certificates added by
// setAdditionalSystemAnchors (what a device's installed profiles would be),
// and the trust's own anchor certificates; then checks validity dates and, for
// the SSL policy, the host. Anchors need not be self-signed: any anchor
// certificate may end a chain.
class ServerTrust {
public:
    // The platform's trust results.
    enum Result {
        Invalid = 0,
        Proceed = 1,
        Deny = 3,
        Unspecified = 4,
        RecoverableTrustFailure = 5,
        FatalTrustFailure = 6,
        OtherError = 7
    };

    ServerTrust(std::vector<Data> certificateChain, std::optional<std::string> host);

    std::size_t certificateCount() const { return chain_.size(); }
    const Data& certificateAtIndex(std::size_t index) const { return chain_.at(index); }
    const std::optional<std::string>& host() const { return host_; }

    void setAnchorCertificates(std::vector<Data> anchors) { anchors_ = std::move(anchors); }

    // Evaluates the trust: false when evaluation could not run (no or
    // unreadable certificates); otherwise true with the result, Unspecified
    // for a chain that verifies (nobody set a per-certificate preference),
    // RecoverableTrustFailure for one that does not.
    bool evaluate(Result* result);
    // After a successful evaluation: the verified chain, leaf to anchor (DER).
    const std::vector<Data>& verifiedChain() const { return verified_; }
    // Why the last evaluation failed, in OpenSSL's words.
    const std::string& failureReason() const { return failure_; }

    // The public key of the leaf (DER SubjectPublicKeyInfo).
    std::optional<Data> publicKey() const;
    static std::optional<Data> publicKeyOfCertificate(const Data& der);

    // Certificates trusted process-wide besides the system's store.
    static void setAdditionalSystemAnchors(std::vector<Data> anchors);
    static std::vector<Data> additionalSystemAnchors();

private:
    std::vector<Data> chain_;
    std::optional<std::string> host_;
    std::vector<Data> anchors_;
    std::vector<Data> verified_;
    std::string failure_;
};

// Reads the certificates of a PEM text (DER each); empty when there is none.
std::vector<Data> certificatesFromPEM(const std::string& pem);
