// The product library as a POS host sees it: loaded by file name, called through its
// exports with COM wide strings. Each test loads its own copy, so handles start at 1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/AppInfo.h"
#include "core/DateTime.h"
#include "core/Utils.h"
#include "e2e/ProductLibrary.h"
#include "payment/PaymentResults.h"
#include "platform/Module.h"
#include "platform/Platform.h"

namespace {

constexpr char kDriver[] = "VELO_TEST_DRIVER";
constexpr char kCrLf[] = "\r\n";

std::string Lines(std::initializer_list<std::string> aLines) {
  std::string text;
  for (const std::string& line : aLines) {
    if (!text.empty()) text += kCrLf;
    text += line;
  }
  return text;
}

std::string Payment(std::string_view aChildren) {
  return "<Payment>" + std::string(aChildren) + "</Payment>";
}

std::string Today(bool aIso) {
  const DateTimeParts now = platform::LocalNow();
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, aIso ? "%04d-%02d-%02d" : "%04d%02d%02d", now.Year, now.Month, now.Day);
  return buffer;
}

// The answer of a PAY or VERIFYTRAN that failed: the reset record with the message.
std::string FailedPaymentFragment(const std::string& aEscapedMessage) {
  return Lines({"<DeviceId></DeviceId>", "<PaymentDateTime>1899-12-30T00:00:00</PaymentDateTime>",
                "<PaymentNumber></PaymentNumber>", "<PaymentAmount>0</PaymentAmount>",
                "<PaymentCurrency></PaymentCurrency>", "<ExchangeRate>0</ExchangeRate>",
                "<PaymentAmountCurrency>0</PaymentAmountCurrency>",
                "<PaymentCurrencyCurrency></PaymentCurrencyCurrency>", "<TippedAmount>0</TippedAmount>",
                "<RemainingBalance>0</RemainingBalance>", "<InstalmentCount>0</InstalmentCount>",
                "<MaskedPAN></MaskedPAN>", "<SerialNumber></SerialNumber>",
                "<PaymentNetwork>other</PaymentNetwork>", "<TransactionType>OTHER</TransactionType>",
                "<AuthCode></AuthCode>", "<TraceAuditId></TraceAuditId>", "<NumberOfItems>0</NumberOfItems>",
                "<SingleItemAmount>0</SingleItemAmount>", "<SignatureRequested>False</SignatureRequested>",
                "<CustomerCountryCode></CustomerCountryCode>", "<CardToken></CardToken>",
                "<RefundReference></RefundReference>", "<ReceiptText></ReceiptText>",
                "<CashierReceiptText></CashierReceiptText>", "<DigitalSignature></DigitalSignature>",
                "<DigitalSignatureInput></DigitalSignatureInput>", "<Error>True</Error>",
                "<ErrorText>" + aEscapedMessage + "</ErrorText>", "<LogFileName></LogFileName>"});
}

const std::string kStatusFragment =
    Lines({"<DayOpened>False</DayOpened>", "<DateTime>1899-12-30T00:00:00</DateTime>", "<PaperEnd>False</PaperEnd>",
           "<PaperNearEnd>False</PaperNearEnd>", "<CoverOpen>False</CoverOpen>",
           "<FiscalReceiptOpen>False</FiscalReceiptOpen>", "<ReceiptOpen>False</ReceiptOpen>",
           "<TrainingMode>False</TrainingMode>", "<FirmwareVersion></FirmwareVersion>",
           "<SerialNumber></SerialNumber>", "<FiscalMode></FiscalMode>", "<Error>False</Error>",
           "<ErrorText></ErrorText>", "<LogFileName></LogFileName>"});

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fLogId = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveDeviceLogs(kDriver, fLogId);
  }
  void TearDown() override { RemoveDeviceLogs(kDriver, fLogId); }

  std::string Req(int32_t aHandle, std::string_view aBody = {}) const {
    return Request(kDriver, aHandle, fLogId, aBody);
  }
  std::string DeviceLog() const { return ReadDeviceLogs(kDriver, fLogId); }
  std::string DeviceLogName() const { return PaymentLogFolder() + kDriver + "_" + fLogId + "_" + Today(false) + ".log"; }

  std::string fLogId;
};

// ---- the product library: no driver registered yet ----------------------------------

