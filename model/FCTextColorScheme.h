#pragma once

#include <string>
#include <vector>

// The palettes of the card editor's text-colour picker: six-digit upper-case
// hex colours without "#".
class FCTextColorScheme {
public:
    // 29 colours, row by row as the palette shows them.
    static const std::vector<std::string>& defaultTextColorScheme();
    // The same 29 colours ordered by hue family.
    static const std::vector<std::string>& defaultTextColorSchemeArrangedAsOne();
};
