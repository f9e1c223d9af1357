// Feeds arbitrary bytes to the reading of a ".flashcards" file in place: as a
// document (deck, settings, cards and every attachment) and as the deck
// library's metadata read, then walks the read-only tree over the zip and
// reads every entry. Nothing may crash, hang or read out of bounds; damaged
// archives must simply fail.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/FCZipBackedFileWrapper.h"
#include "model/TWLogger.h"

namespace {

// The input as a file that lives only in memory and goes with the process,
// however it ends (fork mode kills its workers): no file is left behind.
const std::string& documentPath() {
    static const std::string path = [] {
        int fd = ::memfd_create("flashcards_fuzzer.flashcards", MFD_CLOEXEC);
        if (fd < 0) std::abort();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void writeInput(const std::uint8_t* bytes, std::size_t size) {
    static const int fd = std::stoi(documentPath().substr(documentPath().rfind('/') + 1));
    if (::ftruncate(fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, bytes + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
}

void readEveryFile(const FileWrapper& node) {
    if (node.isRegularFile()) {
        (void)node.regularFileContents();
        return;
    }
    if (const FileWrapperMap* children = node.fileWrappers())
        for (const auto& [name, child] : *children) readEveryFile(*child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool quiet = [] {
        TWLogger::sharedInstance().setMaxLogLevel(0);
        return true;
    }();
    (void)quiet;
    writeInput(bytes, size);
    const URL url = URL::fileURLWithPath(documentPath());

    {
        FCZipBackedBinaryDocumentPersistence persistence;
        std::shared_ptr<FCCUserDocumentSettings> settings;
        Error error;
        persistence.readFromURL(url, &settings, &error);
        if (auto readOnly = persistence.readOnlyPersistence(); readOnly && readOnly->mainFileWrapper())
            readEveryFile(*readOnly->mainFileWrapper());
        FCZipBackedBinaryDocumentPersistence details;
        details.readDeckMetadataFromURL(url, &error);
    }
    if (auto tree = FCZipBackedFileWrapper::initWithZipFileURL(url)) readEveryFile(*tree);
    return 0;
}
