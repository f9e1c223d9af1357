#pragma once

// The deck library screen on the virtual clock: made from its storyboard
// scene and shown in a navigation controller in a phone-sized window, with a
// scripted documents controller, fake details loaders and scripted deck
// documents.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DiffableDeckListDataSource.h"
#include "app/library/DocumentItemDetails.h"
#include "app/storage/CloudDocumentsController.h"
#include "app/storage/CloudTestSupport.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/storage/LocalDocumentsController.h"
#include "app/views/DocumentItemTableViewCell.h"
#include "model/TWLogger.h"
#include "platform/cloud/ScriptedMetadataQueryBackend.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

namespace memorant_test {

// A documents controller that delivers what the test gives it and records
// what the library asks of it.
class ScriptedDocumentsController : public DocumentsController {
public:
    void setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) override { delegate_ = delegate; }
    void startListing() override { calls.push_back("startListing"); }
    void stopListing() override { calls.push_back("stopListing"); }
    void enableUpdates() override { calls.push_back("enableUpdates"); }
    void disableUpdates() override { calls.push_back("disableUpdates"); }
    bool isDocumentNameAvailable(const std::string& name, const URL& parent) override {
        calls.push_back("isDocumentNameAvailable " + name + " " + parent.path());
        return nameAvailable;
    }
    std::optional<URL> uniqueDocumentURL(const std::string&, const std::string&) override { return std::nullopt; }
    void documentDidChange(const URL& url) override { calls.push_back("documentDidChange " + url.path()); }
    void documentWasAdded(const URL& url) override { calls.push_back("documentWasAdded " + url.path()); }
    void documentWasDeleted(const URL& url) override { calls.push_back("documentWasDeleted " + url.path()); }
    void documentWasMoved(const URL& from, const URL& to) override {
        calls.push_back("documentWasMoved " + from.path() + " " + to.path());
    }

    void deliver(const std::vector<std::shared_ptr<DocumentItem>>& items,
                 const std::vector<DocumentItemAnimation>& animations) {
        if (auto delegate = delegate_.lock()) delegate->documentItemsDidChange(items, animations);
    }
    std::size_t count(const std::string& call) const {
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
    }

    std::vector<std::string> calls;
    bool nameAvailable = true;

private:
    std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate_;
};

// The cloud controller over a scripted query, recording the library's hooks.
class RecordingCloudDocumentsController : public CloudDocumentsController {
public:
    RecordingCloudDocumentsController()
        : CloudDocumentsController(FlashcardsDocumentQuery::create(
              MetadataQuery::create(std::make_shared<ScriptedMetadataQueryBackend>()))) {}
    void enableUpdates() override { calls.push_back("enableUpdates"); }
    void disableUpdates() override { calls.push_back("disableUpdates"); }
    void documentDidChange(const URL& url) override { calls.push_back("documentDidChange " + url.path()); }
    std::vector<std::string> calls;
};

// A deck document whose close finishes when the test says so, with the
// result it is given.
class ScriptedDeckDocument : public FIDeckDocument {
public:
    ScriptedDeckDocument(URL url, bool legacy, unsigned state = DocumentStateNormal)
        : FIDeckDocument(std::move(url)), legacy_(legacy) {
        setDocumentState(state);
    }
    bool isLegacyFormat() const override { return legacy_; }
    std::string deckTitle() const override { return fileURL().lastPathComponent(); }
    void closeWithCompletionHandler(Completion completion) override {
        ++closeCalls;
        pendingClose = std::move(completion);
    }
    // Ends the close on the main queue, as the platform does.
    void finishClose(bool success) {
        auto completion = std::move(pendingClose);
        pendingClose = nullptr;
        if (success) setDocumentState(DocumentStateClosed);
        DispatchQueue::main().async([completion, success] {
            if (completion) completion(success);
        });
    }
    int closeCalls = 0;
    Completion pendingClose;

private:
    bool legacy_;
};

// Details a fake loader hands out.
inline std::shared_ptr<DocumentItemDetails> makeDetails(std::optional<std::int64_t> count,
                                                        std::optional<double> progress,
                                                        std::optional<Color> background = std::nullopt,
                                                        std::optional<std::string> alternativeName = std::nullopt) {
    auto cover = Image::render({64, 45}, 1, [](GraphicsContext&) {});
    return std::make_shared<DocumentItemDetails>(cover, count, progress, background, alternativeName);
}

