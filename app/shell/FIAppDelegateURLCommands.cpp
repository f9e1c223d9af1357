// The application delegate's handling of URLs: the commands of the
// "memorant" scheme, and deck and PDF files that other apps hand over.

#include <cctype>
#include <memory>

#include "Common/FCCBinaryDocumentPersistence.h"
#include "app/library/DeckLibraryConfigurator.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/FIImportFromPDFViewController.h"
#include "app/shell/ShellLocalizedString.h"
#include "model/TWLogger.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Window.h"

namespace {

constexpr const char* kURLScheme = "memorant";

std::string joinedComponents(const std::vector<std::string>& components) {
    std::string joined = "(";
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) joined += ", ";
        joined += components[i];
    }
    return joined + ")";
}

}  // namespace

bool FIAppDelegate::applicationOpenURL(Application& /*application*/, const URL& url, const Value& /*options*/) {
    TWLogDebug("Request to open URL: %@", url.absoluteString());
    if (url.scheme() == std::optional<std::string>(kURLScheme)) {
        const std::vector<std::string> components = twSplitIntoURLComponents(url.absoluteString());
        if (components.size() < 2) {
            TWLogInfo("Invalid URL: %@", url.absoluteString());
            return false;
        }
        if (components[1] == "downloaddeck") return _handleDownloadDeckCommand(components);
        if (components[1] == "addcard") return _handleAddCardToExistingDeckCommand(components);
        return true;
    }
    if (url.isFileURL() && !importFromPDFcontroller()) {
        std::weak_ptr<FIAppDelegate> weak = weak_from_this();
        DeckLibraryConfigurator::dismissDeckSplitViewControllerWithAnimated(true, deckLibrary(), [weak, url] {
            auto self = weak.lock();
            if (!self) return;
            if (url.pathExtension() == FCCBinaryDocumentPersistence::flashcardsDocumentFileExtension()) {
                self->_importFlashcardsDocumentFromInbox(url);
                return;
            }
            std::string extension = url.pathExtension();
            for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (extension != "pdf") return;
            if (!DeckLibraryConfigurator::isUsingCloudStorage(self->deckLibrary())) {
                auto alert = std::make_shared<AlertView>(shellLocalized("ImportFromPDFSignInToIcloudFirstTitle"),
                                                         std::nullopt, "OK");
                alert->show();
                return;
            }
            self->_importLegacyDeckFromPDF(url);
        });
        return true;
    }
    TWLogInfo("Unsupported URL: %@", url.absoluteString());
    return false;
}

bool FIAppDelegate::_handleDownloadDeckCommand(const std::vector<std::string>& components) {
    if (components.size() != 3) {
        TWLogInfo("Invalid download deck url components: %@", joinedComponents(components));
        return false;
    }
    TWLogDebug("Downloading deck with short id: %@", components[2]);
    DeckLibraryConfigurator::presentDownloadSharedDeckViewControllerForPublicDeckIdentifier(components[2],
                                                                                          deckLibrary());
    return true;
}

bool FIAppDelegate::_handleAddCardToExistingDeckCommand(const std::vector<std::string>& components) {
    if (components.size() != 5) {
        TWLogInfo("Invalid addcard url components: %@", joinedComponents(components));
        return false;
    }
    // A part that is not valid percent-escaped UTF-8 is taken as it stands.
    auto unescaped = [](const std::string& part) { return stringByRemovingPercentEncoding(part).value_or(part); };
    DeckLibraryConfigurator::addCardToDeck(unescaped(components[2]), unescaped(components[3]),
                                           unescaped(components[4]), deckLibrary());
    return true;
}

std::optional<std::string> FIAppDelegate::_robustPathExtensionForURL(const URL& url) {
    const std::string string = url.absoluteString();
    const auto dot = string.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    return string.substr(dot + 1);
}

