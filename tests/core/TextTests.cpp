#include <gtest/gtest.h>

#include <utility>

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
// Plain ASCII is converted in blocks of up to sixteen; every other character, wherever it
// falls in or across a block, must come out as it does alone.
TEST(Text, ConversionsAcrossTheBlocksOfPlainText) {
  struct Piece {
    std::string utf8;
    std::u16string utf16;
    bool roundTrips;  // false: the UTF-8 is invalid and comes back as U+FFFD
  };
  const Piece pieces[] = {
      {"\xC3\xA9", u"\u00E9", true},
      {"\xE2\x82\xAC", u"\u20AC", true},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00", true},
      {"\x7F", u"\x7F", true},
      {std::string(1, '\0'), std::u16string(1, u'\0'), true},
      {"\xFF", u"\xFFFD", false},
      {"\xE2\x82", u"\xFFFD\xFFFD", false},
  };
  for (const Piece& piece : pieces) {
    for (size_t before = 0; before <= 33; ++before) {
      for (size_t after : {0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31}) {
        std::string in;
        std::u16string expected;
        for (size_t i = 0; i < before; ++i) in += static_cast<char>('A' + i % 26), expected += static_cast<char16_t>('A' + i % 26);
        in += piece.utf8;
        expected += piece.utf16;
        for (size_t i = 0; i < after; ++i) in += static_cast<char>('a' + i % 26), expected += static_cast<char16_t>('a' + i % 26);
        SCOPED_TRACE(testing::PrintToString(in));
        EXPECT_EQ(Utf8ToUtf16(in), expected);
        ASSERT_EQ(Utf16Length(in), expected.size());
        std::u16string buffer(expected.size() + 1, u'#');
        EXPECT_EQ(Utf8ToUtf16(in, buffer.data()), expected.size());
        EXPECT_EQ(buffer, expected + u"#");
        if (piece.roundTrips) {
          EXPECT_EQ(Utf16ToUtf8(expected), in);
        }
      }
    }
  }
  // A unit just above ASCII in every place of a block, and an unpaired surrogate.
  const std::pair<char16_t, std::string> units[] = {
      {u'\x80', "\xC2\x80"}, {u'\xFF', "\xC3\xBF"}, {u'\x100', "\xC4\x80"}, {u'\xD800', "\xEF\xBF\xBD"}};
  for (const auto& [unit, encoded] : units) {
    for (size_t at = 0; at < 20; ++at) {
      std::u16string in(20, u'x');
      in[at] = unit;
      SCOPED_TRACE(at);
      EXPECT_EQ(Utf16ToUtf8(in), std::string(at, 'x') + encoded + std::string(19 - at, 'x'));
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
