#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/DateTime.h"
#include "payment/PaymentResults.h"

namespace {

TEST(EscapeXml, ReplacesTheFiveCharactersAmpersandFirst) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"a & b", "a &amp; b"},
      {"<tag>", "&lt;tag&gt;"},
      {"\"quoted\" 'single'", "&quot;quoted&quot; &apos;single&apos;"},
      // Entities already in the text are escaped again.
      {"&lt;", "&amp;lt;"},
      {"&amp;", "&amp;amp;"},
      {"&&", "&amp;&amp;"},
      {"caf\xC3\xA9 \xE2\x82\xAC<", "caf\xC3\xA9 \xE2\x82\xAC&lt;"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeXml(c.in), c.out) << c.in;
}

// What XML 1.0 does not allow would make a POS's parser refuse the whole answer: each such
// character, and each byte that is no UTF-8, is carried as U+FFFD.
TEST(EscapeXml, CharactersXmlDoesNotAllowBecomeReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {std::string("a\0b", 3), "a" + r + "b"},
      {"\x01\x1b[0m\x1f", r + r + "[0m" + r},
      {"tab\tLF\nCR\r", "tab\tLF\nCR\r"},  // allowed
      {"\x7f\xC2\x85", "\x7f\xC2\x85"},    // DEL and C1 are XML 1.0 characters
      {"\xEF\xBF\xBE\xEF\xBF\xBF", r + r},   // U+FFFE, U+FFFF
      {"\xED\xA0\x80", r + r + r},             // a surrogate, byte by byte
      {"\xFF<\xC3", r + "&lt;" + r},            // no UTF-8, a cut sequence
      {"\xF0\x9F\x98\x80 \xEF\xBF\xBD", "\xF0\x9F\x98\x80 \xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeXml(c.in), c.out) << c.out;
}

// Plain text is passed over in blocks of sixteen bytes; each byte value and each character
// must be escaped alike wherever it falls in or across a block.
TEST(EscapeXml, EveryByteAlikeWhereverItFalls) {
  std::vector<std::string> pieces = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBF\xBE", "\r\n"};
  for (int b = 0; b < 256; ++b) pieces.emplace_back(1, static_cast<char>(b));
  for (const std::string& piece : pieces) {
    const std::string alone = EscapeXml(piece);
    for (size_t before = 0; before <= 33; ++before) {
      for (size_t after : {0, 1, 15, 16, 17}) {
        const std::string head(before, 'x'), tail(after, 'y');
        ASSERT_EQ(EscapeXml(head + piece + tail), head + alone + tail)
            << testing::PrintToString(piece) << " after " << before << " bytes";
      }
    }
  }
}

TEST(Renderings, AmountsCountsIntegersAndBooleans) {
  const struct {
    int64_t raw;
    const char* text;
  } amounts[] = {{0, "0"},           {12345678000, "1234567.8"}, {-5000, "-0.5"}, {1, "0.0001"},
                 {1000000, "100"}, {-1, "-0.0001"},             {125000, "12.5"}};
  for (const auto& c : amounts) EXPECT_EQ(RenderAmount(Currency::FromRaw(c.raw)), c.text) << c.raw;

  for (int32_t n : {0, 7, -2, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()}) {
    EXPECT_EQ(RenderCount(n), std::to_string(n));
    EXPECT_EQ(RenderInteger(n), std::to_string(n));
  }
  EXPECT_EQ(RenderBoolean(true), "True");
  EXPECT_EQ(RenderBoolean(false), "False");
}

TEST(Renderings, DateTimesCutToTheSecond) {
  const struct {
    TDateTime value;
    const char* text;
  } cases[] = {
      {0, "1899-12-30T00:00:00"},
      {EncodeDateTime({2025, 1, 30, 23, 59, 59, 999}), "2025-01-30T23:59:59"},
      {EncodeDateTime({2024, 2, 29, 7, 5, 3, 500}), "2024-02-29T07:05:03"},
      {-1.25, "1899-12-29T06:00:00"},
      // No calendar date: an empty element rather than a failed answer.
      {std::nan(""), ""},
      {1e12, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RenderDateTime(c.value), c.text) << c.value;
}

TEST(ResetResult, FailureDefaults) {
  const _int_PAY_result pay = ResetResultOf<_int_PAY_result>();
  EXPECT_TRUE(pay.Error);
  EXPECT_EQ(pay.TransactionType, ptt_Other);
  EXPECT_EQ(pay.PaymentNetwork, tkPaymentNetwork::Other);
  EXPECT_EQ(pay.PaymentDateTime, 0);
  EXPECT_EQ(pay.PaymentAmount, Currency());
  EXPECT_FALSE(pay.SignatureRequested);
  EXPECT_TRUE(pay.ErrorText.empty());

  EXPECT_TRUE(ResetResultOf<_int_OPEN_result>().Error);
  EXPECT_EQ(ResetResultOf<_int_OPEN_result>().Handle, 0);
  EXPECT_TRUE(ResetResultOf<_int_CLOSE_result>().Error);
  EXPECT_TRUE(ResetResultOf<_int_REPRINT_result>().Error);
  EXPECT_TRUE(ResetResultOf<_int_DAYCLOSE_result>().Error);
  EXPECT_TRUE(ResetResultOf<_int_GETTOTALS_result>().Error);
  const _int_GETSTATUS_result status = ResetResultOf<_int_GETSTATUS_result>();
  EXPECT_TRUE(status.Error);
  EXPECT_FALSE(status.DayOpened || status.PaperEnd || status.PaperNearEnd || status.CoverOpen ||
               status.FiscalReceiptOpen || status.ReceiptOpen || status.TrainingMode);

  // A fresh record, as the device hands it to a driver: the first enumeration members.
  const _int_PAY_result fresh;
  EXPECT_FALSE(fresh.Error);
  EXPECT_EQ(fresh.TransactionType, ptt_Chip);
  EXPECT_EQ(fresh.PaymentNetwork, tkPaymentNetwork::Bank);
}

TEST(Fragments, ShortRecordsExactly) {
  _int_CLOSE_result close;
  close.Error = true;
  close.ErrorText = "a<b";
  close.LogFileName = "x&y.log";
  EXPECT_EQ(FormatFragment(close),
            "<Error>True</Error>\r\n<ErrorText>a&lt;b</ErrorText>\r\n<LogFileName>x&amp;y.log</LogFileName>");

  _int_OPEN_result open;
  open.Handle = -7;
  EXPECT_EQ(FormatFragment(open),
            "<Handle>-7</Handle>\r\n<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n<LogFileName></LogFileName>");

  _int_REPRINT_result reprint;
  reprint.ReceiptText = "line 1\r\nline 2";
  EXPECT_EQ(FormatFragment(reprint),
            "<ReceiptText>line 1\r\nline 2</ReceiptText>\r\n<CashierReceiptText></CashierReceiptText>\r\n"
            "<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n<LogFileName></LogFileName>");

  _int_GETSTATUS_result status;
  status.DayOpened = status.TrainingMode = true;
  status.DateTime = EncodeDate(2024, 12, 31);
  status.FiscalMode = "'F'";
  EXPECT_EQ(FormatFragment(status),
            "<DayOpened>True</DayOpened>\r\n<DateTime>2024-12-31T00:00:00</DateTime>\r\n<PaperEnd>False</PaperEnd>\r\n"
            "<PaperNearEnd>False</PaperNearEnd>\r\n<CoverOpen>False</CoverOpen>\r\n"
            "<FiscalReceiptOpen>False</FiscalReceiptOpen>\r\n<ReceiptOpen>False</ReceiptOpen>\r\n"
            "<TrainingMode>True</TrainingMode>\r\n<FirmwareVersion></FirmwareVersion>\r\n<SerialNumber></SerialNumber>\r\n"
            "<FiscalMode>&apos;F&apos;</FiscalMode>\r\n<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n"
            "<LogFileName></LogFileName>");
}

TEST(Fragments, NetworkAndEntryModeAreDecodedNotEscaped) {
  const struct {
    tkPaymentNetwork network;
    tkPaymentTransactionType mode;
    const char* networkText;
    const char* modeText;
  } cases[] = {
      {tkPaymentNetwork::NHS, ptt_Chip, "NHS", "CHIP"},
      {tkPaymentNetwork::Nexi, ptt_RFID, "unrecognized", ""},
      {tkPaymentNetwork::Other, ptt_Other, "other", "OTHER"},
      {tkPaymentNetwork::Satispay, ptt_Token, "satispay", "TOKEN"},
      {static_cast<tkPaymentNetwork>(200), static_cast<tkPaymentTransactionType>(9), "unrecognized", ""},
  };
  for (const auto& c : cases) {
    _int_PAY_result r;
    r.PaymentNetwork = c.network;
    r.TransactionType = c.mode;
    const std::string fragment = FormatFragment(r);
    EXPECT_NE(fragment.find(std::string("\r\n<PaymentNetwork>") + c.networkText + "</PaymentNetwork>\r\n"),
              std::string::npos)
        << c.networkText;
    EXPECT_NE(fragment.find(std::string("\r\n<TransactionType>") + c.modeText + "</TransactionType>\r\n"),
              std::string::npos)
        << c.modeText;
  }
}

TEST(Fragments, RawResponseIsNeverRendered) {
  _int_PAY_result r;
  r.RawResponse = "secret-raw";
  const std::string fragment = FormatFragment(r);
  EXPECT_EQ(fragment.find("secret-raw"), std::string::npos);
  EXPECT_EQ(fragment.find("RawResponse"), std::string::npos);
  EXPECT_EQ(fragment.rfind("<DeviceId></DeviceId>\r\n", 0), 0u);
  EXPECT_EQ(fragment.substr(fragment.size() - 27), "<LogFileName></LogFileName>");
}

}  // namespace
