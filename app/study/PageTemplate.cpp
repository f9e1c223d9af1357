#include "app/study/PageTemplate.h"

std::string fillTemplatePlaceholders(const std::string& templateText,
                                     const std::vector<std::pair<std::string, std::string>>& replacements) {
    std::string result;
    result.reserve(templateText.size());
    std::size_t position = 0;
    std::size_t mark = templateText.find("@@");
    while (mark != std::string::npos) {
        const std::pair<std::string, std::string>* match = nullptr;
        for (const auto& replacement : replacements) {
            if (templateText.compare(mark, replacement.first.size(), replacement.first) == 0) {
                match = &replacement;
                break;
            }
        }
        if (!match) {
            mark = templateText.find("@@", mark + 1);
            continue;
        }
        result.append(templateText, position, mark - position);
        result += match->second;
        position = mark + match->first.size();
        mark = templateText.find("@@", position);
    }
    result.append(templateText, position, std::string::npos);
    return result;
}
