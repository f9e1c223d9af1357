#pragma once

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>

namespace memorant_test {

// How a piece of work ended in a child process.
struct ChildOutcome {
    bool exited = false;  // ended by itself (not by a signal such as an abort)
    int status = -1;      // its exit status: 0 when the work returned true
};

// Runs the work in a forked child whose address space may grow by at most
// `memoryBudget` bytes beyond what it starts with, so that a test can show
// that hostile input is refused without the memory it claims, never by an
// abort. Only the calling thread goes on in the child: the work must not wait
// for other threads.
inline ChildOutcome runInChildWithMemoryBudget(std::uint64_t memoryBudget, const std::function<bool()>& work) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::malloc_trim(0);  // freed room at the heap's end would be taken before any new memory
        unsigned long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + memoryBudget;
        const struct rlimit rl {limit, limit};
        ::setrlimit(RLIMIT_AS, &rl);
        ::_exit(work() ? 0 : 1);
    }
    ChildOutcome outcome;
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return outcome;
    outcome.exited = WIFEXITED(status);
    outcome.status = outcome.exited ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace memorant_test