TEST_F(ExportsTest, UnregisteredDriverKeyAnswersEveryOperation) {
  tkProductLibrary lib(kProductLibrary);
  const std::string request = Request("VELO_VIROZI_99", 0, fLogId, Payment("<Amount>10</Amount>"));
  const std::string message = "Payment Driver [VELO_VIROZI_99] not registered.";

  tkAnswer open = lib.Call("OPEN", request);
  EXPECT_EQ(open.Result, -1);
  EXPECT_EQ(open.Error, message);
  EXPECT_EQ(open.Output, Lines({"<Handle>0</Handle>", "<Error>True</Error>", "<ErrorText>" + message + "</ErrorText>",
                                "<LogFileName></LogFileName>"}));

  for (const char* name : {"PAY", "VERIFYTRAN"}) {
    tkAnswer pay = lib.Call(name, request);
    EXPECT_EQ(pay.Result, -1) << name;
    EXPECT_EQ(pay.Error, message) << name;
    EXPECT_EQ(pay.Output, FailedPaymentFragment(message)) << name;
  }
  tkAnswer reprint = lib.Call("REPRINT", request);
  EXPECT_EQ(reprint.Output, Lines({"<ReceiptText></ReceiptText>", "<CashierReceiptText></CashierReceiptText>",
                                   "<Error>True</Error>", "<ErrorText>" + message + "</ErrorText>",
                                   "<LogFileName></LogFileName>"}));
  tkAnswer dayClose = lib.Call("DAYCLOSE", Request("VELO_VIROZI_99", 0, fLogId, "<DayClose/>"));
  EXPECT_EQ(dayClose.Result, -1);
  EXPECT_EQ(dayClose.Output,
            Lines({"<DeviceId></DeviceId>", "<ClosureDateTime>1899-12-30T00:00:00</ClosureDateTime>",
                   "<ClosureNumber></ClosureNumber>", "<TransactionsCount>0</TransactionsCount>",
                   "<TotalAmount>0</TotalAmount>", "<Currency></Currency>", "<ReceiptText></ReceiptText>",
                   "<Error>True</Error>", "<ErrorText>" + message + "</ErrorText>", "<LogFileName></LogFileName>"}));
  tkAnswer totals = lib.Call("GETTOTALS", Request("VELO_VIROZI_99", 0, fLogId, "<GetTotals/>"));
  EXPECT_EQ(totals.Result, -1);
  EXPECT_EQ(totals.Output,
            Lines({"<DeviceId></DeviceId>", "<DateTime>1899-12-30T00:00:00</DateTime>",
                   "<TransactionsCount>0</TransactionsCount>", "<TotalAmount>0</TotalAmount>", "<Currency></Currency>",
                   "<ReceiptText></ReceiptText>", "<Error>True</Error>", "<ErrorText>" + message + "</ErrorText>",
                   "<LogFileName></LogFileName>"}));

  tkAnswer version = lib.Call("VERSION", "VELO_VIROZI_99");
  EXPECT_EQ(version.Result, 0);
  EXPECT_TRUE(version.OutputNull);
  EXPECT_TRUE(version.ErrorNull);
  // The product's own driver is there, under its exact key only.
  tkAnswer own = lib.Call("VERSION", "VELO_VIROZI_10");
  EXPECT_EQ(own.Result, 0);
  EXPECT_EQ(own.Output.rfind("Version 1.10 - ", 0), 0u) << own.Output;
  EXPECT_TRUE(lib.Call("VERSION", "velo_virozi_10").OutputNull);
}

TEST_F(ExportsTest, GetStatusAnswersTheFixedStatusForAnyRequest) {
  tkProductLibrary lib(kProductLibrary);
  for (const std::string& request : {std::string(), std::string("not xml at all <"), Req(5)}) {
    tkAnswer status = lib.Call("GETSTATUS", request);
    EXPECT_EQ(status.Result, 0);
    EXPECT_EQ(status.Output, kStatusFragment);
    EXPECT_TRUE(status.ErrorNull);
  }
  tkAnswer status = lib.CallWith("GETSTATUS", nullptr);
  EXPECT_EQ(status.Result, 0);
  EXPECT_EQ(status.Output, kStatusFragment);
}

// The 16-bit code zero-extended: a host reading 32 bits sees 65535 for a failure.
TEST_F(ExportsTest, ResultCodeReadAsThirtyTwoBits) {
  tkProductLibrary lib(kTestDriverLibrary);
  const std::u16string request = u"<Request><Driver>none</Driver></Request>";
  for (const char* name : {"PAY", "REPRINT", "OPEN", "DAYCLOSE", "GETTOTALS", "CLOSE", "VERIFYTRAN"}) {
    platform::Bstr in = lib.Alloc(request);
    platform::Bstr out = nullptr, error = nullptr;
    EXPECT_EQ(lib.Export32(name)(in, &out, &error), 65535u) << name;
    lib.Free(out);
    lib.Free(error);
    out = error = nullptr;
    EXPECT_EQ(lib.Export(name)(in, &out, &error), -1) << name;
    lib.Free(out);
    lib.Free(error);
    lib.Free(in);
  }
  platform::Bstr out = nullptr, error = nullptr;
  EXPECT_EQ(lib.Export32("GETSTATUS")(nullptr, &out, &error), 0u);
  lib.Free(out);
  for (const std::u16string& key : {std::u16string(u"VELO_TEST_DRIVER"), std::u16string(u"unknown")}) {
    platform::Bstr in = lib.Alloc(key);
    out = nullptr;
    EXPECT_EQ(lib.Export32("VERSION")(in, &out, &error), 0u);
    lib.Free(out);
    lib.Free(in);
  }
}

