#include <gtest/gtest.h>

#include "platform/foundation/Base64.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/XMLParser.h"

TEST(URLResolutionTest, ResolvesReferencesAgainstABase) {
    // RFC 3986, 5.4, with the base "http://a/b/c/d;p?q".
    const URL base = *URL::URLWithString("http://a/b/c/d;p?q");
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"https://x/y", "https://x/y"},
    };
    for (const auto& [reference, expected] : cases) {
        auto url = URL::URLWithString(reference, base);
        ASSERT_TRUE(url) << reference;
        EXPECT_EQ(url->absoluteString(), expected) << reference;
    }
    EXPECT_EQ(URL::URLWithString("list", *URL::URLWithString("http://h"))->absoluteString(), "http://h/list");
    EXPECT_FALSE(URL::URLWithString("a b", base));
    EXPECT_EQ(URL::URLWithString("q?a[k]=1&b[]=2", base)->query(), "a[k]=1&b[]=2");
}

TEST(Base64Test, EncodesWithPaddingAndRejectsWhatIsNotBase64) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xFF\xFE", "//4="},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(Base64::encode(std::string_view(text)), encoded);
        EXPECT_EQ(Base64::decode(encoded), dataFromString(text));
    }
    for (const char* bad : {"Zg=", "Z===", "Zm9v!A==", "Zg==Zg==", "=Zg="}) EXPECT_FALSE(Base64::decode(bad)) << bad;
}

TEST(PropertyListLimitsTest, DeeplyNestedListsAreRefusedWithoutExhaustingTheStack) {
    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    Error error;
    EXPECT_FALSE(PropertyList::valueFromData(dataFromString(deep), &error));
    EXPECT_EQ(error.code(), 3840);

    // A binary list of 300,000 arrays, each holding the next.
    const std::uint32_t count = 300000;
    Data binary = dataFromString("bplist00");
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t i = 0; i < count; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(binary.size()));
        if (i + 1 < count) {
            binary.push_back(0xA1);
            for (int shift : {16, 8, 0}) binary.push_back(static_cast<std::uint8_t>((i + 1) >> shift));
        } else {
            binary.push_back(0xA0);
        }
    }
    const std::uint64_t table = binary.size();
    for (std::uint32_t offset : offsets)
        for (int shift : {24, 16, 8, 0}) binary.push_back(static_cast<std::uint8_t>(offset >> shift));
    Data trailer(32, 0);
    trailer[6] = 4, trailer[7] = 3;
    for (int i = 0; i < 8; ++i) {
        trailer[8 + i] = static_cast<std::uint8_t>(std::uint64_t(count) >> (8 * (7 - i)));
        trailer[24 + i] = static_cast<std::uint8_t>(table >> (8 * (7 - i)));
    }
    binary.insert(binary.end(), trailer.begin(), trailer.end());
    EXPECT_FALSE(PropertyList::valueFromData(binary, &error));

    // Ordinary nesting still reads, in both formats.
    Value nested = Value::array({1});
    for (int i = 0; i < 100; ++i) nested = Value::array({nested, Value::dictionary({{"k", i}})});
    for (auto format : {PropertyList::Format::XML, PropertyList::Format::Binary}) {
        PropertyList::Format found{};
        auto back = PropertyList::valueAndFormatFromData(*PropertyList::dataFromValue(nested, format), &found, &error);
        EXPECT_EQ(back, nested);
        EXPECT_EQ(found, format);
    }
}

namespace {

struct Recorder : XMLParserDelegate {
    std::vector<std::string> events;
    bool abortAtSecond = false;
    void parserDidStartDocument(XMLParser&) override { events.push_back("start"); }
    void parserDidEndDocument(XMLParser&) override { events.push_back("end"); }
    void didStartElement(XMLParser& parser, const std::string& name, const std::string& uri, const std::string& qname,
                         const std::map<std::string, std::string>& attributes) override {
        std::string event = "<" + qname + (uri.empty() ? "" : " {" + uri + "}" + name);
        for (const auto& [key, value] : attributes) event += " " + key + "=" + value;
        events.push_back(event + ">");
        if (abortAtSecond && events.size() == 3) parser.abortParsing();
    }
    void didEndElement(XMLParser&, const std::string&, const std::string&, const std::string& qname) override {
        events.push_back("</" + qname + ">");
    }
    void foundCharacters(XMLParser&, const std::string& text) override { events.push_back(text); }
    void parseErrorOccurred(XMLParser&, const Error& error) override {
        events.push_back("error " + std::to_string(error.code()));
    }
};

}  // namespace

TEST(XMLParserTest, ReportsElementsTextAndErrors) {
    auto recorder = std::make_shared<Recorder>();
    XMLParser parser(
        dataFromString("<d:deck xmlns:d=\"urn:d\" n=\"1\"><card>a &amp; b<![CDATA[<c>]]></card></d:deck>"));
    parser.setDelegate(recorder);
    EXPECT_TRUE(parser.parse());
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "<d:deck {urn:d}deck n=1>", "<card>", "a ", "&",
                                                          " b", "<c>", "</card>", "</d:deck>", "end"}));

    auto broken = std::make_shared<Recorder>();
    XMLParser bad(dataFromString("<deck><card></deck>"));
    bad.setDelegate(broken);
    EXPECT_FALSE(bad.parse());
    EXPECT_EQ(bad.parserError().domain(), "NSXMLParserErrorDomain");
    EXPECT_EQ(std::count_if(broken->events.begin(), broken->events.end(),
                            [](const std::string& e) { return e.rfind("error", 0) == 0; }),
              1);

    auto stopper = std::make_shared<Recorder>();
    stopper->abortAtSecond = true;
    XMLParser stopped(dataFromString("<a><b/><c/><d/></a>"));
    stopped.setDelegate(stopper);
    EXPECT_FALSE(stopped.parse());
    EXPECT_EQ(std::find(stopper->events.begin(), stopper->events.end(), "<d>"), stopper->events.end());

    // Nesting beyond libxml2's depth limit fails instead of recursing on.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    XMLParser tooDeep(dataFromString(deep));
    EXPECT_FALSE(tooDeep.parse());
}
