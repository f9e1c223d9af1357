#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "app/net/AFImageRequestOperation.h"
#include "app/net/AFJSONRequestOperation.h"
#include "app/net/AFPropertyListRequestOperation.h"
#include "app/net/AFXMLRequestOperation.h"
#include "platform/foundation/PropertyList.h"
#include "platform/media/ImageCodec.h"
#include "platform/ui/Color.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"
#include "support/TestHTTPServer.h"

using memorant_test::runMainLoopUntil;
using memorant_test::TempDir;
using memorant_test::TestHTTPServer;

namespace {

Data pngOfSize(int width, int height) {
    auto image = Image::render(Size{double(width), double(height)}, 1, [&](GraphicsContext& context) {
        context.setFillColor(Color(1, 0, 0, 1));
        context.fillRect(Rect{0, 0, double(width), double(height)});
    });
    return *image->pngData();
}

// The body, status and content type each path answers with.
struct Reply {
    int status;
    std::string type;
    std::string body;
};

class AFResponseDecodingTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.server().Get(R"(/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
            if (req.path == "/secret") secretFetched = true;
            auto it = replies.find(req.path);
            if (it == replies.end()) {
                res.status = 404;
                return;
            }
            res.status = it->second.status;
            res.set_content(it->second.body, it->second.type);
        });
        server.start();
    }

    URLRequest request(const std::string& path, std::optional<std::string> accept = std::nullopt) {
        URLRequest r(URL::URLWithString(server.url(path)));
        if (accept) r.setValueForHTTPHeaderField(*accept, "Accept");
        return r;
    }

    // Runs the operation and waits for one of its callbacks.
    struct Outcome {
        bool succeeded = false;
        std::any object;
        Error error;
    };
    Outcome run(const std::shared_ptr<AFHTTPRequestOperation>& operation) {
        std::optional<Outcome> outcome;
        operation->setCompletionBlockWithResponseObject(
            [&](auto, const std::any& object) {
                outcome = Outcome{true, object, Error()};
            },
            [&](auto, const Error& error) {
                outcome = Outcome{false, {}, error};
            });
        operation->start();
        EXPECT_TRUE(runMainLoopUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(Outcome());
    }

    TestHTTPServer server;
    std::map<std::string, Reply> replies;
    std::atomic<bool> secretFetched{false};
};

}  // namespace

TEST_F(AFResponseDecodingTest, JSONDecodesOnceAndFailsWithTheReadersError) {
    replies["/space.json"] = {200, "application/json", " "};
    replies["/deck.json"] = {200, "text/json", "{\"cards\":[1,2]}"};
    replies["/bad.json"] = {200, "application/json", "{\"cards\":"};
    replies["/deep.json"] = {200, "application/json", std::string(100000, '[') + std::string(100000, ']')};
    replies["/error.json"] = {500, "application/json", "{\"error\":\"down\"}"};
    replies["/page.json"] = {200, "text/html", "<p>"};

    auto space = run(AFJSONRequestOperation::create(request("/space.json")));
    EXPECT_TRUE(space.succeeded);
    EXPECT_FALSE(std::any_cast<std::optional<Value>>(space.object));

    auto deck = AFJSONRequestOperation::create(request("/deck.json"));
    auto decoded = run(deck);
    ASSERT_TRUE(decoded.succeeded);
    EXPECT_EQ(std::any_cast<std::optional<Value>>(decoded.object),
              Value::dictionary({{"cards", Value::array({1, 2})}}));
    EXPECT_EQ(deck->responseJSON(), deck->responseJSON());

    for (const char* path : {"/bad.json", "/deep.json"}) {
        auto bad = run(AFJSONRequestOperation::create(request(path)));
        EXPECT_FALSE(bad.succeeded) << path;
        EXPECT_EQ(bad.error.domain(), NSCocoaErrorDomain) << path;
        EXPECT_EQ(bad.error.code(), 3840) << path;
    }

    // An HTTP or content-type error fails before anything is decoded.
    auto failed = AFJSONRequestOperation::create(request("/error.json"));
    auto error = run(failed);
    EXPECT_FALSE(error.succeeded);
    EXPECT_EQ(error.error.code(), -1011);
    EXPECT_FALSE(failed->JSONError());
    auto page = run(AFJSONRequestOperation::create(request("/page.json")));
    EXPECT_EQ(page.error.code(), -1016);

    // The factory's callbacks get the request, the response and the object.
    std::optional<Value> fromFactory;
    auto factory = AFJSONRequestOperation::JSONRequestOperationWithRequest(
        request("/deck.json"),
        [&](const URLRequest& r, auto response, const std::optional<Value>& JSON) {
            EXPECT_EQ(r.url()->path(), "/deck.json");
            EXPECT_TRUE(response);
            fromFactory = JSON.value_or(Value("none"));
        },
        nullptr);
    factory->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return fromFactory.has_value(); }));
    EXPECT_EQ((*fromFactory)["cards"].count(), 2u);
}