// Outputs are overwritten with null, never released; the request is only read.
TEST_F(ExportsTest, OutputsAreNulledWithoutReleaseAndTheRequestStaysTheCallers) {
  tkProductLibrary lib(kTestDriverLibrary);
  // Not allocations: releasing them would crash.
  const auto sentinel = reinterpret_cast<platform::Bstr>(uintptr_t{0x10});
  const std::u16string text = u"<Request/>";
  platform::Bstr request = lib.Alloc(text);
  for (const char* name : {"PAY", "REPRINT", "OPEN", "GETSTATUS", "DAYCLOSE", "GETTOTALS", "CLOSE", "VERIFYTRAN"}) {
    platform::Bstr out = sentinel, error = sentinel;
    lib.Export(name)(request, &out, &error);
    EXPECT_NE(out, sentinel) << name;
    EXPECT_NE(error, sentinel) << name;
    if (std::string(name) == "GETSTATUS") {
      EXPECT_EQ(error, nullptr);
    }
    lib.Free(out);
    lib.Free(error);
    ASSERT_EQ(lib.Length(request), text.size()) << name;
    EXPECT_EQ(std::u16string(request, text.size()), text) << name;
  }
  platform::Bstr out = sentinel, error = sentinel;
  platform::Bstr key = lib.Alloc(u"VELO_TEST_DRIVER");
  EXPECT_EQ(lib.Export("VERSION")(key, &out, &error), 0);
  EXPECT_NE(out, nullptr);
  EXPECT_NE(out, sentinel);
  EXPECT_EQ(error, nullptr);
  lib.Free(out);
  lib.Free(key);
  lib.Free(request);
}

// ---- handles and devices -------------------------------------------------------------

TEST_F(ExportsTest, OpenAndCloseFollowTheHandleRules) {
  tkProductLibrary lib(kTestDriverLibrary);
  auto open = [&](int32_t aHandle, std::string_view aDriver = kDriver) {
    return lib.Call("OPEN", Request(aDriver, aHandle, fLogId));
  };
  EXPECT_EQ(Element(open(0).Output, "Handle"), "1");
  EXPECT_EQ(Element(open(-5).Output, "Handle"), "2");
  EXPECT_EQ(Element(lib.Call("OPEN", Req(0, "<Handle>0</Handle>")).Output, "Handle"), "3");

  tkAnswer again = open(2);
  EXPECT_EQ(again.Result, 0);
  EXPECT_EQ(again.Output, Lines({"<Handle>2</Handle>", "<Error>False</Error>", "<ErrorText></ErrorText>",
                                 "<LogFileName></LogFileName>"}));
  EXPECT_TRUE(again.ErrorNull);

  tkAnswer wrongCase = open(0, "velo_test_driver");
  EXPECT_EQ(wrongCase.Result, -1);
  EXPECT_EQ(wrongCase.Error, "Payment Driver [velo_test_driver] not registered.");
  EXPECT_EQ(Element(wrongCase.Output, "Handle"), "0");

  tkAnswer unknown = open(99);
  EXPECT_EQ(unknown.Result, -1);
  EXPECT_EQ(unknown.Error, "Device Handle not found");

  // Two payments without a handle each create a device, which uses up a handle.
  lib.Call("PAY", Req(0, Payment("")));
  lib.Call("PAY", Req(0, Payment("")));
  EXPECT_EQ(Element(open(0).Output, "Handle"), "6");

  tkAnswer close = lib.Call("CLOSE", Req(2));
  EXPECT_EQ(close.Result, 0);
  EXPECT_EQ(close.Output, Lines({"<Error>False</Error>", "<ErrorText></ErrorText>", "<LogFileName></LogFileName>"}));
  EXPECT_TRUE(close.ErrorNull);

  tkAnswer closeAgain = lib.Call("CLOSE", Req(2));
  EXPECT_EQ(closeAgain.Result, -1);
  EXPECT_EQ(closeAgain.Output, Lines({"<Error>True</Error>", "<ErrorText>Device Handle not found</ErrorText>",
                                      "<LogFileName></LogFileName>"}));
  EXPECT_EQ(closeAgain.Error, "Device Handle not found");

  tkAnswer noHandle = lib.Call("CLOSE", Req(0));
  EXPECT_EQ(noHandle.Result, -1);
  EXPECT_EQ(noHandle.Error, "Payment Device has not previously opened");

  // A closed handle is not given out again.
  EXPECT_EQ(Element(open(0).Output, "Handle"), "7");
}

