#include "model/FCCImageInventory.h"

#include <memory>

#include "model/TWLogger.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/StringUtils.h"

namespace {

// A quote (apostrophe, bar or double quote), the scheme and a colon, then the
// shortest run up to the next such character.
std::shared_ptr<RegularExpression> makeLinkExpression() {
    Error error;
    auto expression = RegularExpression::make(stringWithFormat("['|\"]%@:(.*?)['|\"]", "card-attachment"),
                                              RegularExpression::CaseInsensitive, &error);
    if (!expression) TWLogError("Error creating image link expression: %@", error.description());
    return expression;
}

}  // namespace

std::optional<std::string> FCCImageInventory::attachmentFileNameForPath(std::string_view path) {
    std::string name = lastPathComponent(path);
    if (name.empty() || name == "/" || name == "." || name == "..") return std::nullopt;
    return name;
}

bool FCCImageInventory::findImageNamesUsedInHtml(const std::string& html, std::vector<std::string>& output) {
    static const std::shared_ptr<RegularExpression> expression = makeLinkExpression();
    if (!expression) return false;
    for (const auto& match : expression->matches(html)) {
        const std::string link = match.group(1);
        if (auto name = attachmentFileNameForPath(link)) {
            output.push_back(std::move(*name));
        } else {
            TWLogWarning("Ignoring card-attachment link without file name: %@", link);
        }
    }
    return true;
}