TEST_F(AFResponseDecodingTest, ClassesAcceptTheirExtensionsAndContentTypes) {
    EXPECT_TRUE(AFJSONRequestOperation::canProcessRequest(request("/file.json")));
    EXPECT_FALSE(AFJSONRequestOperation::canProcessRequest(request("/file.JSON")));
    EXPECT_TRUE(AFJSONRequestOperation::canProcessRequest(request("/file", "text/javascript")));
    EXPECT_TRUE(AFPropertyListRequestOperation::canProcessRequest(request("/a.plist")));
    EXPECT_TRUE(AFXMLRequestOperation::canProcessRequest(request("/feed", "application/xml; q=0.9")));
    EXPECT_FALSE(AFXMLRequestOperation::canProcessRequest(request("/feed", "application/json")));
    for (const char* path : {"/a.tif", "/a.jpeg", "/a.gif", "/a.ico", "/a.cur", "/a.bmp"})
        EXPECT_TRUE(AFImageRequestOperation::canProcessRequest(request(path))) << path;
    EXPECT_TRUE(AFImageRequestOperation::canProcessRequest(request("/a", "image/x-win-bitmap")));
}

TEST_F(AFResponseDecodingTest, PropertyListsDecodeOnceAndHostileOnesFail) {
    const Value list = Value::dictionary({{"name", "deck"}, {"cards", Value::array({1, 2})}});
    const auto binary = *PropertyList::dataFromValue(list, PropertyList::Format::Binary);
    replies["/deck.plist"] = {200, "application/x-plist", stringFromData(binary)};
    replies["/bad.plist"] = {200, "application/x-plist", "<plist><dict><key>a</key>"};
    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    replies["/deep.plist"] = {200, "application/x-plist", deep};
    // A binary list whose one array declares far more members than the bytes hold.
    Data huge(8 + 11 + 32, 0);
    const std::uint8_t object[] = {'b',  'p',  'l',  'i',  's',  't',  '0',  '0',  0xAF, 0x13,
                                   0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x08};
    std::copy(std::begin(object), std::end(object), huge.begin());
    huge[19 + 6] = 1, huge[19 + 7] = 1, huge[19 + 15] = 1, huge[19 + 31] = 18;
    replies["/huge.plist"] = {200, "application/x-plist", stringFromData(huge)};

    auto operation = AFPropertyListRequestOperation::create(request("/deck.plist"));
    auto decoded = run(operation);
    ASSERT_TRUE(decoded.succeeded);
    EXPECT_EQ(std::any_cast<std::optional<Value>>(decoded.object), list);
    EXPECT_EQ(operation->propertyListFormat(), PropertyList::Format::Binary);

    for (const char* path : {"/bad.plist", "/deep.plist", "/huge.plist"}) {
        auto bad = run(AFPropertyListRequestOperation::create(request(path)));
        EXPECT_FALSE(bad.succeeded) << path;
        EXPECT_EQ(bad.error.code(), 3840) << path;
    }
}

TEST_F(AFResponseDecodingTest, ConcurrentReadersDecodeAPropertyListOnce) {
    replies["/deck.plist"] = {
        200, "application/x-plist",
        stringFromData(*PropertyList::dataFromValue(Value::array({"a"}), PropertyList::Format::XML))};
    auto operation = AFPropertyListRequestOperation::create(request("/deck.plist"));
    ASSERT_TRUE(run(operation).succeeded);
    // Readers on many threads see one and the same decoded list.
    auto fresh = AFPropertyListRequestOperation::create(request("/deck.plist"));
    fresh->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return fresh->isFinished(); }));
    std::vector<std::thread> readers;
    std::vector<std::optional<Value>> seen(8);
    for (std::size_t i = 0; i < seen.size(); ++i)
        readers.emplace_back([&, i] { seen[i] = fresh->responsePropertyList(); });
    for (auto& t : readers) t.join();
    for (const auto& value : seen) EXPECT_EQ(value, Value::array({"a"}));
}

