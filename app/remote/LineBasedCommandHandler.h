#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/net/Stream.h"

class LineBasedCommandHandler;

class LineBasedCommandHandlerDelegate {
public:
    virtual ~LineBasedCommandHandlerDelegate() = default;
    // Both streams have opened (from the stream event that completed the pair).
    virtual void commandHandlerDidOpen(LineBasedCommandHandler& handler) = 0;
    // One received command without its separator; from a block of the main
    // operation queue, one block per command, in the order received.
    virtual void commandHandlerDidReceive(LineBasedCommandHandler& handler, const std::string& command) = 0;
    // The connection was closed by close(); called from within close().
    virtual void commandHandlerDidClose(LineBasedCommandHandler& handler) = 0;
};

// One connection with the desktop peer: UTF-8 lines ended by "\r\n" both ways.
// It owns the two streams, frames what it sends, splits what it receives into
// commands, swallows the peer's "Ping" keep-alives and tells its delegate (held
// weakly) of the opening, the commands and the end. Main thread only; held by
// std::shared_ptr (it is the streams' delegate).
//
// The connection is closed, and the delegate told once, on the end or an error
// of either stream, a read or a write of 0 bytes or less, and on received
// bytes that cannot be UTF-8 or a line that passes kMaxLineLength bytes
// without a separator (both logged at level 1). A partial trailing UTF-8
// sequence waits for the rest. A peer that does not read what is sent is let
// go too: once more than kMaxPendingOutputLength bytes wait to be written,
// the connection is closed (logged at level 1).
class LineBasedCommandHandler : public StreamDelegate, public std::enable_shared_from_this<LineBasedCommandHandler> {
public:
    static inline const std::string COMMAND_SEPARATOR = "\r\n";
    static inline const std::string PingCommand = "Ping";
    static constexpr std::size_t kMaxLineLength = 64 * 1024;
    static constexpr std::size_t kMaxPendingOutputLength = 1024 * 1024;

    static std::shared_ptr<LineBasedCommandHandler> create(std::shared_ptr<InputStream> inputStream,
                                                           std::shared_ptr<OutputStream> outputStream,
                                                           std::weak_ptr<LineBasedCommandHandlerDelegate> delegate);
    ~LineBasedCommandHandler() override;

    // Makes the handler each stream's delegate, schedules the streams in the
    // current run loop (default mode) and opens them, input first.
    void openStreams();
    // Queues one command (framed here); it is written as soon as the output
    // stream has space. Closes the connection when the peer has left more
    // than kMaxPendingOutputLength bytes unread.
    void send(const std::string& command);
    // Ends the connection; once the streams are closed, does nothing.
    void close();

    void streamHandleEvent(ByteStream& stream, StreamEvent event) override;

    std::shared_ptr<LineBasedCommandHandlerDelegate> delegate() const { return delegate_.lock(); }
    const std::shared_ptr<InputStream>& inputStream() const { return inputStream_; }
    const std::shared_ptr<OutputStream>& outputStream() const { return outputStream_; }
    const std::vector<std::uint8_t>& inputBuffer() const { return inputBuffer_; }
    const std::vector<std::uint8_t>& outputBuffer() const { return outputBuffer_; }
    bool isInputStreamReady() const { return isInputStreamReady_; }
    bool isOutputStreamReady() const { return isOutputStreamReady_; }
    bool outputStreamHasSpaceAvailable() const { return outputStreamHasSpaceAvailable_; }
    std::optional<Date> dateOfLastPingReceived() const { return dateOfLastPingReceived_; }

private:
    LineBasedCommandHandler(std::shared_ptr<InputStream> inputStream, std::shared_ptr<OutputStream> outputStream,
                            std::weak_ptr<LineBasedCommandHandlerDelegate> delegate);
    void _configureInputStream(ByteStream& stream);
    void _configureOuputStream(ByteStream& stream);
    void _configureStream(int socket);
    void readAvailableBytes();
    void processInputBuffer();
    void writePendingOutput();

    std::weak_ptr<LineBasedCommandHandlerDelegate> delegate_;
    std::shared_ptr<InputStream> inputStream_;
    std::shared_ptr<OutputStream> outputStream_;
    std::vector<std::uint8_t> inputBuffer_;
    std::vector<std::uint8_t> outputBuffer_;
    bool isInputStreamReady_ = false;
    bool isOutputStreamReady_ = false;
    bool outputStreamHasSpaceAvailable_ = false;
    std::optional<Date> dateOfLastPingReceived_;
    bool closed_ = false;
};
