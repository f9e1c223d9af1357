#include "Common/FCCDeckDocumentPersistence.h"

#include <cerrno>

#include "Common/FCFileWrapperAdditions.h"
#include "model/FCCDeckPreview.h"
#include "model/FCCardJSONSerialization.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "model/FCLocalization.h"
#include "model/FCStudyStats.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

using P = FCCDeckDocumentPersistence;

// The platform's error for text that is not in the expected encoding.
constexpr std::int64_t kFileReadInapplicableStringEncodingError = 261;

// Nested topics deeper than this are refused when reading (no real deck comes
// near it; it keeps a hostile table of contents from exhausting the stack).
constexpr int kMaxTopicDepth = 256;

Error readError(const std::string& description) {
    return twErrorWithDomain(P::kReadErrorDomain, P::kReadErrorCode, description);
}

Error saveError() {
    return twErrorWithDomain(P::kWriteErrorDomain, -1, "An error occurred while saving the deck.");
}

// A name that stays inside its folder when written.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string fileNameWithExtension(const std::string& identifier, const std::string& extension) {
    return identifier + "." + extension;
}

// The bytes of a regular file child; nullopt when it is missing, a folder or unreadable.
std::optional<Data> contentsOfFileNamed(const FileWrapper* folder, const std::string& name) {
    if (!folder) return std::nullopt;
    auto child = folder->fileWrapperNamed(name);
    if (!child || child->isDirectory()) return std::nullopt;
    return child->regularFileContents();
}

std::optional<Value> jsonOfFileNamed(const FileWrapper* folder, const std::string& name) {
    auto data = contentsOfFileNamed(folder, name);
    if (!data) return std::nullopt;
    return objectFromJSONData(*data);
}

std::set<std::string> namesIn(const FileWrapper& folder) {
    std::set<std::string> names;
    if (const FileWrapperMap* children = folder.fileWrappers())
        for (const auto& [name, child] : *children) names.insert(name);
    return names;
}

std::optional<Data> jsonDataOrLog(const Value& object, const char* typeLabel, Error* error) {
    std::optional<Data> data;
    if (const auto* dictionary = object.asDictionary())
        data = JSONData(*dictionary);
    else if (const auto* array = object.asArray())
        data = JSONData(*array);
    if (!data) {
        TWLogWarning("Error converting '%@' to JSON data.", typeLabel);
        Error::set(error, saveError());
    }
    return data;
}

// --- Cards and statistics in the package's own JSON layout ---

Value versionHistoryJSON(const FCCard& card) {
    Value::Array history;
    for (const auto& stamp : card.versionHistory()) history.emplace_back(stamp);
    return Value(std::move(history));
}

// The history of a card file: strings only; anything else is skipped.
std::vector<std::string> versionHistoryFromJSON(const Value& cardObject, const std::string& fileName) {
    std::vector<std::string> history;
    const Value* value = cardObject.find("versionhistory");
    if (!value || value->isNull()) return history;
    bool skipped = !value->isArray();
    if (const auto* entries = value->asArray()) {
        for (const auto& entry : *entries) {
            if (const auto* stamp = entry.asString())
                history.push_back(*stamp);
            else
                skipped = true;
        }
    }
    if (skipped) TWLogWarning("Ignoring malformed version history of card: %@", fileName);
    return history;
}

bool hasStatistics(const std::shared_ptr<FCStudyStats>& stats) {
    return stats && (stats->lastStudied() || stats->numberOfRatings() > 0);
}

Value statsJSON(const std::shared_ptr<FCStudyStats>& stats) {
    Value::Array results;
    std::optional<Date> lastStudied;
    if (stats) {
        for (std::int64_t rating : stats->pastResults())
            results.push_back(Value::dictionary({{"rating", Value(rating >= 1 && rating <= 3 ? rating : 3)}}));
        lastStudied = stats->lastStudied();
    }
    return Value::dictionary({{"pastresults", Value(std::move(results))},
                              {"firststudied", Value()},
                              {"laststudied", lastStudied ? Value(fcJSONRepresentation(*lastStudied)) : Value()}});
}

