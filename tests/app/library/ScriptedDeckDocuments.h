#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "app/storage/DocumentDetailsCache.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "platform/foundation/Dispatch.h"
#include "support/MainLoop.h"

namespace memorant_test {

// How a scripted document's open ends.
enum class OpenOutcome {
    opens,       // the file is read for real
    inConflict,  // read for real, then in conflict
    fails,       // not read: fails with the scripted error (or none)
};

// An open the test holds until it lets it finish, so that it takes as long
// on the clock as the test wants. A document made for a URL the test has
// scripted ends as scripted; any other opens for real.
struct ScriptedOpen {
    OpenOutcome outcome = OpenOutcome::opens;
    std::optional<Error> error;
    bool held = false;  // finish() lets it go
};

class ScriptedDocumentHooks {
public:
    virtual ~ScriptedDocumentHooks() = default;
    std::map<std::string, ScriptedOpen> scripts;  // by path
    std::vector<std::string> events;              // "open A.flashcards", "close A.flashcards"
    std::map<std::string, std::function<void()>> heldOpens;
    std::function<void(const URL& url)> onClose;  // when a close starts

    ScriptedOpen scriptFor(const URL& url) const {
        auto it = scripts.find(url.path());
        return it == scripts.end() ? ScriptedOpen{} : it->second;
    }
    // Lets a held open go on; true when one was held.
    bool finish(const URL& url) {
        auto it = heldOpens.find(url.path());
        if (it == heldOpens.end()) return false;
        auto go = std::move(it->second);
        heldOpens.erase(it);
        go();
        return true;
    }
};

template <class Base>
class ScriptedDocument : public Base {
public:
    ScriptedDocument(const URL& url, std::shared_ptr<ScriptedDocumentHooks> hooks)
        : Base(url), hooks_(std::move(hooks)) {}
    using Base::setDocumentState;

    void openWithCompletionHandler(Document::Completion completion) override {
        hooks_->events.push_back("open " + this->fileURL().lastPathComponent());
        const ScriptedOpen script = hooks_->scriptFor(this->fileURL());
        auto self = std::static_pointer_cast<ScriptedDocument>(this->shared_from_this());
        auto go = [self, script, completion] { self->runOpen(script, completion); };
        if (script.held)
            hooks_->heldOpens[this->fileURL().path()] = go;
        else
            go();
    }
    void closeWithCompletionHandler(Document::Completion completion) override {
        hooks_->events.push_back("close " + this->fileURL().lastPathComponent());
        if (hooks_->onClose) hooks_->onClose(this->fileURL());
        Base::closeWithCompletionHandler(std::move(completion));
    }

private:
    void runOpen(const ScriptedOpen& script, Document::Completion completion) {
        if (script.outcome == OpenOutcome::fails) {
            this->setLastError(script.error);
            DispatchQueue::main().async([completion] { completion(false); });
            return;
        }
        auto self = std::static_pointer_cast<ScriptedDocument>(this->shared_from_this());
        Base::openWithCompletionHandler([self, script, completion](bool success) {
            if (success && script.outcome == OpenOutcome::inConflict)
                self->setDocumentState(self->documentState() | DocumentStateInConflict);
            completion(success);
        });
    }

    std::shared_ptr<ScriptedDocumentHooks> hooks_;
};

using ScriptedFlashcardsDocument = ScriptedDocument<FIFlashcardsDocument>;
using ScriptedLegacyDocument = ScriptedDocument<FILegacyDeckDocument>;

// Writes a ".flashcards" deck of that many study cards at the URL.
inline void writeFlashcardsDeck(const URL& url, int studyCards, std::shared_ptr<FCCoverStyle> coverStyle = nullptr) {
    auto document = coverStyle ? FIFlashcardsDocument::initNewDocumentWithFileURL(url, coverStyle)
                               : FIFlashcardsDocument::initNewDocumentWithFileURL(url);
    auto deck = document->deck();
    deck->cards().clear();
    for (int i = 0; i < studyCards; ++i)
        deck->cards().push_back(FCStudyCard::studyCardWithTop("q" + std::to_string(i), "a" + std::to_string(i), i + 1));
    deck->finishInitialization();
    std::optional<bool> saved;
    document->saveToURL(url, DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
    EXPECT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
    EXPECT_TRUE(saved.value_or(false));
    std::optional<bool> closed;
    document->closeWithCompletionHandler([&](bool ok) { closed = ok; });
    EXPECT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
}

// The library reads the details of the ".flashcards" decks on disk (a legacy
// row has no package: the placeholder) and opens scripted documents.
inline void useScriptedDeckDocuments(DeckLibraryTableViewController& library,
                                     const std::shared_ptr<ScriptedDocumentHooks>& hooks) {
    library.documentDetailsCache()->setLoadDetails([](const URL& url, Error* error) {
        const auto& helper = DocumentItemDetailsHelper::shared();
        return url.pathExtension() == "flashcards" ? helper.documentItemDetails(url, error)
                                                   : helper.placeholderDetails();
    });
    library.setDeckDocumentMaker([hooks](const URL& url, bool currentFormat) {
        return currentFormat
                   ? std::static_pointer_cast<FIDeckDocument>(std::make_shared<ScriptedFlashcardsDocument>(url, hooks))
                   : std::make_shared<ScriptedLegacyDocument>(url, hooks);
    });
}

}  // namespace memorant_test
