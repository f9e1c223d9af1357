#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Data.h"

namespace httplib {
class Server;
}
typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace memorant_test {

// A certificate with its private key, made with libcrypto (P-256 keys).
struct TestIdentity {
    std::shared_ptr<X509> certificate;
    std::shared_ptr<EVP_PKEY> key;
    Data der() const;
};

// The identities the TLS tests need, made once per process: a certificate
// authority, a server certificate it signed for 127.0.0.1, one it signed for
// another host name, a self-signed certificate for 127.0.0.1 and a second
// self-signed one with another key (a forgery) for 127.0.0.1.
struct TestCertificates {
    TestIdentity authority;
    TestIdentity server;
    TestIdentity wrongHost;
    TestIdentity selfSigned;
    TestIdentity forged;
    static const TestCertificates& shared();
};

// An in-process cpp-httplib server on 127.0.0.1 with a port the system picks,
// plain or TLS (with a certificate, its key and extra certificates sent after
// it in the chain). It listens from construction and stops with the object.
//
// Handlers that must stall wait on stallUntilReleased(), which returns when
// the test (or the server's destruction) releases it, or after its bound.
class TestHTTPServer {
public:
    TestHTTPServer();
    TestHTTPServer(const TestIdentity& identity, const std::vector<TestIdentity>& extraChain = {});
    ~TestHTTPServer();
    TestHTTPServer(const TestHTTPServer&) = delete;
    TestHTTPServer& operator=(const TestHTTPServer&) = delete;

    httplib::Server& server() { return *server_; }
    int port() const { return port_; }
    // "http://127.0.0.1:<port><path>" (https for a TLS server).
    std::string url(const std::string& path) const;
    // Runs the accept loop on a thread of its own; returns once it runs.
    void start();

    void stallUntilReleased(std::chrono::seconds bound = std::chrono::seconds(10));
    void release();

private:
    std::unique_ptr<httplib::Server> server_;
    std::string scheme_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool isReleased_ = false;
};

}  // namespace memorant_test