std::shared_ptr<FCStudyStats> statsFromJSON(const Value& object, const std::string& identifier) {
    bool malformed = false;
    std::vector<std::int64_t> ratings;
    if (const Value* results = object.find("pastresults"); results && !results->isNull()) {
        if (const auto* entries = results->asArray()) {
            for (const auto& entry : *entries) {
                // A missing, non-numeric or out-of-range rating counts as unsure.
                std::int64_t rating = 3;
                const Value* value = entry.find("rating");
                if (value && value->isNumber() && !value->isBool()) {
                    rating = value->integerValue();
                    if (rating < 1 || rating > 3) rating = 3;
                } else {
                    malformed = true;
                }
                ratings.push_back(rating);
            }
        } else {
            malformed = true;
        }
    }
    std::optional<Date> lastStudied;
    if (const Value* value = object.find("laststudied"); value && !value->isNull()) {
        if (const auto* text = value->asString())
            lastStudied = fcDateFromJSONRepresentation(*text);
        else
            malformed = true;
    }
    if (malformed) TWLogWarning("Ignoring malformed values in study statistics for card: %@", identifier);

    const bool unsure = !ratings.empty() && ratings.back() == 3;
    auto stats = FCStudyStats::statsWithLegacyPastResults(std::move(ratings));
    stats->setUnsureAboutMostRecentResult(unsure);
    stats->setLastStudied(lastStudied);
    return stats;
}

Value tocJSON(const FCCardArray& cards) {
    Value::Array entries;
    for (const auto& card : cards) {
        if (!card) continue;
        const std::string identifier = card->legacyIdentifier().value_or("");
        if (card->isStudyCard()) {
            entries.push_back(Value::dictionary(
                {{P::_tocCardIdentifierKey(), identifier}, {P::_tocCardTypeKey(), P::_tocStudyCardType()}}));
        } else if (card->isTopicCard()) {
            entries.push_back(Value::dictionary({{P::_tocCardIdentifierKey(), identifier},
                                                 {P::_tocCardTypeKey(), P::_tocTopicCardType()},
                                                 {P::_tocTopicCardsKey(), tocJSON(*card->cards())}}));
        }
    }
    return Value(std::move(entries));
}

// An optional string of a JSON object: a string, or nil for null, a missing
// key and (logged) any other kind of value.
std::optional<std::string> optionalStringForKey(const Value& object, const std::string& key, const char* what) {
    const Value* value = object.find(key);
    if (!value || value->isNull()) return std::nullopt;
    if (const auto* text = value->asString()) return *text;
    TWLogWarning("Ignoring malformed value '%@' of %@", key, what);
    return std::nullopt;
}

}  // namespace

// --- Reading ---

std::shared_ptr<FCDeck> FCCDeckDocumentPersistence::readFromFileWrapper(
    std::shared_ptr<FileWrapper> wrapper, const std::optional<std::string>& deckIdentifier, Error* error) {
    Error::clear(error);
    mainFileWrapper_ = std::move(wrapper);
    const FileWrapper* root = mainFileWrapper_ && mainFileWrapper_->isDirectory() ? mainFileWrapper_.get() : nullptr;
    auto fail = [&](Error e) -> std::shared_ptr<FCDeck> {
        TWLogWarning("Error reading deck package: %@", e.localizedDescription());
        Error::set(error, e);
        return nullptr;
    };

    const std::int64_t version = root ? fcNSIntegerFromTextFileWrapperWithName(*root, _versionFileName()) : 0;
    if (version != binaryVersion()) {
        return fail(
            twErrorWithDomain(kReadErrorDomain, kUnsupportedVersionErrorCode,
                              stringWithFormat(FCPersistenceLocalizedString("UnsupportedDocumentVersionFormat"),
                                               static_cast<long>(version), static_cast<long>(binaryVersion()))));
    }

    auto deck = std::make_shared<FCDeck>();
    if (!deckIdentifier) return fail(readError("Missing deck identifier"));
    deck->setLegacyIdentifier(deckIdentifier);

    auto title = fcStringForFileWrapperNamed(*root, _titleFileName());
    if (!title) return fail(readError("Missing title"));
    deck->setLegacyTitle(title);

    deck->setStudyProgress(
        stringDoubleValue(fcStringForFileWrapperNamed(*root, _deckStudyProgressFileName()).value_or("")));

    Error cardsError;
    if (!readCards(*deck, &cardsError)) return fail(cardsError);

    if (auto languages = jsonOfFileNamed(root, _languagesFileName())) {
        if (!languages->isDictionary()) TWLogWarning("Ignoring preferred languages that are no dictionary");
        deck->setTopPreferredLocaleIdentifier(optionalStringForKey(*languages, _cardTopKey(), "preferred languages"));
        deck->setBottomPreferredLocaleIdentifier(
            optionalStringForKey(*languages, _cardBottomKey(), "preferred languages"));
    }

    deck->setCoverStyle(_coverStyleFromJSONDictionary(jsonOfFileNamed(root, _coverFileName())));
    deck->setPreferredStudyDirection(fcNSIntegerFromTextFileWrapperWithName(*root, _studyDirectionFileName()));

    deck->finishInitialization();
    hasUnsavedChanges_ = false;
    return deck;
}

