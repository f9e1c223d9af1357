#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace memorant_test {

// Events recorded from several threads, read back in the order they happened.
class Events {
public:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> get() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

}  // namespace memorant_test
