#include "platform/net/ServerTrust.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace {

std::mutex gAnchorsMutex;
std::vector<Data> gAdditionalAnchors;

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr parse(const Data& der) {
    const unsigned char* p = der.data();
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

Data toDER(X509* x) {
    int length = i2d_X509(x, nullptr);
    if (length <= 0) return {};
    Data out(static_cast<std::size_t>(length));
    unsigned char* p = out.data();
    i2d_X509(x, &p);
    return out;
}

bool isIPAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

ServerTrust::ServerTrust(std::vector<Data> certificateChain, std::optional<std::string> host)
    : chain_(std::move(certificateChain)), host_(std::move(host)) {}

void ServerTrust::setAdditionalSystemAnchors(std::vector<Data> anchors) {
    std::lock_guard lock(gAnchorsMutex);
    gAdditionalAnchors = std::move(anchors);
}

std::vector<Data> ServerTrust::additionalSystemAnchors() {
    std::lock_guard lock(gAnchorsMutex);
    return gAdditionalAnchors;
}

bool ServerTrust::evaluate(Result* result) {
    verified_.clear();
    failure_.clear();
    if (chain_.empty()) return false;
    X509Ptr leaf = parse(chain_[0]);
    if (!leaf) return false;
    std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> untrusted(
        sk_X509_new_null(), [](STACK_OF(X509) * s) { sk_X509_pop_free(s, X509_free); });
    for (std::size_t i = 1; i < chain_.size(); ++i)
        if (X509* x = parse(chain_[i]).release()) sk_X509_push(untrusted.get(), x);

    std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), &X509_STORE_free);
    X509_STORE_set_default_paths(store.get());
    std::vector<Data> anchors = additionalSystemAnchors();
    anchors.insert(anchors.end(), anchors_.begin(), anchors_.end());
    for (const auto& der : anchors)
        if (X509Ptr x = parse(der)) X509_STORE_add_cert(store.get(), x.get());
    ERR_clear_error();

    std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> ctx(X509_STORE_CTX_new(), &X509_STORE_CTX_free);
    if (!X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), untrusted.get())) return false;
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
    X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
    if (host_) {
        X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_SSL_SERVER);
        if (isIPAddress(*host_))
            X509_VERIFY_PARAM_set1_ip_asc(param, host_->c_str());
        else
            X509_VERIFY_PARAM_set1_host(param, host_->c_str(), host_->size());
    }
    const bool ok = X509_verify_cert(ctx.get()) == 1;
    if (ok) {
        if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(ctx.get()))
            for (int i = 0; i < sk_X509_num(chain); ++i) verified_.push_back(toDER(sk_X509_value(chain, i)));
    } else {
        failure_ = X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
    }
    ERR_clear_error();
    if (result) *result = ok ? Unspecified : RecoverableTrustFailure;
    return true;
}

std::optional<Data> ServerTrust::publicKeyOfCertificate(const Data& der) {
    X509Ptr x = parse(der);
    if (!x) return std::nullopt;
    X509_PUBKEY* key = X509_get_X509_PUBKEY(x.get());
    if (!key) return std::nullopt;
    unsigned char* out = nullptr;
    int length = i2d_X509_PUBKEY(key, &out);
    if (length <= 0) return std::nullopt;
    Data bytes(out, out + length);
    OPENSSL_free(out);
    return bytes;
}

std::optional<Data> ServerTrust::publicKey() const {
    if (chain_.empty()) return std::nullopt;
    return publicKeyOfCertificate(chain_[0]);
}

std::vector<Data> certificatesFromPEM(const std::string& pem) {
    std::vector<Data> out;
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    while (X509* x = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        out.push_back(toDER(x));
        X509_free(x);
    }
    ERR_clear_error();
    return out;
}
