#include "app/cards/CardListDetailEditor.h"

namespace {

CardListDetailEditor& hook() {
    static CardListDetailEditor installed;
    return installed;
}

}  // namespace

const CardListDetailEditor& cardListDetailEditor() {
    return hook();
}

void installCardListDetailEditor(CardListDetailEditor replacement) {
    hook() = std::move(replacement);
}
