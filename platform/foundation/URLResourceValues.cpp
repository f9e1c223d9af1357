#include "platform/foundation/URLResourceValues.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <utility>

#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Digest.h"
#include "platform/foundation/FileManager.h"

namespace {

std::string hiddenExtensionStorePath(const URL& url) {
    return AppContainer::cachesDirectory() + "/DocumentResourceValues/" + hexString(md5Digest(url.path())) +
           ".hiddenExtension";
}

constexpr const char* kIdentifierAttribute = "user.memorant.documentIdentifier";

// What tells one file from another on the disk: device and inode, and the
// birth time where the file system keeps one (an inode freed and taken again
// has a new one).
struct FileIdentity {
    std::pair<std::uint64_t, std::uint64_t> deviceAndInode;
    std::optional<std::pair<std::int64_t, std::uint32_t>> birth;
};

struct TableEntry {
    std::int64_t identifier = 0;
    std::optional<std::pair<std::int64_t, std::uint32_t>> birth;
};

struct Identifiers {
    std::mutex mutex;
    bool useAttributes = true;
    // The identifiers of files that could not take the attribute.
    std::map<std::pair<std::uint64_t, std::uint64_t>, TableEntry> table;
};

Identifiers& identifiers() {
    static auto* shared = new Identifiers;
    return *shared;
}

std::optional<FileIdentity> identityOf(const std::string& path, bool reading, Error* error) {
    struct statx sx;
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_BTIME, &sx) != 0) {
        Error::set(error, fileError(errno, path, reading));
        return std::nullopt;
    }
    FileIdentity identity;
    identity.deviceAndInode = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino};
    if (sx.stx_mask & STATX_BTIME) identity.birth = std::make_pair(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    return identity;
}

// A positive identifier that no other file has: 62 random bits.
std::int64_t newIdentifier() {
    std::random_device device;
    const std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    const auto identifier = static_cast<std::int64_t>(bits & 0x3FFF'FFFF'FFFF'FFFFull);
    return identifier == 0 ? 1 : identifier;
}

// The attribute holds "<identifier> <inode>"; one written for another inode
// came along with a copy and does not count.
std::optional<std::int64_t> identifierInAttribute(const std::string& path, const FileIdentity& identity) {
    char buffer[64];
    const ssize_t length = ::getxattr(path.c_str(), kIdentifierAttribute, buffer, sizeof buffer - 1);
    if (length <= 0) return std::nullopt;
    buffer[length] = '\0';
    long long identifier = 0;
    unsigned long long inode = 0;
    if (std::sscanf(buffer, "%lld %llu", &identifier, &inode) != 2 || identifier <= 0 ||
        inode != identity.deviceAndInode.second) {
        return std::nullopt;
    }
    return identifier;
}

bool writeAttribute(const std::string& path, const FileIdentity& identity, std::int64_t identifier) {
    const std::string text = std::to_string(identifier) + " " + std::to_string(identity.deviceAndInode.second);
    return ::setxattr(path.c_str(), kIdentifierAttribute, text.data(), text.size(), 0) == 0;
}

// Gives the file the identifier: in its attribute, or else in the table.
void recordIdentifier(Identifiers& ids, const std::string& path, const FileIdentity& identity,
                      std::int64_t identifier) {
    if (ids.useAttributes && writeAttribute(path, identity, identifier)) {
        ids.table.erase(identity.deviceAndInode);
        return;
    }
    ids.table[identity.deviceAndInode] = TableEntry{identifier, identity.birth};
}

std::optional<std::int64_t> identifierLocked(Identifiers& ids, const std::string& path,
                                             std::optional<FileIdentity>& identity, Error* error) {
    identity = identityOf(path, true, error);
    if (!identity) return std::nullopt;
    if (ids.useAttributes) {
        if (auto identifier = identifierInAttribute(path, *identity)) return identifier;
    }
    auto entry = ids.table.find(identity->deviceAndInode);
    if (entry != ids.table.end() && entry->second.birth == identity->birth) return entry->second.identifier;
    const std::int64_t identifier = newIdentifier();
    recordIdentifier(ids, path, *identity, identifier);
    return identifier;
}

}  // namespace

std::optional<std::int64_t> documentIdentifierOfItemAtPath(const std::string& path, Error* error) {
    Error::clear(error);
    auto& ids = identifiers();
    std::lock_guard lock(ids.mutex);
    std::optional<FileIdentity> identity;
    return identifierLocked(ids, path, identity, error);
}

bool carryDocumentIdentifier(const URL& from, const URL& to, Error* error) {
    Error::clear(error);
    auto& ids = identifiers();
    std::lock_guard lock(ids.mutex);
    std::optional<FileIdentity> fromIdentity;
    auto identifier = identifierLocked(ids, from.path(), fromIdentity, error);
    if (!identifier) return false;
    auto toIdentity = identityOf(to.path(), false, error);
    if (!toIdentity) return false;
    recordIdentifier(ids, to.path(), *toIdentity, *identifier);
    // The old file is about to be replaced: its inode, once free, must not
    // bring the identifier back to another file.
    ids.table.erase(fromIdentity->deviceAndInode);
    return true;
}

void setDocumentIdentifiersUseExtendedAttributes(bool use) {
    auto& ids = identifiers();
    std::lock_guard lock(ids.mutex);
    ids.useAttributes = use;
}

std::optional<Value> resourceValueForKey(const URL& url, const std::string& key, Error* error) {
    Error::clear(error);
    std::string path = url.path();
    struct stat st;
    if (!url.isFileURL() || ::stat(path.c_str(), &st) != 0) {
        Error::set(error, fileError(url.isFileURL() ? errno : ENOENT, path, true));
        return std::nullopt;
    }
    if (key == URLDocumentIdentifierKey) {
        auto identifier = documentIdentifierOfItemAtPath(path, error);
        return identifier ? std::optional<Value>(Value(*identifier)) : std::nullopt;
    }
    if (key == URLFileSizeKeyName) return S_ISDIR(st.st_mode) ? Value() : Value(static_cast<std::int64_t>(st.st_size));
    if (key == URLContentModificationDateKeyName)
        return Value(Date::fromTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec) +
                                                     static_cast<double>(st.st_mtim.tv_nsec) / 1e9));
    if (key == URLHasHiddenExtensionKey) {
        auto stored = dataWithContentsOfFile(hiddenExtensionStorePath(url));
        return Value(stored && !stored->empty() && (*stored)[0] == '1');
    }
    return Value();
}

bool setResourceValue(const URL& url, const Value& value, const std::string& key, Error* error) {
    Error::clear(error);
    std::string path = url.path();
    struct stat st;
    if (!url.isFileURL() || ::stat(path.c_str(), &st) != 0) {
        Error::set(error, fileError(url.isFileURL() ? errno : ENOENT, path, false));
        return false;
    }
    if (key != URLHasHiddenExtensionKey || !value.isBool()) {
        Error::set(error, Error(NSCocoaErrorDomain, NSFileWriteUnknownError));
        return false;
    }
    const std::string store = hiddenExtensionStorePath(url);
    auto& fm = FileManager::defaultManager();
    if (!fm.createDirectoryAtPath(URL::fileURLWithPath(store).URLByDeletingLastPathComponent().path(), true, error))
        return false;
    return writeStringAtomically(value.boolValue() ? "1" : "0", store, error);
}
