#pragma once

// Byte-level reading and writing of the tagged binary records: unsigned LEB128
// varints, zigzag-encoded signed values and little-endian doubles.
//
// The readers work in place on one contiguous buffer with a moving offset:
// each takes the offset by reference, reads at it and advances it by the
// bytes consumed. A read that would run past the end of the buffer throws
// BPRangeException and leaves the offset where it was; the record parser
// turns that into its error.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"

using BPBytes = std::span<const std::uint8_t>;

// Bytes in memory that is not zero-filled first (a buffer every byte of which
// is written before it is read).
//
// Blocks from 64 KiB on (the records of a deck as they are read, its
// uncompressed cards, the window a zip is read through, the records a save
// encodes) are kept when they go, a few of them, and handed to the next
// block they fit: reading deck after deck then writes into memory whose
// pages are in place, instead of having the system zero and fault fresh ones
// in for each (the allocator hands large freed blocks back to the system, or
// gives their pages up when it is trimmed). Blocks may be made and freed on
// any thread.
class BPBlock {
public:
    // Blocks from this size on are kept when they go.
    static constexpr std::size_t kKeptFrom = std::size_t{64} << 10;
    // Blocks kept at most, and their bytes in all.
    static constexpr std::size_t kMaxKeptBlocks = 4;
    static constexpr std::size_t kMaxKeptBytes = std::size_t{64} << 20;

    BPBlock() = default;
    explicit BPBlock(std::size_t size);  // throws std::bad_alloc
    BPBlock(BPBlock&& other) noexcept
        : bytes_(other.bytes_), size_(other.size_), capacity_(other.capacity_) {
        other.bytes_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    BPBlock& operator=(BPBlock&& other) noexcept;
    ~BPBlock() { release(); }
    BPBlock(const BPBlock&) = delete;
    BPBlock& operator=(const BPBlock&) = delete;

    std::uint8_t* data() { return bytes_; }
    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    BPBytes view() const { return BPBytes(bytes_, size_); }
    // Keeps the first `size` bytes (no more than there are).
    void shrink(std::size_t size) { size_ = size < size_ ? size : size_; }
    // Holds `size` bytes from now on: the first ones as they were, any beyond
    // them not zero-filled. A block too small is replaced by one at least
    // twice its size, the bytes copied over (throws std::bad_alloc).
    void resize(std::size_t size);
    std::size_t capacity() const { return capacity_; }

    // Bytes in blocks kept for later ones, for measuring memory.
    static std::size_t keptBytes();

private:
    void release() noexcept;

    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// A read past the end of the buffer (or a malformed varint).
class BPRangeException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A varint of one 64-bit value takes at most this many bytes.
inline constexpr std::size_t kBPMaxVarintLength = 10;

std::uint8_t fcReadUint8StartingAt(BPBytes data, std::size_t& offset);
// A varint longer than kBPMaxVarintLength bytes is refused (the format never
// writes one).
std::uint64_t fcReadUnsignedInt64AsVarintStartingAt(BPBytes data, std::size_t& offset);
// A varint, then zigzag decoding.
std::int64_t fcReadSignedInt64AsVarintStartingAt(BPBytes data, std::size_t& offset);
// 8 bytes, IEEE 754 binary64, least significant byte first.
double fcReadDoulbeAsFixedSizeStartingAt(BPBytes data, std::size_t& offset);
// A varint count, then that many bytes. The count is checked against the bytes
// left before anything is copied.
Data fcReadNSDataStartingAt(BPBytes data, std::size_t& offset);
// As fcReadNSDataStartingAt, decoded as UTF-8; nullopt when the bytes are not
// valid UTF-8 (the offset still moves behind them).
std::optional<std::string> fcReadUTF8StringStartingAt(BPBytes data, std::size_t& offset);

// The bytes as lower-case hexadecimal text, two digits per byte.
std::string fcHexadecimalString(BPBytes data);

void fcAppendUint8(Data& data, std::uint8_t value);
void fcAppendUnsignedInt64AsVarint(Data& data, std::uint64_t value);
// Zigzag, then varint.
void fcAppendSignedInt64AsVarint(Data& data, std::int64_t value);
void fcAppendDoubleAsFixedSize(Data& data, double value);
// A date as stored with seconds precision: whole seconds since 1970, rounded
// toward minus infinity, saturated to the unsigned 64-bit range (NaN and times
// before 1970 give 0).
std::uint64_t fcWholeSecondsSince1970(Date date);
