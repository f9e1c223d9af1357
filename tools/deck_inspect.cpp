// Prints what the app's own persistence code reads from ".flashcards"
// documents, as JSON, for tests that check what a run left on disk:
//
//   deck_inspect <folder or document>...
//
// A folder stands for the documents directly in it. The output is one
// object, keyed by document file name (sorted):
//
//   {"Tutorial.flashcards": {"title": "Tutorial",
//                            "cards": [{"top": "..", "bottom": "..",
//                                       "forward": [1, 3], "reverse": []}, ..]}}
//
// "forward" and "reverse" are each direction's rating history, oldest first
// (1 right, 2 wrong, 3 unsure); topics are walked into, in deck order.
// Exits 1 with a message when a document cannot be read.

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/FIFlashcardsDocument.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/URL.h"

namespace {

nlohmann::json ratingsOf(const std::shared_ptr<FCStudyStats>& stats) {
    return stats ? nlohmann::json(stats->pastResults()) : nlohmann::json::array();
}

bool inspect(const std::filesystem::path& path, nlohmann::json& out) {
    FCZipBackedBinaryDocumentPersistence persistence;
    Error error;
    auto deck = persistence.readFromURL(URL::fileURLWithPath(path.string()), nullptr, &error);
    if (!deck) {
        std::fprintf(stderr, "deck_inspect: cannot read %s: %s\n", path.c_str(), error.description().c_str());
        return false;
    }
    nlohmann::json cards = nlohmann::json::array();
    FCDeck::traverseAllCards(deck->cards(), [&](const std::shared_ptr<FCCard>& card, bool isTopic, bool*) {
        if (isTopic || !card->isStudyCard()) return;
        const auto& study = static_cast<const FCStudyCard&>(*card);
        cards.push_back({{"top", study.top().value_or("")},
                         {"bottom", study.bottom().value_or("")},
                         {"forward", ratingsOf(study.studyStats())},
                         {"reverse", ratingsOf(study.reverseStudyStats())}});
    });
    out[path.filename().string()] = {{"title", path.stem().string()}, {"cards", std::move(cards)}};
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: deck_inspect <folder or document>...\n");
        return 1;
    }
    const std::string extension = "." + FIFlashcardsDocument::flashcardsDocumentFileExtension();
    std::vector<std::filesystem::path> documents;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path argument = argv[i];
        std::error_code ec;
        if (!std::filesystem::is_directory(argument, ec)) {
            documents.push_back(argument);
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argument, ec))
            if (entry.path().extension() == extension) documents.push_back(entry.path());
    }
    nlohmann::json out = nlohmann::json::object();
    for (const auto& document : documents)
        if (!inspect(document, out)) return 1;
    std::printf("%s\n", out.dump(2).c_str());
    return 0;
}