TEST_F(AFResponseDecodingTest, XMLParserIsHandedOutUnparsedAndLoadsNothing) {
    TempDir dir;
    const std::string secretFile = dir.file("secret.txt");
    std::ofstream(secretFile) << "FILE-SECRET";
    replies["/secret"] = {200, "text/plain", "NET-SECRET"};
    replies["/feed.xml"] = {200, "text/xml",
                            "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"" + server.url("/secret") +
                                "\" [\n<!ENTITY net SYSTEM \"" + server.url("/secret") +
                                "\">\n<!ENTITY file SYSTEM \"file://" + secretFile +
                                "\">\n<!ENTITY lol \"lol\">\n<!ENTITY lol2 \"&lol;&lol;&lol;&lol;\">\n]>\n"
                                "<r a=\"1\"><n>&net;</n><f>&file;</f><l>&lol2;</l><t>ok &amp; fine</t></r>"};

    struct Collector : XMLParserDelegate {
        std::string text;
        std::vector<std::string> elements;
        void didStartElement(XMLParser&, const std::string& name, const std::string&, const std::string&,
                             const std::map<std::string, std::string>&) override {
            elements.push_back(name);
        }
        void foundCharacters(XMLParser&, const std::string& characters) override { text += characters; }
    };
    auto outcome = run(AFXMLRequestOperation::create(request("/feed.xml")));
    ASSERT_TRUE(outcome.succeeded);
    auto parser = std::any_cast<std::shared_ptr<XMLParser>>(outcome.object);
    ASSERT_TRUE(parser);
    auto collector = std::make_shared<Collector>();
    parser->setDelegate(collector);
    parser->parse();
    EXPECT_EQ(collector->text.find("SECRET"), std::string::npos) << collector->text;
    EXPECT_EQ(collector->text.find("lol"), std::string::npos) << collector->text;
    EXPECT_FALSE(secretFetched);
    EXPECT_EQ(collector->elements.front(), "r");
}

TEST_F(AFResponseDecodingTest, ImagesDecodeAtTheirScaleAndHostileOnesFail) {
    const Data png = pngOfSize(8, 6);
    replies["/card.png"] = {200, "image/png", stringFromData(png)};
    replies["/cut.png"] = {200, "image/png", stringFromData(Data(png.begin(), png.begin() + png.size() / 2))};
    // A GIF whose screen is 65535 x 65535 pixels, a few bytes long.
    const std::string absurd(
        "GIF89a\xFF\xFF\xFF\xFF\x80\x00\x00\xFF\xFF\xFF\x00\x00\x00"
        "\x2C\x00\x00\x00\x00\xFF\xFF\xFF\xFF\x00\x02\x02\x44\x01\x00\x3B",
        35);
    replies["/absurd.gif"] = {200, "image/gif", absurd};
    replies["/noise.png"] = {200, "image/png", "not an image"};

    auto operation = AFImageRequestOperation::create(request("/card.png"));
    auto outcome = run(operation);
    ASSERT_TRUE(outcome.succeeded);
    auto image = std::any_cast<std::shared_ptr<Image>>(outcome.object);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 8);
    EXPECT_EQ(image->scale(), operation->imageScale());
    EXPECT_EQ(operation->responseImage(), image);
    operation->setImageScale(4);
    auto again = operation->responseImage();
    ASSERT_TRUE(again);
    EXPECT_NE(again, image);
    EXPECT_EQ(again->scale(), 4);
    EXPECT_EQ(again->size().width, 2);

    for (const char* path : {"/cut.png", "/absurd.gif", "/noise.png"}) {
        auto bad = run(AFImageRequestOperation::create(request(path)));
        EXPECT_FALSE(bad.succeeded) << path;
        EXPECT_EQ(bad.error.domain(), "CorvexErrorDomain") << path;
        EXPECT_EQ(bad.error.code(), -1016) << path;
    }

    // The factory with a processing block hands on what the block made.
    std::shared_ptr<Image> processed;
    auto factory = AFImageRequestOperation::imageRequestOperationWithRequest(
        request("/card.png"),
        [](std::shared_ptr<Image>) {
            return Image::render(Size{1, 1}, 1, nullptr);
        },
        [&](const URLRequest&, auto, std::shared_ptr<Image> result) { processed = result; }, nullptr);
    factory->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return processed != nullptr; }));
    EXPECT_EQ(processed->pixelWidth(), 1);
}
