#include "platform/foundation/Digest.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace {

// The library's MD5 implementation, looked up once: looking it up for each
// digest takes a lock that threads hashing at the same time wait for.
const EVP_MD* md5Implementation() {
    static const EVP_MD* md = [] {
        const EVP_MD* fetched = EVP_MD_fetch(nullptr, "MD5", nullptr);
        return fetched ? fetched : EVP_md5();
    }();
    return md;
}

}  // namespace

MD5DigestBytes md5Digest(const void* bytes, std::size_t length) {
    MD5DigestBytes out{};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned int size = 0;
    // MD5 over memory fails only when the library cannot allocate its context.
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md5Implementation(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), bytes, length) != 1 || EVP_DigestFinal_ex(ctx.get(), out.data(), &size) != 1 ||
        size != out.size())
        throw std::runtime_error("MD5 digest failed");
    return out;
}

std::string hexString(const void* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::string out;
    out.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 0x0F];
    }
    return out;
}
