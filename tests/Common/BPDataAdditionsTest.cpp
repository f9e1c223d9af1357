#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "Common/BPDataAdditions.h"

namespace {

template <class F>
std::string written(F append) {
    Data d;
    append(d);
    return fcHexadecimalString(d);
}

Data fromHex(const std::string& hex) {
    Data d;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) d.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return d;
}

}  // namespace

TEST(BPDataAdditions, SignedValuesAreZigzagVarints) {
    struct Case {
        std::int64_t value;
        const char* hex;
    } cases[] = {
        {0, "00"},
        {-1, "01"},
        {1, "02"},
        {-64, "7f"},
        {64, "8001"},
        {std::numeric_limits<std::int64_t>::max(), "feffffffffffffffff01"},
        {std::numeric_limits<std::int64_t>::min(), "ffffffffffffffffff01"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(written([&](Data& d) { fcAppendSignedInt64AsVarint(d, c.value); }), c.hex) << c.value;
        Data d = fromHex(c.hex);
        std::size_t offset = 0;
        EXPECT_EQ(fcReadSignedInt64AsVarintStartingAt(d, offset), c.value);
        EXPECT_EQ(offset, d.size());
    }
}

TEST(BPDataAdditions, UnsignedValuesAreLittleEndianBase128) {
    struct Case {
        std::uint64_t value;
        const char* hex;
    } cases[] = {
        {0, "00"},
        {127, "7f"},
        {128, "8001"},
        {300, "ac02"},
        {std::numeric_limits<std::uint64_t>::max(), "ffffffffffffffffff01"},  // 10 bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(written([&](Data& d) { fcAppendUnsignedInt64AsVarint(d, c.value); }), c.hex) << c.value;
        Data d = fromHex(c.hex);
        std::size_t offset = 0;
        EXPECT_EQ(fcReadUnsignedInt64AsVarintStartingAt(d, offset), c.value);
        EXPECT_EQ(offset, d.size());
    }
    // A tenth byte beyond bit 63 (or one that goes on) is refused, offset unmoved.
    for (const char* overflowing : {"ffffffffffffffffff02", "ffffffffffffffffff7f", "ffffffffffffffffff81"}) {
        std::size_t offset = 0;
        EXPECT_THROW(fcReadUnsignedInt64AsVarintStartingAt(fromHex(overflowing), offset), BPRangeException)
            << overflowing;
        EXPECT_EQ(offset, 0u);
    }
}

TEST(BPDataAdditions, DoublesAreEightBytesLeastSignificantFirst) {
    EXPECT_EQ(written([](Data& d) { fcAppendDoubleAsFixedSize(d, 1.0); }), "000000000000f03f");
    EXPECT_EQ(written([](Data& d) { fcAppendDoubleAsFixedSize(d, -2.5); }), "00000000000004c0");
    Data d = fromHex("000000000000f03f");
    std::size_t offset = 0;
    EXPECT_EQ(fcReadDoulbeAsFixedSizeStartingAt(d, offset), 1.0);
    EXPECT_EQ(offset, 8u);
}

// Dates with seconds precision are whole seconds since 1970, rounded down;
// none before 1970 (and no NaN) is written below 0, none beyond the range
// above its top.
TEST(BPDataAdditions, WholeSecondsSince1970RoundDownWithinTheRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, std::uint64_t>> cases = {
        {0.0, 0},
        {0.999, 0},
        {1.0, 1},
        {1.5, 1},
        {1.7e9 + 0.75, 1700000000},
        {1e12, 1000000000000},
        {-0.25, 0},
        {-5.0, 0},
        {-inf, 0},
        {std::nan(""), 0},
        {18446744073709549568.0, 18446744073709549568u},  // the largest double below 2^64
        {18446744073709551616.0, UINT64_MAX},
        {inf, UINT64_MAX},
    };
    for (const auto& [seconds, expected] : cases)
        EXPECT_EQ(fcWholeSecondsSince1970(Date::fromTimeIntervalSince1970(seconds)), expected) << seconds;
}

TEST(BPDataAdditions, ReadsAdvanceTheOffsetAndRefuseToRunPastTheEnd) {
    Data d = fromHex("03616263" "02c328" "ff");
    std::size_t offset = 0;
    EXPECT_EQ(fcReadUTF8StringStartingAt(d, offset), "abc");
    EXPECT_EQ(offset, 4u);
    // Bytes that are not UTF-8 give no string, but are consumed.
    EXPECT_EQ(fcReadUTF8StringStartingAt(d, offset), std::nullopt);
    EXPECT_EQ(offset, 7u);
    EXPECT_EQ(fcReadUint8StartingAt(d, offset), 0xff);
    // At the end every read throws and leaves the offset alone.
    EXPECT_THROW(fcReadUint8StartingAt(d, offset), BPRangeException);
    EXPECT_THROW(fcReadDoulbeAsFixedSizeStartingAt(d, offset), BPRangeException);
    EXPECT_EQ(offset, 8u);

    Data count = fromHex("05" "0102");  // says 5, holds 2
    offset = 0;
    EXPECT_THROW(fcReadNSDataStartingAt(count, offset), BPRangeException);
    EXPECT_EQ(offset, 0u);
    offset = 1;
    EXPECT_THROW(fcReadUTF8StringStartingAt(fromHex("00ffffffffffffffffff01"), offset), BPRangeException);
}

TEST(BPDataAdditions, HexadecimalString) {
    EXPECT_EQ(fcHexadecimalString(fromHex("00ff0aa0")), "00ff0aa0");
    EXPECT_EQ(fcHexadecimalString(Data()), "");
}

// A large block that goes is handed to the next one of its size (its pages
// in place), not to one far smaller; what is kept stays within its bounds,
// and a block moved keeps its bytes.
TEST(BPDataAdditions, LargeBlocksAreKeptForTheNextOneOfTheirSize) {
    const std::size_t size = BPBlock::kKeptFrom * 2 + 12345;
    const std::uint8_t* first = nullptr;
    {
        BPBlock block(size);
        first = block.data();
    }
    BPBlock again(size);
    EXPECT_EQ(again.data(), first);
    again.data()[size - 1] = 7;
    BPBlock moved = std::move(again);
    EXPECT_EQ(moved.size(), size);
    EXPECT_EQ(moved.data()[size - 1], 7);
    EXPECT_EQ(again.data(), nullptr);
    moved = BPBlock();  // kept again
    BPBlock smaller(size / 3);
    EXPECT_NE(smaller.data(), first);

    {
        std::vector<BPBlock> many;
        for (std::size_t i = 0; i < BPBlock::kMaxKeptBlocks + 3; ++i)
            many.emplace_back(BPBlock::kMaxKeptBytes / 3 + i * 4096);
    }
    EXPECT_LE(BPBlock::keptBytes(), BPBlock::kMaxKeptBytes);
}

// A block that grows keeps its bytes, in place while it has room and copied
// into a larger block when it has not; shrinking keeps the first bytes.
TEST(BPDataAdditions, ResizedBlockKeepsItsBytes) {
    BPBlock block(300);
    block.shrink(0);
    for (std::size_t size : {std::size_t{200}, std::size_t{300}, std::size_t{5000}, BPBlock::kKeptFrom + 1}) {
        const std::size_t kept = block.size();
        block.resize(size);
        ASSERT_EQ(block.size(), size);
        ASSERT_GE(block.capacity(), size);
        for (std::size_t i = 0; i < kept; ++i) ASSERT_EQ(block.data()[i], static_cast<std::uint8_t>(i * 7)) << i;
        for (std::size_t i = kept; i < size; ++i) block.data()[i] = static_cast<std::uint8_t>(i * 7);
    }
    block.resize(10);
    EXPECT_EQ(block.size(), 10u);
    EXPECT_EQ(block.data()[9], static_cast<std::uint8_t>(63));
}
