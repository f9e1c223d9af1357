// The deck rename behind the title of the top-level card list: the title
// becomes the file name, and the file is moved by a coordinated move off the
// main thread. The open document follows its file through file coordination
// (it is a presenter of it), so its next save writes to the new name.

#include "Common/FIDeckDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/AlertController.h"

std::string CardListTableViewController::fileName(const std::string& forDeckName) const {
    const std::string extension = document_ ? document_->defaultFileExtension() : std::string();
    if (pathExtension(forDeckName) == extension) return forDeckName;
    return stringByAppendingPathExtension(forDeckName, extension);
}

bool CardListTableViewController::isDeckNameAvailable(const std::optional<std::string>& title) {
    if (!title || !document_) return false;
    auto delegate = deckChangeDelegate_.lock();
    if (!delegate) return false;
    return delegate->isFileNameAvailableForNewDocument(fileName(*title),
                                                       document_->fileURL().URLByDeletingLastPathComponent());
}

void CardListTableViewController::_renameDocumentToNewName(const std::string& title, std::function<void()> completion) {
    if (!document_) return;
    const URL oldURL = document_->fileURL();
    const URL newURL = oldURL.URLByDeletingLastPathComponent().URLByAppendingPathComponent(fileName(title));
    std::weak_ptr<ViewController> weak = weak_from_this();
    // The library learns of the move even when the list has gone by then (a
    // long save, then the deck closed): its row must follow the file.
    std::weak_ptr<DeckChangeDelegate> weakDelegate = deckChangeDelegate_;
    DispatchQueue::global().async([weak, weakDelegate, oldURL, newURL, completion = std::move(completion)] {
        FileCoordinator coordinator;
        Error coordinationError;
        bool moved = false;
        coordinator.coordinateWritingItemAtURL(
            oldURL, FileCoordinator::WritingForMoving, newURL, FileCoordinator::WritingForReplacing, &coordinationError,
            [&](const URL& from, const URL& to) {
                coordinator.itemAtURLWillMoveToURL(from, to);
                Error moveError;
                moved = FileManager::defaultManager().moveItemAtPath(from.path(), to.path(), &moveError);
                if (moved)
                    coordinator.itemAtURLDidMoveToURL(from, to);
                else
                    TWLogWarning("Error renaming document from: %@ to: %@. Error: %@", from, to,
                                 moveError.description());
            });
        if (coordinationError || !moved) {
            TWLogWarning("Error renaming document from: %@ to: %@. Error: %@", oldURL, newURL,
                         coordinationError ? coordinationError.description() : std::string("(null)"));
            OperationQueue::mainQueue().addOperationWithBlock([weak] {
                auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock());
                if (!list) return;
                if (list->presentationMode_) list->titleTextField_->setText(list->presentationMode_->titleText());
                list->titleTextField_->sizeToFit();
                auto alert = AlertController::alertControllerWithTitle(
                    Bundle::main().localizedString("ErrorRenamingDeckTitle", "The deck name could not be changed."),
                    std::nullopt, AlertControllerStyle::Alert);
                alert->addAction(AlertAction::actionWithTitle(std::string("OK"), AlertActionStyle::Default));
                list->presentViewController(alert, true);
            });
            return;
        }
        TWLogDebug("Renamed document from: %@ to: %@", oldURL, newURL);
        OperationQueue::mainQueue().addOperationWithBlock([weak, weakDelegate, oldURL, newURL, completion] {
            if (auto delegate = weakDelegate.lock()) delegate->didChangeDocumentTitle(oldURL, newURL);
            auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock());
            if (!list) return;
            // The title now reads the new file name.
            if (!list->titleTextField_->isFirstResponder()) {
                list->titleTextField_->setText(list->shownTitleText());
                list->titleTextField_->sizeToFit();
            }
            if (completion) completion();
        });
    });
}
