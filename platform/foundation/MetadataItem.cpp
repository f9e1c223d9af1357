#include "platform/foundation/MetadataItem.h"

std::vector<std::string> MetadataItem::attributes() const {
    std::vector<std::string> names;
    names.reserve(attributes_.size());
    for (const auto& [name, value] : attributes_) names.push_back(name);
    return names;
}

const MetadataItem::Attribute* MetadataItem::valueForAttribute(const std::string& name) const {
    auto it = attributes_.find(name);
    return it == attributes_.end() ? nullptr : &it->second;
}

void MetadataItem::setValueForAttribute(const std::string& name, Attribute value) {
    attributes_[name] = std::move(value);
}

std::optional<URL> MetadataItem::urlForAttribute(const std::string& name) const {
    const Attribute* attribute = valueForAttribute(name);
    if (!attribute) return std::nullopt;
    if (const URL* url = std::get_if<URL>(attribute)) return *url;
    return std::nullopt;
}

namespace {
const Value* valueOf(const MetadataItem::Attribute* attribute) {
    return attribute ? std::get_if<Value>(attribute) : nullptr;
}
}  // namespace

std::optional<std::string> MetadataItem::stringForAttribute(const std::string& name) const {
    const Value* value = valueOf(valueForAttribute(name));
    if (!value || !value->asString()) return std::nullopt;
    return *value->asString();
}

std::optional<Date> MetadataItem::dateForAttribute(const std::string& name) const {
    const Value* value = valueOf(valueForAttribute(name));
    if (!value || !value->asDate()) return std::nullopt;
    return *value->asDate();
}

std::optional<bool> MetadataItem::boolForAttribute(const std::string& name) const {
    const Value* value = valueOf(valueForAttribute(name));
    if (!value || !value->isNumber()) return std::nullopt;
    return value->boolValue();
}
