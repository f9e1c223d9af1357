#include "platform/net/Stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/RunLoop.h"

// ---- ByteStream ----

ByteStream::~ByteStream() = default;

void ByteStream::open() {
    {
        std::lock_guard lock(streamMutex_);
        if (status_ != StreamStatus::NotOpen) return;
        status_ = StreamStatus::Open;
    }
    const StreamEvent events = eventsAfterOpen();
    for (unsigned bit = 1; bit <= StreamEventEndEncountered; bit <<= 1)
        if (events & bit) postEvent(static_cast<StreamEvent>(bit));
}

void ByteStream::close() {
    std::lock_guard lock(streamMutex_);
    if (status_ != StreamStatus::Error) status_ = StreamStatus::Closed;
}

StreamStatus ByteStream::streamStatus() const {
    std::lock_guard lock(streamMutex_);
    return status_;
}

Error ByteStream::streamError() const {
    std::lock_guard lock(streamMutex_);
    return error_;
}

void ByteStream::setStatus(StreamStatus status) {
    std::lock_guard lock(streamMutex_);
    status_ = status;
}

void ByteStream::failWithError(const Error& error) {
    {
        std::lock_guard lock(streamMutex_);
        status_ = StreamStatus::Error;
        error_ = error;
    }
    postEvent(StreamEventErrorOccurred);
}

