#pragma once

// The named character references that HTML unescaping knows: the 252 entities
// of HTML 4.01 (Latin-1, symbols and Greek letters, special characters) plus
// "&apos;".

#include <cstddef>
#include <optional>
#include <string_view>

struct TWHTMLEntity {
    std::string_view name;  // with "&" and ";", for example "&eacute;"
    char16_t character;
};

inline constexpr std::size_t kTWHTMLEntityCount = 253;

// The whole table, in the order of the HTML 4.01 entity sets.
const TWHTMLEntity* twHTMLEntities();

// The character of a reference written with "&" and ";", or nullopt when the
// name is not in the table. Names are case-sensitive ("&Eacute;" differs from "&eacute;").
std::optional<char16_t> twCharacterForHTMLEntity(std::string_view reference);
