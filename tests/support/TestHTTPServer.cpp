#include "support/TestHTTPServer.h"

#include <httplib.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace memorant_test {

namespace {

std::shared_ptr<EVP_PKEY> makeKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key) throw std::runtime_error("could not make a key");
    return std::shared_ptr<EVP_PKEY>(key, &EVP_PKEY_free);
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for the subject name and alternative name, signed by the
// issuer (self-signed without one).
TestIdentity makeIdentity(const std::string& commonName, const char* altName, bool isAuthority,
                          const TestIdentity* issuer) {
    TestIdentity identity;
    identity.key = makeKey();
    X509* x = X509_new();
    X509_set_version(x, 2);
    static long serial = 1;
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 3600L * 24 * 30);
    X509_set_pubkey(x, identity.key.get());
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                               -1, 0);
    X509* issuerCertificate = issuer ? issuer->certificate.get() : x;
    X509_set_issuer_name(x, X509_get_subject_name(issuerCertificate));
    addExtension(x, issuerCertificate, NID_basic_constraints, isAuthority ? "critical,CA:TRUE" : "CA:FALSE");
    if (isAuthority && !altName) addExtension(x, issuerCertificate, NID_key_usage, "critical,keyCertSign,cRLSign");
    if (altName) addExtension(x, issuerCertificate, NID_subject_alt_name, altName);
    X509_sign(x, issuer ? issuer->key.get() : identity.key.get(), EVP_sha256());
    identity.certificate = std::shared_ptr<X509>(x, &X509_free);
    return identity;
}

}  // namespace

Data TestIdentity::der() const {
    int length = i2d_X509(certificate.get(), nullptr);
    Data out(static_cast<std::size_t>(length));
    unsigned char* p = out.data();
    i2d_X509(certificate.get(), &p);
    return out;
}

const TestCertificates& TestCertificates::shared() {
    static const TestCertificates certificates = [] {
        TestCertificates c;
        c.authority = makeIdentity("Memorant Test Authority", nullptr, true, nullptr);
        c.server = makeIdentity("127.0.0.1", "IP:127.0.0.1", false, &c.authority);
        c.wrongHost = makeIdentity("other.example", "DNS:other.example", false, &c.authority);
        c.selfSigned = makeIdentity("127.0.0.1", "IP:127.0.0.1", true, nullptr);
        c.forged = makeIdentity("127.0.0.1", "IP:127.0.0.1", true, nullptr);
        return c;
    }();
    return certificates;
}

TestHTTPServer::TestHTTPServer() : server_(std::make_unique<httplib::Server>()), scheme_("http") {
    port_ = server_->bind_to_any_port("127.0.0.1");
}

TestHTTPServer::TestHTTPServer(const TestIdentity& identity, const std::vector<TestIdentity>& extraChain)
    : scheme_("https") {
    server_ = std::make_unique<httplib::SSLServer>([identity, extraChain](SSL_CTX& context) {
        SSL_CTX_use_certificate(&context, identity.certificate.get());
        SSL_CTX_use_PrivateKey(&context, identity.key.get());
        for (const auto& extra : extraChain) {
            X509_up_ref(extra.certificate.get());
            SSL_CTX_add_extra_chain_cert(&context, extra.certificate.get());
        }
        return true;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
}

void TestHTTPServer::start() {
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() only reaches a server whose accept loop runs: wait for it (the
    // listening socket already takes connections meanwhile).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_->is_running() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

TestHTTPServer::~TestHTTPServer() {
    release();
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

std::string TestHTTPServer::url(const std::string& path) const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHTTPServer::stallUntilReleased(std::chrono::seconds bound) {
    std::unique_lock lock(mutex_);
    released_.wait_for(lock, bound, [this] { return isReleased_; });
}

void TestHTTPServer::release() {
    std::lock_guard lock(mutex_);
    isReleased_ = true;
    released_.notify_all();
}

}  // namespace memorant_test
