#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

// An optional string held in one pointer: nil, or one heap block with the
// length followed by the bytes. Cards keep their sides this way; a deck holds
// tens of thousands of them, and an empty std::optional<std::string> alone
// takes 40 bytes.
class FCCompactText {
public:
    FCCompactText() = default;
    explicit FCCompactText(std::string_view text) { assign(text); }
    explicit FCCompactText(const std::optional<std::string>& text) {
        if (text) assign(std::string_view(*text));
    }
    FCCompactText(const FCCompactText& other) {
        if (other.block_) assign(other.view());
    }
    FCCompactText(FCCompactText&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    FCCompactText& operator=(const FCCompactText& other) {
        if (this != &other) {
            if (other.block_)
                assign(other.view());
            else
                reset();
        }
        return *this;
    }
    FCCompactText& operator=(FCCompactText&& other) noexcept {
        if (this != &other) {
            reset();
            block_ = other.block_;
            other.block_ = nullptr;
        }
        return *this;
    }
    ~FCCompactText() { reset(); }

    bool hasValue() const { return block_ != nullptr; }
    // The bytes; empty for nil.
    std::string_view view() const {
        if (!block_) return {};
        std::size_t length;
        std::memcpy(&length, block_, sizeof length);
        return {block_ + sizeof length, length};
    }
    std::optional<std::string> value() const {
        if (!block_) return std::nullopt;
        return std::string(view());
    }

    void assign(std::string_view text) {
        char* block = new char[sizeof(std::size_t) + text.size()];
        const std::size_t length = text.size();
        std::memcpy(block, &length, sizeof length);
        if (length) std::memcpy(block + sizeof length, text.data(), length);
        reset();
        block_ = block;
    }
    void set(const std::optional<std::string>& text) {
        if (text)
            assign(std::string_view(*text));
        else
            reset();
    }
    void reset() {
        delete[] block_;
        block_ = nullptr;
    }

private:
    char* block_ = nullptr;
};
