#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

// The author of a shared deck.
class FCAuthor {
public:
    FCAuthor() = default;
    FCAuthor(std::optional<std::string> name, std::optional<std::string> externalId)
        : name_(std::move(name)), externalId_(std::move(externalId)) {}

    const std::optional<std::string>& name() const { return name_; }
    void setName(std::optional<std::string> name) { name_ = std::move(name); }
    const std::optional<std::string>& externalId() const { return externalId_; }
    void setExternalId(std::optional<std::string> externalId) { externalId_ = std::move(externalId); }

    // Equal when external id and name agree.
    bool isEqual(const FCAuthor* other) const;
    bool operator==(const FCAuthor& other) const { return isEqual(&other); }
    // The sum of the hashes of name and external id.
    std::size_t hash() const;

    std::shared_ptr<FCAuthor> copy() const { return std::make_shared<FCAuthor>(*this); }

private:
    std::optional<std::string> name_;
    std::optional<std::string> externalId_;
};
