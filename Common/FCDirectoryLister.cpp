#include "Common/FCDirectoryLister.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "model/TWFileSystem.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

// Folders that the platform shows as single files: deck documents kept as
// folders and the older ".studydeck" packages. Their insides are not listed.
bool isPackageFolder(const std::string& path, const std::string& documentExtension) {
    const std::string extension = pathExtension(path);
    return !extension.empty() && (extension == documentExtension || extension == "studydeck");
}

bool isFolderItem(const std::string& path) {
    auto attributes = FileManager::defaultManager().attributesOfItemAtPath(path);
    return attributes && attributes->type == FileAttributes::Type::Directory;
}

// Depth first, a folder before its contents; links are listed, not followed.
// Sub-folders that cannot be read are left out silently.
void collectItems(const std::string& folder, const std::string& documentExtension, std::vector<std::string>& items) {
    auto names = FileManager::defaultManager().contentsOfDirectoryAtPath(folder);
    if (!names) return;
    for (const std::string& name : *names) {
        std::string path = stringByAppendingPathComponent(folder, name);
        const bool descend = isFolderItem(path) && !isPackageFolder(path, documentExtension);
        items.push_back(path);
        if (descend) collectItems(path, documentExtension, items);
    }
}

// The five cloud properties of a document: has unresolved conflicts, is
// uploaded, downloading status, uploading error, downloading error. An item
// outside a ubiquity container has none of them, which is every item of the
// local disk; each absent value prints as the platform's text for nil.
std::string cloudText() {
    const FormatArg none(nullptr);
    return stringWithFormat(
        "\n\tConflict       : %@\n\tIs uploaded    : %@\n\tDownload status: %@\n\tUpload error   : %@\n\tDownload "
        "error : %@\n",
        none, none, none, none, none);
}

}  // namespace

void FIDirectoryLister::addDirectoryListing(const std::optional<URL>& folderURL, std::string& to,
                                            const std::string& flashcardsDocumentExtension) {
    if (!folderURL) return;
    const std::string folderPath = folderURL->path();
    to += stringWithFormat("\n\nFolder contents: %@\n\n", folderPath);

    Error listError;
    if (!FileManager::defaultManager().contentsOfDirectoryAtPath(folderPath, &listError)) {
        to += " error listing contents\n";
    } else {
        std::vector<std::string> items;
        collectItems(folderPath, flashcardsDocumentExtension, items);
        for (const std::string& path : items) {
            std::string sizeText;
            std::string dateText;
            const bool isPackage = isFolderItem(path) && isPackageFolder(path, flashcardsDocumentExtension);
            if (TWFileSystem::isFileAtPath(path) || isPackage) {
                if (auto attributes = FileManager::defaultManager().attributesOfItemAtPath(path)) {
                    sizeText = formattedByteCount(attributes->size);
                    dateText = formattedDate(attributes->modificationDate);
                }
            }
            const std::string relativePath = path.substr(std::min(folderPath.size(), path.size()));
            const std::string cloud = pathExtension(path) == flashcardsDocumentExtension ? cloudText() : std::string();
            to += stringWithFormat("  %@,\t %@,\t %@,\t %@\n", relativePath, sizeText, dateText, cloud);
        }
    }
    to += "\n\n";
}

std::string FIDirectoryLister::formattedByteCount(std::uint64_t byteCount) {
    if (byteCount == 0) return "Zero KB";
    if (byteCount == 1) return "1 byte";
    if (byteCount < 1000) return stringWithFormat("%llu bytes", static_cast<unsigned long long>(byteCount));

    // Kilobytes without decimals, megabytes with one, larger units with two;
    // a value that rounds to 1000 moves on to the next unit.
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static const int kDecimals[] = {0, 1, 2, 2, 2, 2};
    double value = static_cast<double>(byteCount);
    for (std::size_t unit = 0; unit < std::size(kUnits); ++unit) {
        value /= 1000.0;
        const double scale = std::pow(10.0, kDecimals[unit]);
        const double rounded = std::round(value * scale) / scale;
        if (rounded >= 1000.0 && unit + 1 < std::size(kUnits)) continue;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", kDecimals[unit], rounded);
        std::string number = buffer;
        if (number.find('.') != std::string::npos) {
            while (number.back() == '0') number.pop_back();
            if (number.back() == '.') number.pop_back();
        }
        return number + " " + kUnits[unit];
    }
    return {};
}

std::string FIDirectoryLister::formattedDate(Date date) {
    return DateFormatter("M/d/yy, h:mm a").stringFromDate(date);
}