bool FCCDeckDocumentPersistence::readCards(FCDeck& deck, Error* error) {
    auto toc = jsonOfFileNamed(mainFileWrapper_.get(), _tableOfContentsFileName());
    if (!toc || !toc->isArray()) {
        Error::set(error, readError("Missing table of contents"));
        return false;
    }
    auto cardsFolder = folderNamed(_cardsFolderName());
    auto statsFolder = folderNamed(_statsFolderName());
    if (!statsFolder && mainFileWrapper_->fileWrapperNamed(_statsFolderName()))
        TWLogWarning("Ignoring '%@' of the package: it is no folder", _statsFolderName());

    FCCardArray cards;
    if (!readCardEntries(*toc, cardsFolder.get(), statsFolder.get(), 0, cards, error)) return false;
    deck.setCards(std::move(cards));
    return true;
}

bool FCCDeckDocumentPersistence::readCardEntries(const Value& entries, const FileWrapper* cardsFolder,
                                                 const FileWrapper* statsFolder, int depth, FCCardArray& into,
                                                 Error* error) {
    if (depth >= kMaxTopicDepth) {
        Error::set(error, readError("Invalid toc entry"));
        return false;
    }
    FCCardArray cards;
    for (const auto& entry : *entries.asArray()) {
        const Value* identifierValue = entry.find(_tocCardIdentifierKey());
        const Value* typeValue = entry.find(_tocCardTypeKey());
        if (!identifierValue || !typeValue || !identifierValue->isString() || !typeValue->isString()) {
            Error::set(error, readError("Invalid toc entry"));
            return false;
        }
        const std::string& identifier = *identifierValue->asString();
        const std::string& type = *typeValue->asString();

        const bool isStudyCard = type == _tocStudyCardType();
        if (!isStudyCard && type != _tocTopicCardType()) {
            Error::set(error, readError(stringWithFormat("Unknown card type: %@", identifier)));
            return false;
        }
        const std::string fileName =
            fileNameWithExtension(identifier, isStudyCard ? _studyCardFileExtension() : _topicCardFileExtension());
        auto contents = contentsOfFileNamed(cardsFolder, fileName);
        if (!contents) {
            Error::set(error, readError(stringWithFormat("Missing card: %@", fileName)));
            return false;
        }
        auto object = objectFromJSONData(*contents);
        const Error malformed = readError(stringWithFormat("Malformed card: %@", fileName));
        if (!object || !object->isDictionary()) {
            Error::set(error, malformed);
            return false;
        }

        if (isStudyCard) {
            const Value* top = object->find(_cardTopKey());
            const Value* bottom = object->find(_cardBottomKey());
            if (!top || !bottom || !top->isString() || !bottom->isString()) {
                Error::set(error, malformed);
                return false;
            }
            auto card = std::make_shared<FCStudyCard>();
            card->setLegacyIdentifier(identifier);
            card->setTop(*top->asString());
            card->setBottom(*bottom->asString());
            card->setVersionHistory(versionHistoryFromJSON(*object, fileName));
            if (!readStatsForCard(*card, identifier, statsFolder, error)) return false;
            cards.push_back(std::move(card));
        } else {
            const Value* title = object->find(_cardTitleKey());
            const Value* children = entry.find(_tocTopicCardsKey());
            if (!title || !title->isString() || !children || !children->isArray()) {
                Error::set(error, malformed);
                return false;
            }
            auto topic = std::make_shared<FCTopicCard>();
            topic->setLegacyIdentifier(identifier);
            topic->setTitle(*title->asString());
            topic->setVersionHistory(versionHistoryFromJSON(*object, fileName));
            FCCardArray childCards;
            if (!readCardEntries(*children, cardsFolder, statsFolder, depth + 1, childCards, error)) return false;
            topic->setCards(std::move(childCards));
            cards.push_back(std::move(topic));
        }
    }
    into = std::move(cards);
    return true;
}

