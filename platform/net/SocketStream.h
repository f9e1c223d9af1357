#pragma once

#include <memory>
#include <utility>

#include "platform/net/Stream.h"

class FileDescriptorSource;
class RunLoop;

// The property of a socket stream that holds its native socket handle: data of
// 4 bytes, the descriptor as a native-endian int. Missing once the stream is
// closed.
inline constexpr const char* kCFStreamPropertySocketNativeHandle = "kCFStreamPropertySocketNativeHandle";

// Streams over one connected, non-blocking socket (CFStreamCreatePairWithSocket).
// The input and the output stream share the descriptor; it is closed when both
// streams are closed or gone.
//
// On open(), each stream watches the descriptor through a FileDescriptorSource
// on the calling thread's run loop (the loop it was scheduled in; the default
// mode) and tells its delegate, there, of the five events:
// - open completed (both), then space available (output) at once;
// - bytes available (input) whenever the socket is readable or the peer hung
//   up, once per readiness: after the delegate has read, the stream watches
//   again; a read returns 0 at the end;
// - space available (output) again after a write, once the socket can take
//   more bytes;
// - error occurred when the socket reports an error (streamError() says which)
//   or a read or write fails;
// - end encountered is not posted on its own: a read of 0 says it.
// read() returns -1 when nothing is there yet (EAGAIN) as on any other error,
// but the stream posts bytes available only when there is something to read.
// write() returns 0 when the socket has no space now.
class SocketStreams {
public:
    // Takes ownership of `fd` (made non-blocking here). Errors of fcntl are
    // ignored: the streams then block.
    static std::pair<std::shared_ptr<InputStream>, std::shared_ptr<OutputStream>> createPairWithSocket(int fd);
};
