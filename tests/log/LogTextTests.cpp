#include <gtest/gtest.h>

#include <random>
#include <string>

#include "log/LogText.h"

namespace {

std::string Escaped(std::string_view aText) {
  std::string out = "[";
  AppendLogEscaped(out, aText);
  return out + "]";
}

TEST(LogText, ControlCharactersBecomeVisibleEscapes) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain text, C:\\POS\\LogFiles", "[plain text, C:\\POS\\LogFiles]"},
      {"a\r\nb", "[a\\r\\nb]"},
      {"\n\n", "[\\n\\n]"},
      {"tab\there", "[tab\\there]"},
      {std::string("nul\0x", 5), "[nul\\x00x]"},
      {"\x1b[2J\x7f", "[\\x1B[2J\\x7F]"},
      // C1 NEL and the Unicode line and paragraph separators break lines in some viewers.
      {"a\xC2\x85" "b\xE2\x80\xA8" "c\xE2\x80\xA9", "[a\\u0085b\\u2028c\\u2029]"},
      // Bytes that are no UTF-8: a stray continuation, a cut sequence, a surrogate, an
      // overlong slash.
      {"\x80", "[\\x80]"},
      {"caf\xC3", "[caf\\xC3]"},
      {"\xED\xA0\x80", "[\\xED\\xA0\\x80]"},
      {"\xC0\xAF", "[\\xC0\\xAF]"},
      // Valid UTF-8 beyond ASCII stays as it is.
      {"\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x98\x80", "[\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x98\x80]"},
  };
  for (const auto& c : cases) EXPECT_EQ(Escaped(c.in), c.out) << c.out;
}

TEST(LogText, CardNumbersShowOnlyTheirFirstSixAndLastFour) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"4539578763621486", "453957******1486"},                    // 16 digits
      {"PAN:378282246310005;", "PAN:378282*****0005;"},            // 15
      {"4222222222222", "422222***2222"},                          // 13
      {"6011000990139424000", "6011000990139424000"},              // 19 digits failing Luhn
      {"4000000000000000006", "400000*********0006"},              // 19 passing
      {"4539 5787 6362 1486", "4539 57** **** 1486"},              // in groups
      {"4539-5787-6362-1486", "4539-57**-****-1486"},
      {"Totale 100 4539 5787 6362 1486", "Totale 100 4539 57** **** 1486"},  // beside other figures
      {"4539578763621487", "4539578763621487"},                    // fails Luhn
      {"453957876362", "453957876362"},                            // 12 digits
      {"80380001234567890123", "80380001234567890123"},            // 20 digits: no card number
      {"2025-01-31 09:15:02:007", "2025-01-31 09:15:02:007"},
      {"4539578763621486/4222222222222", "453957******1486/422222***2222"},
      {"4539 578 763 621 486", "4539 57* *** **1 486"},
      // Groups of one or two digits are no card number: a hex dump's bytes stay as they are.
      {"34 35 33 39 35 37 2a", "34 35 33 39 35 37 2a"},
      {"4 5 3 9 5 7 8 7 6 3 6 2 1 4 8 6", "4 5 3 9 5 7 8 7 6 3 6 2 1 4 8 6"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskCardNumbers(c.in), c.out) << c.in;
}

TEST(LogText, CardSerialShowsItsEndsOnly) {
  EXPECT_EQ(MaskCardSerial("80380001234567890123"), "803800**********0123");
  EXPECT_EQ(MaskCardSerial("12345678901"), "123456*8901");
  EXPECT_EQ(MaskCardSerial("1234567890"), "**********");
  EXPECT_EQ(MaskCardSerial(""), "");
}

TEST(LogText, MessageIsMaskedCutThenEscaped) {
  std::string record = "stamp - ";
  AppendLogMessage(record, "a\r\nb 4539578763621486", 0);
  EXPECT_EQ(record, "stamp - a\\r\\nb 453957******1486");
  record.clear();
  // The cut counts the message's own characters, before escapes lengthen it.
  AppendLogMessage(record, "\r\n\r\nabc", 4);
  EXPECT_EQ(record, "\\r\\n\\r\\n");
  record.clear();
  AppendLogMessage(record, "Connected", 0);
  EXPECT_EQ(record, "Connected");
  record.clear();
  // The escape's digits and the figures after it would read as a card number.
  AppendLogMessage(record, "\x10" "400000000000", 0);
  EXPECT_EQ(record, "\\x104000****0000");
}

TEST(LogText, PlainTextIsRecognised) {
  EXPECT_TRUE(IsPlainLogText("fVirPay.Pagamento:0,1234,0,"));
  EXPECT_TRUE(IsPlainLogText("123456789012"));
  EXPECT_TRUE(IsPlainLogText("1234 5678 9012"));
  EXPECT_FALSE(IsPlainLogText("1234567890123"));
  EXPECT_FALSE(IsPlainLogText("1234 5678 9012 3"));
  EXPECT_FALSE(IsPlainLogText("a\nb"));
  EXPECT_FALSE(IsPlainLogText("\xC3\xA8"));
}

// Plain text is looked at eight bytes at a time; the answer must be the one the rule gives
// byte by byte, wherever digits, gaps, controls and other bytes fall.
TEST(LogText, PlainTextAsTheRuleSaysWhereverTheBytesFall) {
  const auto byTheRule = [](std::string_view aText) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t digits = 0;
    for (size_t i = 0; i < aText.size(); ++i) {
      const auto c = static_cast<unsigned char>(aText[i]);
      if (c < 0x20 || c >= 0x7F) return false;
      if (isDigit(aText[i])) {
        if (++digits >= 13) return false;
      } else if (!((c == ' ' || c == '-') && digits > 0 && i + 1 < aText.size() && isDigit(aText[i + 1]))) {
        digits = 0;
      }
    }
    return true;
  };
  const std::string alphabet = std::string("0123456789 -aZ/:.~") + '\x1F' + '\x7F' + '\x80' + '\xC3' + '\t' + '\0';
  std::mt19937 random(20261210);
  size_t plain = 0, notPlain = 0;
  for (int n = 0; n < 50000; ++n) {
    std::string text(random() % 48, ' ');
    // Half the texts mostly digits and gaps, so that long figures are common; the other
    // half mostly words, so that whole words of eight plain bytes are common.
    const char* common = n % 2 == 0 ? "0123456789 " : "abcdefghij ";
    for (char& c : text) c = random() % 8 == 0 ? alphabet[random() % alphabet.size()] : common[random() % 11];
    const bool expected = byTheRule(text);
    ASSERT_EQ(IsPlainLogText(text), expected) << '"' << text << '"';
    (expected ? plain : notPlain)++;
  }
  // Both answers came up often enough to mean something.
  EXPECT_GT(plain, 1000u);
  EXPECT_GT(notPlain, 1000u);
}

TEST(LogText, LuhnCheck) {
  EXPECT_TRUE(PassesLuhn("79927398713"));
  EXPECT_FALSE(PassesLuhn("79927398710"));
  EXPECT_FALSE(PassesLuhn(""));
  EXPECT_FALSE(PassesLuhn("7992739871a"));
}

}  // namespace
