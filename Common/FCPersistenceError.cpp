#include "Common/FCPersistenceError.h"

#include "model/FCLocalization.h"

Error FCPersistenceErrorWithRecoverySuggestionKey(std::int64_t code, const std::string& key) {
    return Error(FCPersistenceErrorDomain, code,
                 Value::dictionary({{NSLocalizedRecoverySuggestionErrorKey, Value(FCPersistenceLocalizedString(key))}}));
}