void ByteStream::setDelegate(std::weak_ptr<StreamDelegate> delegate) {
    std::lock_guard lock(streamMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<StreamDelegate> ByteStream::delegate() const {
    std::lock_guard lock(streamMutex_);
    return delegate_.lock();
}

void ByteStream::scheduleInRunLoop(RunLoop& loop, const std::string& mode) {
    std::lock_guard lock(streamMutex_);
    for (auto& schedule : schedules_) {
        if (schedule.loop.lock().get() != &loop) continue;
        if (std::find(schedule.modes.begin(), schedule.modes.end(), mode) == schedule.modes.end())
            schedule.modes.push_back(mode);
        return;
    }
    schedules_.push_back({loop.shared_from_this(), {mode}});
}

void ByteStream::removeFromRunLoop(RunLoop& loop, const std::string& mode) {
    std::lock_guard lock(streamMutex_);
    for (auto it = schedules_.begin(); it != schedules_.end(); ++it) {
        if (it->loop.lock().get() != &loop) continue;
        std::erase(it->modes, mode);
        if (it->modes.empty()) schedules_.erase(it);
        return;
    }
}

void ByteStream::postEvent(StreamEvent event) {
    std::shared_ptr<RunLoop> loop;
    std::vector<std::string> modes;
    {
        std::lock_guard lock(streamMutex_);
        for (const auto& schedule : schedules_) {
            if ((loop = schedule.loop.lock())) {
                modes = schedule.modes;
                break;
            }
        }
    }
    if (!loop) return;
    std::weak_ptr<ByteStream> weak = weak_from_this();
    loop->perform(modes, [weak, event] {
        auto self = weak.lock();
        if (!self) return;
        if (auto delegate = self->delegate()) delegate->streamHandleEvent(*self, event);
    });
}

Value ByteStream::propertyForKey(const std::string&) const {
    return Value();
}

bool ByteStream::setPropertyForKey(const Value&, const std::string&) {
    return false;
}

StreamEvent InputStream::eventsAfterOpen() const {
    return static_cast<StreamEvent>(StreamEventOpenCompleted | StreamEventHasBytesAvailable);
}

StreamEvent OutputStream::eventsAfterOpen() const {
    return static_cast<StreamEvent>(StreamEventOpenCompleted | StreamEventHasSpaceAvailable);
}

namespace {

class DataInputStream : public InputStream {
public:
    explicit DataInputStream(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
    ssize_t read(std::uint8_t* buffer, std::size_t length) override {
        std::lock_guard lock(streamMutex_);
        const std::size_t n = std::min(length, data_->size() - offset_);
        if (n) std::memcpy(buffer, data_->data() + offset_, n);
        offset_ += n;
        return static_cast<ssize_t>(n);
    }
    bool hasBytesAvailable() const override {
        std::lock_guard lock(streamMutex_);
        return offset_ < data_->size();
    }
    std::shared_ptr<InputStream> copy() const override { return std::make_shared<DataInputStream>(data_); }

private:
    std::shared_ptr<const Data> data_;
    std::size_t offset_ = 0;
};

class FileInputStream : public InputStream {
public:
    explicit FileInputStream(std::string path) : path_(std::move(path)) {}
    ~FileInputStream() override {
        if (fd_ >= 0) ::close(fd_);
    }
    void open() override {
        if (streamStatus() != StreamStatus::NotOpen) return;
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return failWithError(fileError(errno, path_, true));
        InputStream::open();
    }
    void close() override {
        InputStream::close();
        std::lock_guard lock(streamMutex_);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    ssize_t read(std::uint8_t* buffer, std::size_t length) override {
        if (fd_ < 0) return -1;
        ssize_t n;
        do n = ::read(fd_, buffer, length);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            failWithError(fileError(errno, path_, true));
        else if (n == 0)
            setStatus(StreamStatus::AtEnd);
        else
            offset_ += n;
        return n;
    }
    bool hasBytesAvailable() const override { return streamStatus() == StreamStatus::Open; }
    std::shared_ptr<InputStream> copy() const override { return std::make_shared<FileInputStream>(path_); }
    Value propertyForKey(const std::string& key) const override {
        if (key == NSStreamFileCurrentOffsetKey) return Value(static_cast<std::int64_t>(offset_));
        return Value();
    }

private:
    std::string path_;
    int fd_ = -1;
    std::int64_t offset_ = 0;
};

class MemoryOutputStream : public OutputStream {
public:
    ssize_t write(const std::uint8_t* buffer, std::size_t length) override {
        std::lock_guard lock(streamMutex_);
        data_.insert(data_.end(), buffer, buffer + length);
        return static_cast<ssize_t>(length);
    }
    bool hasSpaceAvailable() const override { return true; }
    Value propertyForKey(const std::string& key) const override {
        std::lock_guard lock(streamMutex_);
        if (key == NSStreamDataWrittenToMemoryStreamKey) return Value(data_);
        return Value();
    }
    bool setPropertyForKey(const Value& value, const std::string& key) override {
        std::lock_guard lock(streamMutex_);
        if (key != NSStreamFileCurrentOffsetKey || !value.isInteger() || value.integerValue() < 0 ||
            static_cast<std::uint64_t>(value.integerValue()) > data_.size())
            return false;
        data_.resize(static_cast<std::size_t>(value.integerValue()));
        return true;
    }

private:
    Data data_;
};

class FileOutputStream : public OutputStream {
public:
    FileOutputStream(std::string path, bool append) : path_(std::move(path)), append_(append) {}
    ~FileOutputStream() override {
        if (fd_ >= 0) ::close(fd_);
    }
    void open() override {
        if (streamStatus() != StreamStatus::NotOpen) return;
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append_ ? O_APPEND : O_TRUNC), 0644);
        if (fd_ < 0) return failWithError(fileError(errno, path_, false));
        if (append_) offset_ = ::lseek(fd_, 0, SEEK_END);
        OutputStream::open();
    }
    void close() override {
        OutputStream::close();
        std::lock_guard lock(streamMutex_);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    ssize_t write(const std::uint8_t* buffer, std::size_t length) override {
        if (fd_ < 0) return -1;
        ssize_t n;
        do n = ::write(fd_, buffer, length);
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            failWithError(fileError(errno, path_, false));
            return -1;
        }
        std::lock_guard lock(streamMutex_);
        offset_ += n;
        return n;
    }
    bool hasSpaceAvailable() const override { return fd_ >= 0; }
    Value propertyForKey(const std::string& key) const override {
        std::lock_guard lock(streamMutex_);
        if (key == NSStreamFileCurrentOffsetKey) return Value(static_cast<std::int64_t>(offset_));
        return Value();
    }
    bool setPropertyForKey(const Value& value, const std::string& key) override {
        std::lock_guard lock(streamMutex_);
        if (key != NSStreamFileCurrentOffsetKey || !value.isInteger() || fd_ < 0) return false;
        const std::int64_t offset = value.integerValue();
        if (offset < 0 || offset > offset_) return false;
        // Cut first: appended writes go to the end, which is then the offset.
        if (::ftruncate(fd_, offset) != 0 || ::lseek(fd_, offset, SEEK_SET) < 0) return false;
        offset_ = offset;
        return true;
    }

private:
    std::string path_;
    bool append_;
    int fd_ = -1;
    std::int64_t offset_ = 0;
};

}  // namespace

std::shared_ptr<InputStream> InputStream::inputStreamWithData(Data data) {
    return std::make_shared<DataInputStream>(std::make_shared<const Data>(std::move(data)));
}

std::shared_ptr<InputStream> InputStream::inputStreamWithFileAtPath(const std::string& path) {
    return std::make_shared<FileInputStream>(path);
}

std::shared_ptr<OutputStream> OutputStream::outputStreamToMemory() {
    return std::make_shared<MemoryOutputStream>();
}

std::shared_ptr<OutputStream> OutputStream::outputStreamToFileAtPath(const std::string& path, bool append) {
    return std::make_shared<FileOutputStream>(path, append);
}
