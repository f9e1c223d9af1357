#pragma once

// What the sharing tests share: the web service's host pointed at a local
// server for the test's lifetime, the web service played by a cpp-httplib
// server, and a look into the logger's backlog.

#include <httplib.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/TWLogger.h"
#include "platform/net/ServiceHost.h"
#include "support/TestHTTPServer.h"

namespace memorant_test {

// Points the service's host at a server for its lifetime; the host that was
// set before comes back afterwards.
class ScopedServiceHost {
public:
    explicit ScopedServiceHost(const std::string& host) {
        if (const char* previous = std::getenv(kServiceHostEnvironmentVariable)) previous_ = previous;
        setenv(kServiceHostEnvironmentVariable, host.c_str(), 1);
    }
    ~ScopedServiceHost() {
        if (previous_)
            setenv(kServiceHostEnvironmentVariable, previous_->c_str(), 1);
        else
            unsetenv(kServiceHostEnvironmentVariable);
    }
    ScopedServiceHost(const ScopedServiceHost&) = delete;
    ScopedServiceHost& operator=(const ScopedServiceHost&) = delete;

private:
    std::optional<std::string> previous_;
};

inline bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

struct Reply {
    int status = 200;
    std::string body;
    bool stall = false;
};

// The web service: replies by path; the service's commands ("/share/api/")
// by "?cmd=<cmd>&pid=<pid>" after the path, with the pid decoded.
class SharedDeckServer {
public:
    SharedDeckServer() {
        server.server().Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            Reply reply;
            {
                std::lock_guard lock(mutex);
                requested.push_back(req.path);
                const std::string key = req.path == "/share/api/" ? req.path + "?cmd=" + req.get_param_value("cmd") +
                                                                        "&pid=" + req.get_param_value("pid")
                                                                  : req.path;
                const auto found = replies.find(key);
                reply = found == replies.end() ? Reply{404, "not here"} : found->second;
            }
            if (reply.stall) {
                stalled = true;
                server.stallUntilReleased(std::chrono::seconds(20));
            }
            res.status = reply.status;
            res.set_content(reply.body, "application/octet-stream");
        });
        server.start();
    }
    ~SharedDeckServer() { server.release(); }

    void set(const std::string& key, Reply reply) {
        std::lock_guard lock(mutex);
        replies[key] = std::move(reply);
    }
    void remove(const std::string& key) {
        std::lock_guard lock(mutex);
        replies.erase(key);
    }
    std::string url(const std::string& path) const { return server.url(path); }
    std::vector<std::string> requests() {
        std::lock_guard lock(mutex);
        return requested;
    }

private:
    // Declared before the server, so that they outlive its threads.
    std::mutex mutex;
    std::map<std::string, Reply> replies;
    std::vector<std::string> requested;

public:
    std::atomic<bool> stalled{false};
    TestHTTPServer server;
};

}  // namespace memorant_test
