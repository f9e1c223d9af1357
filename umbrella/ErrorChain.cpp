#include "umbrella/ErrorChain.h"

#include <set>

std::vector<Error> errorChain(const Error& error) {
    std::vector<Error> chain{error};
    std::set<const Error*> seen{&error};
    for (const Error* current = error.underlyingError().get(); current && seen.insert(current).second;
         current = current->underlyingError().get())
        chain.push_back(*current);
    return chain;
}

std::vector<std::string> allLocalizedDescriptions(const Error& error) {
    std::vector<std::string> descriptions;
    for (const Error& link : errorChain(error))
        if (std::string text = link.localizedDescription(); !text.empty()) descriptions.push_back(std::move(text));
    return descriptions;
}

std::optional<std::string> joinedLocalizedDescriptions(const Error& error, const std::string& separator) {
    std::string joined;
    bool first = true;
    for (const std::string& text : allLocalizedDescriptions(error)) {
        if (!first) joined += separator;
        joined += text;
        first = false;
    }
    if (joined.empty()) return std::nullopt;
    return joined;
}
