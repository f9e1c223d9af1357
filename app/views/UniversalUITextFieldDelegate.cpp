#include "app/views/UniversalUITextFieldDelegate.h"

bool UniversalUITextFieldDelegate::textFieldShouldBeginEditing(TextField& field) {
    return shouldBeginEditing_ ? shouldBeginEditing_(field) : true;
}

bool UniversalUITextFieldDelegate::textFieldShouldEndEditing(TextField& field) {
    return shouldEndEditing_ ? shouldEndEditing_(field) : true;
}

bool UniversalUITextFieldDelegate::textFieldShouldReturn(TextField& field) {
    return shouldReturn_ ? shouldReturn_(field) : true;
}

void UniversalUITextFieldDelegate::textFieldDidEndEditing(TextField& field) {
    if (didEndEditing_) didEndEditing_(field);
}

bool UniversalUITextFieldDelegate::textFieldShouldChangeCharactersInRange(TextField& field, Range range,
                                                                          const std::string& replacement) {
    return shouldChange_ ? shouldChange_(field, range, replacement) : true;
}
