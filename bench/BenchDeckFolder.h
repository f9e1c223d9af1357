#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "model/FCDeck.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UUID.h"

// A run's decks in an app container of their own under the temporary folder:
// "Deck <i>.flashcards" in the container's documents folder, `makeDeck(i)`
// being the i-th deck, written once and removed with the object. `decks`
// holds the files that were written.
struct BenchDeckFolder {
    std::filesystem::path root;
    std::vector<URL> decks;

    BenchDeckFolder(const std::string& name, std::size_t count,
                    const std::function<std::shared_ptr<FCDeck>(std::size_t)>& makeDeck)
        : root(std::filesystem::temp_directory_path() / (name + "." + UUID().UUIDString())) {
        AppContainer::setRoot((root / "container").string());
        const std::filesystem::path documents = AppContainer::documentsDirectory();
        std::filesystem::create_directories(documents);
        for (std::size_t i = 0; i < count; ++i) {
            const URL url = URL::fileURLWithPath((documents / ("Deck " + std::to_string(i) + ".flashcards")).string());
            FCZipBackedBinaryDocumentPersistence persistence;
            if (persistence.writeDeck(makeDeck(i), nullptr, url, std::nullopt, std::nullopt, nullptr))
                decks.push_back(url);
            persistence.closeAndRemoveCachedFile();
        }
    }
    ~BenchDeckFolder() {
        AppContainer::setRoot("");
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    BenchDeckFolder(const BenchDeckFolder&) = delete;
    BenchDeckFolder& operator=(const BenchDeckFolder&) = delete;
};
