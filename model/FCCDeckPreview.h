#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "model/FCCoverStyle.h"
#include "platform/foundation/Date.h"

// What the deck library shows of a deck without opening it.
class FCCDeckPreview {
public:
    FCCDeckPreview() = default;

    // A preview of a deck that could not be read: that identifier, title "???",
    // the default cover style and the distant past as modification date.
    static std::shared_ptr<FCCDeckPreview> unknownPreviewForDeckWithId(std::optional<std::string> identifier);

    const std::optional<std::string>& title() const { return title_; }
    void setTitle(std::optional<std::string> v) { title_ = std::move(v); }
    const std::optional<std::string>& identifier() const { return identifier_; }
    void setIdentifier(std::optional<std::string> v) { identifier_ = std::move(v); }
    const std::shared_ptr<FCCoverStyle>& coverStyle() const { return coverStyle_; }
    void setCoverStyle(std::shared_ptr<FCCoverStyle> v) { coverStyle_ = std::move(v); }
    const std::optional<Date>& contentModificationDate() const { return contentModificationDate_; }
    void setContentModificationDate(std::optional<Date> v) { contentModificationDate_ = v; }
    std::int64_t studyCardsCount() const { return studyCardsCount_; }
    void setStudyCardsCount(std::int64_t v) { studyCardsCount_ = v; }
    // Percent, 0 to 100.
    double studyProgress() const { return studyProgress_; }
    void setStudyProgress(double v) { studyProgress_ = v; }
    bool isPendingiCloudUpOrDownload() const { return isPendingiCloudUpOrDownload_; }
    void setPendingiCloudUpOrDownload(bool v) { isPendingiCloudUpOrDownload_ = v; }
    bool isDownloadedFromiCloud() const { return isDownloadedFromiCloud_; }
    void setDownloadedFromiCloud(bool v) { isDownloadedFromiCloud_ = v; }
    bool isIniCloudDriveContainer() const { return isIniCloudDriveContainer_; }
    void setIniCloudDriveContainer(bool v) { isIniCloudDriveContainer_ = v; }
    bool useLegacyStyle() const { return useLegacyStyle_; }
    void setUseLegacyStyle(bool v) { useLegacyStyle_ = v; }
    const FCImageRef& largeCoverImage() const { return largeCoverImage_; }
    void setLargeCoverImage(FCImageRef v) { largeCoverImage_ = std::move(v); }
    const FCImageRef& smallCoverImage() const { return smallCoverImage_; }
    void setSmallCoverImage(FCImageRef v) { smallCoverImage_ = std::move(v); }
    const std::optional<std::string>& localizedModificationDate() const { return localizedModificationDate_; }
    void setLocalizedModificationDate(std::optional<std::string> v) { localizedModificationDate_ = std::move(v); }

private:
    std::optional<std::string> title_;
    std::optional<std::string> identifier_;
    std::shared_ptr<FCCoverStyle> coverStyle_;
    std::optional<Date> contentModificationDate_;
    std::int64_t studyCardsCount_ = 0;
    double studyProgress_ = 0;
    bool isPendingiCloudUpOrDownload_ = false;
    bool isDownloadedFromiCloud_ = false;
    bool isIniCloudDriveContainer_ = false;
    bool useLegacyStyle_ = false;
    FCImageRef largeCoverImage_;
    FCImageRef smallCoverImage_;
    std::optional<std::string> localizedModificationDate_;
};
