// The storage-location decision of the application delegate: which storage
// the deck library uses, decided on every activation and on every change of
// the cloud account.

#include "app/library/DeckLibraryConfigurator.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/ShellLocalizedString.h"
#include "app/views/StandaloneAlertController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertController.h"

namespace {

constexpr const char* kPreferredStorageLocationKey = "FCUserPreferredStorageLocation";
constexpr const char* kUbiquityIdentityTokenKey = "FIUbiquityIdentityToken";
constexpr double kPromptRetryDelay = 2.0;

}  // namespace

std::int64_t FIAppDelegate::_userPreferredStorageLocation() {
    return UserDefaults::standard().integerForKey(kPreferredStorageLocationKey);
}

void FIAppDelegate::_saveUserPreferredStorageLocation(std::int64_t location) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setInteger(location, kPreferredStorageLocationKey);
    defaults.synchronize();
}

void FIAppDelegate::_saveCurrentUbiquityIdentityToken() {
    UserDefaults& defaults = UserDefaults::standard();
    if (auto token = UbiquityContainer::ubiquityIdentityToken()) {
        defaults.setObject(Value(token->archivedData()), kUbiquityIdentityTokenKey);
    } else {
        defaults.removeObjectForKey(kUbiquityIdentityTokenKey);
    }
    defaults.synchronize();
}

std::optional<UbiquityIdentityToken> FIAppDelegate::_savedUbiquityIdentityToken() {
    const Value stored = UserDefaults::standard().objectForKey(kUbiquityIdentityTokenKey);
    const Data* data = stored.asData();
    if (!data) return std::nullopt;
    return UbiquityIdentityToken::fromArchivedData(*data);
}

bool FIAppDelegate::_isCloudAvailable() {
    return UbiquityContainer::ubiquityIdentityToken().has_value();
}

bool FIAppDelegate::_hasCloudAccountChanged() {
    const auto current = UbiquityContainer::ubiquityIdentityToken();
    const auto saved = _savedUbiquityIdentityToken();
    if (current.has_value() != saved.has_value()) return true;
    return current && *current != *saved;
}

void FIAppDelegate::_setupUserStoragePreferences() {
    const bool changed = _hasCloudAccountChanged();
    const std::int64_t location = _userPreferredStorageLocation();
    if (changed && location == 2) {
        _notifyUserOfCloudAccountChangeWithUserPreferredStorageLocation(location, changed);
    } else {
        _resolveStateForUserPreferredStorageLocation(location, changed);
    }
}

void FIAppDelegate::_notifyUserOfCloudAccountChangeWithUserPreferredStorageLocation(std::int64_t location,
                                                                                    bool didChange) {
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    DispatchQueue::main().async([weak, location, didChange] {
        auto self = weak.lock();
        if (!self) return;
        auto alert = AlertController::alertControllerWithTitle(
            shellLocalized("iCloudSignoutTitle"), shellLocalized("iCloudSignoutMessage"), AlertControllerStyle::Alert);
        alert->addAction(
            AlertAction::actionWithTitle("OK", AlertActionStyle::Cancel, [weak, location, didChange](AlertAction&) {
                if (auto self = weak.lock()) self->_resolveStateForUserPreferredStorageLocation(location, didChange);
            }));
        self->presentAlert(alert);
    });
}

void FIAppDelegate::_resolveStateForUserPreferredStorageLocation(std::int64_t location, bool didChange) {
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    auto onMain = [weak](void (*action)(FIAppDelegate&)) {
        DispatchQueue::main().async([weak, action] {
            if (auto self = weak.lock()) action(*self);
        });
    };
    if (!_isCloudAvailable()) {
        onMain([](FIAppDelegate& self) {
            _saveUserPreferredStorageLocation(0);
            DeckLibraryConfigurator::configureForLocalStorage(self.deckLibrary());
        });
    } else if (location == 0) {
        onMain([](FIAppDelegate& self) { self._promptUserForStoragePreference(); });
    } else if (location == 2) {
        onMain([](FIAppDelegate& self) { DeckLibraryConfigurator::configureForCloudStorage(self.deckLibrary()); });
    } else if (location == 1 && didChange) {
        onMain([](FIAppDelegate& self) { self._promptUserForStoragePreference(); });
    } else {
        onMain([](FIAppDelegate& self) { DeckLibraryConfigurator::configureForLocalStorage(self.deckLibrary()); });
    }
    // The same account change is not reported twice.
    if (didChange) _saveCurrentUbiquityIdentityToken();
}

void FIAppDelegate::_promptUserForStoragePreference() {
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    if (shouldDelayPromptingForStoragePreferences_) {
        Timer::scheduledTimer(kPromptRetryDelay, false, [weak](Timer&) {
            if (auto self = weak.lock()) self->_promptUserForStoragePreference();
        });
        return;
    }
    // The question waits for an answer while other things go on (a deck handed
    // over at launch opens meanwhile), so it takes a window of its own instead
    // of taking the library's window's one presentation.
    auto alert = StandaloneAlertController::alertControllerWithTitle(
        shellLocalized("iCloudAvailableTitle"), shellLocalized("iCloudAvailableMessage"), AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(
        shellLocalized("iCloudAvailableLaterAction"), AlertActionStyle::Default, [weak](AlertAction&) {
            auto self = weak.lock();
            if (!self) return;
            _saveUserPreferredStorageLocation(1);
            DeckLibraryConfigurator::configureForLocalStorage(self->deckLibrary());
        }));
    alert->addAction(AlertAction::actionWithTitle(shellLocalized("iCloudAvailableUseiCloudAction"),
                                                  AlertActionStyle::Default, [weak](AlertAction&) {
                                                      if (auto self = weak.lock()) self->switchToCloudStorage([] {});
                                                  }));
    alert->showInSeparateWindow();
}

void FIAppDelegate::_handleUbiquityIdentityDidChangeNotification(const Notification* /*notification*/) {
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    auto react = [weak] {
        auto self = weak.lock();
        if (!self) return;
        TWLogDebug("iCloud status changed.");
        DeckLibraryConfigurator::dismissDeckSplitViewControllerWithAnimated(false, self->deckLibrary(), [weak] {
            DispatchQueue::main().async([weak] {
                if (auto self = weak.lock()) self->_setupUserStoragePreferences();
            });
        });
    };
    // The platform posts on the thread that changed the account.
    if (DispatchQueue::main().isCurrent()) {
        react();
    } else {
        DispatchQueue::main().async(react);
    }
}
