#include <gtest/gtest.h>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/URL.h"

TEST(URL, ParsesComponents) {
    struct Case {
        const char* text;
        std::optional<std::string> scheme, host;
        std::optional<int> port;
        std::string path;
        std::optional<std::string> query, fragment;
        std::string lastPathComponent, pathExtension;
        bool isFile;
    } cases[] = {
        {"https://example.com:8080/a/b%20c.txt?x=1&y=a%2Fb#top", "https", "example.com", 8080, "/a/b c.txt",
         "x=1&y=a%2Fb", "top", "b c.txt", "txt", false},
        {"file:///tmp/My%20Deck.flashcards/", "file", std::nullopt, std::nullopt, "/tmp/My Deck.flashcards",
         std::nullopt, std::nullopt, "My Deck.flashcards", "flashcards", true},
        {"FILE://localhost/x", "FILE", "localhost", std::nullopt, "/x", std::nullopt, std::nullopt, "x", "", true},
        {"http://host", "http", "host", std::nullopt, "", std::nullopt, std::nullopt, "", "", false},
        {"http://user:pw@[::1]:80/?", "http", "::1", 80, "/", "", std::nullopt, "/", "", false},
        {"card-attachment:DECKID/photo.jpg", "card-attachment", std::nullopt, std::nullopt, "DECKID/photo.jpg",
         std::nullopt, std::nullopt, "photo.jpg", "jpg", false},
        {"card-attachment://photo.jpg", "card-attachment", "photo.jpg", std::nullopt, "", std::nullopt, std::nullopt,
         "", "", false},
        {"images/a.png#f", std::nullopt, std::nullopt, std::nullopt, "images/a.png", std::nullopt, "f", "a.png", "png",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto url = URL::URLWithString(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(c.text, url->absoluteString());
        EXPECT_EQ(c.scheme, url->scheme());
        EXPECT_EQ(c.host, url->host());
        EXPECT_EQ(c.port, url->port());
        EXPECT_EQ(c.path, url->path());
        EXPECT_EQ(c.query, url->query());
        EXPECT_EQ(c.fragment, url->fragment());
        EXPECT_EQ(c.lastPathComponent, url->lastPathComponent());
        EXPECT_EQ(c.pathExtension, url->pathExtension());
        EXPECT_EQ(c.isFile, url->isFileURL());
    }
}

TEST(URL, RefusesTextThatIsNoURL) {
    for (const char* text :
         {"", "a b", "http://exa mple.com/", "http://host:port/", "http://host:99999/", "http://h/%zz", "http://h/%4",
          "http://h/\u00e9", "http://h/a#b#c", "http://[::1/", "http://h/a\"b", "http://h/{x}", "http://h/a\\b"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(URL::URLWithString(text));
    }
}

TEST(URL, FileURLsFromPaths) {
    struct Case {
        std::string path;
        std::string absolute;
        std::string decodedPath;
        bool isDirectory;
    } cases[] = {
        {"/tmp/a b#c?d%.txt", "file:///tmp/a%20b%23c%3Fd%25.txt", "/tmp/a b#c?d%.txt", false},
        {"/tmp//dir/", "file:///tmp/dir/", "/tmp/dir", true},
        {"/", "file:///", "/", true},
        {"/x/D\u00e9ck;1.txt", "file:///x/D%C3%A9ck%3B1.txt", "/x/D\u00e9ck;1.txt", false},
        // A name in an old 8-bit encoding: the file system's bytes come back as they are.
        {"/x/D\xe9" "ck.flashcards", "file:///x/D%E9ck.flashcards", "/x/D\xe9" "ck.flashcards", false},
        {"rel/x.txt", "file://" + FileManager::defaultManager().currentDirectoryPath() + "/rel/x.txt",
         FileManager::defaultManager().currentDirectoryPath() + "/rel/x.txt", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        URL url = URL::fileURLWithPath(c.path);
        EXPECT_EQ(c.absolute, url.absoluteString());
        EXPECT_EQ(c.decodedPath, url.path());
        EXPECT_EQ(c.isDirectory, url.hasDirectoryPath());
        EXPECT_TRUE(url.isFileURL());
        EXPECT_EQ(url, URL::URLWithString(c.absolute));
    }
    EXPECT_EQ("file:///a/b/", URL::fileURLWithPath("/a/b", true).absoluteString());
    EXPECT_NE(URL::fileURLWithPath("/a/b"), URL::fileURLWithPath("/a/b", true));
}

TEST(URL, PathOperations) {
    auto u = [](const char* text) { return *URL::URLWithString(text); };
    struct Case {
        URL result;
        std::string expected;
    } cases[] = {
        {u("file:///a/b/c.txt").URLByDeletingLastPathComponent(), "file:///a/b/"},
        {u("file:///a/b/").URLByDeletingLastPathComponent(), "file:///a/"},
        {u("file:///a").URLByDeletingLastPathComponent(), "file:///"},
        {u("file:///a/b/").URLByAppendingPathComponent("d e.txt"), "file:///a/b/d%20e.txt"},
        {u("file:///a/b").URLByAppendingPathComponent("c"), "file:///a/b/c"},
        {u("file:///a/b").URLByAppendingPathComponent("c", true), "file:///a/b/c/"},
        {u("http://host").URLByAppendingPathComponent("x"), "http://host/x"},
        {u("https://h/a/b.txt?q=1").URLByAppendingPathComponent("c"), "https://h/a/b.txt/c?q=1"},
        {u("file:///a/b.txt").URLByDeletingPathExtension(), "file:///a/b"},
        {u("file:///a/b.tar.gz").URLByDeletingPathExtension(), "file:///a/b.tar"},
        {u("file:///a.b/c").URLByDeletingPathExtension(), "file:///a.b/c"},
        {u("file:///a/.hidden").URLByDeletingPathExtension(), "file:///a/.hidden"},
        {u("file:///a/d.bundle/").URLByDeletingPathExtension(), "file:///a/d/"},
        {u("file:///a/b").URLByAppendingPathExtension("txt"), "file:///a/b.txt"},
        {u("file:///a/dir/").URLByAppendingPathExtension("bundle"), "file:///a/dir.bundle/"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.result.absoluteString());

    EXPECT_EQ((std::vector<std::string>{"/", "a", "b c"}), u("file:///a/b%20c/").pathComponents());
    EXPECT_EQ("b c", u("file:///a/b%20c/").lastPathComponent());
}

TEST(URL, PercentEncoding) {
    auto allowed = URLAllowedCharacters::URLQueryAllowed().removing("!*'();:@&=+$,/?%#[]");
    EXPECT_EQ("a%20b%26c%3Dd%2F%C3%A9-._~", stringByAddingPercentEncoding("a b&c=d/\u00e9-._~", allowed));
    EXPECT_EQ("a b&c", stringByRemovingPercentEncoding("a%20b%26c"));
    EXPECT_EQ("\u00e9", stringByRemovingPercentEncoding("%c3%A9"));
    EXPECT_EQ(std::nullopt, stringByRemovingPercentEncoding("100%"));
    EXPECT_EQ(std::nullopt, stringByRemovingPercentEncoding("%g0"));
    EXPECT_EQ(std::nullopt, stringByRemovingPercentEncoding("%FF"));  // not UTF-8
}
