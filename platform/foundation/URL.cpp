#include "platform/foundation/URL.h"

#include <cctype>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"

namespace {

constexpr std::string_view kUnreserved = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
constexpr std::string_view kSubDelims = "!$&'()*+,;=";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Characters a parsed component may hold besides "%XX" escapes.
const URLAllowedCharacters& pathSyntax() {
    static const auto set =
        URLAllowedCharacters::fromCharacters(std::string(kUnreserved) + std::string(kSubDelims) + ":@/");
    return set;
}
// Square brackets are taken in queries as the platform takes them ("a[k]=1", "b[]=2").
const URLAllowedCharacters& querySyntax() {
    static const auto set =
        URLAllowedCharacters::fromCharacters(std::string(kUnreserved) + std::string(kSubDelims) + ":@/?[]");
    return set;
}
// User info, and the inside of an IP literal host ("[::1]").
const URLAllowedCharacters& userInfoSyntax() {
    static const auto set =
        URLAllowedCharacters::fromCharacters(std::string(kUnreserved) + std::string(kSubDelims) + ":");
    return set;
}
const URLAllowedCharacters& hostSyntax() {
    static const auto set = URLAllowedCharacters::fromCharacters(std::string(kUnreserved) + std::string(kSubDelims));
    return set;
}

// Every character is in the set or starts a well-formed "%XX" escape.
bool isWellFormed(std::string_view s, const URLAllowedCharacters& allowed) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 2 >= s.size() || hexValue(s[i + 1]) < 0 || hexValue(s[i + 2]) < 0) return false;
            i += 2;
        } else if (!allowed.contains(s[i])) {
            return false;
        }
    }
    return true;
}

bool isScheme(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

struct AuthorityParts {
    std::string_view host;
    std::optional<std::string_view> port;
};

// Splits "[userinfo@]host[:port]"; nullopt when a part breaks the syntax.
std::optional<AuthorityParts> splitAuthority(std::string_view authority) {
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
        if (!isWellFormed(authority.substr(0, at), userInfoSyntax())) return std::nullopt;
        authority.remove_prefix(at + 1);
    }
    AuthorityParts parts;
    std::string_view rest;
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        if (close == std::string_view::npos || !isWellFormed(authority.substr(1, close - 1), userInfoSyntax()))
            return std::nullopt;
        parts.host = authority.substr(0, close + 1);
        rest = authority.substr(close + 1);
    } else {
        auto colon = authority.find(':');
        parts.host = authority.substr(0, colon);
        if (!isWellFormed(parts.host, hostSyntax())) return std::nullopt;
        rest = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    }
    if (!rest.empty()) {
        if (rest.front() != ':') return std::nullopt;
        rest.remove_prefix(1);
        if (rest.size() > 5) return std::nullopt;
        for (char c : rest)
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        if (!rest.empty() && std::stoi(std::string(rest)) > 65535) return std::nullopt;
        parts.port = rest;
    }
    return parts;
}

std::string foldSlashes(std::string_view path) {
    std::string out;
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    return out;
}

// The raw path without trailing slashes (a lone "/" stays), and whether it had one.
std::pair<std::string, bool> withoutTrailingSlash(std::string raw) {
    bool trailing = false;
    while (raw.size() > 1 && raw.back() == '/') {
        raw.pop_back();
        trailing = true;
    }
    return {raw, trailing};
}

}  // namespace

URLAllowedCharacters URLAllowedCharacters::fromCharacters(std::string_view ascii) {
    URLAllowedCharacters set;
    for (char c : ascii)
        if (static_cast<unsigned char>(c) < 128) set.bits_.set(static_cast<unsigned char>(c));
    return set;
}

const URLAllowedCharacters& URLAllowedCharacters::URLQueryAllowed() {
    static const auto set = fromCharacters(std::string(kUnreserved) + "!$&'()*+,;=:@/?");
    return set;
}

const URLAllowedCharacters& URLAllowedCharacters::URLPathAllowed() {
    static const auto set = fromCharacters(std::string(kUnreserved) + "!$&'()*+,=:@/");
    return set;
}

URLAllowedCharacters URLAllowedCharacters::removing(std::string_view ascii) const {
    URLAllowedCharacters set = *this;
    for (char c : ascii)
        if (static_cast<unsigned char>(c) < 128) set.bits_.reset(static_cast<unsigned char>(c));
    return set;
}