bool FCCDeckDocumentPersistence::readStatsForCard(FCStudyCard& card, const std::string& identifier,
                                                  const FileWrapper* statsFolder, Error* error) {
    const std::string fileName = statsFileNameForCardIdentifier(identifier);
    if (!statsFolder || !statsFolder->fileWrapperNamed(fileName)) {
        card.setStudyStats(std::make_shared<FCStudyStats>());
        card.setReverseStudyStats(std::make_shared<FCStudyStats>());
        return true;
    }
    auto object = jsonOfFileNamed(statsFolder, fileName);
    const Value* forward = object ? object->find("default") : nullptr;
    const Value* reverse = object ? object->find("reverse") : nullptr;
    if (!forward || !reverse || !forward->isDictionary() || !reverse->isDictionary()) {
        Error::set(error, readError(stringWithFormat("Malformed study statistics for card: %@", identifier)));
        return false;
    }
    card.setStudyStats(statsFromJSON(*forward, identifier));
    card.setReverseStudyStats(statsFromJSON(*reverse, identifier));
    return true;
}

// --- Writing ---

std::shared_ptr<FileWrapper> FCCDeckDocumentPersistence::updateFileWrapperForDeck(FCDeck& deck, Error* error) {
    Error::clear(error);
    if (!mainFileWrapper_ || !mainFileWrapper_->isDirectory())
        mainFileWrapper_ = FileWrapper::directoryWithFileWrappers();
    FileWrapper& root = *mainFileWrapper_;

    fcAddFileIfItDoesNotExistWithText(root, _versionFileName(),
                                      stringWithFormat("%ld", static_cast<long>(binaryVersion())));
    if (auto title = deck.legacyTitle()) fcAddFileIfItDoesNotExistWithText(root, _titleFileName(), *title);
    fcAddFileIfItDoesNotExistWithText(root, _deckStudyProgressFileName(),
                                      stringWithFormat("%.2f", deck.studyProgress()));
    fcAddFileIfItDoesNotExistWithText(root, _studyDirectionFileName(),
                                      stringWithFormat("%ld", static_cast<long>(deck.preferredStudyDirection())));

    auto cardsFolder = ensureFolder(root, _cardsFolderName());
    auto statsFolder = ensureFolder(root, _statsFolderName());
    if (!addCards(deck.cards(), *cardsFolder, *statsFolder, namesIn(*cardsFolder), namesIn(*statsFolder), error))
        return nullptr;

    if (!fcHasFileWrapperNamed(root, _tableOfContentsFileName())) {
        auto data = jsonDataOrLog(tocJSON(deck.cards()), "Table of Content", error);
        if (!data) return nullptr;
        fcAddFileIfItDoesNotExistWithData(root, _tableOfContentsFileName(), *data);
    }
    if (!fcHasFileWrapperNamed(root, _coverFileName())) {
        auto data = jsonDataOrLog(_coverStyleToJSONDictionary(deck.coverStyle()), "CoverStyle", error);
        if (!data) return nullptr;
        fcAddFileIfItDoesNotExistWithData(root, _coverFileName(), *data);
    }
    if (!fcHasFileWrapperNamed(root, _languagesFileName())) {
        auto optionalValue = [](const std::optional<std::string>& s) { return s ? Value(*s) : Value(); };
        Value languages =
            Value::dictionary({{_cardTopKey(), optionalValue(deck.topPreferredLocaleIdentifier())},
                               {_cardBottomKey(), optionalValue(deck.bottomPreferredLocaleIdentifier())}});
        auto data = jsonDataOrLog(languages, "Preferred languages", error);
        if (!data) return nullptr;
        fcAddFileIfItDoesNotExistWithData(root, _languagesFileName(), *data);
    }
    return mainFileWrapper_;
}

std::shared_ptr<FileWrapper> FCCDeckDocumentPersistence::ensureFolder(FileWrapper& root, const std::string& name) {
    auto existing = root.fileWrapperNamed(name);
    if (existing && existing->isDirectory()) return existing;
    if (existing) {
        // A file where the package keeps a folder holds nothing readable.
        TWLogWarning("Replacing '%@' of the package by a folder", name);
        root.removeFileWrapper(existing);
    }
    auto folder = FileWrapper::directoryWithFileWrappers();
    folder->setPreferredFilename(name);
    // The tree may keep a copy of the added folder rather than the folder itself.
    return root.fileWrapperNamed(root.addFileWrapper(folder));
}

