#include "app/shell/FIDiagnosticsCollector.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"

void FIDiagnosticsCollector::setCollectDiagnostics(bool collect) {
    if (collect == collectDiagnostics_) return;
    collectDiagnostics_ = collect;
    if (!collect) {
        _stopCollecting();
    } else if (!_startCollecting()) {
        collectDiagnostics_ = false;
    }
}

bool FIDiagnosticsCollector::_startCollecting() {
    TWLogInfo("Staring to collect diagnostics data.");
    const bool ready = _initializeReportFile();
    if (ready) {
        TWLogger& logger = TWLogger::sharedInstance();
        savedLogLevel_ = logger.maxLogLevel();
        logger.setMaxLogLevel(TWLogger::LevelDebug);
        _redirectStdoutAndStderr();
    }
    return ready;
}

void FIDiagnosticsCollector::_stopCollecting() {
    TWLogger::sharedInstance().setMaxLogLevel(savedLogLevel_);
    _restoreSystemStdoutAndStderr();
    FileManager& files = FileManager::defaultManager();
    if (!reportFilePath_.empty() && files.fileExistsAtPath(reportFilePath_)) files.removeItemAtPath(reportFilePath_);
    TWLogInfo("Stopped collecting diagnostics data and removed log file.");
}

bool FIDiagnosticsCollector::_initializeReportFile() {
    const std::string bundleIdentifier = Bundle::main().objectForInfoDictionaryKey("CFBundleIdentifier").stringValue();
    const std::string folder = stringByAppendingPathComponent(
        stringByAppendingPathComponent(AppContainer::applicationSupportDirectory(), bundleIdentifier), "logs");
    FileManager& files = FileManager::defaultManager();
    bool isDirectory = false;
    if (!files.fileExistsAtPath(folder, &isDirectory) || !isDirectory) {
        if (!files.createDirectoryAtPath(folder, true)) return false;
    }
    reportFilePath_ = stringByAppendingPathComponent(folder, "mem-diagnostics.log");
    return true;
}

void FIDiagnosticsCollector::_redirectStdoutAndStderr() {
    std::fprintf(stderr, "Redirecting stderr to: %s\n", reportFilePath_.c_str());
    std::fflush(stderr);
    // Opened first and then put on descriptor 2 ("a+" as the descriptor
    // says it), so that a file that cannot be opened leaves standard error
    // working where it was.
    const int report = open(reportFilePath_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (report < 0) return;
    systemStderr_ = dup(STDERR_FILENO);
    dup2(report, STDERR_FILENO);
    close(report);
}

void FIDiagnosticsCollector::_restoreSystemStdoutAndStderr() {
    if (systemStderr_ < 0) return;
    std::fflush(stderr);
    dup2(systemStderr_, STDERR_FILENO);
    close(systemStderr_);
    systemStderr_ = -1;
}
