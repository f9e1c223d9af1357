#include "app/remote/LineBasedCommandHandler.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "model/TWLogger.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/net/SocketStream.h"
#include "platform/ui/DelayedPerform.h"

namespace {

constexpr const char* kLogFile = "LineBasedCommandHandler";

void logWarning(const std::string& message, const char* function, int line) {
    TWLogger::sharedInstance().log(message, TWLogger::LevelWarning, kLogFile, function, Value(line));
}

std::string describeEvent(StreamEvent event) {
    switch (event) {
        case StreamEventNone: return "NSStreamEventNone";
        case StreamEventOpenCompleted: return "NSStreamEventOpenCompleted";
        case StreamEventHasBytesAvailable: return "NSStreamEventHasBytesAvailable";
        case StreamEventHasSpaceAvailable: return "NSStreamEventHasSpaceAvailable";
        case StreamEventErrorOccurred: return "NSStreamEventErrorOccurred";
        case StreamEventEndEncountered: return "NSStreamEventEndEncountered";
    }
    return "NSStreamEvent(" + std::to_string(static_cast<unsigned>(event)) + ")";
}

std::string describeStream(const ByteStream& stream) {
    char text[64];
    std::snprintf(text, sizeof text, "<%s: %p>", dynamic_cast<const InputStream*>(&stream) ? "InputStream" : "OutputStream",
                  static_cast<const void*>(&stream));
    return text;
}

// The stream's socket, or nothing (logged in the name of `function`).
std::optional<int> nativeSocketHandle(const ByteStream& stream, const char* function) {
    const Value handle = stream.propertyForKey(kCFStreamPropertySocketNativeHandle);
    if (!handle.isData() || handle.asData()->size() != sizeof(int)) {
        logWarning("Error getting native socket handle for stream: " + describeStream(stream), function, __LINE__);
        return std::nullopt;
    }
    int socket;
    std::memcpy(&socket, handle.asData()->data(), sizeof socket);
    return socket;
}

enum class Decoding { Valid, Incomplete, Invalid };

// Whether the bytes are UTF-8, or would be once a sequence cut off at their
// end is completed, or never can be.
Decoding classifyUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes)) return Decoding::Valid;
    for (std::size_t cut = 1; cut <= 3 && cut <= bytes.size(); ++cut) {
        const auto lead = static_cast<unsigned char>(bytes[bytes.size() - cut]);
        if ((lead & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (length <= cut || !isValidUTF8(bytes.substr(0, bytes.size() - cut))) return Decoding::Invalid;
        // Some completion of the cut-off sequence must be valid.
        const std::string tail(bytes.substr(bytes.size() - cut));
        for (unsigned second = 0x80; second <= 0xBF; ++second) {
            std::string candidate = tail;
            if (cut == 1) candidate += static_cast<char>(second);
            candidate.append(length - candidate.size(), '\x80');
            if (isValidUTF8(candidate)) return Decoding::Incomplete;
            if (cut > 1) break;
        }
        return Decoding::Invalid;
    }
    return Decoding::Invalid;
}

}  // namespace

std::shared_ptr<LineBasedCommandHandler> LineBasedCommandHandler::create(
    std::shared_ptr<InputStream> inputStream, std::shared_ptr<OutputStream> outputStream,
    std::weak_ptr<LineBasedCommandHandlerDelegate> delegate) {
    return std::shared_ptr<LineBasedCommandHandler>(
        new LineBasedCommandHandler(std::move(inputStream), std::move(outputStream), std::move(delegate)));
}

LineBasedCommandHandler::LineBasedCommandHandler(std::shared_ptr<InputStream> inputStream,
                                                 std::shared_ptr<OutputStream> outputStream,
                                                 std::weak_ptr<LineBasedCommandHandlerDelegate> delegate)
    : delegate_(std::move(delegate)), inputStream_(std::move(inputStream)), outputStream_(std::move(outputStream)) {}

LineBasedCommandHandler::~LineBasedCommandHandler() = default;

void LineBasedCommandHandler::openStreams() {
    outputStreamHasSpaceAvailable_ = false;
    for (ByteStream* stream : {static_cast<ByteStream*>(inputStream_.get()), static_cast<ByteStream*>(outputStream_.get())}) {
        stream->setDelegate(weak_from_this());
        stream->scheduleInRunLoop(RunLoop::current(), RunLoop::kDefaultMode);
        stream->open();
    }
}

void LineBasedCommandHandler::streamHandleEvent(ByteStream& stream, StreamEvent event) {
    auto keepAlive = shared_from_this();  // close() may drop the last owner
    const bool isInput = &stream == inputStream_.get();
    const bool isOutput = &stream == outputStream_.get();
    switch (event) {
        case StreamEventOpenCompleted:
            if (!isInput && !isOutput) break;
            if (isInput) {
                isInputStreamReady_ = true;
                _configureInputStream(stream);
            } else {
                isOutputStreamReady_ = true;
                _configureOuputStream(stream);
            }
            if (isInputStreamReady_ && isOutputStreamReady_)
                if (auto delegate = delegate_.lock()) delegate->commandHandlerDidOpen(*this);
            return;
        case StreamEventHasBytesAvailable:
            if (!isInput) break;
            readAvailableBytes();
            return;
        case StreamEventHasSpaceAvailable:
            if (!isOutput) break;
            outputStreamHasSpaceAvailable_ = true;
            if (!outputBuffer_.empty()) writePendingOutput();
            return;
        case StreamEventErrorOccurred:
        case StreamEventEndEncountered:
            std::printf("End or Error event: %s\n", describeEvent(event).c_str());
            std::fflush(stdout);
            close();
            return;
        default:
            break;
    }
    std::printf("Got some other stream event: %s (not handled).\n", describeEvent(event).c_str());
    std::fflush(stdout);
}

