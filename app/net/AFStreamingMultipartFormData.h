#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/net/Stream.h"
#include "platform/net/StringEncoding.h"
#include "platform/net/URLRequest.h"

// "multipart/form-data" bodies that are never assembled in memory: the
// builder collects parts (form fields, data, files by URL, input streams) and
// the body stream frames them on demand while the connection reads it, file
// and stream bodies read as they are sent.
//
// Every part is framed as: boundary ("--B\r\n" for the first part, "\r\n--B\r\n"
// for the others), its header lines ("Name: value\r\n" each, in name order,
// then "\r\n"; in the Content-Disposition line a part's name and file name
// have a quote, CR and LF written as %22, %0D and %0A), its body, and for the last part the final boundary
// ("\r\n--B--\r\n"), with B = kMultipartFormBoundary.
//
// The body always agrees with the Content-Length computed when the request
// was finalised: a part's body is read up to its length and no further, and a
// part whose stream fails or ends early (a file that shrank since it was
// added) stops the body stream with that error (read() returns -1).
inline constexpr const char* kMultipartFormBoundary = "Boundary+0xAbCdEfGbOuNdArY";

// One part and its reading position. The phase changes (which open and close
// the part's input stream) run on the main thread: called elsewhere, the call
// waits until the main thread has made it.
class AFHTTPBodyPart {
public:
    enum Phase { Initial = 0, EncapsulationBoundary = 1, Header = 2, Body = 3, FinalBoundary = 4 };
    using BodySource = std::variant<Data, URL, std::shared_ptr<InputStream>>;

    AFHTTPBodyPart(StringEncoding encoding, std::map<std::string, std::string> headers, BodySource body,
                   std::uint64_t bodyContentLength);
    ~AFHTTPBodyPart();

    StringEncoding stringEncoding() const { return stringEncoding_; }
    const std::map<std::string, std::string>& headers() const { return headers_; }
    const BodySource& body() const { return body_; }
    std::uint64_t bodyContentLength() const { return bodyContentLength_; }
    bool hasInitialBoundary() const { return hasInitialBoundary_; }
    bool hasFinalBoundary() const { return hasFinalBoundary_; }
    void setHasInitialBoundary(bool value) { hasInitialBoundary_ = value; }
    void setHasFinalBoundary(bool value) { hasFinalBoundary_ = value; }
    Phase phase() const { return phase_; }

    // The stream over the body, made on first use.
    std::shared_ptr<InputStream> inputStream();
    std::string stringForHeaders() const;
    std::uint64_t contentLength() const;
    bool hasBytesAvailable();
    // Bytes of the part, phase after phase; -1 when its body failed (error()).
    ssize_t read(std::uint8_t* buffer, std::size_t length);
    std::size_t readData(const Data& data, std::uint8_t* buffer, std::size_t length);
    void transitionToNextPhase();
    Error error() const { return error_; }

    // Encoding, headers, length and body; starts afresh in the boundary phase.
    std::shared_ptr<AFHTTPBodyPart> copy() const;

private:
    void transitionOnMainThread();
    Data boundaryData() const;
    Data finalBoundaryData() const;
    Data encoded(const std::string& text) const;

    StringEncoding stringEncoding_;
    std::map<std::string, std::string> headers_;
    BodySource body_;
    std::uint64_t bodyContentLength_;
    bool hasInitialBoundary_ = false;
    bool hasFinalBoundary_ = false;
    Phase phase_ = EncapsulationBoundary;
    std::int64_t phaseReadOffset_ = 0;
    std::uint64_t bodyBytesRead_ = 0;
    std::shared_ptr<InputStream> inputStream_;
    Error error_;
};

// The input stream of a multipart body. Reads stop at the smaller of the
// buffer's length and numberOfBytesInPacket; after each piece a part gives,
// the reading thread sleeps `delay` seconds when that is above 0.
class AFMultipartBodyStream : public InputStream {
public:
    explicit AFMultipartBodyStream(StringEncoding encoding);
    static std::shared_ptr<AFMultipartBodyStream> create(StringEncoding encoding);

    StringEncoding stringEncoding() const { return stringEncoding_; }
    const std::vector<std::shared_ptr<AFHTTPBodyPart>>& HTTPBodyParts() const { return parts_; }
    void appendHTTPBodyPart(std::shared_ptr<AFHTTPBodyPart> part);
    void setInitialAndFinalBoundaries();
    bool isEmpty() const { return parts_.empty(); }
    std::uint64_t contentLength() const;

    std::uint64_t numberOfBytesInPacket() const { return numberOfBytesInPacket_; }
    void setNumberOfBytesInPacket(std::uint64_t count) { numberOfBytesInPacket_ = count; }
    double delay() const { return delay_; }
    void setDelay(double seconds) { delay_ = seconds; }
    // How the reading thread waits `delay` seconds (tests replace it).
    void setSleepFunction(std::function<void(double)> sleep) { sleep_ = std::move(sleep); }

    void open() override;
    void close() override;
    ssize_t read(std::uint8_t* buffer, std::size_t length) override;
    bool hasBytesAvailable() const override;
    // Always false / null / false, as the platform's subclassed streams answer.
    bool getBuffer(std::uint8_t** buffer, std::size_t* length) const;
    Value propertyForKey(const std::string& key) const override;
    bool setPropertyForKey(const Value& value, const std::string& key);
    // A new stream with the same encoding holding copies of the parts, boundaries set.
    std::shared_ptr<InputStream> copy() const override;

private:
    StringEncoding stringEncoding_;
    std::vector<std::shared_ptr<AFHTTPBodyPart>> parts_;
    std::size_t nextPart_ = 0;
    std::shared_ptr<AFHTTPBodyPart> currentPart_;
    std::uint64_t numberOfBytesInPacket_ = static_cast<std::uint64_t>(INT64_MAX);
    double delay_ = 0;
    std::function<void(double)> sleep_;
};

// The builder the HTTP client hands to the caller's block.
//
// appendPartWithFileURL fails, appending nothing, with "CorvexErrorDomain"
// -1000 and the failure reason "Expected URL to be a file URL" for a URL that
// is not a file URL, or "File URL not reachable." for a file that does not
// exist.
class AFStreamingMultipartFormData {
public:
    AFStreamingMultipartFormData(URLRequest request, StringEncoding encoding);

    const URLRequest& request() const { return request_; }
    StringEncoding stringEncoding() const { return stringEncoding_; }
    const std::shared_ptr<AFMultipartBodyStream>& bodyStream() const { return bodyStream_; }

    // File name: the URL's last path component; MIME type "application/octet-stream".
    bool appendPartWithFileURL(const URL& fileURL, const std::string& name, Error* error = nullptr);
    bool appendPartWithFileURL(const URL& fileURL, const std::string& name, const std::string& fileName,
                               const std::string& mimeType, Error* error = nullptr);
    // `length`: the bytes the stream will give.
    void appendPartWithInputStream(std::shared_ptr<InputStream> stream, const std::string& name,
                                   const std::string& fileName, std::uint64_t length, const std::string& mimeType);
    void appendPartWithFileData(Data data, const std::string& name, const std::string& fileName,
                                const std::string& mimeType);
    void appendPartWithFormData(Data data, const std::string& name);
    void appendPartWithHeaders(std::map<std::string, std::string> headers, Data body);
    void throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes, double delay);

    // Unchanged without parts; otherwise the boundary content type, the
    // content length and the body stream.
    URLRequest requestByFinalizingMultipartFormData();

private:
    URLRequest request_;
    StringEncoding stringEncoding_;
    std::shared_ptr<AFMultipartBodyStream> bodyStream_;
};
