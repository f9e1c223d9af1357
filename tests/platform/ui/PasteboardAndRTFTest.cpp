#include <gtest/gtest.h>

#include "platform/ui/Pasteboard.h"
#include "platform/ui/RTFReader.h"

namespace {

TEST(RTFReaderTest, ReadsThePlainTextOfADocument) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl\\f0\\fswiss Helvetica;}{\\colortbl;\\red255\\green0\\blue0;}"
         "\\f0\\fs24 \\cf1 Hello\\par World}",
         "Hello\nWorld"},
        {"{\\rtf1 Caf\\'e9 \\'93quoted\\'94}", "Caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D"},
        {"{\\rtf1 \\u8364?uro and \\uc2\\u-10179\\'3f\\'3f\\u-8704??}",
         "\xE2\x82\xAC"
         "uro and \xF0\x9F\x98\x80"},
        {"{\\rtf1 a\\{b\\}c\\\\d\\tab e\\line f}", "a{b}c\\d\te\nf"},
        {"{\\rtf1 kept{\\*\\generator Writer;}{\\info{\\title T}} {\\b bold} text\r\n more}", "kept bold text more"},
        {"{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}", "link"},
    };
    for (const auto& [rtf, text] : cases) EXPECT_EQ(text, plainTextFromRTF(dataFromString(rtf))) << rtf;
}

TEST(RTFReaderTest, RefusesWhatIsNoRTFDocument) {
    for (const char* bad : {"plain text", "{\\rtf1 never closed", "{\\rtf1 a}}", "{\\rtf1 \\'zz}", "{\\rtf1 x} y", ""})
        EXPECT_EQ(std::nullopt, plainTextFromRTF(dataFromString(bad))) << bad;
}

TEST(PasteboardTest, HoldsOneItemUnderItsTypesAndReadsEitherPlainText) {
    auto& board = Pasteboard::generalPasteboard();
    const auto count = board.changeCount();
    board.setString("one");
    EXPECT_EQ(std::vector<std::string>{Pasteboard::kUTF8PlainTextType}, board.pasteboardTypes());
    EXPECT_EQ("one", board.string());
    board.setItem({{Pasteboard::kPlainTextType, dataFromString("two")}, {Pasteboard::kRTFType, dataFromString("{")}});
    EXPECT_EQ("two", board.string());
    EXPECT_TRUE(board.containsPasteboardType(Pasteboard::kRTFType));
    EXPECT_EQ(dataFromString("{"), board.dataForPasteboardType(Pasteboard::kRTFType));
    board.setString(std::nullopt);
    EXPECT_EQ(std::nullopt, board.string());
    EXPECT_TRUE(board.pasteboardTypes().empty());
    EXPECT_EQ(count + 3, board.changeCount());
}

}  // namespace
