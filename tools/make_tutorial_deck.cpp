// Builds the tutorial deck resource from its text source with the app's own
// document code, at build time:
//
//   make_tutorial_deck <Tutorial.txt> <Tutorial.flashcards>
//
// Each line of the source is a card "question | answer", "== Title" starts a
// topic, and lines that are blank or start with "#" are skipped. The deck is
// written as a new ".flashcards" document in a scratch app folder beside the
// output, then moved in place. Exits 1 with a message on any failure.

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "Common/FIFlashcardsDocument.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "make_tutorial_deck: %s\n", message.c_str());
    return 1;
}

bool runUntil(const std::function<bool()>& done) {
    for (int pass = 0; pass < 100000 && !done(); ++pass)
        RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(100));
    return done();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return fail("usage: make_tutorial_deck <source.txt> <output.flashcards>");
    const std::filesystem::path source = argv[1];
    const std::filesystem::path output = std::filesystem::absolute(argv[2]);
    std::error_code ec;
    const std::filesystem::path scratch = output.parent_path() / "tutorial-scratch";
    std::filesystem::remove_all(scratch, ec);
    std::filesystem::create_directories(scratch, ec);
    AppContainer::setRoot(scratch.string());

    std::ifstream in(source);
    if (!in) return fail("cannot read " + source.string());

    const URL url = URL::fileURLWithPath((scratch / output.filename()).string());
    auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(url);
    auto deck = document->deck();
    deck->cards().clear();
    std::shared_ptr<FCTopicCard> topic;
    std::int64_t primaryKey = 0;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("==", 0) == 0) {
            topic = FCTopicCard::topicCardWithTitle(trimmed(line.substr(2)), ++primaryKey);
            deck->cards().push_back(topic);
            continue;
        }
        const auto bar = line.find(" | ");
        if (bar == std::string::npos)
            return fail(source.string() + ":" + std::to_string(lineNumber) + ": a card needs \"question | answer\"");
        auto card =
            FCStudyCard::studyCardWithTop(trimmed(line.substr(0, bar)), trimmed(line.substr(bar + 3)), ++primaryKey);
        if (topic) {
            topic->cards()->push_back(card);
        } else {
            deck->cards().push_back(card);
        }
    }
    deck->finishInitialization();

    std::optional<bool> saved;
    document->saveToURL(url, DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
    if (!runUntil([&] { return saved.has_value(); }) || !*saved) return fail("the deck could not be saved");
    std::optional<bool> closed;
    document->closeWithCompletionHandler([&](bool ok) { closed = ok; });
    if (!runUntil([&] { return closed.has_value(); }) || !*closed) return fail("the deck could not be closed");

    std::filesystem::rename(url.path(), output, ec);
    if (ec) {
        std::filesystem::copy_file(url.path(), output, std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) return fail("cannot write " + output.string() + ": " + ec.message());
    }
    std::filesystem::remove_all(scratch, ec);
    return 0;
}
