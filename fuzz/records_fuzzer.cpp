// Feeds arbitrary bytes to the record readers: as a records file of a deck
// package (deck, settings and the compressed cards), as an uncompressed card
// list (to the generic reader and the one-pass card reader, which must agree,
// and to the one-pass reader with and without its arena)
// and as a settings record. Whatever parses must write again and parse
// back to the same bytes
// (up to the nesting limit).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Common/FCCBinaryDocumentPersistence.h"
#include "Common/FCCCardRecords.h"
#include "Common/FCCUserDocumentSettings.h"
#include "model/TWLogger.h"

namespace {

std::shared_ptr<FileWrapper> packageWithRecords(Data records) {
    auto data = FileWrapper::directoryWithFileWrappers();
    data->setPreferredFilename("Data");
    data->addRegularFileWithContents(dataFromString("1"), "Version");
    auto root = FileWrapper::directoryWithFileWrappers();
    root->addFileWrapper(data);
    root->addRegularFileWithContents(std::move(records), "All cards.memdeck");
    return root;
}

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool quiet = [] {
        TWLogger::sharedInstance().setMaxLogLevel(0);
        return true;
    }();
    (void)quiet;
    static const FCCBinaryDocumentPersistence schemas;
    const BPBytes input(bytes, size);

    // The whole package read.
    {
        FCCBinaryDocumentPersistence persistence;
        Error error;
        std::shared_ptr<FCCUserDocumentSettings> settings;
        auto deck = persistence.readFromFileWrapper(packageWithRecords(Data(input.begin(), input.end())), &settings,
                                                    &error);
        require((deck != nullptr) != error.isSet());
    }

    // A card list as it is after uncompressing.
    {
        Error error;
        auto cards = schemas.cardsSchema().parseDelimited(input, &error);
        require(cards.has_value() != error.isSet());
        if (cards) {
            auto written = schemas.cardsSchema().serializeDelimited(*cards, &error);
            // A study card read without statistics gets empty ones, one level
            // deeper: at the deepest level that may be too deep to write.
            if (!written) {
                require(error.localizedDescription() == "Objects nested deeper than 128 levels cannot be written.");
                return 0;
            }
            auto again = schemas.cardsSchema().parseDelimited(*written, &error);
            require(again && again->size() == cards->size());
            require(schemas.cardsSchema().serializeDelimited(*again) == written);
        }
    }

    // The one-pass card reader on the same bytes: whatever it reads, the
    // generic reader reads too, and to the same cards (both written back
    // give the same bytes, or both cannot be written).
    {
        static const FCCCardRecordCodec codec(schemas.cardsSchema());
        if (auto fast = codec.read(input)) {
            Error error;
            auto generic = schemas.cardsSchema().parseDelimited(input, &error);
            require(generic.has_value());
            Data fastBytes;
            const bool fastWritten = codec.write(fast->cards, fastBytes);
            auto genericBytes = schemas.cardsSchema().serializeDelimited(*generic, &error);
            require(fastWritten == genericBytes.has_value());
            require(!fastWritten || fastBytes == *genericBytes);
        }
        // Read into an arena (as a large deck is), the same cards or the same decline.
        auto fast = codec.read(input, false);
        auto inArena = codec.read(input, true);
        require(fast.has_value() == inArena.has_value());
        if (fast) {
            Data fastBytes, arenaBytes;
            require(codec.write(fast->cards, fastBytes) == codec.write(inArena->cards, arenaBytes));
            require(fastBytes == arenaBytes);
            require(fast->lastPrimaryKey == inArena->lastPrimaryKey &&
                    fast->studyCardsCount == inArena->studyCardsCount &&
                    fast->unstudiedStudyCardsCount == inArena->unstudiedStudyCardsCount);
        }
        // With the topics' cards made only when asked for: the same decline,
        // counts and written bytes, before any card is made and after.
        auto block = std::make_shared<BPSnappy::Block>(size);
        if (size > 0) std::memcpy(block->data(), bytes, size);
        auto deferred = codec.readDeferringTopics(block);
        require(fast.has_value() == deferred.has_value());
        if (fast) {
            require(fast->lastPrimaryKey == deferred->lastPrimaryKey &&
                    fast->studyCardsCount == deferred->studyCardsCount &&
                    fast->unstudiedStudyCardsCount == deferred->unstudiedStudyCardsCount);
            Data fastBytes, untouched, made;
            const bool written = codec.write(fast->cards, fastBytes);
            require(codec.write(deferred->cards, untouched) == written);
            for (const auto& card : deferred->cards) card->cards();
            require(codec.write(deferred->cards, made) == written);
            require(untouched == fastBytes && made == fastBytes);
        }
    }

    // A settings record.
    {
        std::size_t offset = 0;
        Error error;
        auto settings = schemas.userSettingsSchema().parseSettingsAsNextObjectIn(input, offset, &error);
        require(!(settings && error.isSet()));
        require(!settings || offset <= size);
    }
    return 0;
}
