#pragma once

#include <string>

// Localized texts of the app's string tables, looked up by key; a missing key
// gives the key itself.
std::string FCDeckViewLocalizedString(const std::string& key);     // table "FCDeckView"
std::string FCPersistenceLocalizedString(const std::string& key);  // table "FCPersistence"
std::string FCCommonLocalizedString(const std::string& key);       // table "FCCommonLocalizable"