// The details a fake loader knows, by file name, and the reads it saw
// ("coordinated X" or "metadata X"). Loaders run on the cache's worker.
class FakeDetailsLoaders {
public:
    void set(const std::string& fileName, std::shared_ptr<DocumentItemDetails> details) {
        std::lock_guard lock(mutex_);
        details_[fileName] = std::move(details);
    }
    std::vector<std::string> reads() const {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    // Reads of this deck fail.
    void fail(const std::string& fileName) {
        std::lock_guard lock(mutex_);
        failing_.insert(fileName);
    }
    void clearReads() {
        std::lock_guard lock(mutex_);
        reads_.clear();
    }
    void install(DeckLibraryTableViewController::DocumentDetailsCacheType& cache) {
        cache.setLoadDetails([this](const URL& url, Error* error) { return load("coordinated", url, error); });
        cache.setLoadMetadataOnlyDetails([this](const URL& url, Error* error) { return load("metadata", url, error); });
    }

private:
    std::shared_ptr<DocumentItemDetails> load(const std::string& kind, const URL& url, Error* error) {
        std::lock_guard lock(mutex_);
        reads_.push_back(kind + " " + url.lastPathComponent());
        auto it = details_.find(url.lastPathComponent());
        if (it != details_.end()) return it->second;
        if (failing_.count(url.lastPathComponent())) {
            if (error) *error = Error("FakeDetails", 1);
            return nullptr;
        }
        // Decks the test says nothing of have a cover and nothing else.
        return makeDetails(std::nullopt, std::nullopt);
    }
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<DocumentItemDetails>> details_;
    std::vector<std::string> reads_;
    std::set<std::string> failing_;
};

inline std::shared_ptr<DocumentItem> localItem(const std::string& fileName, const std::string& folder = "/decks") {
    auto item = std::make_shared<DocumentItem>(URL::fileURLWithPath(folder + "/" + fileName), std::nullopt);
    item->setSubtitle("Today, 09:00");
    return item;
}

inline std::shared_ptr<DocumentItem> cloudItemNamed(const std::string& fileName, bool downloaded, bool current,
                                                    bool external, std::optional<std::string> status) {
    auto item = localItem(fileName, "/container/Documents");
    item->setStorageLocation(DocumentItem::StorageLocation::iCloud(downloaded, current, external, std::move(status)));
    return item;
}

class DeckLibraryTest : public UITest {
protected:
    void SetUp() override {
        TWLogger::sharedInstance().setMessageBacklogSize(100000);
        TWLogger::sharedInstance().setMessageBacklog({});
        library = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                      ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
        ASSERT_NE(nullptr, library);
        library->setDocumentsController(documents);
        loaders.install(*library->documentDetailsCache());
        navigation = std::make_shared<NavigationController>(library);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        settle();
        // Alerts in windows of their own (a failed open's) go too.
        for (auto& shown : Application::shared().windows()) shown->setHidden(true);
        drainMainLoop();
        UITest::TearDown();
    }

    // Lets the details reads finish and their results arrive.
    void settle() {
        if (library) {
            ASSERT_TRUE(settleWorker(*library->documentDetailsCache()->backgroundQueue()));
        }
    }
    TableView& table() { return *library->tableView(); }
    std::shared_ptr<DocumentItemTableViewCell> cell(std::int64_t row) {
        return std::dynamic_pointer_cast<DocumentItemTableViewCell>(table().cellForRowAtIndexPath({0, row}));
    }
    std::string subtitle(std::int64_t row) {
        auto c = cell(row);
        return c ? c->subtitleLabel()->text().value_or("n/a") : "no cell";
    }
    std::string title(std::int64_t row) {
        auto c = cell(row);
        return c ? c->titleLabel()->text().value_or("n/a") : "no cell";
    }
    bool logged(const std::string& level, const std::string& function, const std::string& message) {
        return loggedLine(level, DeckLibraryTableViewController::kLogFile, function, message);
    }
    // The library's own lines in the backlog.
    std::size_t libraryLines() {
        std::size_t n = 0;
        for (const auto& line : TWLogger::sharedInstance().messageBacklog())
            if (stringContains(line, std::string(" |") + DeckLibraryTableViewController::kLogFile + ":")) ++n;
        return n;
    }
    std::size_t loggedCount(const std::string& message) {
        std::size_t n = 0;
        for (const auto& line : TWLogger::sharedInstance().messageBacklog())
            if (stringContains(line, "| " + message + " |")) ++n;
        return n;
    }

    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    std::shared_ptr<ScriptedDocumentsController> documents = std::make_shared<ScriptedDocumentsController>();
    FakeDetailsLoaders loaders;
    std::shared_ptr<DeckLibraryTableViewController> library;
    std::shared_ptr<NavigationController> navigation;
};

}  // namespace memorant_test
