#pragma once

// A metadata item as the platform's metadata query reports one file of the
// cloud container: a dictionary of attributes by name. Values are dynamic
// (`Value`: strings, numbers, dates...) except the item's URL, which is a URL.
// The query fills items; readers take each attribute with the kind they expect
// and treat a missing attribute and one of another kind alike.

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

// Attribute names (each constant's text is its own name).
inline constexpr const char* NSMetadataItemURLKey = "NSMetadataItemURLKey";
inline constexpr const char* NSMetadataItemDisplayNameKey = "NSMetadataItemDisplayNameKey";
inline constexpr const char* NSMetadataItemFSContentChangeDateKey = "NSMetadataItemFSContentChangeDateKey";
inline constexpr const char* NSMetadataUbiquitousItemIsExternalDocumentKey =
    "NSMetadataUbiquitousItemIsExternalDocumentKey";
inline constexpr const char* NSMetadataUbiquitousItemContainerDisplayNameKey =
    "NSMetadataUbiquitousItemContainerDisplayNameKey";
inline constexpr const char* NSMetadataUbiquitousItemDownloadingStatusKey =
    "NSMetadataUbiquitousItemDownloadingStatusKey";
inline constexpr const char* NSMetadataUbiquitousItemIsUploadedKey = "NSMetadataUbiquitousItemIsUploadedKey";
inline constexpr const char* NSMetadataUbiquitousItemIsUploadingKey = "NSMetadataUbiquitousItemIsUploadingKey";
inline constexpr const char* NSMetadataUbiquitousItemIsDownloadingKey = "NSMetadataUbiquitousItemIsDownloadingKey";

// Values of NSMetadataUbiquitousItemDownloadingStatusKey.
inline constexpr const char* NSMetadataUbiquitousItemDownloadingStatusNotDownloaded =
    "NSMetadataUbiquitousItemDownloadingStatusNotDownloaded";
inline constexpr const char* NSMetadataUbiquitousItemDownloadingStatusDownloaded =
    "NSMetadataUbiquitousItemDownloadingStatusDownloaded";
inline constexpr const char* NSMetadataUbiquitousItemDownloadingStatusCurrent =
    "NSMetadataUbiquitousItemDownloadingStatusCurrent";

class MetadataItem {
public:
    using Attribute = std::variant<Value, URL>;

    MetadataItem() = default;
    explicit MetadataItem(std::map<std::string, Attribute> attributes) : attributes_(std::move(attributes)) {}

    // The attribute names present.
    std::vector<std::string> attributes() const;
    // The attribute, or nullptr when the item has none of that name.
    const Attribute* valueForAttribute(const std::string& name) const;
    void setValueForAttribute(const std::string& name, Attribute value);

    // Typed reads: nullopt when the attribute is missing or of another kind.
    std::optional<URL> urlForAttribute(const std::string& name) const;
    std::optional<std::string> stringForAttribute(const std::string& name) const;
    std::optional<Date> dateForAttribute(const std::string& name) const;
    // A number of any kind (booleans included), as its truth value.
    std::optional<bool> boolForAttribute(const std::string& name) const;

private:
    std::map<std::string, Attribute> attributes_;
};
