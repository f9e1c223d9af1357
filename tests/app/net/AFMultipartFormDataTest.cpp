#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <functional>

#include "app/net/AFHTTPClient.h"
#include "app/net/AFStreamingMultipartFormData.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"
#include "support/TestHTTPServer.h"

using memorant_test::runMainLoopUntil;
using memorant_test::TempDir;
using memorant_test::TestHTTPServer;

namespace {

const std::string kBoundary = "Boundary+0xAbCdEfGbOuNdArY";

// Reads the whole stream with buffers of one size; -1 stops.
std::string readAll(InputStream& stream, std::size_t bufferSize, std::vector<ssize_t>* counts = nullptr) {
    std::string out;
    std::vector<std::uint8_t> buffer(bufferSize);
    for (int guard = 0; guard < 1000000; ++guard) {
        const ssize_t n = stream.read(buffer.data(), buffer.size());
        if (counts) counts->push_back(n);
        if (n <= 0) break;
        out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(n));
    }
    return out;
}

URLRequest finalized(AFStreamingMultipartFormData& form) {
    return form.requestByFinalizingMultipartFormData();
}

// A stream that gives some bytes and then fails.
class FailingStream : public InputStream {
public:
    ssize_t read(std::uint8_t* buffer, std::size_t length) override {
        if (given_ >= 3) {
            failWithError(Error(NSPOSIXErrorDomain, 5, Value::dictionary({{NSLocalizedDescriptionKey, "I/O error"}})));
            return -1;
        }
        const std::size_t n = std::min<std::size_t>(length, 3 - given_);
        std::memset(buffer, 'f', n);
        given_ += n;
        return static_cast<ssize_t>(n);
    }
    bool hasBytesAvailable() const override { return streamStatus() == StreamStatus::Open; }

private:
    std::size_t given_ = 0;
};

}  // namespace

