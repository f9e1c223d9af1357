#include "app/shell/DiagnosticsController.h"

#include <cstdio>
#include <memory>

#include "app/shell/FIAppDelegate.h"
#include "model/TWLogger.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"

DiagnosticsController& DiagnosticsController::shared() {
    static DiagnosticsController* controller = new DiagnosticsController;
    return *controller;
}

void DiagnosticsController::startCollectingDebugMessagesIfNeeded() {
    if (UserDefaults::standard().boolForKey(collectDebugMessagesUserDefaultsKey)) startCollectingDebugMessages();
}

void DiagnosticsController::startCollectingDebugMessages() {
    if (state_.isCollecting()) return;
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setBool(true, collectDebugMessagesUserDefaultsKey);
    defaults.synchronize();
    TWLogInfo("Beginning collecting debug log messages.");
    TWLogger& logger = TWLogger::sharedInstance();
    const auto original = static_cast<std::int32_t>(logger.maxLogLevel());
    logger.setMaxLogLevel(TWLogger::LevelDebug);
    state_ = State::collectingDebugMessages(original);
}

void DiagnosticsController::stopCollectingDebugMessages() {
    if (!state_.isCollecting()) return;
    TWLogger::sharedInstance().setMaxLogLevel(static_cast<std::uint32_t>(state_.originalLogLevel()));
    TWLogInfo("Stopped collecting debug messages.");
    state_ = State::notCollectingDebugMessages();
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setBool(false, collectDebugMessagesUserDefaultsKey);
    defaults.synchronize();
}

std::optional<std::string> DiagnosticsController::readLastLogMessagesForCrashReportWithMaximumLength(
    std::uint64_t maxLength) const {
    return readLastCharactersOfFile(FIAppDelegate::logFilePath(), maxLength);
}

std::optional<std::string> DiagnosticsController::readLastCharactersOfFile(const std::string& path,
                                                                           std::uint64_t maxLength) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return std::nullopt;
    const long size = std::ftell(file.get());
    if (size < 0) return std::nullopt;

    // A UTF-16 unit takes at most three bytes (a bad byte one, a pair four),
    // so the last 3 * maxLength bytes hold the answer; three more let the
    // read start at a character's first byte.
    const auto fileSize = static_cast<std::uint64_t>(size);
    const std::uint64_t window = maxLength > fileSize / 3 ? fileSize : 3 * maxLength + 3;
    const std::uint64_t start = fileSize - std::min(window, fileSize);
    if (std::fseek(file.get(), static_cast<long>(start), SEEK_SET) != 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(fileSize - start), '\0');
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return std::nullopt;

    std::size_t skip = 0;
    if (start > 0) {
        while (skip < 3 && skip < bytes.size() && (static_cast<unsigned char>(bytes[skip]) & 0xC0) == 0x80) ++skip;
    }
    return suffixWithinUTF16Length(sanitizeUTF8(std::string_view(bytes).substr(skip)),
                                   static_cast<std::size_t>(std::min<std::uint64_t>(maxLength, SIZE_MAX)));
}

std::string DiagnosticsController::messageBacklogText() {
    return componentsJoinedByString(TWLogger::sharedInstance().messageBacklog(), "\n");
}
