// How velo-pos shows answers: fragments read back, the exact raw form, readable steps.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "velo-pos/PosOutput.h"

namespace {

std::vector<std::pair<std::string, std::string>> Pairs(const std::vector<tkFragmentField>& aFields) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const tkFragmentField& field : aFields) pairs.emplace_back(field.Name, field.Value);
  return pairs;
}

TEST(Fragment, ElementsInOrderWithTheirTextUnescaped) {
  std::vector<tkFragmentField> fields;
  ASSERT_TRUE(ParseFragment("<DeviceId>T&amp;1</DeviceId>\r\n<MaskedPAN></MaskedPAN>\r\n"
                            "<ReceiptText>line 1\r\nline &lt;2&gt;</ReceiptText>",
                            fields));
  EXPECT_EQ(Pairs(fields), (std::vector<std::pair<std::string, std::string>>{
                               {"DeviceId", "T&1"}, {"MaskedPAN", ""}, {"ReceiptText", "line 1\r\nline <2>"}}));

  fields.clear();
  EXPECT_TRUE(ParseFragment("", fields));
  EXPECT_TRUE(fields.empty());
}

TEST(Fragment, TextThatIsNoFragmentIsRefused) {
  for (const char* text : {"Version 1 - 2025", "<A>1", "<A>1</B>", "<A><B>1</B></A>", "<>1</>", "<A>1</A> x",
                           "<A x=\"1\">1</A x=\"1\">"}) {
    std::vector<tkFragmentField> fields;
    EXPECT_FALSE(ParseFragment(text, fields)) << text;
  }
}

TEST(Fragment, Unescape) {
  struct tkCase {
    const char* Text;
    const char* Expected;
  };
  const tkCase cases[] = {
      {"&amp;lt;", "&lt;"},  // escaped once, unescaped once
      {"&lt;&gt;&quot;&apos;&amp;", "<>\"'&"},
      {"&#233;t&#xE9;", "\xC3\xA9t\xC3\xA9"},
      {"&#x1F600;", "\xF0\x9F\x98\x80"},
      {"a & b", "a & b"},
      {"&bogus; &#; &#x; &#0; &#xD800; &#1114112;", "&bogus; &#; &#x; &#0; &#xD800; &#1114112;"},
      {"tail &amp", "tail &amp"},
  };
  for (const tkCase& c : cases) EXPECT_EQ(UnescapeXml(c.Text), c.Expected) << c.Text;
}

TEST(RawAnswer, IsPrintedExactly) {
  tkAnswer answer;
  answer.Result = -1;
  answer.Output = "<Error>True</Error>\r\n<ErrorText>a &lt; b</ErrorText>";
  answer.Error = "a < b\r\nsecond line";
  EXPECT_EQ(FormatRawAnswer(answer),
            "result: -1\n<Error>True</Error>\r\n<ErrorText>a &lt; b</ErrorText>\nerror: a < b\r\nsecond line\n");
  EXPECT_EQ(FormatRawAnswer(tkAnswer{}), "result: 0\n\nerror: \n");
}

TEST(RawAnswer, SuccessRule) {
  struct tkCase {
    const char* Export;
    int16_t Result;
    const char* Output;
    bool Succeeded;
  };
  const tkCase cases[] = {
      {"PAY", 0, "<Error>False</Error>", true},
      {"PAY", -1, "<Error>True</Error>", false},
      {"CLOSE", 0, "", true},
      {"GETSTATUS", 1, "", false},
      {"VERSION", 0, "Version 10.0.0 - 2025-01-31", true},
      {"VERSION", 0, "", false},  // an unknown driver key
  };
  for (const tkCase& c : cases) {
    tkAnswer answer;
    answer.Result = c.Result;
    answer.Output = c.Output;
    EXPECT_EQ(AnswerSucceeded(c.Export, answer), c.Succeeded) << c.Export << " " << c.Result;
  }
}

