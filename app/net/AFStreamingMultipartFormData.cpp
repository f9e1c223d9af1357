#include "app/net/AFStreamingMultipartFormData.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/net/AFHTTPRequestOperation.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/RunLoop.h"
#include "platform/net/URLError.h"

namespace {

constexpr const char* kCRLF = "\r\n";

std::string initialBoundary() {
    return stringWithFormat("--%@%@", kMultipartFormBoundary, kCRLF);
}
std::string encapsulationBoundary() {
    return stringWithFormat("%@--%@%@", kCRLF, kMultipartFormBoundary, kCRLF);
}
std::string finalBoundary() {
    return stringWithFormat("%@--%@--%@", kCRLF, kMultipartFormBoundary, kCRLF);
}

bool isFinished(StreamStatus status) {
    return status == StreamStatus::AtEnd || status == StreamStatus::Closed || status == StreamStatus::Error;
}

Error shortBodyError(std::uint64_t read, std::uint64_t expected) {
    const std::string reason =
        stringWithFormat("The part's body ended after %llu of %llu bytes.", static_cast<unsigned long long>(read),
                         static_cast<unsigned long long>(expected));
    return Error(NSCocoaErrorDomain, 256,
                 Value::dictionary({{NSLocalizedDescriptionKey, reason}, {NSLocalizedFailureReasonErrorKey, reason}}));
}

Error fileURLError(const std::string& reason) {
    const std::string text = Bundle::main().localizedString(reason, reason, "Corvex");
    return Error(kCorvexErrorDomain, URLErrorBadURL, Value::dictionary({{NSLocalizedFailureReasonErrorKey, text}}));
}

}  // namespace

// ---- AFHTTPBodyPart ----

AFHTTPBodyPart::AFHTTPBodyPart(StringEncoding encoding, std::map<std::string, std::string> headers, BodySource body,
                               std::uint64_t bodyContentLength)
    : stringEncoding_(encoding),
      headers_(std::move(headers)),
      body_(std::move(body)),
      bodyContentLength_(bodyContentLength) {}

AFHTTPBodyPart::~AFHTTPBodyPart() {
    if (inputStream_ && inputStream_->streamStatus() != StreamStatus::Closed) inputStream_->close();
}

std::shared_ptr<InputStream> AFHTTPBodyPart::inputStream() {
    if (!inputStream_) {
        if (auto* data = std::get_if<Data>(&body_))
            inputStream_ = InputStream::inputStreamWithData(*data);
        else if (auto* url = std::get_if<URL>(&body_))
            inputStream_ = InputStream::inputStreamWithFileAtPath(url->path());
        else
            inputStream_ = std::get<std::shared_ptr<InputStream>>(body_);
    }
    return inputStream_;
}

Data AFHTTPBodyPart::encoded(const std::string& text) const {
    return encodeString(text, stringEncoding_).value_or(Data());
}

std::string AFHTTPBodyPart::stringForHeaders() const {
    std::string out;
    for (const auto& [name, value] : headers_) out += stringWithFormat("%@: %@%@", name, value, kCRLF);
    return out + kCRLF;
}

Data AFHTTPBodyPart::boundaryData() const {
    return encoded(hasInitialBoundary_ ? initialBoundary() : encapsulationBoundary());
}

Data AFHTTPBodyPart::finalBoundaryData() const {
    return hasFinalBoundary_ ? encoded(finalBoundary()) : Data();
}

std::uint64_t AFHTTPBodyPart::contentLength() const {
    return boundaryData().size() + encoded(stringForHeaders()).size() + bodyContentLength_ + finalBoundaryData().size();
}

bool AFHTTPBodyPart::hasBytesAvailable() {
    if (phase_ == FinalBoundary) return true;
    if (error_) return false;
    // A body short of its length is read all the same, so that read() reports it.
    if (phase_ == Body && bodyBytesRead_ < bodyContentLength_) return true;
    return !isFinished(inputStream()->streamStatus());
}

std::size_t AFHTTPBodyPart::readData(const Data& data, std::uint8_t* buffer, std::size_t length) {
    const std::size_t offset = static_cast<std::size_t>(std::max<std::int64_t>(phaseReadOffset_, 0));
    const std::size_t count = std::min(data.size() - std::min(offset, data.size()), length);
    if (count) std::memcpy(buffer, data.data() + offset, count);
    phaseReadOffset_ += static_cast<std::int64_t>(count);
    if (static_cast<std::size_t>(phaseReadOffset_) >= data.size()) transitionToNextPhase();
    return count;
}

