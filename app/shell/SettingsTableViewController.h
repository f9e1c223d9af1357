#pragma once

// The settings screen, as far as it is built so far: the four values the deck
// library hands it before its segue. Its rows, the storage switch, the user
// guide and the diagnostics come with the application shell.

#include <memory>

#include "app/shell/SettingsSegueIdentifier.h"
#include "platform/ui/TableViewController.h"

class FIAppDelegate;

class SettingsTableViewController : public TableViewController, public SegueHandlerType<SettingsSegueIdentifier> {
public:
    static constexpr const char* kSceneIdentifier = "SettingsTableViewController";

    SettingsTableViewController() : TableViewController(TableViewStyle::Grouped) {}

    bool isUsingCloudStorage() const { return isUsingCloudStorage_; }
    void setIsUsingCloudStorage(bool using_) { isUsingCloudStorage_ = using_; }
    bool isCloudAvailable() const { return isCloudAvailable_; }
    void setIsCloudAvailable(bool available) { isCloudAvailable_ = available; }
    // A storage switch is under way: the storage choice waits.
    bool isBusy() const { return isBusy_; }
    void setIsBusy(bool busy) { isBusy_ = busy; }
    std::shared_ptr<FIAppDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<FIAppDelegate> delegate) { delegate_ = std::move(delegate); }

private:
    bool isUsingCloudStorage_ = false;
    bool isCloudAvailable_ = false;
    bool isBusy_ = false;
    std::weak_ptr<FIAppDelegate> delegate_;
};
