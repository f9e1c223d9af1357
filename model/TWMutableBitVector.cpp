#include "model/TWMutableBitVector.h"

#include <cstdio>

#include "platform/foundation/Format.h"

namespace {

constexpr std::size_t kInitialCapacity = 256;

// The digit stored for a value; anything outside 0 to 2 is stored as "not set".
char digitFor(int bit) { return bit == 0 ? '0' : bit == 1 ? '1' : '2'; }

// The value a stored digit stands for. Foreign characters can only come in
// through mutableBitVectorFromString; they read as "not set".
int valueOf(char c) {
    switch (c) {
        case '0':
            return 0;
        case '1':
            return 1;
        case '2':
            return 2;
        default:
            std::fprintf(stderr, "%s\n", stringWithFormat("ERROR: Invalid bit character: %c", c).c_str());
            return 2;
    }
}

}  // namespace

TWMutableBitVector::TWMutableBitVector() { bits_.reserve(kInitialCapacity); }

TWMutableBitVector TWMutableBitVector::mutableBitVectorFromString(std::string_view bits) {
    TWMutableBitVector vector;
    vector.bits_.assign(bits);
    return vector;
}

int TWMutableBitVector::bitAtIndex(std::size_t index) const {
    if (index >= bits_.size()) return 2;
    return valueOf(bits_[index]);
}

int TWMutableBitVector::firstBit() const { return bitAtIndex(0); }

int TWMutableBitVector::lastBit() const { return bits_.empty() ? 2 : bitAtIndex(bits_.size() - 1); }

void TWMutableBitVector::setBit(int bit, std::size_t index) {
    if (index < bits_.size()) bits_[index] = digitFor(bit);
}

void TWMutableBitVector::addBit(int bit) { bits_ += digitFor(bit); }

std::size_t TWMutableBitVector::countBits(int bit) const {
    std::size_t n = 0;
    for (char c : bits_)
        if (valueOf(c) == bit) ++n;
    return n;
}

std::string TWMutableBitVector::serializeToStringUsingOff(std::string_view off, std::string_view on,
                                                          std::string_view notSet) const {
    std::string out;
    for (char c : bits_) {
        switch (valueOf(c)) {
            case 0:
                out += off;
                break;
            case 1:
                out += on;
                break;
            default:
                out += notSet;
                break;
        }
    }
    return out;
}
