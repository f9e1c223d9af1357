#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

// The two sides of a study card, each nil or a string, held in one pointer to
// one heap block: the two lengths (0 for nil, else the length plus one), then
// the bytes of both. A deck holds tens of thousands of cards; two
// std::optional<std::string> take 80 bytes before their text, and two blocks
// cost an allocation more than one. A card read from a file may have its
// block in memory it owns itself (see `inPlace`; the pointer's low bit is then
// set); a block made later is always its own.
class FCCardSides {
public:
    FCCardSides() = default;
    FCCardSides(std::optional<std::string_view> top, std::optional<std::string_view> bottom) { assign(top, bottom); }

    // The bytes a block of these sides takes.
    static std::size_t blockSize(std::optional<std::string_view> top, std::optional<std::string_view> bottom) {
        return top || bottom ? kHeader + (top ? top->size() : 0) + (bottom ? bottom->size() : 0) : 0;
    }
    // The sides with their block at `at` (blockSize bytes, at an even
    // address), memory the caller frees after the last object that holds
    // this block is gone; a change makes a block of its own.
    static FCCardSides inPlace(char* at, std::optional<std::string_view> top, std::optional<std::string_view> bottom) {
        FCCardSides sides;
        if (!top && !bottom) return sides;
        fill(at, top, bottom);
        sides.block_ = reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(at) | kInPlace);
        return sides;
    }
    FCCardSides(const FCCardSides& other) { assign(other.top(), other.bottom()); }
    FCCardSides(FCCardSides&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    FCCardSides& operator=(const FCCardSides& other) {
        if (this != &other) assign(other.top(), other.bottom());
        return *this;
    }
    FCCardSides& operator=(FCCardSides&& other) noexcept {
        if (this != &other) {
            release(block_);
            block_ = other.block_;
            other.block_ = nullptr;
        }
        return *this;
    }
    ~FCCardSides() { release(block_); }

    // nullopt for nil.
    std::optional<std::string_view> top() const { return side(0); }
    std::optional<std::string_view> bottom() const { return side(1); }

    void setTop(std::optional<std::string_view> top) { assign(top, bottom()); }
    void setBottom(std::optional<std::string_view> bottom) { assign(top(), bottom); }

    static std::optional<std::string> toString(std::optional<std::string_view> side) {
        if (!side) return std::nullopt;
        return std::string(*side);
    }
    static std::optional<std::string_view> view(const std::optional<std::string>& side) {
        if (!side) return std::nullopt;
        return std::string_view(*side);
    }

private:
    static constexpr std::size_t kHeader = 2 * sizeof(std::size_t);
    static constexpr std::uintptr_t kInPlace = 1;

    const char* data() const {
        return reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(block_) & ~kInPlace);
    }
    std::size_t storedLength(int which) const {
        std::size_t length;
        std::memcpy(&length, data() + which * sizeof(std::size_t), sizeof length);
        return length;
    }
    std::optional<std::string_view> side(int which) const {
        if (!block_) return std::nullopt;
        const std::size_t length = storedLength(which);
        if (length == 0) return std::nullopt;
        const std::size_t start = which == 0 ? 0 : (storedLength(0) ? storedLength(0) - 1 : 0);
        return std::string_view(data() + kHeader + start, length - 1);
    }
    static void fill(char* block, std::optional<std::string_view> top, std::optional<std::string_view> bottom) {
        const std::size_t topLength = top ? top->size() + 1 : 0;
        const std::size_t bottomLength = bottom ? bottom->size() + 1 : 0;
        std::memcpy(block, &topLength, sizeof topLength);
        std::memcpy(block + sizeof topLength, &bottomLength, sizeof bottomLength);
        char* at = block + kHeader;
        if (top && !top->empty()) std::memcpy(at, top->data(), top->size());
        if (top) at += top->size();
        if (bottom && !bottom->empty()) std::memcpy(at, bottom->data(), bottom->size());
    }
    static void release(char* block) noexcept {
        if (!(reinterpret_cast<std::uintptr_t>(block) & kInPlace)) delete[] block;
    }
    void assign(std::optional<std::string_view> top, std::optional<std::string_view> bottom) {
        char* block = nullptr;
        if (top || bottom) {
            block = new char[kHeader + (top ? top->size() : 0) + (bottom ? bottom->size() : 0)];
            fill(block, top, bottom);
        }
        release(block_);
        block_ = block;
    }

    char* block_ = nullptr;
};
