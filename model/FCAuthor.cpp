#include "model/FCAuthor.h"

#include <functional>

namespace {

std::size_t hashOf(const std::optional<std::string>& s) {
    return s ? std::hash<std::string>{}(*s) : 0;
}

}  // namespace

bool FCAuthor::isEqual(const FCAuthor* other) const {
    if (other == this) return true;
    if (!other) return false;
    return externalId_ == other->externalId_ && name_ == other->name_;
}

std::size_t FCAuthor::hash() const {
    return hashOf(name_) + hashOf(externalId_);
}