TEST(AFMultipartFormDataTest, FramesOneFieldAndTwoPartsExactly) {
    AFStreamingMultipartFormData one(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    one.appendPartWithFormData(dataFromString("1"), "a");
    URLRequest request = finalized(one);
    const std::string expected =
        "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + kBoundary + "--\r\n";
    request.HTTPBodyStream()->open();
    EXPECT_EQ(readAll(*request.HTTPBodyStream(), 4096), expected);
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(expected.size()));
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Type"), "multipart/form-data; boundary=" + kBoundary);

    AFStreamingMultipartFormData two(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    two.appendPartWithFormData(dataFromString("1"), "a");
    two.appendPartWithFileData(dataFromString("{}"), "deck", "deck.json", "application/json");
    request = finalized(two);
    const std::string both = "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1" + "\r\n--" +
                             kBoundary +
                             "\r\nContent-Disposition: form-data; name=\"deck\"; filename=\"deck.json\"\r\n"
                             "Content-Type: application/json\r\n\r\n{}\r\n--" +
                             kBoundary + "--\r\n";
    request.HTTPBodyStream()->open();
    EXPECT_EQ(readAll(*request.HTTPBodyStream(), 4096), both);
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(both.size()));

    // Small buffers lose and repeat nothing; a copy reads the same from the start.
    for (std::size_t size : {1u, 7u, 29u}) {
        auto copy = request.HTTPBodyStream()->copy();
        copy->open();
        EXPECT_EQ(readAll(*copy, size), both) << size;
    }

    // Without parts the request stays as it was.
    AFStreamingMultipartFormData none(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    request = finalized(none);
    EXPECT_FALSE(request.HTTPBodyStream());
    EXPECT_FALSE(request.valueForHTTPHeaderField("Content-Type"));
}

TEST(AFMultipartFormDataTest, QuotesAndLineBreaksInNamesCannotBreakTheFraming) {
    const std::string name = "a\"b\r\nX-Injected: 1";
    const std::string fileName = "evil\".png\r\n\r\nbody";
    const std::string escapedName = "a%22b%0D%0AX-Injected: 1";
    const std::string escapedFile = "evil%22.png%0D%0A%0D%0Abody";
    const struct {
        const char* how;
        std::function<void(AFStreamingMultipartFormData&)> append;
        std::string disposition;
    } cases[] = {
        {"form data", [&](auto& form) { form.appendPartWithFormData(dataFromString("1"), name); },
         "form-data; name=\"" + escapedName + "\""},
        {"file data",
         [&](auto& form) { form.appendPartWithFileData(dataFromString("1"), name, fileName, "image/png"); },
         "form-data; name=\"" + escapedName + "\"; filename=\"" + escapedFile + "\""},
        {"stream",
         [&](auto& form) {
             form.appendPartWithInputStream(InputStream::inputStreamWithData(dataFromString("1")), name, fileName, 1,
                                            "image/png");
         },
         "form-data; name=\"" + escapedName + "\"; filename=\"" + escapedFile + "\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        AFStreamingMultipartFormData form(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
        c.append(form);
        URLRequest request = finalized(form);
        request.HTTPBodyStream()->open();
        const std::string body = readAll(*request.HTTPBodyStream(), 4096);
        EXPECT_NE(body.find("\r\nContent-Disposition: " + c.disposition + "\r\n"), std::string::npos) << body;
        EXPECT_EQ(body.find("\r\nX-Injected"), std::string::npos) << body;
        EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(body.size()));
    }
}

TEST(AFMultipartFormDataTest, PacketSizeCapsEveryReadAndAClosedStreamReadsNothing) {
    AFStreamingMultipartFormData form(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    form.appendPartWithFileData(Data(5000, 'x'), "big", "big.bin", "application/octet-stream");
    form.appendPartWithFormData(dataFromString("end"), "tail");
    form.throttleBandwidthWithPacketSize(1024, 0.2);
    std::vector<double> pauses;
    form.bodyStream()->setSleepFunction([&](double seconds) { pauses.push_back(seconds); });
    URLRequest request = finalized(form);
    auto stream = request.HTTPBodyStream();
    stream->open();
    std::vector<ssize_t> counts;
    const std::string body = readAll(*stream, 64 * 1024, &counts);
    EXPECT_EQ(std::to_string(body.size()), request.valueForHTTPHeaderField("Content-Length"));
    for (ssize_t n : counts) EXPECT_LE(n, 1024);
    EXPECT_GE(counts.size(), 5u);
    EXPECT_FALSE(pauses.empty());
    for (double p : pauses) EXPECT_EQ(p, 0.2);

    stream->close();
    std::uint8_t buffer[16];
    EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
    EXPECT_FALSE(stream->hasBytesAvailable());
}

TEST(AFMultipartFormDataTest, FailingOrShrunkenPartsStopTheBodyWithAnError) {
    TempDir dir;
    // A part whose stream fails gives -1 and its error, never a moved write position.
    AFStreamingMultipartFormData failing(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    failing.appendPartWithInputStream(std::make_shared<FailingStream>(), "s", "s.bin", 100, "application/octet-stream");
    auto request = finalized(failing);
    auto stream = request.HTTPBodyStream();
    stream->open();
    std::vector<ssize_t> counts;
    readAll(*stream, 64, &counts);
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), -1);
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Error);
    EXPECT_EQ(stream->streamError().code(), 5);

    // A file that shrank after it was added ends the same way.
    const std::string path = dir.file("deck.bin");
    std::ofstream(path) << std::string(300, 'd');
    AFStreamingMultipartFormData shrunk(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    ASSERT_TRUE(shrunk.appendPartWithFileURL(URL::fileURLWithPath(path), "deck"));
    request = finalized(shrunk);
    std::ofstream(path, std::ios::trunc) << std::string(100, 'd');
    stream = request.HTTPBodyStream();
    stream->open();
    counts.clear();
    const std::string body = readAll(*stream, 64, &counts);
    EXPECT_EQ(counts.back(), -1);
    EXPECT_TRUE(stream->streamError());
    EXPECT_LT(body.size(), std::stoul(*request.valueForHTTPHeaderField("Content-Length")));

    // A file that grew is sent only up to the length announced.
    AFStreamingMultipartFormData grown(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    ASSERT_TRUE(grown.appendPartWithFileURL(URL::fileURLWithPath(path), "deck"));
    request = finalized(grown);
    std::ofstream(path, std::ios::app) << std::string(50, 'g');
    request.HTTPBodyStream()->open();
    EXPECT_EQ(std::to_string(readAll(*request.HTTPBodyStream(), 64).size()),
              request.valueForHTTPHeaderField("Content-Length"));
}

TEST(AFMultipartFormDataTest, FileURLPartsThatCannotBeReadAreRefused) {
    AFStreamingMultipartFormData form(URLRequest(URL::URLWithString("http://h/up")), NSUTF8StringEncoding);
    Error error;
    EXPECT_FALSE(form.appendPartWithFileURL(*URL::URLWithString("http://h/file.json"), "f", &error));
    EXPECT_EQ(error.domain(), "CorvexErrorDomain");
    EXPECT_EQ(error.code(), -1000);
    EXPECT_EQ(error.localizedFailureReason(), "Expected URL to be a file URL");
    EXPECT_FALSE(form.appendPartWithFileURL(URL::fileURLWithPath("/nonexistent/deck.json"), "f", &error));
    EXPECT_EQ(error.code(), -1000);
    EXPECT_EQ(error.localizedFailureReason(), "File URL not reachable.");
    EXPECT_TRUE(form.bodyStream()->isEmpty());
}

TEST(AFMultipartFormDataTest, UploadReachesTheServerAsStreamed) {
    TestHTTPServer server;
    // A real multipart parser reads the form as the client framed it.
    std::map<std::string, std::vector<httplib::MultipartFormData>> fields;
    std::string contentLength;
    server.server().Post("/share/upload.php", [&](const httplib::Request& req, httplib::Response& res) {
        for (const auto& [name, file] : req.files) fields[name].push_back(file);
        contentLength = req.get_header_value("Content-Length");
        res.set_content("http://share/link", "text/plain");
    });
    // The raw bytes, under a type the server does not parse.
    std::string received;
    server.server().Post("/raw", [&](const httplib::Request& req, httplib::Response& res) {
        received = req.body;
        res.set_content("ok", "text/plain");
    });
    server.start();
    TempDir dir;
    const std::string path = dir.file("deck.json");
    std::ofstream(path) << std::string(70000, 'j');

    auto client = AFHTTPClient::clientWithBaseURL(*URL::URLWithString(server.url("/")));
    auto build = [&](const std::string& where) {
        return client->multipartFormRequestWithMethod(
            "POST", where, Value::dictionary({{"user", "Ann"}, {"tags", Value::array({"a", "b"})}}),
            [&](AFStreamingMultipartFormData& form) {
                ASSERT_TRUE(
                    form.appendPartWithFileURL(URL::fileURLWithPath(path), "deck", "deck.json", "application/json"));
            });
    };
    auto send = [&](const URLRequest& request) {
        std::optional<std::string> reply;
        client->enqueueHTTPRequestOperation(client->HTTPRequestOperationWithRequest(
            request,
            [&](auto, const std::any& object) { reply = stringFromData(*std::any_cast<std::optional<Data>>(object)); },
            [&](auto, const Error& error) {
                ADD_FAILURE() << error.localizedDescription();
                reply = "";
            }));
        EXPECT_TRUE(runMainLoopUntil([&] { return reply.has_value(); }));
        return reply.value_or("");
    };

    URLRequest request = build("share/upload.php");
    auto expectedStream = request.HTTPBodyStream()->copy();
    expectedStream->open();
    const std::string expected = readAll(*expectedStream, 4096);
    EXPECT_LT(expected.find("name=\"tags[]\"\r\n\r\na\r\n"), expected.find("name=\"user\""));

    EXPECT_EQ(send(request), "http://share/link");
    EXPECT_EQ(contentLength, std::to_string(expected.size()));
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), contentLength);
    ASSERT_EQ(fields["tags[]"].size(), 2u);
    EXPECT_EQ(fields["tags[]"][1].content, "b");
    ASSERT_EQ(fields["user"].size(), 1u);
    EXPECT_EQ(fields["user"][0].content, "Ann");
    ASSERT_EQ(fields["deck"].size(), 1u);
    EXPECT_EQ(fields["deck"][0].filename, "deck.json");
    EXPECT_EQ(fields["deck"][0].content_type, "application/json");
    EXPECT_TRUE(fields["deck"][0].content == std::string(70000, 'j'));

    URLRequest raw = build("raw");
    raw.setValueForHTTPHeaderField("application/octet-stream", "Content-Type");
    EXPECT_EQ(send(raw), "ok");
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
}
