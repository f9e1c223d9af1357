#include "model/FCDigest.h"

#include "platform/foundation/Digest.h"

std::string MD5(const Data& data) {
    return hexString(md5Digest(data));
}

std::string fcMD5HexDigest(std::string_view s) {
    // The string is hashed as a C string: a zero byte ends it.
    return hexString(md5Digest(s.substr(0, s.find('\0'))));
}

std::string MD5(std::string_view s) { return fcMD5HexDigest(s); }