void FIAppDelegate::_importFlashcardsDocumentFromInbox(const URL& url) {
    auto alert = std::make_shared<AlertView>(shellLocalized("ImportingCardsFromFlashcardsDocumentTitle"), std::string(),
                                             shellLocalized("ImportingCardsFromFlahcardsDocumentCancel"));
    alert->show();
    importFlashcardsDocumentFromTemporaryURL(url, [alert] { alert->dismissWithClickedButtonIndex(0, true); });
}

void FIAppDelegate::_importLegacyDeckFromPDF(const URL& url) {
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    auto controller = std::make_shared<FIImportFromPDFViewController>([weak]() -> std::optional<URL> {
        auto self = weak.lock();
        return self ? self->debugLegacyCloudContainerURL() : std::nullopt;
    });
    importFromPDFcontroller_ = controller;
    auto alert = std::make_shared<AlertView>(shellLocalized("ImportingCardsFromPDFTitle"), std::string(),
                                             shellLocalized("ImportingCardsFromPDFCancel"));
    alert->setDelegate(controller);
    alert->show();
    controller->setAlert(alert);
    const AnyObject library = deckLibrary();
    controller->importLegacyDeckFromPDFatURL(url, library, [weak, library](const std::optional<URL>& deckURL) {
        auto self = weak.lock();
        if (!self) return;
        if (self->window_) self->window_->setTintAdjustmentMode(View::TintAdjustmentMode::Normal);
        if (deckURL) {
            DeckLibraryConfigurator::didAddDocumentAtURL(*deckURL, library);
            DeckLibraryConfigurator::openDocumentAtURL(*deckURL, true, true, library);
        }
        if (self->importFromPDFcontroller_) self->importFromPDFcontroller_->setAlert(nullptr);
        self->importFromPDFcontroller_.reset();
    });
}

void FIAppDelegate::importFlashcardsDocumentFromTemporaryURL(const URL& url, std::function<void()> completion) {
    const AnyObject library = deckLibrary();
    const std::optional<URL> target = DeckLibraryConfigurator::nextAvailableURLforNewDocumentWithBaseName(
        url.URLByDeletingPathExtension().lastPathComponent(), url.pathExtension(), library);
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    cloudContainerSerialQueue_->async([weak, url, target, library, completion = std::move(completion)] {
        std::optional<Error> failure;
        if (!target) {
            Value info = Value::dictionary();
            info.set(NSLocalizedDescriptionKey, Value(std::string("There is no place in the library for the deck.")));
            failure = Error("NSCocoaErrorDomain", 4, info);
        } else {
            FileCoordinator coordinator;
            Error coordinationError;
            bool coordinated = false;
            coordinator.coordinateWritingItemAtURL(
                url, FileCoordinator::WritingForMoving, *target, FileCoordinator::WritingForReplacing,
                &coordinationError, [&](const URL& source, const URL& destination) {
                    coordinated = true;
                    Error moveError;
                    if (!FileManager::defaultManager().moveItemAtPath(source.path(), destination.path(), &moveError)) {
                        TWLogWarning("Error imporing document: %@ to: %@. Error: %@", source.absoluteString(),
                                     destination.absoluteString(), moveError.description());
                        failure = moveError;
                    }
                });
            if (!coordinated) {
                TWLogWarning("Error imporing document: %@ to: %@. Error: %@", url.absoluteString(),
                             target->absoluteString(), coordinationError.description());
                failure = coordinationError;
            }
        }
        DispatchQueue::main().sync([&] {
            if (completion) completion();
            auto self = weak.lock();
            if (!self) return;
            if (!failure) {
                TWLogDebug("Imported document: %@", target->lastPathComponent());
                DeckLibraryConfigurator::didAddDocumentAtURL(*target, library);
                DeckLibraryConfigurator::openDocumentAtURL(*target, true, true, library);
                return;
            }
            TWLogWarning("Error importing Inbox document: %@. Error: %@", url.absoluteString(),
                         failure->description());
            auto alert = std::make_shared<AlertView>(shellLocalized("ImportingCardsFromFlashcardsDocumentErrorTitle"),
                                                     failure->localizedDescription(), "OK");
            alert->show();
        });
    });
}