ssize_t AFHTTPBodyPart::read(std::uint8_t* buffer, std::size_t length) {
    if (error_) return -1;
    std::size_t total = 0;
    if (phase_ == EncapsulationBoundary) total += readData(boundaryData(), buffer + total, length - total);
    if (phase_ == Header) total += readData(encoded(stringForHeaders()), buffer + total, length - total);
    if (phase_ == Body) {
        auto stream = inputStream();
        const std::uint64_t remaining = bodyContentLength_ - bodyBytesRead_;
        if (remaining > 0 && total < length) {
            ssize_t got = 0;
            if (stream->hasBytesAvailable()) {
                got = stream->read(buffer + total,
                                   static_cast<std::size_t>(std::min<std::uint64_t>(length - total, remaining)));
            }
            if (got < 0 || (got == 0 && stream->streamStatus() == StreamStatus::Error)) {
                error_ =
                    stream->streamError() ? stream->streamError() : shortBodyError(bodyBytesRead_, bodyContentLength_);
                return -1;
            }
            if (got == 0) {
                // The stream ended before the length the request announced.
                error_ = shortBodyError(bodyBytesRead_, bodyContentLength_);
                return -1;
            }
            total += static_cast<std::size_t>(got);
            bodyBytesRead_ += static_cast<std::uint64_t>(got);
        }
        // Never more than the announced length, even when the stream has more.
        if (bodyBytesRead_ >= bodyContentLength_) transitionToNextPhase();
    }
    if (phase_ == FinalBoundary) total += readData(finalBoundaryData(), buffer + total, length - total);
    return static_cast<ssize_t>(total);
}

void AFHTTPBodyPart::transitionToNextPhase() {
    if (isMainThread()) return transitionOnMainThread();
    performOnMainThread([this] { transitionOnMainThread(); }, true);
}

void AFHTTPBodyPart::transitionOnMainThread() {
    switch (phase_) {
        case EncapsulationBoundary:
            phase_ = Header;
            break;
        case Header: {
            auto stream = inputStream();
            stream->scheduleInRunLoop(RunLoop::main(), RunLoop::kCommonModes);
            stream->open();
            phase_ = Body;
            break;
        }
        case Body:
            inputStream()->close();
            phase_ = FinalBoundary;
            break;
        default:
            phase_ = EncapsulationBoundary;
            break;
    }
    phaseReadOffset_ = 0;
}

std::shared_ptr<AFHTTPBodyPart> AFHTTPBodyPart::copy() const {
    auto part = std::make_shared<AFHTTPBodyPart>(stringEncoding_, headers_, body_, bodyContentLength_);
    return part;
}

// ---- AFMultipartBodyStream ----

AFMultipartBodyStream::AFMultipartBodyStream(StringEncoding encoding) : stringEncoding_(encoding) {
    sleep_ = [](double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); };
}

std::shared_ptr<AFMultipartBodyStream> AFMultipartBodyStream::create(StringEncoding encoding) {
    return std::make_shared<AFMultipartBodyStream>(encoding);
}

void AFMultipartBodyStream::appendHTTPBodyPart(std::shared_ptr<AFHTTPBodyPart> part) {
    parts_.push_back(std::move(part));
}

void AFMultipartBodyStream::setInitialAndFinalBoundaries() {
    for (auto& part : parts_) {
        part->setHasInitialBoundary(false);
        part->setHasFinalBoundary(false);
    }
    if (!parts_.empty()) {
        parts_.front()->setHasInitialBoundary(true);
        parts_.back()->setHasFinalBoundary(true);
    }
}

std::uint64_t AFMultipartBodyStream::contentLength() const {
    std::uint64_t length = 0;
    for (const auto& part : parts_) length += part->contentLength();
    return length;
}

void AFMultipartBodyStream::open() {
    const StreamStatus status = streamStatus();
    if (status == StreamStatus::Open) return;
    if (status == StreamStatus::NotOpen)
        InputStream::open();
    else
        setStatus(StreamStatus::Open);
    setInitialAndFinalBoundaries();
    nextPart_ = 0;
    currentPart_.reset();
}

void AFMultipartBodyStream::close() {
    setStatus(StreamStatus::Closed);
}

ssize_t AFMultipartBodyStream::read(std::uint8_t* buffer, std::size_t length) {
    const StreamStatus status = streamStatus();
    if (status == StreamStatus::Closed) return 0;
    if (status == StreamStatus::Error) return -1;
    const std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(length, numberOfBytesInPacket_));
    std::size_t total = 0;
    while (total < limit) {
        if (!currentPart_ || !currentPart_->hasBytesAvailable()) {
            if (currentPart_ && currentPart_->error()) break;
            if (nextPart_ >= parts_.size()) break;
            currentPart_ = parts_[nextPart_++];
            continue;
        }
        // Each read is capped at the packet size, a part's piece included.
        const ssize_t got = currentPart_->read(buffer + total, limit - total);
        if (got < 0) {
            failWithError(currentPart_->error());
            return -1;
        }
        total += static_cast<std::size_t>(got);
        if (delay_ > 0 && sleep_) sleep_(delay_);
    }
    return static_cast<ssize_t>(total);
}

bool AFMultipartBodyStream::hasBytesAvailable() const {
    return streamStatus() == StreamStatus::Open;
}

bool AFMultipartBodyStream::getBuffer(std::uint8_t**, std::size_t*) const {
    return false;
}

