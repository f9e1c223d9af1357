#include "model/FIURLAdditions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/StringUtils.h"

namespace {

// Anything at the path counts, a dangling symbolic link included: writing
// through one would put the document somewhere else.
bool somethingExistsAtPath(const std::string& path, int* err = nullptr) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) return true;
    if (err) *err = errno;
    return false;
}

}  // namespace

bool fiCheckLocalItemIsReachable(const URL& url, Error* error) {
    Error::clear(error);
    int err = 0;
    if (somethingExistsAtPath(url.path(), &err)) return true;
    Error::set(error, fileError(err, url.path(), /*reading=*/true));
    return false;
}

std::optional<URL> fiNextAvailableFileURLForNewDocumentWithName(
    const URL& folderURL, const std::string& name, bool isCloudItem, Error* error,
    const FIPromisedItemReachabilityCheck& checkPromisedItemIsReachable) {
    Error::clear(error);
    const std::string stem = stringByDeletingPathExtension(name);
    const std::string extension = pathExtension(name);

    // "Deck 7" counts on from 8; the greedy group takes the last blank and
    // digits, and anything after those digits is dropped from the base.
    std::string base = stem;
    std::optional<std::int64_t> counter = 2;
    static const auto numbered = RegularExpression::make("(.*) (\\d+)", RegularExpression::DotMatchesLineSeparators);
    if (auto match = numbered ? numbered->firstMatch(stem) : std::nullopt;
        match && match->numberOfRanges() > 2 && match->range(1).found() && match->range(2).found()) {
        base = match->group(1);
        std::int64_t number = stringIntegerValue(match->group(2));
        counter = number < INT64_MAX ? std::optional<std::int64_t>(number + 1) : std::nullopt;
    }

    auto isFree = [&](const URL& candidate, bool& failed) {
        if (!isCloudItem) return !somethingExistsAtPath(candidate.path());
        Error checkError;
        bool reachable = checkPromisedItemIsReachable ? checkPromisedItemIsReachable(candidate, &checkError)
                                                      : fiCheckLocalItemIsReachable(candidate, &checkError);
        if (reachable) return false;
        if (!checkError || checkError.code() == NSFileReadNoSuchFileError) return true;
        Error::set(error, checkError);
        failed = true;
        return false;
    };

    URL candidate = folderURL.URLByAppendingPathComponent(name);
    for (;;) {
        bool failed = false;
        if (isFree(candidate, failed)) return candidate;
        if (failed || !counter || *counter == INT64_MAX) return std::nullopt;
        std::string next = stringWithFormat("%@ %ld", base, *counter);
        if (!extension.empty()) next = stringByAppendingPathExtension(next, extension);
        candidate = folderURL.URLByAppendingPathComponent(next);
        ++*counter;
    }
}

bool isInTrash(const URL& url) {
    auto components = url.pathComponents();
    return std::find(components.begin(), components.end(), ".Trash") != components.end();
}
