#include <gtest/gtest.h>

#include "model/TWMutableBitVector.h"

namespace {

TEST(TWMutableBitVector, BuildsReadsAndSerializes) {
    TWMutableBitVector v;
    EXPECT_EQ(0u, v.count());
    EXPECT_EQ("", v.serializeToString());
    for (int bit : {1, 0, 2, 2}) v.addBit(bit);
    v.setBit(0, 3);
    EXPECT_EQ("1020", v.serializeToString());
    EXPECT_EQ(4u, v.count());
    EXPECT_EQ(1, v.firstBit());
    EXPECT_EQ(0, v.lastBit());
    EXPECT_EQ(2, v.bitAtIndex(2));
    EXPECT_EQ(2u, v.countBits(0));
    EXPECT_EQ(1u, v.countBits(2));

    const auto parsed = TWMutableBitVector::mutableBitVectorFromString("0120");
    EXPECT_EQ("0120", parsed.serializeToString());
    EXPECT_EQ(2u, parsed.countBits(0));
    EXPECT_EQ(1u, parsed.countBits(1));
    EXPECT_EQ(0, parsed.lastBit());
    EXPECT_EQ("xyzx", parsed.serializeToStringUsingOff("x", "y", "z"));
    EXPECT_EQ("-+", TWMutableBitVector::mutableBitVectorFromString("2012").serializeToStringUsingOff("-", "+", ""));
}

TEST(TWMutableBitVector, CopiesAreIndependent) {
    auto original = TWMutableBitVector::mutableBitVectorFromString("01");
    TWMutableBitVector copy = original;
    copy.setBit(1, 0);
    copy.addBit(2);
    EXPECT_EQ("01", original.serializeToString());
    EXPECT_EQ("112", copy.serializeToString());
}

TEST(TWMutableBitVector, ForeignCharactersReadAsNotSet) {
    const auto v = TWMutableBitVector::mutableBitVectorFromString("1x0");
    testing::internal::CaptureStderr();
    EXPECT_EQ(2, v.bitAtIndex(1));
    EXPECT_EQ("ERROR: Invalid bit character: x\n", testing::internal::GetCapturedStderr());
    testing::internal::CaptureStderr();
    EXPECT_EQ("on-unset-off", v.serializeToStringUsingOff("off", "on", "-unset-"));
    EXPECT_EQ(1u, v.countBits(2));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ("1x0", v.serializeToString());  // kept as it came
}

TEST(TWMutableBitVector, OutOfRangeIsHarmless) {
    TWMutableBitVector v;
    EXPECT_EQ(2, v.firstBit());
    EXPECT_EQ(2, v.lastBit());
    EXPECT_EQ(2, v.bitAtIndex(5));
    v.setBit(1, 0);
    v.addBit(7);
    EXPECT_EQ("2", v.serializeToString());
}

}  // namespace