void LineBasedCommandHandler::_configureInputStream(ByteStream& stream) {
    if (auto socket = nativeSocketHandle(stream, "_configureInputStream(_:)")) _configureStream(*socket);
}

void LineBasedCommandHandler::_configureOuputStream(ByteStream& stream) {
    if (auto socket = nativeSocketHandle(stream, "_configureOuputStream(_:)")) _configureStream(*socket);
}

void LineBasedCommandHandler::_configureStream(int socket) {
    const int on = 1;
    if (::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
        const int error = errno;
        logWarning("setsockopt TCP_NODELAY failed: " + std::to_string(error) + " " + std::strerror(error),
                   "_configureStream(_:)", __LINE__);
    }
    if (::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
        const int error = errno;
        logWarning("setsockopt SO_KEEPALIVE failed: " + std::to_string(error) + " " + std::strerror(error),
                   "_configureStream(_:)", __LINE__);
    }
}

void LineBasedCommandHandler::readAvailableBytes() {
    std::uint8_t scratch[10];
    const ssize_t n = inputStream_->read(scratch, sizeof scratch);
    if (n < 1) {
        close();
        return;
    }
    inputBuffer_.insert(inputBuffer_.end(), scratch, scratch + n);
    processInputBuffer();
}

void LineBasedCommandHandler::processInputBuffer() {
    while (!inputBuffer_.empty()) {
        const std::string_view text(reinterpret_cast<const char*>(inputBuffer_.data()), inputBuffer_.size());
        const Decoding decoding = classifyUTF8(text);
        if (decoding == Decoding::Invalid) {
            logWarning("Closing the connection: received bytes that are not UTF-8", "processInputBuffer()", __LINE__);
            close();
            return;
        }
        const std::size_t separator = decoding == Decoding::Valid ? text.find(COMMAND_SEPARATOR) : std::string_view::npos;
        if (separator == std::string_view::npos) {
            if (inputBuffer_.size() > kMaxLineLength) {
                logWarning("Closing the connection: a line of more than " + std::to_string(kMaxLineLength) +
                               " bytes without a separator",
                           "processInputBuffer()", __LINE__);
                close();
            }
            return;
        }
        const std::string command(text.substr(0, separator));
        if (command == PingCommand) {
            dateOfLastPingReceived_ = Date::now();
        } else if (auto delegate = delegate_.lock()) {
            auto self = shared_from_this();
            OperationQueue::mainQueue().addOperationWithBlock(
                [delegate, self, command] { delegate->commandHandlerDidReceive(*self, command); });
        }
        inputBuffer_.erase(inputBuffer_.begin(),
                           inputBuffer_.begin() + static_cast<std::ptrdiff_t>(separator + COMMAND_SEPARATOR.size()));
    }
}

void LineBasedCommandHandler::send(const std::string& command) {
    outputBuffer_.insert(outputBuffer_.end(), command.begin(), command.end());
    outputBuffer_.insert(outputBuffer_.end(), COMMAND_SEPARATOR.begin(), COMMAND_SEPARATOR.end());
    if (outputStreamHasSpaceAvailable_) writePendingOutput();
    if (outputBuffer_.size() > kMaxPendingOutputLength) {
        logWarning("Closing the connection: the peer has not read " + std::to_string(outputBuffer_.size()) +
                       " bytes sent to it",
                   "send(_:)", __LINE__);
        close();
    }
}

void LineBasedCommandHandler::writePendingOutput() {
    if (outputBuffer_.empty()) return;
    const ssize_t n = outputStream_->write(outputBuffer_.data(), outputBuffer_.size());
    if (n < 1) {
        close();
        return;
    }
    outputStreamHasSpaceAvailable_ = false;
    outputBuffer_.erase(outputBuffer_.begin(), outputBuffer_.begin() + n);
}

void LineBasedCommandHandler::close() {
    cancelPreviousPerformRequests(this);
    if (closed_ || inputStream_->streamStatus() == StreamStatus::Closed ||
        outputStream_->streamStatus() == StreamStatus::Closed)
        return;
    closed_ = true;
    auto keepAlive = shared_from_this();
    for (ByteStream* stream : {static_cast<ByteStream*>(inputStream_.get()), static_cast<ByteStream*>(outputStream_.get())}) {
        stream->setDelegate({});
        stream->close();
        stream->removeFromRunLoop(RunLoop::current(), RunLoop::kDefaultMode);
    }
    inputBuffer_.clear();
    outputBuffer_.clear();
    if (auto delegate = delegate_.lock()) delegate->commandHandlerDidClose(*this);
}
