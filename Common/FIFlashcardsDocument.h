#pragma once

// The document of a deck in the current ".flashcards" format. All file work
// goes through one FCZipBackedBinaryDocumentPersistence; reads, saves and
// attachment changes run on the document's file-access queue. The editing and
// study screens report their changes here; each report marks a change and the
// document saves itself automatically.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Common/FIDeckDocument.h"
#include "platform/ui/Geometry.h"

class FCCoverStyle;
struct FCCEncodedDeck;
class FCCUserDocumentSettings;
class FCZipBackedBinaryDocumentPersistence;
class GraphicsContext;
class Image;

class FIFlashcardsDocument : public FIDeckDocument {
public:
    // The error alert and the cover icons live in the app; it installs these.
    // Shows the save-error alert for the document's lastError (main queue).
    using ErrorAlertPresenter = std::function<void(const std::shared_ptr<FIFlashcardsDocument>& document)>;
    // The cover icon's image fitted into the size, or nullptr when there is none.
    using CoverIconImageProvider = std::function<std::shared_ptr<Image>(const std::string& iconName, Size fitSize)>;
    static void setErrorAlertPresenter(ErrorAlertPresenter presenter);
    static void setCoverIconImageProvider(CoverIconImageProvider provider);
    static std::shared_ptr<Image> coverIconImage(const std::string& iconName, Size fitSize);

    // init / initWithFileURL: an empty document to be opened.
    static std::shared_ptr<FIFlashcardsDocument> initWithFileURL(const URL& url);
    // A new deck of one empty study card with the default cover style.
    static std::shared_ptr<FIFlashcardsDocument> initNewDocumentWithFileURL(const URL& url);
    static std::shared_ptr<FIFlashcardsDocument> initNewDocumentWithFileURL(
        const URL& url, const std::shared_ptr<FCCoverStyle>& coverStyle);

    explicit FIFlashcardsDocument(URL fileURL);
    ~FIFlashcardsDocument() override;

    static std::string flashcardsDocumentFileExtension();
    static std::string flashcardsDocumentUTI();

    std::shared_ptr<FCCUserDocumentSettings> userDocumentSettings() const;
    void setUserDocumentSettings(std::shared_ptr<FCCUserDocumentSettings> settings);
    const std::shared_ptr<FCZipBackedBinaryDocumentPersistence>& zipBackedPersistence() const {
        return zipBackedPersistence_;
    }
    bool needsThumbnailUpdate() const { return needsThumbnailUpdate_; }

    // --- FIDeckDocument ---
    bool isLegacyFormat() const override { return false; }
    std::string defaultFileExtension() const override;
    // The localized name without the ".flashcards" extension.
    std::string deckTitle() const override;
    void clearLastError() override;

    // --- Reading and saving ---
    bool readFromURL(const URL& url, Error* error) override;
    // A Contents snapshot: the deck and settings encoded into their records
    // (on the calling thread, so it costs what encoding costs, not a copy of
    // the deck) and a copy of the cover style, so that writing and drawing the
    // thumbnail work on it while editing goes on.
    std::any contentsForType(const std::optional<std::string>& typeName, Error* error) override;
    using FIDeckDocument::writeContents;
    bool writeContents(const std::any& contents, const URL& url, DocumentSaveOperation saveOperation,
                       const std::optional<URL>& originalContentsURL, Error* error) override;
    bool writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                       DocumentSaveOperation saveOperation, Error* error) override;
    std::optional<Value> fileAttributesToWriteToURL(const URL& url, DocumentSaveOperation saveOperation,
                                                    Error* error) override;

    // What a save writes: a snapshot taken when the save starts.
    struct Contents {
        std::shared_ptr<const FCCEncodedDeck> encodedDeck;
        std::shared_ptr<FCCoverStyle> coverStyle;
    };

    // --- Closing and reverting ---
    void closeWithCompletionHandler(Completion completionHandler) override;
    // A closed document is not reverted; its completion is called with NO.
    void revertToContentsOfURL(const URL& url, Completion completionHandler) override;

    // --- Attachments ---
    // Blocks until the file-access queue has read it: not for the main thread.
    std::optional<Data> dataForAttachmentWithName(const std::optional<std::string>& fileName) override;
    void addNewAttachmentWithData(const std::optional<Data>& data, const std::optional<std::string>& fileName);
    void removeAttachmentWithName(const std::optional<std::string>& fileName);
    void pruneAttachmentsOnlyKeepingFilesWithNames(const std::vector<std::string>& fileNames);
    // Runs on the file-access queue (blocking the caller): not for the main thread.
    std::optional<URL> fileURLforSharingAttachmentWithFileName(const std::optional<std::string>& fileName);

    // --- Change reports ---
    void didChangeCoverStyle();
    void didChangeCardContents();
    void didAddOrRemoveCards();
    void didReorderCards();
    // After a card's report (didUpdateStudyStatsForCard) the deck's counts
    // take in that card's ratings alone; after one by identifier only, the
    // deck is counted again.
    void didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>& identifier) override;
    void didUpdateStudyStatsForCard(const std::shared_ptr<FCStudyCard>& card) override;
    void didUpdateStudyStatisticsForMultipleCards() override;
    void didUpdateUserDocumentSettings();
    void updatePreferredStudyDirection(std::int64_t direction) override;

    // --- Errors ---
    void handleError(const Error& error, bool userInteractionPermitted) override;

    // --- Thumbnail ---
    // Width = the maximum width, height = width × 320 / 455 rounded; nullptr
    // when no bitmap can be made.
    std::shared_ptr<Image> _makeThumbnailImageOfMaximumSize(Size maximumSize,
                                                            const std::shared_ptr<FCCoverStyle>& coverStyle);
    // Draws the cover (gradient, then the custom image or the icon) into the
    // context of that pixel size and returns the image of it.
    std::shared_ptr<Image> _drawThumbnailForCoverStyle(const std::shared_ptr<FCCoverStyle>& coverStyle, Size size,
                                                       GraphicsContext& context);

private:
    bool _internalReadFromURL(const URL& url, Error* error);
    void markChange();

    std::shared_ptr<FCZipBackedBinaryDocumentPersistence> zipBackedPersistence_;
    mutable std::mutex settingsLock_;
    std::shared_ptr<FCCUserDocumentSettings> userDocumentSettings_;
    std::atomic<bool> needsThumbnailUpdate_{false};
    // The cover style of the save in progress, from its snapshot: the
    // thumbnail is drawn from it, never from the live deck. Saves run one at a
    // time, and each takes its snapshot when it starts.
    mutable std::mutex saveCoverStyleLock_;
    std::shared_ptr<FCCoverStyle> saveCoverStyle_;
    // The card whose report is being handled (main thread), else null.
    FCStudyCard* reportedCard_ = nullptr;
};
