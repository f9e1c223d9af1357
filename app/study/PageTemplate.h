#pragma once

#include <string>
#include <utility>
#include <vector>

// Fills the placeholders of a page template in one pass, left to right: at
// each "@@" the first placeholder that stands there is replaced by its value,
// and the text put in is never searched again, so card content that happens to
// hold a placeholder's name stays as written. Placeholders are given whole
// ("@@Question@@"); anything else is copied as it is.
std::string fillTemplatePlaceholders(const std::string& templateText,
                                     const std::vector<std::pair<std::string, std::string>>& replacements);
