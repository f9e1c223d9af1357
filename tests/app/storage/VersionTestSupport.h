#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/storage/LocalDocumentsController.h"
#include "app/storage/VersionBrowserEntry.h"
#include "model/TWLogger.h"
#include "platform/cloud/FileVersion.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Thread.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

namespace memorant_test {

inline Data textData(const std::string& s) {
    return Data(s.begin(), s.end());
}

inline std::string fileText(const std::string& path) {
    auto data = FileManager::defaultManager().contentsAtPath(path);
    return data ? std::string(data->begin(), data->end()) : std::string("<missing>");
}

// Whether the backlog holds a line of the level word and function whose
// message starts with the text (for lines that end in an error's description).
inline bool loggedLineStarting(const std::string& level, const std::string& function, const std::string& start) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        if (line.find(level + "| " + start) != std::string::npos &&
            line.find("|VersionBrowserTableViewController:") != std::string::npos &&
            line.find("| " + function) != std::string::npos)
            return true;
    }
    return false;
}

// Runs the main loop until `done`, moving the clock on by a copy's pause
// whenever a thread sleeps (copies sleep one at a time).
inline ::testing::AssertionResult runCopiesUntil(VirtualClock& clock, const std::function<bool()>& done) {
    for (int round = 0; round < 50; ++round) {
        auto progressed = runMainLoopUntil([&] { return done() || Thread::numberOfSleepingThreads() > 0; });
        if (!progressed) return progressed;
        if (done()) return ::testing::AssertionSuccess();
        clock.advance(2.0);
        auto woke = runMainLoopUntil([] { return Thread::numberOfSleepingThreads() == 0; });
        if (!woke) return woke;
    }
    return ::testing::AssertionFailure() << "never done";
}

// A deck file "Deck.flashcards" in a folder of local storage, with versions
// made by the test. Contents are short texts, so a test can tell where each
// version's bytes went.
class VersionedDeckTest : public VirtualClockTest {
protected:
    VersionedDeckTest() {
        controller = LocalDocumentsController::create(URL::fileURLWithPath(dir.str(), true));
        EXPECT_TRUE(FileManager::defaultManager().createFileAtPath(deck.path(), textData("current")));
    }
    ~VersionedDeckTest() override {
        FileVersions::setFailureHook(nullptr);
        FileCoordinator::setFailureHook(nullptr);
        controller->backgroundWorkerQueue()->waitUntilAllOperationsAreFinished();
        drainMainLoop();
    }

    std::shared_ptr<FileVersion> addVersion(FileVersion::Kind kind, std::optional<std::string> contents,
                                            std::optional<Date> date = std::nullopt,
                                            std::optional<std::string> computer = std::nullopt,
                                            std::optional<std::string> name = std::nullopt) {
        FileVersions::NewVersion v;
        v.kind = kind;
        v.modificationDate = date;
        v.savingComputerName = std::move(computer);
        v.localizedName = std::move(name);
        if (contents) v.contents = textData(*contents);
        auto version = FileVersions::addVersion(deck, v);
        EXPECT_NE(nullptr, version);
        return version;
    }

    std::string docText(const std::string& name) const { return fileText(dir.file(name)); }
    bool exists(const std::string& name) const {
        return FileManager::defaultManager().fileExistsAtPath(dir.file(name));
    }

    TempDir dir;
    URL deck = URL::fileURLWithPath(dir.file("Deck.flashcards"));
    std::shared_ptr<LocalDocumentsController> controller;
};

}  // namespace memorant_test