bool URLAllowedCharacters::contains(char c) const {
    auto u = static_cast<unsigned char>(c);
    return u < 128 && bits_.test(u);
}

std::string stringByAddingPercentEncoding(std::string_view s, const URLAllowedCharacters& allowed) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (allowed.contains(c)) {
            out += c;
        } else {
            auto u = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        }
    }
    return out;
}

namespace {

// The bytes that the percent escapes stand for, whatever they are; nullopt
// for a malformed escape.
std::optional<std::string> percentDecodedBytes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return std::nullopt;
        int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

}  // namespace

std::optional<std::string> stringByRemovingPercentEncoding(std::string_view s) {
    auto out = percentDecodedBytes(s);
    if (!out || !isValidUTF8(*out)) return std::nullopt;
    return out;
}

URL URL::fileURLWithPath(std::string_view path) {
    return fileURLWithPath(path, !path.empty() && path.back() == '/');
}

URL URL::fileURLWithPath(std::string_view path, bool isDirectory) {
    std::string full;
    if (path.empty() || path.front() != '/') {
        full = FileManager::defaultManager().currentDirectoryPath();
        if (!path.empty()) full += "/" + std::string(path);
    } else {
        full = std::string(path);
    }
    full = foldSlashes(full);
    if (isDirectory && full.back() != '/') full += '/';
    if (!isDirectory) full = withoutTrailingSlash(full).first;
    URL url;
    url.scheme_ = "file";
    url.authority_ = "";
    url.path_ = stringByAddingPercentEncoding(full, URLAllowedCharacters::URLPathAllowed());
    return url;
}