TEST_F(ExportsTest, FailedDeviceConstructionUsesNoHandleAndClosesItsLog) {
  tkProductLibrary lib(kTestDriverLibrary);
  tkAnswer refused = lib.Call("OPEN", Req(0, "<Parameters><FailCreate>1</FailCreate></Parameters>"));
  EXPECT_EQ(refused.Result, -1);
  EXPECT_EQ(refused.Error, "Test device refused");
  EXPECT_EQ(Element(refused.Output, "Handle"), "0");
  EXPECT_EQ(Element(lib.Call("OPEN", Req(0)).Output, "Handle"), "1");
  // The half-built device's handler was destroyed at once: its log is complete.
  const std::string log = DeviceLog();
  EXPECT_NE(log.find("*************************** START ***************************"), std::string::npos);
  EXPECT_NE(log.find("*************************** STOP ****************************"), std::string::npos);
}

TEST_F(ExportsTest, VersionAnswersForRegisteredKeysOnly) {
  tkProductLibrary lib(kTestDriverLibrary);
  const std::string expected = "Version 1.10 - " + ShortDateText(EncodeDate(2025, 1, 30));
  tkAnswer registered = lib.Call("VERSION", kDriver);
  EXPECT_EQ(registered.Result, 0);
  EXPECT_EQ(registered.Output, expected);
  EXPECT_TRUE(registered.ErrorNull);
  for (const char* key : {"velo_test_driver", "velo_virozi_10", "VELO_VIROZI_99", ""}) {
    tkAnswer other = lib.Call("VERSION", key);
    EXPECT_EQ(other.Result, 0) << key;
    EXPECT_TRUE(other.OutputNull) << key;
    EXPECT_TRUE(other.ErrorNull) << key;
  }
  EXPECT_TRUE(lib.CallWith("VERSION", nullptr).OutputNull);
}

// ---- answers -------------------------------------------------------------------------

TEST_F(ExportsTest, PaymentThroughAnOpenDevice) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  tkAnswer pay = lib.Call("PAY", Req(1, Payment("<Amount>12.50</Amount><Currency>EUR</Currency><Reference>R1</Reference>")));
  EXPECT_EQ(pay.Result, 0);
  EXPECT_TRUE(pay.ErrorNull);
  EXPECT_EQ(Element(pay.Output, "DeviceId"), "R1");
  EXPECT_EQ(Element(pay.Output, "PaymentAmount"), "12.5");
  EXPECT_EQ(Element(pay.Output, "PaymentCurrency"), "EUR");
  EXPECT_EQ(Element(pay.Output, "ReceiptText"), "DoPay");
  EXPECT_EQ(Element(pay.Output, "PaymentNetwork"), "other");
  EXPECT_EQ(Element(pay.Output, "TransactionType"), "OTHER");
  EXPECT_EQ(Element(pay.Output, "Error"), "False");
  EXPECT_EQ(Element(pay.Output, "LogFileName"), DeviceLogName());
  EXPECT_EQ(Element(pay.Output, "PaymentDateTime").substr(0, 10), Today(true));
}

TEST_F(ExportsTest, AmountsAreWrittenPlain) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"1234567.80", "1234567.8"}, {"-0.50", "-0.5"}, {"0.0001", "0.0001"},
               {"100.00", "100"}, {"0", "0"}, {"", "0"}};
  for (const auto& c : cases) {
    tkAnswer pay = lib.Call("PAY", Req(1, Payment(std::string("<Amount>") + c.in + "</Amount>")));
    EXPECT_EQ(Element(pay.Output, "PaymentAmount"), c.out) << c.in;
  }
}