bool FCCDeckDocumentPersistence::addCards(const FCCardArray& cards, FileWrapper& cardsFolder, FileWrapper& statsFolder,
                                          const std::set<std::string>& cardNames,
                                          const std::set<std::string>& statsNames, Error* error) {
    for (const auto& card : cards) {
        if (!card || (!card->isStudyCard() && !card->isTopicCard())) continue;
        const auto identifier = card->legacyIdentifier();
        const std::string fileName = _cardFileNameForCard(*card);
        // The identifier names the card's files: it must stay a plain name.
        if (!identifier || !isPlainFileName(fileName) || !isPlainFileName(*identifier)) {
            TWLogWarning("Cannot save card without a usable identifier: %@", identifier);
            Error::set(error, saveError());
            return false;
        }

        if (card->isStudyCard()) {
            auto studyCard = std::static_pointer_cast<FCStudyCard>(card);
            if (!cardNames.count(fileName)) {
                card->recordVersionIfNeeded();
                Value object = Value::dictionary({{_tocCardTypeKey(), _tocStudyCardType()},
                                                  {_cardTopKey(), studyCard->top().value_or("")},
                                                  {_cardBottomKey(), studyCard->bottom().value_or("")},
                                                  {"versionhistory", versionHistoryJSON(*card)}});
                auto data = jsonDataOrLog(object, "StudyCard", error);
                if (!data) return false;
                fcAddFileIfItDoesNotExistWithData(cardsFolder, fileName, *data);
            }
            const std::string statsName = statsFileNameForCardIdentifier(*identifier);
            auto forward = studyCard->studyStats();
            auto reverse = studyCard->reverseStudyStats();
            if (!statsNames.count(statsName) && (hasStatistics(forward) || hasStatistics(reverse))) {
                Value object = Value::dictionary({{"default", statsJSON(forward)}, {"reverse", statsJSON(reverse)}});
                auto data = jsonDataOrLog(object, "Study Stats", error);
                if (!data) return false;
                fcAddFileIfItDoesNotExistWithData(statsFolder, statsName, *data);
            }
        } else {
            auto topic = std::static_pointer_cast<FCTopicCard>(card);
            if (!cardNames.count(fileName)) {
                card->recordVersionIfNeeded();
                Value object = Value::dictionary({{_tocCardTypeKey(), _tocTopicCardType()},
                                                  {_cardTitleKey(), topic->title().value_or("")},
                                                  {"versionhistory", versionHistoryJSON(*card)}});
                auto data = jsonDataOrLog(object, "TopicCard", error);
                if (!data) return false;
                fcAddFileIfItDoesNotExistWithData(cardsFolder, fileName, *data);
            }
            if (!addCards(*topic->cards(), cardsFolder, statsFolder, cardNames, statsNames, error)) return false;
        }
    }
    return true;
}

// --- Change notifications ---

std::shared_ptr<FileWrapper> FCCDeckDocumentPersistence::folderNamed(const std::string& name) const {
    if (!mainFileWrapper_ || !mainFileWrapper_->isDirectory()) return nullptr;
    auto folder = mainFileWrapper_->fileWrapperNamed(name);
    return folder && folder->isDirectory() ? folder : nullptr;
}

void FCCDeckDocumentPersistence::didModifyTitle() {
    hasUnsavedChanges_ = true;
    if (mainFileWrapper_) fcRemoveFileWrapperWithName(*mainFileWrapper_, _titleFileName());
}

void FCCDeckDocumentPersistence::didModifyCoverStyle() {
    hasUnsavedChanges_ = true;
    if (mainFileWrapper_) fcRemoveFileWrapperWithName(*mainFileWrapper_, _coverFileName());
}

void FCCDeckDocumentPersistence::didModifyPreferredLanguages() {
    hasUnsavedChanges_ = true;
    if (mainFileWrapper_) fcRemoveFileWrapperWithName(*mainFileWrapper_, _languagesFileName());
}

void FCCDeckDocumentPersistence::didModifyPreferredStudyDirection() {
    hasUnsavedChanges_ = true;
    if (mainFileWrapper_) fcRemoveFileWrapperWithName(*mainFileWrapper_, _studyDirectionFileName());
}

