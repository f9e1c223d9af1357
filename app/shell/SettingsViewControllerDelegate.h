#pragma once

#include <functional>

// What the settings screen asks of the application delegate when the user
// switches storage. Every call runs on the main thread; the completions run
// once on the main queue.
class SettingsViewControllerDelegate {
public:
    virtual ~SettingsViewControllerDelegate() = default;
    virtual void switchToCloudStorage(std::function<void()> completion) = 0;
    // The completion is told whether the deck library still uses cloud storage.
    virtual void switchToLocalStorageCopyingCloudDocuments(std::function<void(bool usingCloudStorage)> completion) = 0;
    virtual void switchToLocalStorageEvictingCloudDocuments(std::function<void()> completion) = 0;
};
