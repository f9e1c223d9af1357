#include "platform/analytics/CrashReporting.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <exception>

#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP};
constexpr const char* kReportExtension = "crash";

const char* signalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        case SIGTRAP:
            return "SIGTRAP";
        default:
            return "?";
    }
}

// What the handlers need, fixed at installation: nothing is allocated while
// a crash is written.
struct InstalledState {
    bool installed = false;
    char reportPath[PATH_MAX] = {};
    char partialPath[PATH_MAX] = {};
    struct sigaction previousActions[std::size(kFatalSignals)] = {};
    std::terminate_handler previousTerminate = nullptr;
};

InstalledState gState;
std::atomic<bool> gWriting{false};
std::atomic<bool> gWritten{false};
alignas(16) char gAlternateStack[64 * 1024];

void writeAll(int fd, const char* text, std::size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, text, length);
        if (n <= 0) return;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
}

void writeText(int fd, const char* text) {
    writeAll(fd, text, std::strlen(text));
}

void writeNumber(int fd, long value) {
    char digits[24];
    int i = sizeof digits;
    bool negative = value < 0;
    unsigned long magnitude = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[--i] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (negative) digits[--i] = '-';
    writeAll(fd, digits + i, sizeof digits - static_cast<std::size_t>(i));
}

// The report is written once per process, with calls that are safe in a
// signal handler only: begin opens the partial file and writes "Reason: ",
// the caller writes the reason, end adds the process and the stack and moves
// the file into place. begin gives -1 when another crash is being written or
// the file cannot be made.
int beginReport() {
    if (gWriting.exchange(true)) return -1;
    int fd = open(gState.partialPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        gWritten = true;
        return -1;
    }
    writeText(fd, "Reason: ");
    return fd;
}

void endReport(int fd) {
    writeText(fd, "\nProcess: ");
    writeNumber(fd, static_cast<long>(getpid()));
    writeText(fd, "\n\nBacktrace:\n");
    void* frames[128];
    int count = backtrace(frames, static_cast<int>(std::size(frames)));
    backtrace_symbols_fd(frames, count, fd);
    fsync(fd);
    close(fd);
    rename(gState.partialPath, gState.reportPath);
    gWritten = true;
}

// A crash on a second thread waits (a second at most) for the first one's
// report before the process dies.
void waitForReportOfAnotherThread() {
    timespec pause{0, 10 * 1000 * 1000};
    for (int i = 0; i < 100 && !gWritten.load(); ++i) nanosleep(&pause, nullptr);
}

void fatalSignalHandler(int signal) {
    int fd = beginReport();
    if (fd >= 0) {
        writeText(fd, "Fatal signal ");
        writeNumber(fd, signal);
        writeText(fd, " (");
        writeText(fd, signalName(signal));
        writeText(fd, ")");
        endReport(fd);
    } else {
        waitForReportOfAnotherThread();
    }
    // SA_RESETHAND put the default action back: die of the same signal.
    raise(signal);
}

void terminateHandler() {
    std::string name = "std::terminate";
    std::string reason = "terminate called without an active exception";
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const NamedException& e) {
            name = e.name();
            reason = e.reason();
        } catch (const std::exception& e) {
            name = "std::exception";
            reason = e.what();
        } catch (...) {
            name = "unknown exception";
            reason.clear();
        }
    }
    int fd = beginReport();
    if (fd >= 0) {
        writeText(fd, "Uncaught exception ");
        writeText(fd, name.c_str());
        writeText(fd, ": ");
        writeText(fd, reason.c_str());
        endReport(fd);
    } else {
        waitForReportOfAnotherThread();
    }
    // The abort that follows is part of this crash, not a second one.
    signal(SIGABRT, SIG_DFL);
    std::abort();
}

void copyPath(char (&to)[PATH_MAX], const std::string& from) {
    std::size_t n = std::min(from.size(), sizeof to - 1);
    std::memcpy(to, from.data(), n);
    to[n] = 0;
}

}  // namespace