TEST_F(ExportsTest, EveryPaymentFieldInItsPlace) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  tkAnswer pay = lib.Call("PAY", Req(1, Payment("<Amount>7</Amount><Currency>EUR</Currency><Reference>D</Reference>"
                                                "<Attributes>full</Attributes>")));
  ASSERT_EQ(pay.Result, 0);
  const std::string stamp = Element(pay.Output, "PaymentDateTime");
  EXPECT_EQ(pay.Output,
            Lines({"<DeviceId>D</DeviceId>", "<PaymentDateTime>" + stamp + "</PaymentDateTime>",
                   "<PaymentNumber>PN-1</PaymentNumber>", "<PaymentAmount>7</PaymentAmount>",
                   "<PaymentCurrency>EUR</PaymentCurrency>", "<ExchangeRate>1.2345</ExchangeRate>",
                   "<PaymentAmountCurrency>20</PaymentAmountCurrency>",
                   "<PaymentCurrencyCurrency>USD</PaymentCurrencyCurrency>", "<TippedAmount>0.5</TippedAmount>",
                   "<RemainingBalance>-0.5</RemainingBalance>", "<InstalmentCount>-3</InstalmentCount>",
                   "<MaskedPAN>****1234</MaskedPAN>", "<SerialNumber>SN-9</SerialNumber>",
                   "<PaymentNetwork>visa</PaymentNetwork>", "<TransactionType>CLESS</TransactionType>",
                   "<AuthCode>A1</AuthCode>", "<TraceAuditId>T2</TraceAuditId>", "<NumberOfItems>4</NumberOfItems>",
                   "<SingleItemAmount>0.0001</SingleItemAmount>", "<SignatureRequested>True</SignatureRequested>",
                   "<CustomerCountryCode>IT</CustomerCountryCode>", "<CardToken>TOK</CardToken>",
                   "<RefundReference>RR</RefundReference>", "<ReceiptText>DoPay</ReceiptText>",
                   "<CashierReceiptText>cashier</CashierReceiptText>", "<DigitalSignature>sig</DigitalSignature>",
                   "<DigitalSignatureInput>sig-in</DigitalSignatureInput>", "<Error>False</Error>",
                   "<ErrorText></ErrorText>", "<LogFileName>" + DeviceLogName() + "</LogFileName>"}));
}

TEST_F(ExportsTest, FailedPaymentReportsEveryResetValue) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  // The device had stamped log file name and time before the driver raised: both go.
  for (const char* name : {"PAY", "VERIFYTRAN"}) {
    tkAnswer pay = lib.Call(name, Req(1, Payment("<Amount>5</Amount><Reference>boom</Reference><Attributes>raise</Attributes>")));
    EXPECT_EQ(pay.Result, -1) << name;
    EXPECT_EQ(pay.Error, "boom") << name;
    EXPECT_EQ(pay.Output, FailedPaymentFragment("boom")) << name;
  }
}

TEST_F(ExportsTest, TextsAreEscapedInTheFragmentOnly) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  const std::string raw = "<a href=\"x\">Tom & Jerry's &amp;</a>";
  const std::string inRequest = "&lt;a href=\"x\"&gt;Tom &amp; Jerry's &amp;amp;&lt;/a&gt;";
  const std::string escaped = "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&apos;s &amp;amp;&lt;/a&gt;";

  tkAnswer failed = lib.Call("PAY", Req(1, Payment("<Reference>" + inRequest + "</Reference><Attributes>raise</Attributes>")));
  EXPECT_EQ(failed.Error, raw);
  EXPECT_EQ(Element(failed.Output, "ErrorText"), escaped);

  tkAnswer paid = lib.Call("PAY", Req(1, Payment("<Reference>" + inRequest + "</Reference>")));
  EXPECT_EQ(Element(paid.Output, "DeviceId"), escaped);
}

// An I/O error recorded by the handler is reported in ErrorText; Error stays the driver's.
TEST_F(ExportsTest, ErrorTextWithoutErrorStillSucceeds) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  tkAnswer pay = lib.Call("PAY", Req(1, Payment("<Attributes>ioerror</Attributes>")));
  EXPECT_EQ(pay.Result, 0);
  EXPECT_EQ(pay.Error, "I/O failure in DoPay");
  EXPECT_EQ(Element(pay.Output, "Error"), "False");
  EXPECT_EQ(Element(pay.Output, "ErrorText"), "I/O failure in DoPay");
}

TEST_F(ExportsTest, EachExportReachesItsDeviceOperation) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  const struct {
    const char* exportName;
    const char* body;
    const char* receipt;
  } cases[] = {
      {"PAY", "<Payment/>", "DoPay"},
      {"PAY", "<Payment><Action>REFUND</Action></Payment>", "DoRefund"},
      {"PAY", "<Payment><Action>VOID</Action></Payment>", "DoVoid"},
      {"PAY", "<VerifyTran><Action>REFUND</Action></VerifyTran>", "DoRefund"},
      {"VERIFYTRAN", "<VerifyTran><Action>REFUND</Action></VerifyTran>", "DoVerifyTran"},
      {"VERIFYTRAN", "<Payment><Action>VOID</Action></Payment>", "DoVerifyTran"},
      {"REPRINT", "<Reprint/>", "DoReprint"},
      {"DAYCLOSE", "<DayClose/><Payment><Action>bad</Action></Payment>", "DoDayClose"},
      {"GETTOTALS", "<GetTotals/>", "DoGetTotals"},
  };
  for (const auto& c : cases) {
    tkAnswer answer = lib.Call(c.exportName, Req(1, c.body));
    EXPECT_EQ(answer.Result, 0) << c.exportName << " " << c.body << ": " << answer.Error;
    EXPECT_EQ(Element(answer.Output, "ReceiptText"), c.receipt) << c.exportName << " " << c.body;
  }
}

