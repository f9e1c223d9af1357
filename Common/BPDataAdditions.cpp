#include "Common/BPDataAdditions.h"

#include <algorithm>
#include <bit>
#include <mutex>
#include <vector>
#include <cmath>
#include <cstring>

#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

[[noreturn]] void throwRange(std::size_t location, std::size_t length, std::size_t dataLength) {
    throw BPRangeException(stringWithFormat("range {%lu, %lu} exceeds data length %lu",
                                            static_cast<unsigned long>(location), static_cast<unsigned long>(length),
                                            static_cast<unsigned long>(dataLength)));
}

// Checks that `length` bytes are left at `offset`, without overflowing.
void requireBytes(BPBytes data, std::size_t offset, std::uint64_t length) {
    if (offset > data.size() || length > data.size() - offset)
        throwRange(offset, static_cast<std::size_t>(length), data.size());
}

// The blocks kept for later ones.
struct KeptBlocks {
    std::mutex lock;
    struct Kept {
        std::uint8_t* bytes;
        std::size_t capacity;
    };
    std::vector<Kept> blocks;  // at most BPBlock::kMaxKeptBlocks
    std::size_t bytes = 0;
};

KeptBlocks& keptBlocks() {
    static KeptBlocks* kept = new KeptBlocks();  // never destroyed: blocks may go after exit starts
    return *kept;
}

}  // namespace

BPBlock::BPBlock(std::size_t size) : size_(size), capacity_(size) {
    if (size >= kKeptFrom) {
        // The smallest kept block that holds the size without wasting more than it.
        KeptBlocks& kept = keptBlocks();
        std::lock_guard guard(kept.lock);
        auto best = kept.blocks.end();
        for (auto it = kept.blocks.begin(); it != kept.blocks.end(); ++it)
            if (it->capacity >= size && it->capacity / 2 <= size &&
                (best == kept.blocks.end() || it->capacity < best->capacity))
                best = it;
        if (best != kept.blocks.end()) {
            bytes_ = best->bytes;
            capacity_ = best->capacity;
            kept.bytes -= best->capacity;
            kept.blocks.erase(best);
            return;
        }
    }
    bytes_ = new std::uint8_t[size];
}

