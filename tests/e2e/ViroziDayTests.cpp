// A shop day through the exports: payments on both circuits, the totals, the day close,
// and what the log and the terminal show of them.
#include <string>
#include <utility>
#include <vector>

#include "core/Currency.h"
#include "e2e/ViroziFixture.h"

namespace virozi_e2e {
namespace {

using Lines = std::vector<std::string>;

// A text as the simulator's journal writes it.
std::string JournalText(std::string_view aText) {
  std::string text;
  for (char c : aText) {
    switch (c) {
      case '\\': text += "\\\\"; break;
      case '\t': text += "\\t"; break;
      case '\r': text += "\\r"; break;
      case '\n': text += "\\n"; break;
      default: text += c;
    }
  }
  return text;
}

// What the driver makes of the two replies: the amounts in cents added up, and one receipt
// piece per card record and one for the vouchers, each after CR LF.
struct tkExpected {
  int64_t Cents = 0;
  std::string Receipt;
  std::string DeviceId;
};
tkExpected FromReplies(const std::string& aCardReply, const std::string& aVoucherReply) {
  tkExpected expected;
  const std::vector<std::string> card = Split(aCardReply, ';');
  const int records = std::stoi(card.at(0));
  for (int k = 0; k < records; ++k) {
    expected.DeviceId = card.at(1 + 6 * k);
    expected.Cents += std::stoll(card.at(3 + 6 * k));
    expected.Receipt += kCrLf + card.at(6 + 6 * k);
  }
  const std::vector<std::string> voucher = Split(aVoucherReply, ';');
  expected.Cents += std::stoll(voucher.at(2));
  expected.Receipt += kCrLf + voucher.at(3);
  return expected;
}

std::string Euros(int64_t aCents) { return Currency::FromCents(aCents).ToString(); }

using ViroziDay = ViroziExports;

TEST_F(ViroziDay, TotalsAndDayCloseAddBothCircuits) {
  const int32_t handle = Open();
  // Start from a closed day, whatever the terminal held.
  ASSERT_EQ(Call("DAYCLOSE", handle, "<DayClose/>").Result, 0);
  ASSERT_EQ(Pay(handle, "<Amount>10</Amount>").Result, 0);     // visa
  ASSERT_EQ(Pay(handle, "<Amount>12.34</Amount>").Result, 0);  // maestro
  ASSERT_EQ(Pay(handle, "<Amount>14</Amount>").Result, 0);     // debit card: its own record
  ASSERT_EQ(Pay(handle, "<Amount>16</Amount><PaymentChannel>MVP</PaymentChannel>").Result, 0);

  const tkAnswer totals = Call("GETTOTALS", handle, "<GetTotals/>");
  ASSERT_EQ(totals.Result, 0) << totals.Error;
  const tkAnswer close = Call("DAYCLOSE", handle, "<DayClose/>");
  ASSERT_EQ(close.Result, 0) << close.Error;
  const tkAnswer after = Call("GETTOTALS", handle, "<GetTotals/>");
  ASSERT_EQ(after.Result, 0) << after.Error;

  // Each operation: the card call, then the voucher call receiving the card reply.
  const Lines journal = Journal();
  ASSERT_EQ(journal.size(), 2u + 4u + 6u);
  ASSERT_EQ(Close(handle).Result, 0);
  const Lines log = DriverLog();
  // Close, four payments, totals, close, totals.
  ASSERT_EQ(log.size(), 4u + 4u * 2 + 3u * 4);
  // The card and voucher replies of the operation whose entries start at aLogIndex.
  auto runAt = [&](size_t aLogIndex) {
    return std::pair(LoggedReply(log[aLogIndex + 1]), LoggedReply(log[aLogIndex + 3]));
  };

  // Totals after the payments: 10 + 12.34 + 14 on the cards, 16 in vouchers.
  const auto [totalsCard, totalsVoucher] = runAt(12);
  EXPECT_EQ(log[12], "fVirPay.GetTotaliHost:0,");
  EXPECT_EQ(log[14], "fVirPay.TotaliBPE [>bPE]:" + LogForm(totalsCard));
  EXPECT_EQ(log[15].rfind("fVirPay.TotaliBPE [BPE]:Response:", 0), 0u) << log[15];
  EXPECT_EQ(journal[6], "GetTotaliHost\t0\t");
  EXPECT_EQ(journal[7], "TotaliBPE\t" + JournalText(totalsCard));
  const tkExpected expectedTotals = FromReplies(totalsCard, totalsVoucher);
  EXPECT_EQ(expectedTotals.Cents, 1000 + 1234 + 1400 + 1600);
  EXPECT_EQ(Element(totals.Output, "TotalAmount"), "52.34");
  EXPECT_EQ(Split(totalsCard, ';').at(0), "2");  // credit cards and the debit card
  EXPECT_EQ(Element(totals.Output, "ReceiptText"), expectedTotals.Receipt);
  EXPECT_EQ(Element(totals.Output, "DeviceId"), kTerminalId);
  EXPECT_EQ(Element(totals.Output, "TransactionsCount"), "0");
  EXPECT_EQ(Element(totals.Output, "Currency"), "EUR");
  EXPECT_EQ(Element(totals.Output, "Error"), "False");
  EXPECT_NE(Element(totals.Output, "DateTime"), "1899-12-30T00:00:00");

  // The close reports the same day, then the terminal starts a new one.
  const auto [closeCard, closeVoucher] = runAt(16);
  EXPECT_EQ(log[16], "fVirPay.Chiusura [STD]:0,");
  EXPECT_EQ(log[17].rfind("fVirPay.Chiusura [STD]:Response:", 0), 0u);
  EXPECT_EQ(log[18], "fVirPay.ChiusuraBPE [BPE]:" + LogForm(closeCard));
  EXPECT_EQ(log[19].rfind("fVirPay.ChiusuraBPE [BPE]:Response:", 0), 0u);
  EXPECT_EQ(journal[8], "Chiusura\t0\t");
  EXPECT_EQ(journal[9], "ChiusuraBPE\t" + JournalText(closeCard));
  const tkExpected expectedClose = FromReplies(closeCard, closeVoucher);
  EXPECT_EQ(Element(close.Output, "TotalAmount"), Euros(expectedClose.Cents));
  EXPECT_EQ(Element(close.Output, "TotalAmount"), "52.34");
  EXPECT_EQ(Element(close.Output, "ReceiptText"), expectedClose.Receipt);
  EXPECT_EQ(Element(close.Output, "ClosureNumber"), "0");
  EXPECT_EQ(Element(close.Output, "TransactionsCount"), "0");
  EXPECT_EQ(Element(close.Output, "Currency"), "EUR");

  EXPECT_EQ(Element(after.Output, "TotalAmount"), "0");
  EXPECT_EQ(Element(after.Output, "ReceiptText"), FromReplies(runAt(20).first, runAt(20).second).Receipt);
}

TEST_F(ViroziDay, FailedCallsSkipTheirCircuit) {
  Script({
      "Chiusura\t0\t1;T1;a;1000;b;c;text",
      "ChiusuraBPE\t3\tx;y;500;voucher",
      "GetTotaliHost\t1\tabc;T1;a;1000;b;c;text",
      "TotaliBPE\t1\tOK;1;250;voucher text",
      "Chiusura\t1\t1;T1;a;1000;b;c;text",
      "ChiusuraBPE\t0\tx;y;500;voucher",
  });
  const int32_t handle = Open();
  // Neither circuit answered: no day was closed, whatever a zero total would suggest.
  tkAnswer close = Call("DAYCLOSE", handle, "<DayClose/>");
  EXPECT_EQ(close.Result, -1);
  EXPECT_EQ(close.Error, "Internal error in calling \"fVirPay.Chiusura [STD]\"");
  EXPECT_EQ(Element(close.Output, "TotalAmount"), "0");
  EXPECT_EQ(Element(close.Output, "ReceiptText"), "");
  EXPECT_EQ(Element(close.Output, "Currency"), "EUR");
  EXPECT_EQ(Element(close.Output, "Error"), "True");

  // A record count that is no number reads no record; the vouchers still count.
  const tkAnswer totals = Call("GETTOTALS", handle, "<GetTotals/>");
  EXPECT_EQ(totals.Result, 0);
  EXPECT_TRUE(totals.ErrorNull);
  EXPECT_EQ(Element(totals.Output, "TotalAmount"), "2.5");
  EXPECT_EQ(Element(totals.Output, "ReceiptText"), "\r\nvoucher text");

  // One circuit failing skips only its own reading.
  close = Call("DAYCLOSE", handle, "<DayClose/>");
  EXPECT_EQ(close.Result, 0);
  EXPECT_EQ(Element(close.Output, "TotalAmount"), "10");
  EXPECT_EQ(Element(close.Output, "DeviceId"), "T1");
  EXPECT_EQ(Element(close.Output, "ReceiptText"), "\r\ntext");

  EXPECT_EQ(Journal(), (Lines{"Chiusura\t0\t", "ChiusuraBPE\t1;T1;a;1000;b;c;text", "GetTotaliHost\t0\t",
                              "TotaliBPE\tabc;T1;a;1000;b;c;text", "Chiusura\t0\t",
                              "ChiusuraBPE\t1;T1;a;1000;b;c;text"}));
  Close(handle);
  EXPECT_EQ(DriverLog(), (Lines{
                             "fVirPay.Chiusura [STD]:0,",
                             "ERROR - fVirPay.Chiusura [STD]:Response:1;T1;a;1000;b;c;text",
                             "fVirPay.ChiusuraBPE [BPE]:1;T1;a;1000;b;c;text",
                             "ERROR - fVirPay.ChiusuraBPE [BPE]:Response:x;y;500;voucher",
                             "fVirPay.GetTotaliHost:0,",
                             "fVirPay.GetTotaliHost:Response:abc;T1;a;1000;b;c;text",
                             "fVirPay.TotaliBPE [>bPE]:abc;T1;a;1000;b;c;text",
                             "fVirPay.TotaliBPE [BPE]:Response:OK;1;250;voucher text",
                             "fVirPay.Chiusura [STD]:0,",
                             "fVirPay.Chiusura [STD]:Response:1;T1;a;1000;b;c;text",
                             "fVirPay.ChiusuraBPE [BPE]:1;T1;a;1000;b;c;text",
                             "ERROR - fVirPay.ChiusuraBPE [BPE]:Response:x;y;500;voucher",
                         }));
}

TEST_F(ViroziDay, AmountThatIsNotWholeFailsTheRequest) {
  Script({
      "GetTotaliHost\t1\t1;T1;a;10,00;b;c;text",
      "Chiusura\t1\t0",
      "ChiusuraBPE\t1\tOK;1;2.50;voucher",
      "GetTotaliHost\tHRESULT\tAccess is denied",
  });
  const int32_t handle = Open();
  tkAnswer answer = Call("GETTOTALS", handle, "<GetTotals/>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "'10,00' is not a valid integer value");
  EXPECT_EQ(Element(answer.Output, "TotalAmount"), "0");
  answer = Call("DAYCLOSE", handle, "<DayClose/>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "'2.50' is not a valid integer value");
  answer = Call("GETTOTALS", handle, "<GetTotals/>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Access is denied");
}

}  // namespace
}  // namespace virozi_e2e
