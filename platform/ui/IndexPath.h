#pragma once

#include <compare>
#include <cstdint>
#include <initializer_list>
#include <set>

// A row in a section of a table (or an item of a collection).
struct IndexPath {
    std::int64_t section = 0;
    std::int64_t row = 0;
    static IndexPath forRow(std::int64_t row, std::int64_t section) { return {section, row}; }
    auto operator<=>(const IndexPath&) const = default;
};

// A sorted set of indexes.
class IndexSet {
public:
    IndexSet() = default;
    explicit IndexSet(std::size_t index) : indexes_{index} {}
    IndexSet(std::initializer_list<std::size_t> indexes) : indexes_(indexes) {}
    bool containsIndex(std::size_t index) const { return indexes_.count(index) != 0; }
    std::size_t count() const { return indexes_.size(); }
    void addIndex(std::size_t index) { indexes_.insert(index); }
    const std::set<std::size_t>& indexes() const { return indexes_; }
    bool operator==(const IndexSet&) const = default;

private:
    std::set<std::size_t> indexes_;
};
