#include "model/FCStringAdditions.h"

#include "platform/foundation/StringUtils.h"

std::string fcEscapeIllegalCharactersInFileName(std::string_view name) {
    std::string out(name);
    // All nine are ASCII, so bytes can be replaced one for one.
    for (char& c : out)
        if (std::string_view("<>:|\"/\\?*").find(c) != std::string_view::npos) c = '-';
    return out;
}

std::vector<std::string> fcFindCharactersBeyondAsciiCode(std::string_view s, std::int64_t code) {
    std::vector<std::string> found;
    for (auto& sequence : composedCharacterSequences(s)) {
        std::u16string units = toUTF16(sequence);
        if (units.size() > 1 || (units.size() == 1 && static_cast<std::int64_t>(units[0]) > code))
            found.push_back(std::move(sequence));
    }
    return found;
}
