#pragma once

#include <memory>

#include "platform/ui/Label.h"
#include "platform/ui/View.h"

// A card's row content: the question in bold over the answer, and the card
// number at the end of the question's line. Its constraints refer to the view
// itself, so it is set up after it is made: by make() (initWithFrame:) or,
// from an interface file, awakeFromNib. layoutSubviews places the labels as
// the constraints describe: 16 points in from both sides, 8 from the top and
// the bottom, the answer under the question; the card number hugs its text.
class FICardEntryView : public View {
public:
    static std::shared_ptr<FICardEntryView> make(const Rect& frame);
    // Only for make() and interface files.
    explicit FICardEntryView(const Rect& frame) : View(frame) {}
    explicit FICardEntryView(const Coder& coder) : View(coder) {}

    void awakeFromNib() override;
    void layoutSubviews() override;

    const std::shared_ptr<Label>& questionLabel() const { return questionLabel_; }
    const std::shared_ptr<Label>& answerLabel() const { return answerLabel_; }
    const std::shared_ptr<Label>& cardNumberLabel() const { return cardNumberLabel_; }

private:
    void _initialize();

    std::shared_ptr<Label> questionLabel_;
    std::shared_ptr<Label> answerLabel_;
    std::shared_ptr<Label> cardNumberLabel_;
};
