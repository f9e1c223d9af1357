#include "umbrella/LibrarySupport.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/MainThread.h"

namespace {

std::string defaultResourcePath() {
    if (const char* env = std::getenv("MEMORANT_UMBRELLA_RESOURCES"); env && *env) return env;
    // The source tree's folder, named by the build (a compiler cache may make __FILE__ relative).
    return MEMORANT_UMBRELLA_RESOURCES_DIR;
}

}  // namespace

const Bundle& memorantUmbrellaFrameworkBundle() {
    static const Bundle* bundle = new Bundle(defaultResourcePath());
    return *bundle;
}

namespace umbrella_detail {

void systemLog(const std::string& text) {
    static DateFormatter* formatter = new DateFormatter("yyyy-MM-dd HH:mm:ss.SSS");
    static std::mutex* mutex = new std::mutex;
    std::lock_guard lock(*mutex);  // the formatter is not safe to share between threads
    std::string line = stringWithFormat("%@ %s[%d:%d] ", formatter->stringFromDate(Date::now()),
                                        program_invocation_short_name, static_cast<int>(::getpid()), currentThreadId());
    line += text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void fatalError(const std::string& message) {
    std::string line = "Fatal error: " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    std::abort();
}

}  // namespace umbrella_detail
