#pragma once

// Input from the browser display's page, as the phone's touch screen and
// keyboard deliver it. Messages are JSON objects with a "type":
//
//   {"type":"pointer","phase":"down"|"move"|"up"|"cancel","x":..,"y":..,"t":ms}
//       One finger on the screen (points; t in milliseconds). A view that
//       follows a finger (TouchHandling) gets the touches; otherwise a
//       finger held still on a long-press recogniser past its minimum
//       duration presses it (the recogniser follows the finger to its
//       lift); a finger that lifts within a few points of where it went down
//       taps there, the second of two such taps close in time and place
//       double-taps; one that travelled pans with the velocity of its last
//       movement. A first tap that a double-tap recogniser holds back
//       reaches the view once the time for a second one has passed.
//   {"type":"wheel","x":..,"y":..,"dx":..,"dy":..}
//       Scrolls the scroll view under the point, within its content.
//   {"type":"edit","location":n,"length":n,"text":".."}
//       Replaces a range (UTF-16 units) of the focused text field's text, as
//       the keyboard does (the field's delegate may refuse).
//   {"type":"key","key":"Enter"|"Backspace"|text}
//       Return to the focused text field; or to a responder that takes key
//       input: the text, a new line, or a deletion.
//
// Main thread.

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

class DisplayInput {
public:
    DisplayInput();
    ~DisplayInput();
    DisplayInput(const DisplayInput&) = delete;
    DisplayInput& operator=(const DisplayInput&) = delete;

    // Handles one message; false with the reason when it is malformed, of
    // an unknown type, or an edit while no text field is being edited
    // (nothing happened then).
    bool handle(const nlohmann::json& message, std::string& reason);

private:
    struct Pointer;
    std::unique_ptr<Pointer> pointer_;
};