TEST_F(ExportsTest, DayCloseTotalsAndReprintAnswers) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  tkAnswer dayClose = lib.Call("DAYCLOSE", Req(1, "<DayClose><TillCode>T9</TillCode><Reference>C7</Reference></DayClose>"));
  EXPECT_EQ(dayClose.Result, 0);
  const std::string closure = Element(dayClose.Output, "ClosureDateTime");
  EXPECT_EQ(closure.substr(0, 10), Today(true));
  EXPECT_EQ(dayClose.Output,
            Lines({"<DeviceId>T9</DeviceId>", "<ClosureDateTime>" + closure + "</ClosureDateTime>",
                   "<ClosureNumber>C7</ClosureNumber>", "<TransactionsCount>3</TransactionsCount>",
                   "<TotalAmount>1234.5</TotalAmount>", "<Currency>EUR</Currency>", "<ReceiptText>DoDayClose</ReceiptText>",
                   "<Error>False</Error>", "<ErrorText></ErrorText>", "<LogFileName>" + DeviceLogName() + "</LogFileName>"}));

  tkAnswer totals = lib.Call("GETTOTALS", Req(1, "<GetTotals><TillCode>T9</TillCode></GetTotals>"));
  EXPECT_EQ(totals.Result, 0);
  const std::string taken = Element(totals.Output, "DateTime");
  EXPECT_EQ(totals.Output,
            Lines({"<DeviceId>T9</DeviceId>", "<DateTime>" + taken + "</DateTime>",
                   "<TransactionsCount>-2</TransactionsCount>", "<TotalAmount>-0.5</TotalAmount>",
                   "<Currency>EUR</Currency>", "<ReceiptText>DoGetTotals</ReceiptText>", "<Error>False</Error>",
                   "<ErrorText></ErrorText>", "<LogFileName>" + DeviceLogName() + "</LogFileName>"}));

  tkAnswer failedTotals = lib.Call("GETTOTALS", Req(1, "<GetTotals><Reference>raise</Reference></GetTotals>"));
  EXPECT_EQ(failedTotals.Result, -1);
  EXPECT_EQ(failedTotals.Error, "totals failed");
  EXPECT_EQ(Element(failedTotals.Output, "DateTime"), "1899-12-30T00:00:00");
  EXPECT_EQ(Element(failedTotals.Output, "LogFileName"), "");

  tkAnswer reprint = lib.Call("REPRINT", Req(1, "<Reprint><Reference>copy</Reference></Reprint>"));
  EXPECT_EQ(reprint.Result, 0);
  EXPECT_EQ(reprint.Output, Lines({"<ReceiptText>DoReprint</ReceiptText>", "<CashierReceiptText>copy</CashierReceiptText>",
                                   "<Error>False</Error>", "<ErrorText></ErrorText>", "<LogFileName></LogFileName>"}));
}

TEST_F(ExportsTest, RequestDocumentErrorsReachTheCaller) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  const struct {
    const char* exportName;
    std::string body;
    std::string message;
  } cases[] = {
      {"PAY", "", "Payment/Reprint/VerifyTran node not found"},
      {"REPRINT", "<payment/>", "Payment/Reprint/VerifyTran node not found"},
      {"DAYCLOSE", "<Payment/>", "DayClose node not found"},
      {"GETTOTALS", "<DayClose/>", "GetTotals node not found"},
      {"PAY", Payment("<PrintLocation>ecr</PrintLocation>"), "Payment Location ecr invalid. Allowed values are: ECR,EFT."},
      {"DAYCLOSE", "<DayClose><PrintLocation>X</PrintLocation></DayClose>",
       "Payment Location X invalid. Allowed values are: ECR,EFT."},
      {"PAY", Payment("<PaymentChannel>XYZ</PaymentChannel>"), "Payment Channel XYZ invalid. Allowed values are: STD,MVP,NHS."},
      {"PAY", Payment("<Action>SALE</Action><Phase>X</Phase>"), "Action SALE invalid. Allowed values are: PAY,REFUND."},
      {"VERIFYTRAN", Payment("<Phase>X</Phase>"), "Phase X invalid. Allowed values are: BEGIN,DO,COMMIT,ROLLBACK."},
  };
  for (const auto& c : cases) {
    tkAnswer answer = lib.Call(c.exportName, Req(1, c.body));
    EXPECT_EQ(answer.Result, -1) << c.exportName << " " << c.body;
    EXPECT_EQ(answer.Error, c.message) << c.exportName << " " << c.body;
    EXPECT_EQ(Element(answer.Output, "ErrorText"), c.message) << c.exportName << " " << c.body;
  }

  tkAnswer amount = lib.Call("PAY", Req(1, Payment("<Amount>abc</Amount><PrintLocation>bad</PrintLocation>")));
  EXPECT_EQ(amount.Error.rfind("Error in processing node Amount as currency.\r\n", 0), 0u) << amount.Error;
  // CR LF stays as it is in the fragment.
  EXPECT_EQ(Element(amount.Output, "ErrorText"), EscapeXml(amount.Error));

  tkAnswer connection = lib.Call("OPEN", "<Request><Driver>VELO_TEST_DRIVER</Driver><Connection><Type>FOO</Type>"
                                         "</Connection></Request>");
  EXPECT_EQ(connection.Error, "Connection Type FOO is not valid");

  tkAnswer malformed = lib.Call("PAY", "<Request><Driver>");
  EXPECT_EQ(malformed.Result, -1);
  EXPECT_FALSE(malformed.Error.empty());
  EXPECT_EQ(malformed.Output, FailedPaymentFragment(Element(malformed.Output, "ErrorText")));
}