void FCCDeckDocumentPersistence::didAddCards() {
    hasUnsavedChanges_ = true;
    if (!mainFileWrapper_) return;
    fcRemoveFileWrapperWithName(*mainFileWrapper_, _deckStudyProgressFileName());
    fcRemoveFileWrapperWithName(*mainFileWrapper_, _tableOfContentsFileName());
}

void FCCDeckDocumentPersistence::didReorderCards() {
    hasUnsavedChanges_ = true;
    if (mainFileWrapper_) fcRemoveFileWrapperWithName(*mainFileWrapper_, _tableOfContentsFileName());
}

void FCCDeckDocumentPersistence::didUpdateStudyStatsForCardWithIdentifier(
    const std::optional<std::string>& identifier) {
    if (!identifier) return;
    hasUnsavedChanges_ = true;
    if (!mainFileWrapper_) return;
    fcRemoveFileWrapperWithName(*mainFileWrapper_, _deckStudyProgressFileName());
    if (auto stats = folderNamed(_statsFolderName()))
        fcRemoveFileWrapperWithName(*stats, statsFileNameForCardIdentifier(*identifier));
}

void FCCDeckDocumentPersistence::didUpdateContentsForCard(const std::shared_ptr<FCCard>& card) {
    if (!card) return;
    hasUnsavedChanges_ = true;
    if (auto cards = folderNamed(_cardsFolderName())) fcRemoveFileWrapperWithName(*cards, _cardFileNameForCard(*card));
}

void FCCDeckDocumentPersistence::didDeleteCards(const FCCardArray& cards) {
    hasUnsavedChanges_ = true;
    if (!mainFileWrapper_) return;
    fcRemoveFileWrapperWithName(*mainFileWrapper_, _deckStudyProgressFileName());
    fcRemoveFileWrapperWithName(*mainFileWrapper_, _tableOfContentsFileName());
    auto cardsFolder = folderNamed(_cardsFolderName());
    auto statsFolder = folderNamed(_statsFolderName());
    FCDeck::traverseAllCards(cards, [&](const std::shared_ptr<FCCard>& card, bool, bool*) {
        if (!card) return;
        if (cardsFolder) fcRemoveFileWrapperWithName(*cardsFolder, _cardFileNameForCard(*card));
        if (statsFolder && card->isStudyCard())
            fcRemoveFileWrapperWithName(*statsFolder,
                                        statsFileNameForCardIdentifier(card->legacyIdentifier().value_or("")));
    });
}

void FCCDeckDocumentPersistence::didModifyEverything() {
    hasUnsavedChanges_ = true;
    // Every item is written again from the deck, except the attachments: the
    // deck does not hold them, so the new tree takes the folder over.
    auto files = folderNamed(_filesFolderName());
    mainFileWrapper_.reset();
    if (files) {
        mainFileWrapper_ = FileWrapper::directoryWithFileWrappers();
        mainFileWrapper_->addFileWrapper(files);
    }
}

// --- Attachments ---

void FCCDeckDocumentPersistence::addNewAttachmentWithData(const Data& data, const std::string& fileName) {
    if (!isPlainFileName(fileName)) {
        TWLogWarning("Refusing card attachment with the name: %@", fileName);
        return;
    }
    if (!mainFileWrapper_ || !mainFileWrapper_->isDirectory())
        mainFileWrapper_ = FileWrapper::directoryWithFileWrappers();
    auto files = ensureFolder(*mainFileWrapper_, _filesFolderName());
    fcAddRegularFileNamed(*files, fileName, data);
    hasUnsavedChanges_ = true;
}

bool FCCDeckDocumentPersistence::hasCardAttachmentWithName(const std::string& name) const {
    auto files = folderNamed(_filesFolderName());
    return files && fcHasFileWrapperNamed(*files, name);
}

std::optional<Data> FCCDeckDocumentPersistence::dataForAttachmentWithName(const std::string& name) const {
    auto files = folderNamed(_filesFolderName());
    return contentsOfFileNamed(files.get(), name);
}

