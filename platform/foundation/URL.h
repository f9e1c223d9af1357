#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A set of ASCII characters that percent-encoding leaves as they are, as the
// platform's URL character sets. Bytes beyond ASCII are always encoded.
class URLAllowedCharacters {
public:
    static URLAllowedCharacters fromCharacters(std::string_view ascii);
    // Letters, digits, "-._~", "!$&'()*+,;=", ":@" and "/?".
    static const URLAllowedCharacters& URLQueryAllowed();
    // Letters, digits, "-._~", "!$&'()*+,=", ":@" and "/" (no ";").
    static const URLAllowedCharacters& URLPathAllowed();

    URLAllowedCharacters removing(std::string_view ascii) const;
    bool contains(char c) const;

private:
    std::bitset<128> bits_;
};

// Percent-encodes, in UTF-8, every byte that is not in the allowed set, as
// "%XX" with upper-case hex digits.
std::string stringByAddingPercentEncoding(std::string_view s, const URLAllowedCharacters& allowed);
// Decodes "%XX" escapes; nullopt when an escape is malformed or the decoded
// bytes are not UTF-8.
std::optional<std::string> stringByRemovingPercentEncoding(std::string_view s);

// A URL value, as the platform's URL class: file URLs made from paths, and URLs
// parsed from text (scheme, authority, path, query, fragment; RFC 3986 syntax).
// The parts are kept as written; `path`, `host` and the path-component
// operations decode percent escapes. Two URLs are equal when their absolute
// strings are.
//
// Unlike the platform, making a file URL never looks at the disk: a URL names a
// folder (ends in "/") only when the path ends in "/" or the caller says so.
class URL {
public:
    URL() = default;

    // The file URL of a path; a relative path is taken from the current
    // directory, repeated slashes fold.
    static URL fileURLWithPath(std::string_view path);
    static URL fileURLWithPath(std::string_view path, bool isDirectory);
    // Parses the text; nullopt for empty text or text that is not a URL
    // (characters outside the URL syntax, malformed escapes, a bad port).
    static std::optional<URL> URLWithString(std::string_view text);
    // The text resolved as a reference relative to the base (RFC 3986,
    // section 5.2, with dot segments removed); empty text gives the base
    // itself, without its fragment. nullopt when the text is not a URL
    // reference.
    static std::optional<URL> URLWithString(std::string_view text, const URL& base);

    std::string absoluteString() const;
    std::string description() const { return absoluteString(); }

    std::optional<std::string> scheme() const { return scheme_; }
    // The host, percent-decoded; nullopt when there is none ("file:///x").
    std::optional<std::string> host() const;
    std::optional<int> port() const;
    std::optional<std::string> query() const { return query_; }
    std::optional<std::string> fragment() const { return fragment_; }
    bool isFileURL() const;
    bool hasDirectoryPath() const;

    // The percent-decoded path without a trailing "/" (a lone "/" stays).
    std::string path() const;
    std::string lastPathComponent() const;
    std::string pathExtension() const;
    std::vector<std::string> pathComponents() const;

    URL URLByAppendingPathComponent(std::string_view component, bool isDirectory = false) const;
    // The URL of the folder holding the last component, ending in "/".
    URL URLByDeletingLastPathComponent() const;
    URL URLByAppendingPathExtension(std::string_view extension) const;
    URL URLByDeletingPathExtension() const;

    bool operator==(const URL& other) const { return absoluteString() == other.absoluteString(); }

private:
    URL withRawPath(std::string rawPath) const;

    std::optional<std::string> scheme_;
    std::optional<std::string> authority_;  // raw: [userinfo@]host[:port]
    std::string path_;                      // raw, percent-encoded
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};
