#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "support/ErrorOf.h"

namespace {

TEST(TextEncodingTest, EncodesForTheWire) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const struct {
    int codePage;
    std::string bytes;
  } cases[] = {
      {0, "A\xE9??"},
      {20127, "A???"},
      {65001, text},
      {1200, std::string("A\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE", 10)},
      {1201, std::string("\0A\0\xE9\x20\xAC\xD8\x3D\xDE\x00", 10)},
      {65000, "A+AOkgrNg93gA-"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::EncodeText(text, c.codePage), c.bytes) << c.codePage;
  // Other code pages through the system; what a code page lacks becomes '?'.
  EXPECT_EQ(platform::EncodeText("A\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD", 1252), "A\xE9\x80?");
  EXPECT_EQ(platform::EncodeText("\xCE\xA9", 1253), "\xD9");
}

TEST(TextEncodingTest, DecodesBackAndMarksWhatDoesNotDecode) {
  const struct {
    int codePage;
    std::string bytes;
    std::string text;
  } cases[] = {
      {0, "A\xE9\x80\x03", "A\xC3\xA9\xC2\x80\x03"},
      {20127, "A\xE9", "A?"},
      {65001, "A\xFF", "A\xEF\xBF\xBD"},
      {1200, std::string("A\0\xAC\x20", 4), "A\xE2\x82\xAC"},
      {1201, std::string("\x20\xAC\0", 3), "\xE2\x82\xAC\xEF\xBF\xBD"},
      {1252, "\x80", "\xE2\x82\xAC"},
      {65000, "A+AOk-", "A\xC3\xA9"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::DecodeText(c.bytes, c.codePage), c.text) << c.codePage;
}

TEST(TextEncodingTest, UnknownCodePageIsRefusedByNumber) {
  EXPECT_EQ(ErrorOf([] { platform::EncodeText("A", 12345); }), "Code page 12345 is not supported");
  EXPECT_EQ(ErrorOf([] { platform::DecodeText("A", 12345); }), "Code page 12345 is not supported");
}

}  // namespace
