#include "model/FCLocalization.h"

#include "platform/foundation/Bundle.h"

std::string FCDeckViewLocalizedString(const std::string& key) {
    return Bundle::main().localizedString(key, {}, "FCDeckView");
}

std::string FCPersistenceLocalizedString(const std::string& key) {
    return Bundle::main().localizedString(key, {}, "FCPersistence");
}

std::string FCCommonLocalizedString(const std::string& key) {
    return Bundle::main().localizedString(key, {}, "FCCommonLocalizable");
}