std::optional<URL> URL::URLWithString(std::string_view text) {
    if (text.empty()) return std::nullopt;
    URL url;
    std::string_view rest = text;

    if (auto end = rest.find_first_of(":/?#");
        end != std::string_view::npos && rest[end] == ':' && isScheme(rest.substr(0, end))) {
        url.scheme_ = std::string(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    if (auto hash = rest.find('#'); hash != std::string_view::npos) {
        std::string_view fragment = rest.substr(hash + 1);
        if (!isWellFormed(fragment, querySyntax())) return std::nullopt;
        url.fragment_ = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    if (auto question = rest.find('?'); question != std::string_view::npos) {
        std::string_view query = rest.substr(question + 1);
        if (!isWellFormed(query, querySyntax())) return std::nullopt;
        url.query_ = std::string(query);
        rest = rest.substr(0, question);
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        auto slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        if (!splitAuthority(authority)) return std::nullopt;
        url.authority_ = std::string(authority);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (!isWellFormed(rest, pathSyntax())) return std::nullopt;
    url.path_ = std::string(rest);
    return url;
}

namespace {

// RFC 3986, 5.2.4.
std::string removeDotSegments(std::string_view input) {
    std::string output;
    while (!input.empty()) {
        if (input.substr(0, 3) == "../") {
            input.remove_prefix(3);
        } else if (input.substr(0, 2) == "./") {
            input.remove_prefix(2);
        } else if (input.substr(0, 3) == "/./") {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.substr(0, 4) == "/../" || input == "/..") {
            input = input.size() == 3 ? std::string_view("/") : input.substr(3);
            auto slash = output.rfind('/');
            output.erase(slash == std::string::npos ? 0 : slash);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            auto next = input.find('/', input[0] == '/' ? 1 : 0);
            output += input.substr(0, next);
            input = next == std::string_view::npos ? std::string_view() : input.substr(next);
        }
    }
    return output;
}

}  // namespace

std::optional<URL> URL::URLWithString(std::string_view text, const URL& base) {
    if (text.empty()) {
        URL out = base;
        out.fragment_.reset();
        return out;
    }
    auto reference = URLWithString(text);
    if (!reference) return std::nullopt;
    if (reference->scheme_) {
        reference->path_ = removeDotSegments(reference->path_);
        return reference;
    }
    URL out;
    out.scheme_ = base.scheme_;
    out.fragment_ = reference->fragment_;
    if (reference->authority_) {
        out.authority_ = reference->authority_;
        out.path_ = removeDotSegments(reference->path_);
        out.query_ = reference->query_;
        return out;
    }
    out.authority_ = base.authority_;
    if (reference->path_.empty()) {
        out.path_ = base.path_;
        out.query_ = reference->query_ ? reference->query_ : base.query_;
        return out;
    }
    if (reference->path_[0] == '/') {
        out.path_ = removeDotSegments(reference->path_);
    } else {
        std::string merged;
        if (base.authority_ && base.path_.empty()) {
            merged = "/" + reference->path_;
        } else {
            auto slash = base.path_.rfind('/');
            merged = (slash == std::string::npos ? std::string() : base.path_.substr(0, slash + 1)) + reference->path_;
        }
        out.path_ = removeDotSegments(merged);
    }
    out.query_ = reference->query_;
    return out;
}

std::string URL::absoluteString() const {
    std::string out;
    if (scheme_) out += *scheme_ + ":";
    if (authority_) out += "//" + *authority_;
    out += path_;
    if (query_) out += "?" + *query_;
    if (fragment_) out += "#" + *fragment_;
    return out;
}

std::optional<std::string> URL::host() const {
    if (!authority_) return std::nullopt;
    auto parts = splitAuthority(*authority_);
    if (!parts) return std::nullopt;
    std::string_view host = parts->host;
    if (host.size() >= 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    if (host.empty()) return std::nullopt;
    return stringByRemovingPercentEncoding(host).value_or(std::string(host));
}

std::optional<int> URL::port() const {
    if (!authority_) return std::nullopt;
    auto parts = splitAuthority(*authority_);
    if (!parts || !parts->port || parts->port->empty()) return std::nullopt;
    return std::stoi(std::string(*parts->port));
}

bool URL::isFileURL() const {
    if (!scheme_ || scheme_->size() != 4) return false;
    static constexpr char kFile[] = "file";
    for (std::size_t i = 0; i < 4; ++i) {
        char c = (*scheme_)[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kFile[i]) return false;
    }
    return true;
}

bool URL::hasDirectoryPath() const {
    return !path_.empty() && path_.back() == '/';
}

std::string URL::path() const {
    // A file's path may hold any bytes the file system allows, UTF-8 or not.
    std::string decoded = (isFileURL() ? percentDecodedBytes(path_) : stringByRemovingPercentEncoding(path_))
                              .value_or(path_);
    return withoutTrailingSlash(std::move(decoded)).first;
}

std::string URL::lastPathComponent() const {
    return ::lastPathComponent(path());
}

std::string URL::pathExtension() const {
    return ::pathExtension(path());
}

std::vector<std::string> URL::pathComponents() const {
    return ::pathComponents(path());
}

URL URL::withRawPath(std::string rawPath) const {
    URL url = *this;
    url.path_ = std::move(rawPath);
    return url;
}

URL URL::URLByAppendingPathComponent(std::string_view component, bool isDirectory) const {
    std::string raw = path_;
    if (raw.empty() && authority_) raw = "/";
    if (!raw.empty() && raw.back() != '/') raw += '/';
    if (!raw.empty())
        while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    raw += stringByAddingPercentEncoding(component, URLAllowedCharacters::URLPathAllowed());
    if (isDirectory && !raw.empty() && raw.back() != '/') raw += '/';
    return withRawPath(std::move(raw));
}

URL URL::URLByDeletingLastPathComponent() const {
    std::string raw = withoutTrailingSlash(path_).first;
    if (raw.empty() || raw == "/") return withRawPath(raw);
    auto slash = raw.rfind('/');
    if (slash == std::string::npos) return withRawPath("./");
    return withRawPath(raw.substr(0, slash + 1));
}

URL URL::URLByAppendingPathExtension(std::string_view extension) const {
    auto [raw, trailing] = withoutTrailingSlash(path_);
    if (raw.empty() || raw == "/") return *this;
    raw += '.';
    raw += stringByAddingPercentEncoding(extension, URLAllowedCharacters::URLPathAllowed().removing("/"));
    if (trailing) raw += '/';
    return withRawPath(std::move(raw));
}

URL URL::URLByDeletingPathExtension() const {
    auto [raw, trailing] = withoutTrailingSlash(path_);
    auto slash = raw.rfind('/');
    std::size_t segmentStart = slash == std::string::npos ? 0 : slash + 1;
    auto dot = raw.rfind('.');
    if (dot == std::string::npos || dot <= segmentStart) return *this;
    raw.erase(dot);
    if (trailing) raw += '/';
    return withRawPath(std::move(raw));
}