// ---- the device log ------------------------------------------------------------------

TEST_F(ExportsTest, DeviceLogBracketsItsOperations) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  lib.Call("PAY", Req(1, Payment("<Reference>first</Reference>")));
  lib.Call("VERIFYTRAN", Req(1, "<VerifyTran/>"));
  lib.Call("DAYCLOSE", Req(1, "<DayClose/>"));
  lib.Call("GETTOTALS", Req(1, "<GetTotals/>"));
  lib.Call("REPRINT", Req(1, "<Reprint/>"));
  ASSERT_EQ(lib.Call("CLOSE", Req(1)).Result, 0);

  const std::string log = DeviceLog();
  const std::vector<std::string> expected = {
      "*************************** START ***************************",
      "OPEN outcome: handle 1, result 0",
      "------------------------------------------------------------ Pay",
      "TestDriver.DoPay:first",
      "PAY outcome: handle 1, result 0",
      "------------------------------------------------------------ VerifyTran",
      "TestDriver.DoVerifyTran:",
      "VERIFYTRAN outcome: handle 1, result 0",
      "------------------------------------------------------- DayClose",
      "TestDriver.DoDayClose:",
      "DAYCLOSE outcome: handle 1, result 0",
      "------------------------------------------------------- GetTotals",
      "TestDriver.DoGetTotals:",
      "GETTOTALS outcome: handle 1, result 0",
      // Each call ends with its outcome line, the close's last before STOP.
      "REPRINT outcome: handle 1, result 0",
      "CLOSE outcome: handle 1, result 0",
      "*************************** STOP ****************************",
  };
  std::vector<std::string> bodies;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find(kCrLf, start);
    ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
    const std::string line = log.substr(start, end - start);
    ASSERT_GT(line.size(), 26u);
    EXPECT_EQ(line.substr(0, 11), Today(true) + " ") << line;
    EXPECT_EQ(line.substr(23, 3), " - ") << line;
    bodies.push_back(line.substr(26));
    start = end + 2;
  }
  EXPECT_EQ(bodies, expected);
}

bool WaitForLog(const std::function<bool()>& aDone) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!aDone()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Each device log, whole: START first, STOP last, every line in between complete.
void ExpectClosedLog(const std::string& aLog, const std::vector<std::string>& aInOrder, const std::string& aWhich) {
  const std::string start = "*************************** START ***************************\r\n";
  const std::string stop = "*************************** STOP ****************************\r\n";
  ASSERT_GE(aLog.size(), start.size() + stop.size()) << aWhich << ":\n" << aLog;
  EXPECT_EQ(aLog.find(start), 26u) << aWhich;
  EXPECT_EQ(aLog.substr(aLog.size() - stop.size()), stop) << aWhich;
  EXPECT_EQ(aLog.find(stop), aLog.size() - stop.size()) << aWhich << ": one STOP line only";
  size_t from = 0;
  for (const std::string& text : aInOrder) {
    const size_t at = aLog.find(text, from);
    ASSERT_NE(at, std::string::npos) << aWhich << ": " << text.substr(0, 60) << " missing or out of order";
    from = at + text.size();
  }
}

