#include "Common/FCReusableZipEntries.h"

#include <sys/stat.h>

#include "Common/ZipEntryPaths.h"
#include "Common/ZipException.h"
#include "Common/ZipFile.h"
#include "model/TWLogger.h"
#include "platform/foundation/StringUtils.h"

// The archive copies come from, open for reading while the zipping lasts.
struct FCReusableZipEntries::Zipping::Source {
    std::unique_ptr<ZipFile> zip;
    std::map<std::string, Entry> entries;
};

std::optional<FCReusableZipEntries::FileIdentity> FCReusableZipEntries::identityOfFileAtPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec),
                        static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

FCReusableZipEntries::FCReusableZipEntries() = default;
FCReusableZipEntries::~FCReusableZipEntries() = default;
FCReusableZipEntries::Zipping::~Zipping() = default;

std::optional<FCReusableZipEntries::Archive> FCReusableZipEntries::archiveAtPath(
    const std::string& archivePath, const std::set<std::string>& leftOut,
    const std::function<std::optional<FileIdentity>(const std::string& relativePath)>& fileFor) {
    auto identity = identityOfFileAtPath(archivePath);
    if (!identity) return std::nullopt;
    Archive archive{*identity, {}};
    try {
        ZipFile zip(archivePath, ZipFileModeUnzip);
        for (const FileInZipInfo& info : zip.listFileInZipInfos()) {
            if (zipEntryIsFolder(info.name()) || info.isSymbolicLink() || leftOut.count(info.name())) continue;
            auto components = zipEntryPathComponents(info.name());
            if (!components || components->empty()) continue;
            const std::string relativePath = componentsJoinedByString(*components, "/");
            // A later entry of one name is the one unpacked; an earlier one's
            // file may be gone.
            archive.entries.erase(relativePath);
            if (auto file = fileFor(relativePath)) archive.entries.insert_or_assign(relativePath, Entry{*file, info});
        }
        zip.close();
    } catch (const ZipException& e) {
        TWLogDebug("Not reusing the entries of: %@. Error: %@", archivePath, e);
        return std::nullopt;
    }
    // The archive changed while it was listed: nothing of it is known.
    if (identityOfFileAtPath(archivePath) != identity) return std::nullopt;
    return archive;
}

void FCReusableZipEntries::rememberUnpackedArchive(const std::string& archivePath, const std::string& folderPath,
                                                   const std::set<std::string>& leftOut) {
    auto archive = archiveAtPath(archivePath, leftOut, [&](const std::string& relativePath) {
        return identityOfFileAtPath(folderPath + "/" + relativePath);
    });
    std::lock_guard guard(lock_);
    unpacked_ = std::move(archive);
    written_.reset();
}

std::unique_ptr<FCReusableZipEntries::Zipping> FCReusableZipEntries::beginZipping(
    const std::optional<std::string>& originalContentsPath, const std::string& destinationPath,
    std::map<std::string, const Data*> inMemory) const {
    auto zipping = std::make_unique<Zipping>();
    zipping->inMemory_ = std::move(inMemory);
    if (!originalContentsPath) return zipping;
    auto original = identityOfFileAtPath(*originalContentsPath);
    if (!original) return zipping;
    // Writing the new zip over the original would destroy what is copied.
    auto destination = identityOfFileAtPath(destinationPath);
    if (destination && destination->device == original->device && destination->inode == original->inode) return zipping;
    std::map<std::string, Entry> entries;
    {
        std::lock_guard guard(lock_);
        for (const auto* known : {&written_, &unpacked_}) {
            if (*known && (*known)->identity == *original) {
                entries = (*known)->entries;
                break;
            }
        }
    }
    if (entries.empty()) return zipping;
    try {
        auto source = std::make_unique<Zipping::Source>();
        source->zip = std::make_unique<ZipFile>(*originalContentsPath, ZipFileModeUnzip);
        source->entries = std::move(entries);
        zipping->source_ = std::move(source);
    } catch (const ZipException& e) {
        TWLogDebug("Not reusing the entries of: %@. Error: %@", *originalContentsPath, e);
    }
    return zipping;
}

bool FCReusableZipEntries::Zipping::zipArchiveWriteFileAtPath(SSZipArchive& archive, const std::string& path,
                                                              const std::string& relativePath, int compressionLevel,
                                                              bool& written) {
    auto file = identityOfFileAtPath(path);
    if (file) zipped_.insert_or_assign(relativePath, *file);
    if (auto bytes = inMemory_.find(relativePath); bytes != inMemory_.end()) {
        written = archive.writeFileAtPath(path, relativePath, *bytes->second, compressionLevel);
        return true;
    }
    if (!source_ || !file) return false;
    auto entry = source_->entries.find(relativePath);
    if (entry == source_->entries.end() || entry->second.file != *file) return false;
    try {
        if (!source_->zip->goToFileInZip(entry->second.info)) return false;
    } catch (const ZipException&) {
        return false;
    }
    switch (archive.copyCurrentEntryWrittenAlike(source_->zip->underlying_unzFile(), path, relativePath,
                                                 compressionLevel)) {
        case SSZipArchive::EntryCopy::Copied:
            ++copied_;
            written = true;
            return true;
        case SSZipArchive::EntryCopy::Failed:
            written = false;
            return true;
        case SSZipArchive::EntryCopy::NotAlike:
            break;
    }
    return false;
}

void FCReusableZipEntries::rememberWrittenArchive(const Zipping& zipping, const std::string& archivePath) {
    auto archive = archiveAtPath(archivePath, {}, [&](const std::string& relativePath) {
        auto file = zipping.zipped_.find(relativePath);
        return file == zipping.zipped_.end() ? std::nullopt : std::optional<FileIdentity>(file->second);
    });
    std::lock_guard guard(lock_);
    written_ = std::move(archive);
}

void FCReusableZipEntries::forget() {
    std::lock_guard guard(lock_);
    unpacked_.reset();
    written_.reset();
}
