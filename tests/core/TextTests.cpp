#include <gtest/gtest.h>

#include "core/Text.h"

namespace {

TEST(Text, Utf16ToUtf8ReplacesUnpairedSurrogates) {
  struct Case {
    std::u16string in;
    std::string out;
  };
  const Case cases[] = {
      {u"", ""},
      {u"abc", "abc"},
      {u"\u00E9", "\xC3\xA9"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},         // a pair
      {u"a\xD83D", "a\xEF\xBF\xBD"},                  // high at the end
      {u"\xD83Dx", "\xEF\xBF\xBDx"},                  // high before an ordinary unit
      {u"\xDE00x", "\xEF\xBF\xBDx"},                  // low alone
      {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // pair in the wrong order
      {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {std::u16string(1, u'\0') + u"z", std::string(1, '\0') + "z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(Utf16ToUtf8(c.in), c.out);
  }
}

TEST(Text, Utf8ToUtf16ReplacesEachInvalidByte) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},           // U+10FFFF, the last code point
      {"\xC3", u"\xFFFD"},                              // cut at the end
      {"\xC3(", u"\xFFFD("},                            // continuation missing
      {"\xE2\x82", u"\xFFFD\xFFFD"},
      {"\xC0\xAF", u"\xFFFD\xFFFD"},                    // overlong '/'
      {"\xE0\x80\xAF", u"\xFFFD\xFFFD\xFFFD"},          // overlong, three bytes
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},          // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // above U+10FFFF
      {"a\xFF" "b\x80", u"a\xFFFD" "b\xFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Utf8ToUtf16(c.in), c.out);
  }
}

// Plain text goes eight bytes at a time: whatever falls across those words converts as
// it does alone, and the caller's buffer gets exactly the units measured.
TEST(Text, Utf8ToUtf16AcrossTheWordsOfPlainText) {
  struct Piece {
    std::string in;
    std::u16string out;
  };
  const Piece pieces[] = {
      {"\xC3\xA9", u"\u00E9"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xFF", u"\xFFFD"},
      {"\xE2\x82", u"\xFFFD\xFFFD"},
      {"\x7F", u"\x7F"},
  };
  for (const Piece& piece : pieces) {
    for (size_t before = 0; before <= 17; ++before) {
      for (size_t after : {0, 1, 7, 8, 9}) {
        std::string in;
        std::u16string expected;
        for (size_t i = 0; i < before; ++i) in += static_cast<char>('A' + i), expected += static_cast<char16_t>('A' + i);
        in += piece.in;
        expected += piece.out;
        for (size_t i = 0; i < after; ++i) in += static_cast<char>('a' + i), expected += static_cast<char16_t>('a' + i);
        SCOPED_TRACE(in);
        EXPECT_EQ(Utf8ToUtf16(in), expected);
        ASSERT_EQ(Utf16Length(in), expected.size());
        std::u16string buffer(expected.size() + 1, u'#');
        EXPECT_EQ(Utf8ToUtf16(in, buffer.data()), expected.size());
        EXPECT_EQ(buffer, expected + u"#");
      }
    }
  }
}

TEST(Text, ValidTextSurvivesTheRoundTrip) {
  const std::string text = "Caff\xC3\xA8 \xE2\x82\xAC 1,50 \xF0\x9F\x98\x80 \xE4\xB8\xAD";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
}

TEST(Text, CountsAndCutsByCodePoint) {
  const std::string mixed = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x";  // é € 😀 x
  EXPECT_EQ(CodePointCount(""), 0u);
  EXPECT_EQ(CodePointCount(mixed), 4u);
  EXPECT_EQ(CodePointCount("a\xFF" "b"), 3u);
  EXPECT_EQ(CodePointCount("\xE2\x82"), 2u);  // the same count the conversion produces

  EXPECT_EQ(LeftCodePoints(mixed, 0), "");
  EXPECT_EQ(LeftCodePoints(mixed, 2), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(LeftCodePoints(mixed, 99), mixed);

  EXPECT_EQ(MidCodePoints(mixed, 1, 2), "\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(MidCodePoints(mixed, 3, 5), "x");
  EXPECT_EQ(MidCodePoints(mixed, 4, 1), "");
  EXPECT_EQ(MidCodePoints(mixed, 40, 1), "");
}

TEST(Text, CaseHelpersMapAsciiOnly) {
  EXPECT_EQ(LowerCase("AbC-\xC3\x89"), "abc-\xC3\x89");
  EXPECT_EQ(UpperCase("aBc-\xC3\xA9"), "ABC-\xC3\xA9");
  EXPECT_TRUE(SameText("/BATCH", "/batch"));
  EXPECT_FALSE(SameText("abc", "abd"));
  EXPECT_FALSE(SameText("abc", "ab"));
  EXPECT_TRUE(StartsWithText("/Batch:1", "/BATCH"));
  EXPECT_TRUE(StartsWithText("x", ""));
  EXPECT_FALSE(StartsWithText("/BA", "/BATCH"));
}

TEST(Text, StringReplaceAll) {
  struct Case {
    const char* text;
    const char* from;
    const char* to;
    const char* out;
  };
  const Case cases[] = {
      {"a&b&c", "&", "&amp;", "a&amp;b&amp;c"},  // the replacement is not searched again
      {"aaa", "aa", "b", "ba"},
      {"abc", "", "x", "abc"},
      {"abc", "abc", "", ""},
      {"xyz", "a", "b", "xyz"},
      {"", "a", "b", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StringReplaceAll(c.text, c.from, c.to), c.out);
  }
}

}  // namespace
