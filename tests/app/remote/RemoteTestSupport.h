#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "app/remote/LineBasedCommandHandler.h"
#include "app/remote/RemoteServicePublisher.h"
#include "model/TWLogger.h"
#include "support/MainLoop.h"

namespace remote_test {

// A connected TCP client socket to 127.0.0.1:port (blocking connect); with a
// receive buffer of that many bytes when `receiveBuffer` is given.
inline int connectToLoopback(int port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

// A connected TCP client socket to [::1]:port, or -1 (also where the machine
// has no IPv6 loopback).
inline int connectToLoopback6(int port) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<std::uint16_t>(port));
    address.sin6_addr = in6addr_loopback;
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

// Whether this machine has an IPv6 loopback address to listen on.
inline bool hasIPv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// Both ends of one TCP connection on 127.0.0.1: `server` is the accepted one.
struct TCPPair {
    int server = -1;
    int client = -1;
    TCPPair() {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(listener, 1) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            client = connectToLoopback(ntohs(address.sin_port));
            server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        }
        ::close(listener);
    }
};

inline void sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

// What the peer has received so far (non-blocking); sets `atEnd` when the other
// side closed.
inline std::string receiveAvailable(int fd, bool* atEnd = nullptr) {
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 && atEnd) *atEnd = true;
        return out;
    }
}

// Runs the main loop until the peer has received `expected` in all (collected
// into `received`) or the connection ended.
inline ::testing::AssertionResult runUntilPeerReceived(int fd, std::string& received, std::size_t expected,
                                                        bool* atEnd = nullptr) {
    bool ended = false;
    auto result = memorant_test::runMainLoopUntil([&] {
        received += receiveAvailable(fd, &ended);
        return received.size() >= expected || ended;
    });
    if (atEnd) *atEnd = ended;
    return result;
}

// Runs the main loop until the peer sees the end of the connection.
inline ::testing::AssertionResult runUntilPeerSeesEnd(int fd) {
    bool ended = false;
    return memorant_test::runMainLoopUntil([&] {
        receiveAvailable(fd, &ended);
        return ended;
    });
}

// Bytes waiting unread in a socket's receive queue.
inline int unreadBytes(int fd) {
    int count = 0;
    ::ioctl(fd, FIONREAD, &count);
    return count;
}

inline bool loggedLineContaining(const std::string& text) {
    const auto lines = TWLogger::sharedInstance().messageBacklog();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

struct RecordingHandlerDelegate : LineBasedCommandHandlerDelegate {
    int opened = 0;
    int closed = 0;
    std::vector<std::string> commands;
    void commandHandlerDidOpen(LineBasedCommandHandler&) override { ++opened; }
    void commandHandlerDidReceive(LineBasedCommandHandler&, const std::string& command) override {
        commands.push_back(command);
    }
    void commandHandlerDidClose(LineBasedCommandHandler&) override { ++closed; }
};

}  // namespace remote_test
