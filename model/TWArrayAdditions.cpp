#include "model/TWArrayAdditions.h"

#include "platform/foundation/StringUtils.h"

std::vector<std::string> twArrayByTrimmingStringsAndRemovingEmptyOnes(const std::vector<std::string>& array) {
    std::vector<std::string> out;
    out.reserve(array.size());
    for (const auto& element : array) {
        std::string trimmed = stringByTrimmingWhitespaceAndNewlines(element);
        if (!trimmed.empty()) out.push_back(std::move(trimmed));
    }
    return out;
}