TEST_F(ExportsTest, UnloadingClosesOpenDevicesAndForgetsThem) {
  const std::string secondId = fLogId + "2";
  RemoveDeviceLogs(kDriver, secondId);
  {
    tkProductLibrary lib(kTestDriverLibrary);
    ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
    ASSERT_EQ(lib.Call("OPEN", Request(kDriver, 0, secondId)).Result, 0);
    lib.Call("PAY", Req(1, Payment("<Reference>last</Reference>")));
    const std::string path = tkProductLibrary::PathOf(kTestDriverLibrary);
    EXPECT_TRUE(platform::IsLibraryLoaded(path));
    UnloadAndWait(lib);
    EXPECT_FALSE(lib.Loaded());
    EXPECT_FALSE(platform::IsLibraryLoaded(path));
  }
  const std::string second = ReadDeviceLogs(kDriver, secondId);
  RemoveDeviceLogs(kDriver, secondId);
  ExpectClosedLog(DeviceLog(), {"TestDriver.DoPay:last"}, "first");
  ExpectClosedLog(second, {}, "second");

  // Loaded again, the library starts afresh.
  tkProductLibrary again(kTestDriverLibrary);
  EXPECT_EQ(Element(again.Call("OPEN", Req(0)).Output, "Handle"), "1");
}

// The host releases the library while the logs' workers are still busy with long lines.
// On Windows a busy worker holds the library, so the unload (and the STOP lines) may come
// after FreeLibrary has returned, on that worker's thread, when it has written its queue;
// Unload waits for that, bounded. Unloading must neither hang nor crash, nor lose a line.
TEST_F(ExportsTest, UnloadWhileLogsAreBusyWritesEveryLineThenStop) {
  constexpr int kRounds = 12;
  constexpr int kDevices = 3;
  auto logId = [&](int aDevice) { return fLogId + "_" + std::to_string(aDevice); };
  for (int device = 1; device <= kDevices; ++device) RemoveDeviceLogs(kDriver, logId(device));
  int lateUnloads = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<std::vector<std::string>> expected(kDevices + 1);
    {
      tkProductLibrary lib(kTestDriverLibrary);
      for (int device = 1; device <= kDevices; ++device) {
        ASSERT_EQ(lib.Call("OPEN", Request(kDriver, 0, logId(device))).Result, 0);
      }
      for (int payment = 0; payment < 4; ++payment) {
        for (int device = 1; device <= kDevices; ++device) {
          // Long lines keep the workers busy when the library is released.
          const std::string reference = std::to_string(round) + "-" + std::to_string(payment) + "-" +
                                        std::string(size_t{20000} * (payment + 1), static_cast<char>('a' + device));
          const std::string request = Request(kDriver, device, logId(device), Payment("<Reference>" + reference + "</Reference>"));
          ASSERT_EQ(lib.Call("PAY", request).Result, 0);
          expected[device].push_back("TestDriver.DoPay:" + reference + "\r\n");
        }
      }
      if (UnloadAndWait(lib)) ++lateUnloads;
    }
    for (int device = 1; device <= kDevices; ++device) {
      ExpectClosedLog(ReadDeviceLogs(kDriver, logId(device)), expected[device], logId(device));
      RemoveDeviceLogs(kDriver, logId(device));
    }
    if (HasFatalFailure()) return;
  }
  RecordProperty("UnloadsAfterFreeLibraryReturned", lateUnloads);
}

// A worker that cannot write yet (its file is held) when the host releases the library.
// Natively the release waits for it. On Windows FreeLibrary returns at once, the worker
// keeping the library loaded; when it has written its line, the library unloads on its
// thread and writes the STOP line there.
TEST_F(ExportsTest, ReleaseWhileAWorkerWaitsForItsFileUnloadsWhenItIsDone) {
  tkProductLibrary lib(kTestDriverLibrary);
  ASSERT_EQ(lib.Call("OPEN", Req(0)).Result, 0);
  ASSERT_TRUE(WaitForLog([&] { return DeviceLog().find("START") != std::string::npos; }));
  platform::SharedAppendFile holder;
  ASSERT_TRUE(holder.Open(DeviceLogName()));
  ASSERT_EQ(lib.Call("PAY", Req(1, Payment("<Reference>held</Reference>"))).Result, 0);
  std::atomic<bool> released{false};
  std::thread releaser([&] {
    // Well inside the writer's ten attempts, 50 ms apart.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    released = true;
    holder.Close();
  });
  const bool late = UnloadAndWait(lib);
  const bool releasedBeforeUnloaded = released.load();
  releaser.join();
  EXPECT_TRUE(releasedBeforeUnloaded) << "unloaded while the worker still had its line";
  ExpectClosedLog(DeviceLog(), {"TestDriver.DoPay:held\r\n"}, "device");
  RecordProperty("FreeLibraryReturnedBeforeTheUnload", late ? 1 : 0);
}

}  // namespace