void FCCDeckDocumentPersistence::pruneAttachmentsOnlyKeepingFilesWithNames(const std::vector<std::string>& names) {
    auto files = folderNamed(_filesFolderName());
    if (!files) return;
    const std::set<std::string> keep(names.begin(), names.end());
    bool removed = false;
    for (const auto& name : namesIn(*files)) {
        if (keep.count(name)) continue;
        TWLogDebug("Removing unused card image: %@", name);
        fcRemoveFileWrapperWithName(*files, name);
        removed = true;
    }
    if (removed) hasUnsavedChanges_ = true;
}

// --- Previews ---

std::optional<Data> FCCDeckDocumentPersistence::previewDataForDeck(const FCDeck& deck) const {
    Value::Dictionary preview{{"title", Value(deck.legacyTitle().value_or(""))},
                              {"downloadDate", Value()},
                              {"cover", _coverStyleToJSONDictionary(deck.coverStyle())},
                              {"author", _authorToJSONDictionary()},
                              {"progress", Value(deck.studyProgress())},
                              {"studyCards", Value(deck.studyCardsCount())}};
    return JSONData(preview);
}

Value FCCDeckDocumentPersistence::_coverStyleToJSONDictionary(const std::shared_ptr<FCCoverStyle>& style) {
    if (!style) return Value::dictionary({{"startColor", ""}, {"endColor", ""}, {"icon", ""}});
    return JSONDictionary(*style);
}

std::shared_ptr<FCCoverStyle> FCCDeckDocumentPersistence::_coverStyleFromJSONDictionary(
    const std::optional<Value>& object) {
    if (!object) return FCCoverStyle::defaultStyle();
    return coverStyleForJSONDictionary(*object);
}

Value FCCDeckDocumentPersistence::_authorToJSONDictionary() {
    return Value::dictionary({{"name", ""}, {"externalId", ""}});
}

Value FCCDeckDocumentPersistence::_previewJSONDictionaryForDeckPreview(const FCCDeckPreview& preview) {
    return Value::dictionary({{"title", Value(preview.title().value_or(""))},
                              {"downloadDate", Value()},
                              {"cover", _coverStyleToJSONDictionary(preview.coverStyle())},
                              {"author", _authorToJSONDictionary()},
                              {"progress", Value(preview.studyProgress())},
                              {"studyCards", Value(preview.studyCardsCount())}});
}

std::shared_ptr<FCCDeckPreview> FCCDeckDocumentPersistence::previewFromJSONData(
    const Data& data, const std::optional<std::string>& deckIdentifier) {
    Error parseError;
    auto object = objectFromJSONDataWithError(data, &parseError);
    if (!object || !object->isDictionary()) {
        TWLogWarning("Error parsing JSON preview data: %@",
                     parseError ? std::optional<std::string>(parseError.description()) : std::nullopt);
        return nullptr;
    }
    bool malformed = false;
    auto preview = std::make_shared<FCCDeckPreview>();
    preview->setIdentifier(deckIdentifier.value_or(""));

    std::string title;
    if (const Value* value = object->find("title")) {
        if (const auto* text = value->asString())
            title = *text;
        else
            malformed = !value->isNull();
    }
    preview->setTitle(title);
    auto number = [&](const char* key) -> const Value* {
        const Value* value = object->find(key);
        if (!value || value->isNull()) return nullptr;
        if (value->isNumber() && !value->isBool()) return value;
        malformed = true;
        return nullptr;
    };
    const Value* studyCards = number("studyCards");
    preview->setStudyCardsCount(studyCards ? studyCards->integerValue() : 0);
    const Value* progress = number("progress");
    preview->setStudyProgress(progress ? progress->doubleValue() : 0);
    const Value* cover = object->find("cover");
    preview->setCoverStyle(_coverStyleFromJSONDictionary(cover ? std::optional<Value>(*cover) : std::nullopt));
    if (malformed) TWLogWarning("Ignoring malformed values in deck preview: %@", deckIdentifier);
    return preview;
}

std::shared_ptr<FCCDeckPreview> FCCDeckDocumentPersistence::previewForDeckAtURL(const URL& deckURL, Error* error) {
    auto data = rebuildMinimalPreviewDataForDeckAtURL(deckURL, error);
    if (!data) return nullptr;
    return previewFromJSONData(*data, stringByDeletingPathExtension(deckURL.lastPathComponent()));
}

