#pragma once

// A self-contained collector of diagnostics: while it collects, standard
// error goes into a report file of its own,
// <Application Support>/<CFBundleIdentifier>/logs/mem-diagnostics.log, and the
// logger writes debug lines; stopping puts standard error and the logger's
// level back as they were and removes the report file. Standard output is not
// touched. Main thread.

#include <cstdint>
#include <string>

class FIDiagnosticsCollector {
public:
    FIDiagnosticsCollector() = default;
    FIDiagnosticsCollector(const FIDiagnosticsCollector&) = delete;
    FIDiagnosticsCollector& operator=(const FIDiagnosticsCollector&) = delete;

    bool isCollectingDiagnostics() const { return collectDiagnostics_; }
    // No change: nothing. Off stops collecting; on starts, and falls back to
    // off when the report file's folder cannot be made (standard error and
    // the level then stay as they were).
    void setCollectDiagnostics(bool collect);

    const std::string& reportFilePath() const { return reportFilePath_; }
    // The saved descriptor of standard error; -1 when none is saved.
    int systemStderr() const { return systemStderr_; }

    // Logs the start; on a report file, keeps the logger's level, raises it
    // to 3 and sends standard error to the report file. Returns whether the
    // report file is there.
    bool _startCollecting();
    // Puts the kept level back, restores standard error, removes the report
    // file (a failure is ignored) and logs the stop.
    void _stopCollecting();
    // Makes the report folder when it is missing and sets reportFilePath.
    bool _initializeReportFile();
    // Tells the system log where standard error goes, keeps a duplicate of
    // descriptor 2 and reopens standard error on the report file ("a+"); a
    // file that cannot be opened leaves standard error where it was.
    void _redirectStdoutAndStderr();
    // Flushes standard error and puts the kept descriptor back on 2. Nothing
    // when none is kept.
    void _restoreSystemStdoutAndStderr();

private:
    bool collectDiagnostics_ = false;
    std::string reportFilePath_;
    int systemStderr_ = -1;
    std::uint32_t savedLogLevel_ = 2;
};