Value AFMultipartBodyStream::propertyForKey(const std::string&) const {
    return Value();
}

bool AFMultipartBodyStream::setPropertyForKey(const Value&, const std::string&) {
    return false;
}

std::shared_ptr<InputStream> AFMultipartBodyStream::copy() const {
    auto stream = create(stringEncoding_);
    for (const auto& part : parts_) stream->appendHTTPBodyPart(part->copy());
    stream->setInitialAndFinalBoundaries();
    return stream;
}

// ---- AFStreamingMultipartFormData ----

AFStreamingMultipartFormData::AFStreamingMultipartFormData(URLRequest request, StringEncoding encoding)
    : request_(std::move(request)), stringEncoding_(encoding), bodyStream_(AFMultipartBodyStream::create(encoding)) {}

namespace {

// A quoted value of a Content-Disposition header as form submissions write
// it: a quote, CR and LF become %22, %0D and %0A, so that a name can neither
// end the value nor start a header line of its own.
std::string quotedDispositionValue(const std::string& value) {
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"')
            quoted += "%22";
        else if (c == '\r')
            quoted += "%0D";
        else if (c == '\n')
            quoted += "%0A";
        else
            quoted += c;
    }
    return quoted + "\"";
}

std::string contentDisposition(const std::string& name, const std::optional<std::string>& fileName) {
    std::string header = "form-data; name=" + quotedDispositionValue(name);
    if (fileName) header += "; filename=" + quotedDispositionValue(*fileName);
    return header;
}

}  // namespace

bool AFStreamingMultipartFormData::appendPartWithFileURL(const URL& fileURL, const std::string& name, Error* error) {
    return appendPartWithFileURL(fileURL, name, fileURL.lastPathComponent(), "application/octet-stream", error);
}

bool AFStreamingMultipartFormData::appendPartWithFileURL(const URL& fileURL, const std::string& name,
                                                         const std::string& fileName, const std::string& mimeType,
                                                         Error* error) {
    Error::clear(error);
    if (!fileURL.isFileURL()) {
        Error::set(error, fileURLError("Expected URL to be a file URL"));
        return false;
    }
    struct stat info {};
    if (::stat(fileURL.path().c_str(), &info) != 0) {
        Error::set(error, fileURLError("File URL not reachable."));
        return false;
    }
    std::map<std::string, std::string> headers{{"Content-Disposition", contentDisposition(name, fileName)},
                                               {"Content-Type", mimeType}};
    bodyStream_->appendHTTPBodyPart(std::make_shared<AFHTTPBodyPart>(stringEncoding_, std::move(headers), fileURL,
                                                                     static_cast<std::uint64_t>(info.st_size)));
    return true;
}

void AFStreamingMultipartFormData::appendPartWithInputStream(std::shared_ptr<InputStream> stream,
                                                             const std::string& name, const std::string& fileName,
                                                             std::uint64_t length, const std::string& mimeType) {
    std::map<std::string, std::string> headers{{"Content-Disposition", contentDisposition(name, fileName)},
                                               {"Content-Type", mimeType}};
    bodyStream_->appendHTTPBodyPart(
        std::make_shared<AFHTTPBodyPart>(stringEncoding_, std::move(headers), std::move(stream), length));
}

void AFStreamingMultipartFormData::appendPartWithFileData(Data data, const std::string& name,
                                                          const std::string& fileName, const std::string& mimeType) {
    appendPartWithHeaders({{"Content-Disposition", contentDisposition(name, fileName)}, {"Content-Type", mimeType}},
                          std::move(data));
}

void AFStreamingMultipartFormData::appendPartWithFormData(Data data, const std::string& name) {
    appendPartWithHeaders({{"Content-Disposition", contentDisposition(name, std::nullopt)}}, std::move(data));
}

void AFStreamingMultipartFormData::appendPartWithHeaders(std::map<std::string, std::string> headers, Data body) {
    const std::uint64_t length = body.size();
    bodyStream_->appendHTTPBodyPart(
        std::make_shared<AFHTTPBodyPart>(stringEncoding_, std::move(headers), std::move(body), length));
}

void AFStreamingMultipartFormData::throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes, double delay) {
    bodyStream_->setNumberOfBytesInPacket(numberOfBytes);
    bodyStream_->setDelay(delay);
}

URLRequest AFStreamingMultipartFormData::requestByFinalizingMultipartFormData() {
    if (bodyStream_->isEmpty()) return request_;
    bodyStream_->setInitialAndFinalBoundaries();
    request_.setValueForHTTPHeaderField(stringWithFormat("multipart/form-data; boundary=%@", kMultipartFormBoundary),
                                        "Content-Type");
    request_.setValueForHTTPHeaderField(
        stringWithFormat("%llu", static_cast<unsigned long long>(bodyStream_->contentLength())), "Content-Length");
    request_.setHTTPBodyStream(bodyStream_);
    return request_;
}
