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
#include <unistd.h>

#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/FCZipBackedFileWrapper.h"
#include "model/TWLogger.h"

namespace {

// One file per process, rewritten for every input.
const std::string& documentPath() {
    static const std::string path = [] {
        std::string p = "/tmp/flashcards_fuzzer." + std::to_string(::getpid()) + ".flashcards";
        std::atexit([] { std::remove(documentPath().c_str()); });
        return p;
    }();
    return path;
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
    std::FILE* file = std::fopen(documentPath().c_str(), "wb");
    if (!file) return 0;
    if (size > 0) std::fwrite(bytes, 1, size, file);
    std::fclose(file);
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