BPBlock& BPBlock::operator=(BPBlock&& other) noexcept {
    if (this != &other) {
        release();
        bytes_ = other.bytes_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        other.bytes_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    return *this;
}

void BPBlock::release() noexcept {
    if (!bytes_) return;
    if (capacity_ >= kKeptFrom && capacity_ <= kMaxKeptBytes) {
        KeptBlocks& kept = keptBlocks();
        std::lock_guard guard(kept.lock);
        // Room is made by letting the smallest kept blocks go.
        while (!kept.blocks.empty() &&
               (kept.blocks.size() >= kMaxKeptBlocks || kept.bytes + capacity_ > kMaxKeptBytes)) {
            auto smallest = std::min_element(kept.blocks.begin(), kept.blocks.end(),
                                             [](const auto& a, const auto& b) { return a.capacity < b.capacity; });
            if (smallest->capacity > capacity_) break;
            delete[] smallest->bytes;
            kept.bytes -= smallest->capacity;
            kept.blocks.erase(smallest);
        }
        if (kept.blocks.size() < kMaxKeptBlocks && kept.bytes + capacity_ <= kMaxKeptBytes) {
            kept.blocks.push_back({bytes_, capacity_});
            kept.bytes += capacity_;
            bytes_ = nullptr;
            return;
        }
    }
    delete[] bytes_;
    bytes_ = nullptr;
}

void BPBlock::resize(std::size_t size) {
    if (size > capacity_) {
        BPBlock larger(std::max(size, capacity_ * 2));
        if (size_ > 0) std::memcpy(larger.bytes_, bytes_, size_);
        *this = std::move(larger);
    }
    size_ = size;
}

std::size_t BPBlock::keptBytes() {
    KeptBlocks& kept = keptBlocks();
    std::lock_guard guard(kept.lock);
    return kept.bytes;
}

std::uint8_t fcReadUint8StartingAt(BPBytes data, std::size_t& offset) {
    requireBytes(data, offset, 1);
    return data[offset++];
}

std::uint64_t fcReadUnsignedInt64AsVarintStartingAt(BPBytes data, std::size_t& offset) {
    std::uint64_t value = 0;
    std::size_t at = offset;
    for (std::size_t i = 0; i < kBPMaxVarintLength; ++i) {
        requireBytes(data, at, 1);
        std::uint8_t byte = data[at++];
        // The tenth byte holds bit 63 alone: anything more does not fit in 64 bits.
        if (i == kBPMaxVarintLength - 1 && byte > 1)
            throw BPRangeException(stringWithFormat("varint at offset %lu overflows 64 bits",
                                                    static_cast<unsigned long>(offset)));
        value |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
        if (!(byte & 0x80)) {
            offset = at;
            return value;
        }
    }
    throw BPRangeException(stringWithFormat("varint at offset %lu is longer than %lu bytes",
                                            static_cast<unsigned long>(offset),
                                            static_cast<unsigned long>(kBPMaxVarintLength)));
}

std::int64_t fcReadSignedInt64AsVarintStartingAt(BPBytes data, std::size_t& offset) {
    std::uint64_t u = fcReadUnsignedInt64AsVarintStartingAt(data, offset);
    return static_cast<std::int64_t>((u >> 1) ^ (0 - (u & 1)));
}

double fcReadDoulbeAsFixedSizeStartingAt(BPBytes data, std::size_t& offset) {
    requireBytes(data, offset, 8);
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | data[offset + static_cast<std::size_t>(i)];
    offset += 8;
    return std::bit_cast<double>(bits);
}

Data fcReadNSDataStartingAt(BPBytes data, std::size_t& offset) {
    std::size_t at = offset;
    std::uint64_t count = fcReadUnsignedInt64AsVarintStartingAt(data, at);
    requireBytes(data, at, count);
    Data out(data.begin() + static_cast<std::ptrdiff_t>(at),
             data.begin() + static_cast<std::ptrdiff_t>(at + static_cast<std::size_t>(count)));
    offset = at + static_cast<std::size_t>(count);
    return out;
}

std::optional<std::string> fcReadUTF8StringStartingAt(BPBytes data, std::size_t& offset) {
    std::size_t at = offset;
    std::uint64_t count = fcReadUnsignedInt64AsVarintStartingAt(data, at);
    requireBytes(data, at, count);
    std::string_view bytes(reinterpret_cast<const char*>(data.data()) + at, static_cast<std::size_t>(count));
    offset = at + static_cast<std::size_t>(count);
    if (!isValidUTF8(bytes)) return std::nullopt;
    return std::string(bytes);
}

std::string fcHexadecimalString(BPBytes data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (std::uint8_t b : data) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

void fcAppendUint8(Data& data, std::uint8_t value) { data.push_back(value); }

void fcAppendUnsignedInt64AsVarint(Data& data, std::uint64_t value) {
    while (value >= 0x80) {
        data.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    data.push_back(static_cast<std::uint8_t>(value));
}

void fcAppendSignedInt64AsVarint(Data& data, std::int64_t value) {
    std::uint64_t zigzag = (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
    fcAppendUnsignedInt64AsVarint(data, zigzag);
}

void fcAppendDoubleAsFixedSize(Data& data, double value) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) data.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

std::uint64_t fcWholeSecondsSince1970(Date date) {
    // Rounded down; for the positive values kept, the conversion's truncation
    // is that rounding (and costs no call to floor per card on a save).
    const double t = date.timeIntervalSince1970();
    if (!(t >= 1)) return 0;
    if (t >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(t);
}
