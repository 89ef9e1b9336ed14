// Code page conversions: round trips, marks and refusals. (The 1251 fixture is read in table_read_test.cpp.)
#include "provider/format/codepage.h"

#include <gtest/gtest.h>

#include "provider/error.h"
#include "tests/support/raises.h"

namespace dorvane::provider {
namespace {

namespace test = ::dorvane::test;

struct RoundTrip {
    int page;
    std::string utf8;
    std::string bytes;  // the text in the page
};

TEST(CodePageTest, TextRoundTripsThroughEachPage) {
    const RoundTrip cases[] = {
        {1252, "Crème brûlée € – “ok”",
         "Cr\xE8me br\xFBl\xE9"
         "e \x80 \x96 \x93ok\x94"},
        {1252, "plain text longer than eight bytes, é, then more plain text€",
         "plain text longer than eight bytes, \xE9, then more plain text\x80"},
        {1251, "Привет, мир", "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0"},
        {1250, "Łódź žluťoučký",
         "\xA3\xF3"
         "d\x9F \x9Elu\x9Dou\xE8k\xFD"},
        {437, "Ça ½ ░▒▓",
         "\x80"
         "a \xAB \xB0\xB1\xB2"},
        {850, "Øre ÿ", "\x9Dre \x98"},
        {866, "Ёж", "\xF0\xA6"},
        {1253, "Ωμέγα", "\xD9\xEC\xDD\xE3\xE1"},
        {1255, "שלום", "\xF9\xEC\xE5\xED"},
        {10000, "café", "caf\x8E"},
        {932, "日本語ｶﾅ", "\x93\xFA\x96\x7B\x8C\xEA\xB6\xC5"},
        {936, "中文", "\xD6\xD0\xCE\xC4"},
        {949, "한국어", "\xC7\xD1\xB1\xB9\xBE\xEE"},
        {950, "中文", "\xA4\xA4\xA4\xE5"},
        {932, std::string(5000, 'A'), std::string(5000, 'A')},  // longer than a conversion buffer
        {932, std::string(3000, 'x') + "日本", std::string(3000, 'x') + "\x93\xFA\x96\x7B"},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.page);
        const CodePage& page = CodePage::forNumber(c.page);
        EXPECT_EQ(page.encode(c.utf8), c.bytes);
        EXPECT_EQ(page.decode(c.bytes), c.utf8);
        std::string appended = "x";
        page.decodeAppend(c.bytes, appended);
        EXPECT_EQ(appended, "x" + c.utf8);
    }
}

// Every byte of every single-byte page decodes to something encode() maps back to that byte, so a
// field read and written unchanged keeps its bytes (also the bytes a page leaves undefined).
TEST(CodePageTest, EveryByteOfSingleBytePagesSurvivesDecodeAndEncode) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    for (int number : CodePage::supportedNumbers()) {
        const CodePage& page = CodePage::forNumber(number);
        if (page.isDoubleByte()) continue;
        SCOPED_TRACE(number);
        const std::string text = page.decode(all);
        if (text.find("\xEF\xBF\xBD") != std::string::npos) continue;  // a byte collided: U+FFFD
        EXPECT_EQ(page.encode(text), all);
    }
    EXPECT_EQ(CodePage::forNumber(1252).decode("\x81\x8D"), "\xC2\x81\xC2\x8D");
    EXPECT_EQ(CodePage::forNumber(932).decode("a\x93"), "a\xEF\xBF\xBD");  // a lead byte without its trail
}

// Marks that alias another page's, and the mark written back: the page's own, never the alias or 0.
TEST(CodePageTest, MarksNameTheirPagesAndUnknownOnesRaiseInvalidCodePage) {
    const std::pair<std::uint8_t, int> aliases[] = {{0x00, 1252}, {0x57, 1252}, {0x26, 866}, {0xC9, 1251}};
    for (auto [mark, number] : aliases) {
        SCOPED_TRACE(mark);
        EXPECT_EQ(CodePage::forMark(mark).number(), number);
        EXPECT_EQ(CodePage::forMark(mark).mark(), CodePage::forNumber(number).mark());
    }
    EXPECT_EQ(CodePage::forMark(0x00).mark(), 0x03);
    for (std::uint8_t mark : {0x69, 0x68, 0x98, 0xFF, 0x30}) {  // 620, 895, 10006: no converter
        SCOPED_TRACE(mark);
        EXPECT_FALSE(CodePage::isSupportedMark(mark));
        EXPECT_TRUE(test::raises(1914, [&] { CodePage::forMark(mark); }));
    }
    EXPECT_THROW(CodePage::forNumber(65001), ProviderError);
}

// Text a page cannot hold, and malformed UTF-8, are refused with the character or "UTF-8" named.
TEST(CodePageTest, RefusesTextThePageCannotHold) {
    const struct {
        int page;
        std::string utf8;
        std::string named;
    } cases[] = {
        {1252, "abc Ж", "\"Ж\" (U+0416)"}, {437, "€", "U+20AC"},
        {1251, "ok 😀", "U+1F600"},         {936, "x 😀", "U+1F600"},
        {932, "ok Ж😀", "U+1F600"},                                      // Cyrillic is in 932, emoji are not
        {1252, "ab\xC3", "UTF-8"},         {932, "\xC0\xAF", "UTF-8"},  // cut short, overlong '/'
        {1252, "\xED\xA0\x80", "UTF-8"},   {932, "\xF4\x90\x80\x80", "UTF-8"},  // surrogate, past U+10FFFF
        {1252, "\x80", "UTF-8"},           {932, "ok\xFF", "UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.page) + " " + c.named);
        const auto encode = [&] { CodePage::forNumber(c.page).encode(c.utf8); };
        EXPECT_TRUE(test::raises(FoxError::CodePageCannotHold, encode, c.named));
    }
}

}  // namespace
}  // namespace dorvane::provider