TEST(RawAnswer, Seconds) {
  EXPECT_EQ(FormatSeconds(0), "0.00 s");
  EXPECT_EQ(FormatSeconds(0.016), "0.02 s");
  EXPECT_EQ(FormatSeconds(63.2), "63.20 s");
  EXPECT_EQ(FormatSeconds(-1), "0.00 s");
}

const char kPaidFragment[] =
    "<DeviceId>VIR00001</DeviceId>\r\n<PaymentDateTime>2025-01-31T10:11:12</PaymentDateTime>\r\n"
    "<PaymentAmount>12.5</PaymentAmount>\r\n<ExchangeRate>0</ExchangeRate>\r\n<MaskedPAN></MaskedPAN>\r\n"
    "<PaymentNetwork>maestro</PaymentNetwork>\r\n<SignatureRequested>False</SignatureRequested>\r\n"
    "<ReceiptText>\r\nSHOP &amp; CO\r\nTOTAL 12.50\r\n</ReceiptText>\r\n<Error>False</Error>\r\n"
    "<ErrorText></ErrorText>\r\n<LogFileName>/logs/VELO_VIROZI_10_1_20250131.log</LogFileName>";

struct tkPrinted {
  std::string Text;
};

tkPrinted Print(const tkStepView& aStep, bool aColours, bool aVerbose) {
  std::ostringstream out;
  tkPosPrinter printer(out, aColours, aVerbose);
  printer.StepHeading(aStep);
  printer.StepOutcome(aStep);
  return {out.str()};
}

tkStepView PaidStep() {
  tkStepView step;
  step.Number = 3;
  step.Title = "pay --amount 12.50";
  step.Export = "PAY";
  step.Request = "<R/>";
  step.Answer.Output = kPaidFragment;
  step.Succeeded = true;
  step.Seconds = 0.25;
  return step;
}

TEST(ReadableStep, ShowsWhatThePaymentBroughtAndLeavesOutEmptyValues) {
  const std::string text = Print(PaidStep(), false, false).Text;
  EXPECT_EQ(text,
            "[3] pay --amount 12.50\n"
            "    PAY ok in 0.25 s\n"
            "    DeviceId                VIR00001\n"
            "    PaymentDateTime         2025-01-31T10:11:12\n"
            "    PaymentAmount           12.5\n"
            "    PaymentNetwork          maestro\n"
            "    ReceiptText             SHOP & CO\n"
            "                            TOTAL 12.50\n"
            "\n");
}