std::optional<Data> FCCDeckDocumentPersistence::rebuildMinimalPreviewDataForDeckAtURL(const URL& deckURL,
                                                                                      Error* error) {
    Error::clear(error);
    const std::string path = deckURL.path();

    const std::string titlePath = stringByAppendingPathComponent(path, _titleFileName());
    auto titleData = dataWithContentsOfFile(titlePath, error);
    if (!titleData) return std::nullopt;
    std::string title = stringFromData(*titleData);
    if (!isValidUTF8(title)) {
        Value userInfo = Value::dictionary({{NSFilePathErrorKey, titlePath}});
        Error::set(error, Error(NSCocoaErrorDomain, kFileReadInapplicableStringEncodingError, std::move(userInfo)));
        return std::nullopt;
    }

    auto coverData = dataWithContentsOfFile(stringByAppendingPathComponent(path, _coverFileName()), error);
    if (!coverData) return std::nullopt;

    double progress = 0;
    if (auto progressData = dataWithContentsOfFile(stringByAppendingPathComponent(path, _deckStudyProgressFileName())))
        progress = stringDoubleValue(stringFromData(*progressData));

    auto cardNames = FileManager::defaultManager().contentsOfDirectoryAtPath(
        stringByAppendingPathComponent(path, _cardsFolderName()), error);
    if (!cardNames) return std::nullopt;
    std::int64_t studyCards = 0;
    for (const auto& name : *cardNames)
        if (pathExtension(name) == _studyCardFileExtension()) ++studyCards;

    Value::Dictionary preview{
        {"title", Value(title)},
        {"downloadDate", Value()},
        {"cover", _coverStyleToJSONDictionary(_coverStyleFromJSONDictionary(objectFromJSONData(*coverData)))},
        {"author", _authorToJSONDictionary()},
        {"progress", Value(progress)},
        {"studyCards", Value(studyCards)}};
    auto data = JSONData(preview);
    if (!data) Error::set(error, saveError());
    return data;
}

std::shared_ptr<FCCDeckPreview> FCCDeckDocumentPersistence::_loadPreviewFromURL(const URL& previewURL, Error* error) {
    Error::clear(error);
    auto data = dataWithContentsOfFile(previewURL.path(), error);
    if (!data) return nullptr;
    return previewFromJSONData(*data, deckIdentifierFromPreviewFileURL(previewURL));
}

// --- Names ---

std::string FCCDeckDocumentPersistence::_cardFileNameForCard(const FCCard& card) {
    return fileNameWithExtension(card.legacyIdentifier().value_or(""),
                                 card.isTopicCard() ? _topicCardFileExtension() : _studyCardFileExtension());
}

URL FCCDeckDocumentPersistence::previewFileURLforDeckURL(const URL& deckURL) {
    return deckURL.URLByAppendingPathExtension(defaultPreviewPathExtension());
}

std::string FCCDeckDocumentPersistence::deckIdentifierFromPreviewFileURL(const URL& previewURL) {
    return stringByDeletingPathExtension(stringByDeletingPathExtension(previewURL.lastPathComponent()));
}

std::optional<std::string> FCCDeckDocumentPersistence::deckIdentifierFromFilename(const std::string& fileName) {
    const std::string extension = pathExtension(fileName);
    if (extension == defaultPreviewPathExtension())
        return stringByDeletingPathExtension(stringByDeletingPathExtension(fileName));
    if (extension == defaultPathExtension()) return stringByDeletingPathExtension(fileName);
    return std::nullopt;
}

std::string FCCDeckDocumentPersistence::cardIdentifierFromCardURL(const URL& cardURL) {
    return stringByDeletingPathExtension(cardURL.lastPathComponent());
}

URL FCCDeckDocumentPersistence::fileURLforAttachmentWithFileName(const std::string& fileName, const URL& documentURL) {
    return documentURL.URLByAppendingPathComponent(_filesFolderName(), true).URLByAppendingPathComponent(fileName);
}

std::string FCCDeckDocumentPersistence::statsFileNameForCardIdentifier(const std::string& identifier) {
    return fileNameWithExtension(identifier, _studyStatsFileExtension());
}

bool FCCDeckDocumentPersistence::isInternalFolderItem(const URL& url) {
    const std::string name = url.lastPathComponent();
    return name == _cardsFolderName() || name == _statsFolderName();
}

bool FCCDeckDocumentPersistence::fillReadError(Error* error, const std::optional<std::string>& description) {
    Error::set(error, readError(description.value_or("n/a")));
    return true;
}
