#pragma once

#include <sys/types.h>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class RunLoop;
class ByteStream;

// Streams (NSStream, NSInputStream, NSOutputStream): byte sources and sinks
// over data, memory and files, with a status, an error and properties. The
// base is named ByteStream: a class named Stream would clash with the PDF
// library's own in the one process.
//
// A stream scheduled in a run loop tells its delegate of events there: when
// it opens (open completed, then bytes or space available) and whenever a
// subclass reports that it can take or give bytes again (postEvent). A stream
// that is not scheduled tells nobody; reads and writes work either way.
//
// write() takes what it can and says how many bytes it took: possibly fewer
// than offered, 0 when it has no space now, -1 on an error (streamError()).
// Streams are held by std::shared_ptr.

enum class StreamStatus {
    NotOpen = 0,
    Opening = 1,
    Open = 2,
    Reading = 3,
    Writing = 4,
    AtEnd = 5,
    Closed = 6,
    Error = 7
};

enum StreamEvent : unsigned {
    StreamEventNone = 0,
    StreamEventOpenCompleted = 1u << 0,
    StreamEventHasBytesAvailable = 1u << 1,
    StreamEventHasSpaceAvailable = 1u << 2,
    StreamEventErrorOccurred = 1u << 3,
    StreamEventEndEncountered = 1u << 4,
};

// The property of a memory output stream that holds what was written (data).
inline constexpr const char* NSStreamDataWrittenToMemoryStreamKey = "NSStreamDataWrittenToMemoryStreamKey";
// The property of a file stream that holds its current offset (integer).
inline constexpr const char* NSStreamFileCurrentOffsetKey = "NSStreamFileCurrentOffsetKey";

class StreamDelegate {
public:
    virtual ~StreamDelegate() = default;
    virtual void streamHandleEvent(ByteStream& stream, StreamEvent event) = 0;
};

class ByteStream : public std::enable_shared_from_this<ByteStream> {
public:
    virtual ~ByteStream();
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    virtual void open();
    virtual void close();
    StreamStatus streamStatus() const;
    Error streamError() const;

    // The delegate is held weakly.
    void setDelegate(std::weak_ptr<StreamDelegate> delegate);
    std::shared_ptr<StreamDelegate> delegate() const;

    void scheduleInRunLoop(RunLoop& loop, const std::string& mode);
    void removeFromRunLoop(RunLoop& loop, const std::string& mode);

    // A property by key; null when the stream has none of that name.
    virtual Value propertyForKey(const std::string& key) const;
    // Sets a property; false when the stream does not take it. Output
    // streams to memory and to files take NSStreamFileCurrentOffsetKey back
    // to an offset they have passed: what was written from there on is
    // dropped (the file is cut there), so what follows replaces it.
    virtual bool setPropertyForKey(const Value& value, const std::string& key);

protected:
    ByteStream() = default;
    // Tells the delegate of the event on the run loop the stream is scheduled
    // in (from any thread); nothing when it is not scheduled.
    void postEvent(StreamEvent event);
    void setStatus(StreamStatus status);
    void failWithError(const Error& error);  // status Error, then ErrorOccurred
    // The events a stream reports right after it opened.
    virtual StreamEvent eventsAfterOpen() const { return StreamEventOpenCompleted; }

    mutable std::mutex streamMutex_;

private:
    struct Schedule {
        std::weak_ptr<RunLoop> loop;
        std::vector<std::string> modes;
    };
    StreamStatus status_ = StreamStatus::NotOpen;
    Error error_;
    std::weak_ptr<StreamDelegate> delegate_;
    std::vector<Schedule> schedules_;
};

class InputStream : public ByteStream {
public:
    static std::shared_ptr<InputStream> inputStreamWithData(Data data);
    static std::shared_ptr<InputStream> inputStreamWithFileAtPath(const std::string& path);

    // Reads up to `length` bytes; 0 at the end, -1 on an error.
    virtual ssize_t read(std::uint8_t* buffer, std::size_t length) = 0;
    virtual bool hasBytesAvailable() const = 0;
    // A new, unopened stream that gives the same bytes from the start, for a
    // connection that must send a body again; nullptr when the stream cannot
    // be copied (the default).
    virtual std::shared_ptr<InputStream> copy() const { return nullptr; }

protected:
    StreamEvent eventsAfterOpen() const override;
};

class OutputStream : public ByteStream {
public:
    // Collects what is written in memory (NSStreamDataWrittenToMemoryStreamKey).
    static std::shared_ptr<OutputStream> outputStreamToMemory();
    // Writes to a file, from its start or appended (NSStreamFileCurrentOffsetKey).
    static std::shared_ptr<OutputStream> outputStreamToFileAtPath(const std::string& path, bool append);

    virtual ssize_t write(const std::uint8_t* buffer, std::size_t length) = 0;
    virtual bool hasSpaceAvailable() const = 0;

protected:
    StreamEvent eventsAfterOpen() const override;
};