ErrorAttachmentLog ErrorAttachmentLog::attachmentWithText(const std::string& text, const std::string& filename) {
    return {filename, "text/plain", dataFromString(text)};
}

CrashReporting& CrashReporting::shared() {
    static CrashReporting* instance = new CrashReporting;
    return *instance;
}

void CrashReporting::setDelegate(std::weak_ptr<CrashReportingDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<CrashReportingDelegate> CrashReporting::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

std::string CrashReporting::reportsDirectory() {
    return stringByAppendingPathComponent(AppContainer::cachesDirectory(), "CrashReports");
}

void CrashReporting::start() {
    installHandlers();
    processPendingReports();
}

bool CrashReporting::handlersInstalled() const {
    std::lock_guard lock(mutex_);
    return gState.installed;
}

void CrashReporting::installHandlers() {
    std::lock_guard lock(mutex_);
    if (gState.installed) return;
    const std::string folder = reportsDirectory();
    FileManager::defaultManager().createDirectoryAtPath(folder, true);
    const std::string stem = stringByAppendingPathComponent(folder, UUID().UUIDString());
    copyPath(gState.reportPath, stem + "." + kReportExtension);
    copyPath(gState.partialPath, stem + ".partial");
    gWriting = false;
    gWritten = false;

    // backtrace() loads its unwinder on first use, which must not happen
    // inside a signal handler.
    void* frame[1];
    backtrace(frame, 1);

    // A stack overflow needs a stack of its own to report from; an alternate
    // stack someone else set up is kept.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t stack{};
        stack.ss_sp = gAlternateStack;
        stack.ss_size = sizeof gAlternateStack;
        sigaltstack(&stack, nullptr);
    }
    struct sigaction action {};
    action.sa_handler = fatalSignalHandler;
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kFatalSignals); ++i) {
        sigaction(kFatalSignals[i], &action, &gState.previousActions[i]);
    }
    gState.previousTerminate = std::set_terminate(terminateHandler);
    gState.installed = true;
}

void CrashReporting::uninstallHandlers() {
    std::lock_guard lock(mutex_);
    if (!gState.installed) return;
    for (std::size_t i = 0; i < std::size(kFatalSignals); ++i) {
        sigaction(kFatalSignals[i], &gState.previousActions[i], nullptr);
    }
    std::set_terminate(gState.previousTerminate);
    gState.installed = false;
}

void CrashReporting::processPendingReports() {
    const std::string folder = reportsDirectory();
    auto names = FileManager::defaultManager().contentsOfDirectoryAtPath(folder);
    if (!names) return;
    std::sort(names->begin(), names->end());
    for (const std::string& name : *names) {
        if (pathExtension(name) != kReportExtension) continue;
        const std::string path = stringByAppendingPathComponent(folder, name);
        auto bytes = FileManager::defaultManager().contentsAtPath(path);
        if (!bytes) continue;
        ErrorReport report;
        report.identifier = stringByDeletingPathExtension(name);
        report.text = sanitizeUTF8(stringFromData(*bytes));
        std::string firstLine = report.text.substr(0, report.text.find('\n'));
        if (firstLine.rfind("Reason: ", 0) == 0) report.reason = firstLine.substr(8);

        std::vector<ErrorAttachmentLog> attachments;
        if (auto delegate = this->delegate()) attachments = delegate->attachmentsWithCrashes(*this, report);
        {
            std::lock_guard lock(mutex_);
            recorded_.push_back({std::move(report), std::move(attachments)});
        }
        FileManager::defaultManager().removeItemAtPath(path);
    }
}

std::vector<CrashReporting::RecordedReport> CrashReporting::recordedReports() const {
    std::lock_guard lock(mutex_);
    return recorded_;
}

void CrashReporting::clearRecordedReports() {
    std::lock_guard lock(mutex_);
    recorded_.clear();
}
