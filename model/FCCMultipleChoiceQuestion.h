#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FCStudyCard;

// One question of a multiple-choice test: a card's question side and the
// answers offered. Made by FCCStudyTools; the test screen fills in the
// learner's answers, the time spent and how the result is shown.
//
// Two kinds exist. A question with distractors offers `answers` (answer sides
// of several cards) with the right one's index in `indexesOfCorrectAnswers`.
// A question from a card that holds its own list of choices carries that
// card's whole answer side in `answersHTML` instead; its right answers are
// read from that HTML, and `randomSeed` tells the screen whether (and how) to
// shuffle the choices.
class FCCMultipleChoiceQuestion {
public:
    // The card asked, possibly a reversed view.
    const std::shared_ptr<FCStudyCard>& underlyingCard() const { return underlyingCard_; }
    void setUnderlyingCard(std::shared_ptr<FCStudyCard> card) { underlyingCard_ = std::move(card); }

    // The question side as HTML ("n/a" when the card has none).
    const std::string& question() const { return question_; }
    void setQuestion(std::string question) { question_ = std::move(question); }

    // The answer sides offered, in display order (questions with distractors).
    const std::vector<std::string>& answers() const { return answers_; }
    void setAnswers(std::vector<std::string> answers) { answers_ = std::move(answers); }

    // The card's whole answer side (questions from cards with their own choices).
    const std::optional<std::string>& answersHTML() const { return answersHTML_; }
    void setAnswersHTML(std::optional<std::string> html) { answersHTML_ = std::move(html); }

    std::int64_t totalSecondsStudied() const { return totalSecondsStudied_; }
    void setTotalSecondsStudied(std::int64_t seconds) { totalSecondsStudied_ = seconds; }

    // Indexes into answers(); nullopt for questions from cards with their own choices.
    const std::optional<std::vector<std::int64_t>>& indexesOfCorrectAnswers() const { return indexesOfCorrectAnswers_; }
    void setIndexesOfCorrectAnswers(std::optional<std::vector<std::int64_t>> indexes) {
        indexesOfCorrectAnswers_ = std::move(indexes);
    }

    // The learner's picks; nullopt until the learner answers.
    const std::optional<std::vector<std::int64_t>>& indexesOfSelectedAnswers() const {
        return indexesOfSelectedAnswers_;
    }
    void setIndexesOfSelectedAnswers(std::optional<std::vector<std::int64_t>> indexes) {
        indexesOfSelectedAnswers_ = std::move(indexes);
    }

    bool isAnsweredCorrectly() const { return isAnsweredCorrectly_; }
    void setAnsweredCorrectly(bool value) { isAnsweredCorrectly_ = value; }
    bool highlightRightWrongMissedAnswers() const { return highlightRightWrongMissedAnswers_; }
    void setHighlightRightWrongMissedAnswers(bool value) { highlightRightWrongMissedAnswers_ = value; }
    bool didRateCardAlready() const { return didRateCardAlready_; }
    void setDidRateCardAlready(bool value) { didRateCardAlready_ = value; }

    // 0 keeps the authored order of the card's own choices; 1 to 9999 is the
    // seed with which the screen shuffles them.
    std::int64_t randomSeed() const { return randomSeed_; }
    void setRandomSeed(std::int64_t seed) { randomSeed_ = seed; }

private:
    std::shared_ptr<FCStudyCard> underlyingCard_;
    std::string question_;
    std::vector<std::string> answers_;
    std::optional<std::string> answersHTML_;
    std::int64_t totalSecondsStudied_ = 0;
    std::optional<std::vector<std::int64_t>> indexesOfCorrectAnswers_;
    std::optional<std::vector<std::int64_t>> indexesOfSelectedAnswers_;
    bool isAnsweredCorrectly_ = false;
    bool highlightRightWrongMissedAnswers_ = false;
    bool didRateCardAlready_ = false;
    std::int64_t randomSeed_ = 0;
};
