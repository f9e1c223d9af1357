#pragma once

// The crash part of the outside analytics service. Once installed, an
// exception that nothing catches (std::terminate) or a fatal signal (SIGSEGV,
// SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP) writes a report into
// <Caches>/CrashReports before the process dies: the reason on its first line
// and the stack as backtrace() sees it. The report is written with calls that
// are safe in a signal handler, into a file name chosen at installation, and
// renamed into place when whole, so a report is never read half-written.
//
// At the next start the service takes each report it finds there, asks its
// delegate for attachments and records the report with them (nothing leaves
// the machine: recorded reports are kept in order, for tests to read) and
// removes the file.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"

// One attachment of a crash report.
struct ErrorAttachmentLog {
    std::string filename;
    std::string contentType;
    Data data;

    // A "text/plain" attachment of the text's UTF-8 bytes.
    static ErrorAttachmentLog attachmentWithText(const std::string& text, const std::string& filename);
    std::string text() const { return stringFromData(data); }
};

// A crash as found at the next start.
struct ErrorReport {
    std::string identifier;  // the report file's name without its extension
    // "Uncaught exception <name>: <reason>" or "Fatal signal <n> (<NAME>)".
    std::string reason;
    std::string text;  // the whole report: reason, process and stack
};

class CrashReporting;

class CrashReportingDelegate {
public:
    virtual ~CrashReportingDelegate() = default;
    // The attachments to send with the report; none by default.
    virtual std::vector<ErrorAttachmentLog> attachmentsWithCrashes(CrashReporting& /*crashes*/,
                                                                   const ErrorReport& /*errorReport*/) {
        return {};
    }
};

class CrashReporting {
public:
    struct RecordedReport {
        ErrorReport report;
        std::vector<ErrorAttachmentLog> attachments;
    };

    static CrashReporting& shared();

    void setDelegate(std::weak_ptr<CrashReportingDelegate> delegate);
    std::shared_ptr<CrashReportingDelegate> delegate() const;

    // Installs the handlers, then records the reports of earlier runs.
    void start();

    // Installs the terminate handler and the signal handlers (once; the
    // handlers they replace are kept) and creates the reports folder.
    void installHandlers();
    // Puts back the handlers that installHandlers replaced.
    void uninstallHandlers();
    bool handlersInstalled() const;

    // Records every report in the reports folder, oldest name first, with the
    // delegate's attachments, and removes its file. On the calling thread.
    void processPendingReports();

    std::vector<RecordedReport> recordedReports() const;
    void clearRecordedReports();

    // <Caches>/CrashReports
    static std::string reportsDirectory();

private:
    CrashReporting() = default;

    mutable std::mutex mutex_;
    std::weak_ptr<CrashReportingDelegate> delegate_;
    std::vector<RecordedReport> recorded_;
};