TEST(ReadableStep, VerboseShowsTheRequestAndEveryElement) {
  const std::string text = Print(PaidStep(), false, true).Text;
  EXPECT_NE(text.find("    request                 <R/>\n"), std::string::npos) << text;
  for (const char* line : {"    ExchangeRate            0\n", "    MaskedPAN\n", "    SignatureRequested      False\n",
                           "    Error                   False\n", "    ErrorText\n",
                           "    LogFileName             /logs/VELO_VIROZI_10_1_20250131.log\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
  }
}

TEST(ReadableStep, FailuresInRedOnlyWithColours) {
  tkStepView step;
  step.Number = 1;
  step.Title = "pay";
  step.Export = "PAY";
  step.Answer.Result = -1;
  step.Answer.Output = "<PaymentNetwork>other</PaymentNetwork>\r\n<Error>True</Error>\r\n<ErrorText>TRANSAZIONE "
                       "NEGATA</ErrorText>";
  step.Answer.Error = "TRANSAZIONE NEGATA";
  step.Note = "as expected";

  const std::string plain = Print(step, false, false).Text;
  EXPECT_EQ(plain.find('\x1b'), std::string::npos) << plain;
  EXPECT_NE(plain.find("    PAY FAILED (result -1) in 0.00 s - as expected\n"), std::string::npos) << plain;
  EXPECT_NE(plain.find("    ErrorText               TRANSAZIONE NEGATA\n"), std::string::npos) << plain;

  const std::string coloured = Print(step, true, false).Text;
  EXPECT_NE(coloured.find("\x1b[31mFAILED (result -1)\x1b[0m"), std::string::npos) << coloured;
  EXPECT_NE(coloured.find("ErrorText               \x1b[31mTRANSAZIONE NEGATA\x1b[0m"), std::string::npos)
      << coloured;

  // A message that comes with a success is no error.
  tkStepView informed = PaidStep();
  informed.Answer.Output = "<Error>False</Error>\r\n<ErrorText>APPROVATO [00]</ErrorText>";
  const std::string info = Print(informed, true, false).Text;
  EXPECT_NE(info.find("ErrorText               APPROVATO [00]\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\x1b[32mok\x1b[0m"), std::string::npos) << info;
}

TEST(ReadableStep, ProblemNotesInRed) {
  tkStepView step = PaidStep();
  step.Note = "expected it to fail";
  step.NoteIsProblem = true;
  EXPECT_NE(Print(step, true, false).Text.find(" - \x1b[31mexpected it to fail\x1b[0m\n"), std::string::npos);
}

TEST(ReadableStep, StatusShowsEveryFlag) {
  tkStepView step;
  step.Number = 1;
  step.Title = "status";
  step.Export = "GETSTATUS";
  step.Answer.Output = "<DayOpened>False</DayOpened>\r\n<DateTime>1899-12-30T00:00:00</DateTime>\r\n"
                       "<FirmwareVersion></FirmwareVersion>\r\n<Error>False</Error>";
  step.Succeeded = true;
  EXPECT_EQ(Print(step, false, false).Text,
            "[1] status\n    GETSTATUS ok in 0.00 s\n    DayOpened               False\n"
            "    DateTime                1899-12-30T00:00:00\n    FirmwareVersion\n\n");
}

TEST(ReadableStep, VersionAndAnswersThatAreNoFragment) {
  tkStepView version;
  version.Number = 1;
  version.Title = "version";
  version.Export = "VERSION";
  version.Request = "VELO_X";
  EXPECT_NE(Print(version, false, false).Text.find("    VERSION FAILED (no answer) in 0.00 s\n"
                                                   "    no driver 'VELO_X' in this library\n"),
            std::string::npos);
  version.Answer.Output = "Version 10.0.0 - 2025-01-31";
  version.Succeeded = true;
  EXPECT_NE(Print(version, false, false).Text.find("    VERSION ok in 0.00 s\n    Version 10.0.0 - 2025-01-31\n"),
            std::string::npos);

  tkStepView odd = PaidStep();
  odd.Answer.Output = "not a fragment\r\nat all";
  odd.Answer.Error = "the error output";
  const std::string text = Print(odd, false, false).Text;
  EXPECT_NE(text.find("    answer                  not a fragment\n                            at all\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    error                   the error output\n"), std::string::npos) << text;
}

TEST(ReadableStep, DemoStepsShowTheirCommand) {
  tkStepView step = PaidStep();
  step.Title = "Card payment";
  step.Command = "pay --amount 12.50";
  const std::string text = Print(step, false, false).Text;
  EXPECT_EQ(text.rfind("[3] Card payment\n    $ velo-pos pay --amount 12.50\n    PAY ok", 0), 0u) << text;
}

TEST(JsonStep, OneObjectPerStepWithEveryElement) {
  std::ostringstream out;
  tkPosPrinter printer(out, true, false, true);
  tkStepView step = PaidStep();
  printer.StepHeading(step);
  printer.StepOutcome(step);
  EXPECT_EQ(out.str(),
            "{\"step\":3,\"operation\":\"pay --amount 12.50\",\"export\":\"PAY\",\"result\":0,\"ok\":true,"
            "\"seconds\":0.250,\"answer\":{\"DeviceId\":\"VIR00001\",\"PaymentDateTime\":\"2025-01-31T10:11:12\","
            "\"PaymentAmount\":\"12.5\",\"ExchangeRate\":\"0\",\"MaskedPAN\":\"\",\"PaymentNetwork\":\"maestro\","
            "\"SignatureRequested\":\"False\",\"ReceiptText\":\"\\r\\nSHOP & CO\\r\\nTOTAL 12.50\\r\\n\","
            "\"Error\":\"False\",\"ErrorText\":\"\",\"LogFileName\":\"/logs/VELO_VIROZI_10_1_20250131.log\"},"
            "\"error\":null}\n");

  // A failure with a hint, and an answer that is no fragment; no colour codes in JSON.
  std::ostringstream failed;
  tkPosPrinter json(failed, true, true, true);
  tkStepView refused;
  refused.Number = 1;
  refused.Title = "version";
  refused.Export = "VERSION";
  refused.Request = "X";
  refused.Answer.Result = -1;
  refused.Answer.OutputNull = false;
  refused.Answer.Output = "Version 1 - 2025";
  refused.Answer.ErrorNull = false;
  refused.Answer.Error = "bad \"x\"";
  refused.Hint = "try y";
  json.StepOutcome(refused);
  json.Line("not in JSON");
  json.Problem("went wrong");
  json.Expectation("TotalAmount 17.5", false, "TotalAmount is \"12\"");
  EXPECT_EQ(failed.str(),
            "{\"step\":1,\"operation\":\"version\",\"export\":\"VERSION\",\"result\":-1,\"ok\":false,"
            "\"seconds\":0.000,\"request\":\"X\",\"output\":\"Version 1 - 2025\",\"error\":\"bad \\\"x\\\"\","
            "\"hint\":\"try y\"}\n"
            "{\"problem\":\"went wrong\"}\n"
            "{\"expect\":\"TotalAmount 17.5\",\"met\":false,\"found\":\"TotalAmount is \\\"12\\\"\"}\n");
}

TEST(JsonStep, StringsAreValidJsonWhateverTheBytes) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
      {"\r\n\t\x01\x1f\x7f", "\"\\r\\n\\t\\u0001\\u001f\\u007f\""},
      {"caff\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x92\xB3", "\"caff\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x92\xB3\""},
      // Bytes that are no UTF-8: a lone continuation, a cut sequence, an overlong form, a
      // surrogate; each byte that starts no valid sequence becomes U+FFFD.
      {"a\x80z", "\"a\xEF\xBF\xBDz\""},
      {"\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {std::string("nul\0in", 6), "\"nul\\u0000in\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.text;
}

TEST(RefusalHint, ListsTheValidValuesWhereTheLibrarysTextDoesNot) {
  auto answer = [](const std::string& aErrorText) {
    tkAnswer refused;
    refused.Result = -1;
    refused.Output = "<Error>True</Error>\r\n<ErrorText>" + aErrorText + "</ErrorText>";
    refused.Error = aErrorText;
    return refused;
  };
  const std::string wallets = RefusalHint("PAY", answer("Invalid Attribute [foo]"));
  for (const char* name : {"jiffy", "satispay", "bitcoin", "satispay_qrcode", "conad_mobile_wallet", "tinaba"}) {
    EXPECT_NE(wallets.find(name), std::string::npos) << name;
  }
  EXPECT_NE(RefusalHint("OPEN", answer("Connection Type FOO is not valid")).find("SERIAL"), std::string::npos);
  EXPECT_NE(RefusalHint("PAY", answer("Action void invalid. Allowed values are: PAY,REFUND.")).find("VOID"),
            std::string::npos);
  EXPECT_NE(RefusalHint("OPEN", answer("Payment Driver [velo_viROZI_10] not registered.")).find("VELO_VIROZI_10"),
            std::string::npos);
  // Texts that list the values already, other refusals and other exports get no hint.
  for (const auto& [exportName, text] : std::vector<std::pair<std::string, std::string>>{
           {"PAY", "Payment Channel FOO invalid. Allowed values are: STD,MVP,NHS."},
           {"PAY", "TRANSAZIONE NEGATA"},
           {"REPRINT", "Invalid Attribute [foo]"},
           {"PAY", "An Invalid Attribute [foo]"},
       }) {
    EXPECT_EQ(RefusalHint(exportName, answer(text)), "") << text;
  }
}

}  // namespace
