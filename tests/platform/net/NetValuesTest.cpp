#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/FileManager.h"
#include "platform/net/ServiceHost.h"
#include "platform/net/Stream.h"
#include "platform/net/StringEncoding.h"
#include "platform/net/URLRequest.h"
#include "support/TestEnvironment.h"

TEST(StringEncoding, IANANamesMapThroughICUAliases) {
    const struct {
        const char* name;
        StringEncoding encoding;
    } cases[] = {
        {"utf-8", NSUTF8StringEncoding},
        {"UTF8", NSUTF8StringEncoding},
        {"\"utf-8\"", NSUTF8StringEncoding},
        {"ISO-8859-1", NSISOLatin1StringEncoding},
        {"latin1", NSISOLatin1StringEncoding},
        {"windows-1252", NSWindowsCP1252StringEncoding},
        {"us-ascii", NSASCIIStringEncoding},
        {"Shift_JIS", NSShiftJISStringEncoding},
        {"UTF-16LE", NSUTF16LittleEndianStringEncoding},
        {"no-such-charset", 0},
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(encodingFromIANACharsetName(c.name), c.encoding) << c.name;
}

TEST(StringEncoding, DecodesOrRefuses) {
    const Data latin1 = {'c', 'a', 'f', 0xE9};
    EXPECT_EQ(decodeString(latin1, NSISOLatin1StringEncoding), "caf\u00e9");
    EXPECT_EQ(decodeString(latin1, NSUTF8StringEncoding), std::nullopt);
    EXPECT_EQ(decodeString({0x80}, NSWindowsCP1252StringEncoding), "\u20ac");
    EXPECT_EQ(decodeString({0xFF}, NSASCIIStringEncoding), std::nullopt);
    EXPECT_EQ(decodeString({'h', 0, 'i', 0}, NSUTF16LittleEndianStringEncoding), "hi");
}

TEST(HTTPURLResponse, ReadsTypeCharsetAndLengthFromHeaders) {
    HTTPHeaderFields headers;
    headers.set("content-type", "Text/HTML; Charset=\"ISO-8859-1\"");
    headers.set("Content-Length", "42");
    HTTPURLResponse response(URL::URLWithString("http://127.0.0.1/a"), 200, "HTTP/1.1", headers);
    EXPECT_EQ(response.MIMEType(), "text/html");
    EXPECT_EQ(response.textEncodingName(), "ISO-8859-1");
    EXPECT_EQ(response.expectedContentLength(), 42);
    EXPECT_EQ(response.valueForHTTPHeaderField("CONTENT-TYPE"), "Text/HTML; Charset=\"ISO-8859-1\"");

    HTTPURLResponse bare(std::nullopt, 204, "HTTP/1.1", {});
    EXPECT_EQ(bare.MIMEType(), std::nullopt);
    EXPECT_EQ(bare.textEncodingName(), std::nullopt);
    EXPECT_EQ(bare.expectedContentLength(), -1);

    auto restored = URLResponse::fromValue(response.toValue());
    auto* http = dynamic_cast<HTTPURLResponse*>(restored.get());
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(http->statusCode(), 200);
    EXPECT_EQ(http->textEncodingName(), "ISO-8859-1");
}

TEST(URLRequest, HeadersAreCaseInsensitiveAndBodiesExclusive) {
    URLRequest request(URL::URLWithString("http://127.0.0.1/x"));
    EXPECT_EQ(request.timeoutInterval(), 60.0);
    request.setValueForHTTPHeaderField("a", "Accept");
    request.setValueForHTTPHeaderField("b", "accept");
    EXPECT_EQ(request.valueForHTTPHeaderField("ACCEPT"), "b");
    EXPECT_EQ(request.allHTTPHeaderFields().all().size(), 1u);
    request.setHTTPBody(dataFromString("x"));
    request.setHTTPBodyStream(InputStream::inputStreamWithData(dataFromString("y")));
    EXPECT_FALSE(request.HTTPBody());
    auto restored = URLRequest::fromValue(request.toValue());
    EXPECT_EQ(restored.url(), request.url());
    EXPECT_EQ(restored.valueForHTTPHeaderField("Accept"), "b");
    EXPECT_EQ(restored.HTTPBodyStream(), nullptr);  // streams are not archived
}

TEST(Streams, MemoryAndFileStreamsReportWhatTheyHold) {
    auto memory = OutputStream::outputStreamToMemory();
    memory->open();
    const Data bytes = dataFromString("hello");
    EXPECT_EQ(memory->write(bytes.data(), bytes.size()), 5);
    EXPECT_EQ(*memory->propertyForKey(NSStreamDataWrittenToMemoryStreamKey).asData(), bytes);

    memorant_test::TempDir dir;
    auto file = OutputStream::outputStreamToFileAtPath(dir.file("out"), false);
    file->open();
    EXPECT_EQ(file->write(bytes.data(), bytes.size()), 5);
    EXPECT_EQ(file->propertyForKey(NSStreamFileCurrentOffsetKey).integerValue(), 5);
    file->close();
    auto append = OutputStream::outputStreamToFileAtPath(dir.file("out"), true);
    append->open();
    EXPECT_EQ(append->propertyForKey(NSStreamFileCurrentOffsetKey).integerValue(), 5);

    auto missing = OutputStream::outputStreamToFileAtPath(dir.file("no/such/folder"), false);
    missing->open();
    EXPECT_EQ(missing->streamStatus(), StreamStatus::Error);
    EXPECT_EQ(missing->write(bytes.data(), bytes.size()), -1);

    auto input = InputStream::inputStreamWithData(bytes);
    std::uint8_t buffer[3];
    input->open();
    EXPECT_EQ(input->read(buffer, 3), 3);
    auto again = input->copy();  // starts over
    again->open();
    std::uint8_t all[8];
    EXPECT_EQ(again->read(all, 8), 5);
    EXPECT_EQ(input->read(all, 8), 2);
}

TEST(ServiceHost, EnvironmentOverridesTheInfoDictionary) {
    unsetenv(kServiceHostEnvironmentVariable);
    EXPECT_EQ(serviceHost(), "share.memorant.org");
    setenv(kServiceHostEnvironmentVariable, " 127.0.0.1:8080\n", 1);
    EXPECT_EQ(serviceHost(), "127.0.0.1:8080");
    EXPECT_EQ(serviceDomainName(), "127.0.0.1");
    setenv(kServiceHostEnvironmentVariable, "[::1]:9000", 1);
    EXPECT_EQ(serviceDomainName(), "[::1]");
    unsetenv(kServiceHostEnvironmentVariable);
}
