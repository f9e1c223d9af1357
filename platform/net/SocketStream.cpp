#include "platform/net/SocketStream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/foundation/RunLoop.h"

namespace {

// The descriptor both streams of a pair share; closed with the last of them.
struct SocketHandle {
    explicit SocketHandle(int descriptor) : fd(descriptor) {}
    ~SocketHandle() {
        if (fd >= 0) ::close(fd);
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    const int fd;
};

int pendingSocketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error ? error : EIO;
}

// What the two directions share: the handle, the run-loop source that is armed
// for one readiness at a time, and closing.
template <class Base>
class SocketStream : public Base {
public:
    explicit SocketStream(std::shared_ptr<SocketHandle> handle) : handle_(std::move(handle)) {}
    ~SocketStream() override {
        if (source_) source_->invalidate();
    }

    void open() override {
        if (this->streamStatus() != StreamStatus::NotOpen) return;
        const int fd = descriptor();
        if (fd < 0) return;
        Base::open();
        std::weak_ptr<ByteStream> weak = this->weak_from_this();
        auto source = FileDescriptorSource::create(fd, 0, [weak](FileDescriptorSource& src, unsigned events) {
            src.setInterest(0);  // once per readiness: the next read or write arms it again
            auto self = std::static_pointer_cast<SocketStream>(weak.lock());
            if (!self) return;
            if (events & FileDescriptorSource::Failure)
                self->failWithError(posixError(pendingSocketError(src.fd())));
            else
                self->postEvent(self->readinessEvent());
        });
        {
            std::lock_guard lock(this->streamMutex_);
            source_ = source;
        }
        RunLoop::current().addSource(source);
        armAfterOpen();
    }

    void close() override {
        std::shared_ptr<FileDescriptorSource> source;
        std::shared_ptr<SocketHandle> handle;
        {
            std::lock_guard lock(this->streamMutex_);
            source = std::move(source_);
            handle = std::move(handle_);
        }
        if (source) source->invalidate();
        Base::close();
    }

    Value propertyForKey(const std::string& key) const override {
        if (key != kCFStreamPropertySocketNativeHandle) return Base::propertyForKey(key);
        std::lock_guard lock(this->streamMutex_);
        if (!handle_) return Value();
        const int fd = handle_->fd;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&fd);
        return Value(Data(bytes, bytes + sizeof fd));
    }

protected:
    virtual StreamEvent readinessEvent() const = 0;
    virtual void armAfterOpen() = 0;

    void arm(unsigned interest) {
        std::shared_ptr<FileDescriptorSource> source;
        {
            std::lock_guard lock(this->streamMutex_);
            source = source_;
        }
        if (source) source->setInterest(interest);
    }
    int descriptor() const {
        std::lock_guard lock(this->streamMutex_);
        return handle_ ? handle_->fd : -1;
    }
    void readOrWriteFailed(int error) {
        if (this->streamStatus() == StreamStatus::Closed) return;
        this->failWithError(posixError(error));
    }

private:
    std::shared_ptr<SocketHandle> handle_;
    std::shared_ptr<FileDescriptorSource> source_;
};

class SocketInputStream final : public SocketStream<InputStream> {
public:
    using SocketStream::SocketStream;

    ssize_t read(std::uint8_t* buffer, std::size_t length) override {
        const int fd = descriptor();
        if (fd < 0) return -1;
        ssize_t n;
        do n = ::recv(fd, buffer, length, MSG_DONTWAIT);
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            arm(FileDescriptorSource::Readable);
        } else if (n == 0) {
            setStatus(StreamStatus::AtEnd);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            arm(FileDescriptorSource::Readable);
        } else {
            readOrWriteFailed(errno);
        }
        return n;
    }

    bool hasBytesAvailable() const override {
        const int fd = descriptor();
        if (fd < 0) return false;
        std::uint8_t byte;
        return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
    }

protected:
    StreamEvent eventsAfterOpen() const override { return StreamEventOpenCompleted; }
    StreamEvent readinessEvent() const override { return StreamEventHasBytesAvailable; }
    void armAfterOpen() override { arm(FileDescriptorSource::Readable); }
};

class SocketOutputStream final : public SocketStream<OutputStream> {
public:
    using SocketStream::SocketStream;

    ssize_t write(const std::uint8_t* buffer, std::size_t length) override {
        const int fd = descriptor();
        if (fd < 0) return -1;
        ssize_t n;
        do n = ::send(fd, buffer, length, MSG_DONTWAIT | MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        if (n >= 0) {
            arm(FileDescriptorSource::Writable);
            return n;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            arm(FileDescriptorSource::Writable);
            return 0;
        }
        readOrWriteFailed(errno);
        return -1;
    }

    bool hasSpaceAvailable() const override {
        const int fd = descriptor();
        if (fd < 0) return false;
        pollfd pfd{fd, POLLOUT, 0};
        return ::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLOUT);
    }

protected:
    // Open completed, then space available (the base's events after open).
    StreamEvent readinessEvent() const override { return StreamEventHasSpaceAvailable; }
    void armAfterOpen() override {}
};

}  // namespace

std::pair<std::shared_ptr<InputStream>, std::shared_ptr<OutputStream>> SocketStreams::createPairWithSocket(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    auto handle = std::make_shared<SocketHandle>(fd);
    return {std::make_shared<SocketInputStream>(handle), std::make_shared<SocketOutputStream>(handle)};
}
