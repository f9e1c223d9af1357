#include <gtest/gtest.h>

#include "platform/foundation/Digest.h"
#include "platform/foundation/MimeType.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/UUID.h"

TEST(Digest, MD5TestSuiteVectors) {
    struct Case {
        std::string input, digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.digest, hexString(md5Digest(c.input))) << c.input;
}

TEST(UUID, RandomVersion4WithUpperCaseString) {
    UUID a, b;
    EXPECT_NE(a, b);
    auto form = RegularExpression::make("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    EXPECT_TRUE(form->firstMatch(a.UUIDString())) << a.UUIDString();
    UUID::Bytes bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    EXPECT_EQ("00112233-4455-6677-8899-AABBCCDDEEFF", UUID(bytes).UUIDString());
}

TEST(MimeType, PreferredTypeForExtension) {
    struct Case {
        const char* extension;
        std::optional<std::string> type;
    } cases[] = {
        {"png", "image/png"},     {"JPG", "image/jpeg"},        {"jpeg", "image/jpeg"},
        {"Svg", "image/svg+xml"}, {"heic", "image/heic"},       {"pdf", "application/pdf"},
        {"htm", "text/html"},     {"js", "text/javascript"},    {"json", "application/json"},
        {"mp3", "audio/mpeg"},    {"mov", "video/quicktime"},   {"plist", "application/x-plist"},
        {"", std::nullopt},       {"flashcards", std::nullopt}, {"png.", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.type, preferredMIMETypeForPathExtension(c.extension)) << c.extension;
}
