#pragma once

// Builds the details the deck library shows of a deck (DocumentItemDetails)
// from its file, without opening the deck: a ".flashcards" package gives its
// metadata record, a legacy ".studydeck" package its small preview file. The
// cover is, in this order of preference, the thumbnail the file carries
// (stretched to the list's 64 x 45 points), the icon of the deck's cover style
// (45 x 45), or the placeholder (64 x 45 points of "eeeeee"). The colour behind
// the cover comes from the cover style's start colour, through a fixed table.
//
// The two loaders (documentItemDetails(url) and loadMetadataOnlyForDocument)
// are what the deck library installs into its DocumentDetailsCache, which runs
// them on its worker queue: everything here may run on any thread and changes
// nothing, except that the metadata-only loader of a legacy deck starts its
// download from the cloud. The same pieces make the large cover of an open deck
// (documentItemDetails(openDocument), coverStyleImage) for the deck overview.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/library/DocumentItemDetails.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"

class FCCoverStyle;
class FIDeckDocument;
class Image;

class DocumentItemDetailsHelper {
public:
    // Made on first use, once, whatever the thread.
    static DocumentItemDetailsHelper& shared();

    static constexpr Size kCoverImageSize{64, 45};
    static constexpr Size kCoverStyleIconSize{45, 45};
    static constexpr Size kOpenDocumentCoverSize{1092, 768};

    // 64 x 45 points of "eeeeee" at the main screen's scale (as it was when the
    // helper was made).
    const std::shared_ptr<Image>& placeholderImage() const { return placeholderImage_; }
    Size coverImageSize() const { return coverImageSize_; }
    // A new DocumentItemDetails with the placeholder cover and nothing else.
    std::shared_ptr<DocumentItemDetails> placeholderDetails() const;

    // Start colour (six lower-case hex digits, no "#") -> background colour.
    static const std::map<std::string, std::string>& coverBackgroundColorTable();
    // The background colour of a cover style: the table's colour for its
    // start colour with every "#" removed (exact match), else none; none for
    // no style or no start colour.
    static std::optional<Color> backgroundColor(const std::shared_ptr<FCCoverStyle>& coverStyle);
    // The cover style's icon fitted into the size, or nullptr (no icon name, no
    // such resource).
    static std::shared_ptr<Image> coverStyleIcon(const std::shared_ptr<FCCoverStyle>& coverStyle, Size fitSize);
    // The 1024 x 1024 thumbnail the file carries (also for a cloud item not on
    // the device), or nullptr. Nothing is logged.
    static std::shared_ptr<Image> fileThumbnail(const URL& url);

    // The full loader (the caller holds coordinated read access): by the path
    // extension, a ".flashcards" package's metadata, a legacy package's
    // preview, or for any other extension the placeholder details. Fails
    // (nullptr and the error) when the metadata or the preview cannot be read.
    std::shared_ptr<DocumentItemDetails> documentItemDetails(const URL& url, Error* error = nullptr) const;
    // The loader for documents not on the device; never fails. A ".flashcards"
    // package gets the cover its promised thumbnail gives (no count, no
    // progress); a legacy package starts downloading and gets the placeholder;
    // anything else the placeholder.
    std::shared_ptr<DocumentItemDetails> loadMetadataOnlyForDocument(const URL& url) const;

    std::shared_ptr<DocumentItemDetails> _documentItemDetailsForFlashcardsDocumentAtURL(const URL& url,
                                                                                        Error* error = nullptr) const;
    std::shared_ptr<DocumentItemDetails> legacyDocumentItemDetails(const URL& url, Error* error = nullptr) const;
    // A list row's details: the file's thumbnail stretched to 64 x 45, else the
    // cover style's icon at 45 x 45 (both with the style's background colour),
    // else the placeholder without background colour. Count and progress are
    // passed through.
    std::shared_ptr<DocumentItemDetails> _documentItemDetails(std::optional<std::int64_t> studyCardCount,
                                                              std::optional<double> studyProgress,
                                                              const std::shared_ptr<FCCoverStyle>& coverStyle,
                                                              const URL& url) const;

    // A large cover: the style's icon fitted into a square of the size's
    // height (the placeholder when there is none) on the style's background
    // colour; no count, progress or legacy name.
    std::shared_ptr<DocumentItemDetails> coverStyleImage(const std::shared_ptr<FCCoverStyle>& coverStyle,
                                                         Size size) const;
    // Main thread. The cover of an open deck: its file's thumbnail as it is,
    // else coverStyleImage of the deck's style at 1092 x 768; the deck's count
    // and progress.
    std::shared_ptr<DocumentItemDetails> documentItemDetails(const FIDeckDocument& openDocument) const;
    // Main thread. The same details without reading the file or rendering:
    // the style's icon at the open deck's size when it is kept from an earlier
    // rendering, else the placeholder. `completion` gets the full details
    // (documentItemDetails) later on the main queue, made on another thread.
    std::shared_ptr<DocumentItemDetails> documentItemDetailsAtOnce(
        const FIDeckDocument& openDocument, std::function<void(std::shared_ptr<DocumentItemDetails>)> completion) const;

private:
    DocumentItemDetailsHelper();
    // What documentItemDetails(openDocument) makes of the deck's values, on any thread.
    std::shared_ptr<DocumentItemDetails> openDocumentDetails(const URL& fileURL, std::optional<std::int64_t> count,
                                                             std::optional<double> progress,
                                                             const std::shared_ptr<FCCoverStyle>& coverStyle) const;
    // The kept rendering of coverStyleIcon, or nullptr when there is none yet.
    static std::shared_ptr<Image> keptCoverStyleIcon(const std::shared_ptr<FCCoverStyle>& coverStyle, Size fitSize);

    std::shared_ptr<Image> placeholderImage_;
    Size coverImageSize_ = kCoverImageSize;
};
