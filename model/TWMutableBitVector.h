#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A growable vector of the values 0, 1 and 2, kept as a string of the digits
// "0", "1" and "2", first value first, so a vector and its string convert both
// ways without loss. The meaning of the values is the caller's; the vector's own
// operations treat 0 as off, 1 as on and 2 as not set. Copies are independent.
// Not locked: one owner changes it at a time.
class TWMutableBitVector {
public:
    TWMutableBitVector();

    // A vector over a copy of the string. Characters other than "0", "1" and "2"
    // are kept as they are and read as 2.
    static TWMutableBitVector mutableBitVectorFromString(std::string_view bits);

    std::size_t count() const { return bits_.size(); }

    // The value at the index. An index outside the vector reads as 2 (not set).
    int bitAtIndex(std::size_t index) const;
    int firstBit() const;
    int lastBit() const;

    // Replaces the value at the index; an index outside the vector is ignored.
    void setBit(int bit, std::size_t index);
    void addBit(int bit);
    // How many entries equal the value.
    std::size_t countBits(int bit) const;

    // The digit string.
    std::string serializeToString() const { return bits_; }
    // The first string for each 0, the second for each 1 and the third for each 2, in order.
    std::string serializeToStringUsingOff(std::string_view off, std::string_view on, std::string_view notSet) const;

private:
    std::string bits_;
};
