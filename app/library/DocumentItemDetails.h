#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/ui/Color.h"

class Image;

// What the deck library shows of a deck without opening it: the cover image
// (always present), the number of study cards and the progress in percent (0
// to 100), the colour shown behind the cover, and for legacy decks the title
// from their preview, shown instead of the legacy title placeholder.
//
// Made with all its values and not changed afterwards, except the legacy
// display name. Shared between threads (made on the details cache's worker,
// read on the main thread).
class DocumentItemDetails {
public:
    DocumentItemDetails(std::shared_ptr<Image> coverImage, std::optional<std::int64_t> numberOfStudyCards,
                        std::optional<double> deckProgressInPercent, std::optional<Color> coverImageBackgroundColor,
                        std::optional<std::string> alternativeLegacyDocumentDisplayName)
        : coverImage_(std::move(coverImage)),
          numberOfStudyCards_(numberOfStudyCards),
          deckProgressInPercent_(deckProgressInPercent),
          coverImageBackgroundColor_(std::move(coverImageBackgroundColor)),
          alternativeLegacyDocumentDisplayName_(std::move(alternativeLegacyDocumentDisplayName)) {}

    const std::shared_ptr<Image>& coverImage() const { return coverImage_; }
    const std::optional<std::int64_t>& numberOfStudyCards() const { return numberOfStudyCards_; }
    const std::optional<double>& deckProgressInPercent() const { return deckProgressInPercent_; }
    const std::optional<Color>& coverImageBackgroundColor() const { return coverImageBackgroundColor_; }
    const std::optional<std::string>& alternativeLegacyDocumentDisplayName() const {
        return alternativeLegacyDocumentDisplayName_;
    }
    void setAlternativeLegacyDocumentDisplayName(std::optional<std::string> name) {
        alternativeLegacyDocumentDisplayName_ = std::move(name);
    }

private:
    const std::shared_ptr<Image> coverImage_;
    const std::optional<std::int64_t> numberOfStudyCards_;
    const std::optional<double> deckProgressInPercent_;
    const std::optional<Color> coverImageBackgroundColor_;
    std::optional<std::string> alternativeLegacyDocumentDisplayName_;
};
