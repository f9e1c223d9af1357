#include "app/library/DeckLibraryOpening.h"

#include "Common/FCPersistenceError.h"
#include "Common/FIDeckDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/views/DocumentItemTableViewCell.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/AlertController.h"
#include "umbrella/ErrorChain.h"

namespace {

constexpr const char* kLogFile = "DeckLibraryTableViewController";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

std::shared_ptr<AlertController> makeAlertOfferingSupport(std::optional<std::string> message) {
    auto alert = AlertController::alertControllerWithTitle(
        localized("ErrorOpeningDocument", "Error Opening the Document"), std::move(message),
        AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(localized("Contact Support", "Contact Support"),
                                                  AlertActionStyle::Default, [](AlertAction&) {
                                                      FIAppDelegateDocuments::sendFeedbackEmailIncludingDiagnosticsData();
                                                  }));
    alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default));
    return alert;
}

}  // namespace

DeckFilePermissions DeckFilePermissions::fileManager() {
    return {
        [](const std::string& path) { return FileManager::defaultManager().isWritableFileAtPath(path); },
        [](const std::string& path, Error* error) {
            return FileManager::defaultManager().attributesOfItemAtPath(path, error);
        },
        [](const std::string& path, std::uint32_t permissions, Error* error) {
            return FileManager::defaultManager().setPosixPermissions(path, permissions, error);
        },
    };
}

std::string octalPermissionsText(std::uint32_t permissions) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + (permissions & 7u)));
        permissions >>= 3;
    } while (permissions != 0);
    return "0o" + digits;
}

bool makeDocumentWritable(const URL& fileURL, const DeckFilePermissions& permissions) {
    const std::string path = fileURL.path();
    auto attributes = permissions.attributesOfItemAtPath(path, nullptr);
    // A file always has permission bits here; the platform's attribute
    // dictionary may lack them, which ends the attempt the same way.
    if (!attributes) return false;
    const std::uint32_t oldPermissions = attributes->posixPermissions;
    const std::uint32_t newPermissions = oldPermissions | 0200u;
    const std::string oldText = octalPermissionsText(oldPermissions);
    const std::string newText = octalPermissionsText(newPermissions);
    Error error;
    if (!permissions.setPosixPermissions(path, newPermissions, &error)) {
        logLine("Error trying to update permissions from: " + oldText + " to: " + newText + " for: " + path +
                    ". Error: " + error.description(),
                TWLogger::LevelWarning, "makeDocumentWritable(fileURL:)", __LINE__);
        return false;
    }
    logLine("Updated permissions from: " + oldText + " to: " + newText + " for: " + path, TWLogger::LevelInfo,
            "makeDocumentWritable(fileURL:)", __LINE__);
    return permissions.isWritableFileAtPath(path);
}

std::optional<std::string> openingErrorMessage(const std::optional<Error>& lastError) {
    if (!lastError) return std::nullopt;
    if (lastError->domain() == FCPersistenceErrorDomain &&
        lastError->code() == FCPersistenceErrorUnsupportedFormatVersion)
        return lastError->localizedRecoverySuggestion();
    if (auto joined = joinedLocalizedDescriptions(*lastError, " - ")) return joined;
    return lastError->localizedDescription();
}

std::shared_ptr<AlertController> makeOpeningErrorAlert(std::optional<std::string> message) {
    return makeAlertOfferingSupport(std::move(message));
}

std::shared_ptr<AlertController> makeLockedDocumentAlert() {
    return makeAlertOfferingSupport(localized(
        "LockedDeckMessage",
        "The document is locked. Unlock the document on your Mac in Finder \u2192 iCloud Drive \u2192 Memorant \u2192 "
        "\u201CFile \u203A Get Info\u201D \u2192 Sharing & Permissions \u2192 Privilege \u2192 Read & Write"));
}

void configureCardList(CardListTableViewController& cardList, const std::shared_ptr<FIDeckDocument>& document,
                       const std::shared_ptr<DocumentItemDetails>& details,
                       const std::weak_ptr<DeckChangeDelegate>& deckChangeDelegate,
                       const std::weak_ptr<CardListTableViewControllerDelegate>& cardListDelegate,
                       bool isReadOnlyVersionPreview) {
    cardList.setDocument(document);
    cardList.setDocumentDeails(details);
    cardList.setDeckChangeDelegate(deckChangeDelegate);
    cardList.setCardListDelegate(cardListDelegate);
    cardList.setIsReadOnlyVersionPreview(isReadOnlyVersionPreview);
    cardList.setPresentationMode(PresentationMode::topLevelCards(document));
}

DocumentPendingOpen::DocumentPendingOpen(CellLookup cellForURL)
    : cellForURL_(std::move(cellForURL)), url_(std::make_shared<std::optional<URL>>()) {}

void DocumentPendingOpen::set(std::optional<URL> url) {
    std::optional<URL> previous = std::move(*url_);
    *url_ = std::move(url);
    if (previous) {
        if (auto cell = cellForURL_(*previous)) cell->setWantsPendingOpenIndicator(false);
    }
    if (!*url_) return;
    std::weak_ptr<std::optional<URL>> weakPending = url_;
    DispatchQueue::main().asyncAfter(kIndicatorDelay, [weakPending, lookup = cellForURL_, pendingURL = **url_] {
        auto pending = weakPending.lock();
        if (!pending || *pending != pendingURL) return;
        if (auto cell = lookup(pendingURL)) cell->setWantsPendingOpenIndicator(true);
    });
}
