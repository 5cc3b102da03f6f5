// Day close and totals over a scripted component: both circuits, the card circuit's reply
// going into the meal-voucher call, and the result adding both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/DateTime.h"
#include "drivers/DriverFake.h"
#include "platform/Host.h"

namespace drivertest {
namespace {

using Calls = std::vector<tkFakeCall>;
using Lines = std::vector<std::string>;

Currency Amount(const char* aText) { return *Currency::Parse(aText); }

constexpr char kTwoRecords[] = "2;T1;a;1000;b;c;first text;T2;d;250;e;f;second text";
constexpr char kVoucherCircuit[] = "x;y;500;voucher text";

// The two operations differ in their methods, captions and date field only.
struct tkCircuits {
  const char* standard;
  const char* voucher;
};
constexpr tkCircuits kDayClose{"Chiusura", "ChiusuraBPE"};
constexpr tkCircuits kTotals{"GetTotaliHost", "TotaliBPE"};

class DayCloseAndTotals : public DriverTest {
 protected:
  // Both operations as one record shape.
  struct tkSummary {
    std::string DeviceId;
    int32_t TransactionsCount = -1;
    ::Currency TotalAmount;
    std::string Currency;
    std::string ReceiptText;
    bool Error = true;
    std::string ErrorText;
    TDateTime When = 0;
    std::string ClosureNumber;
  };

  tkSummary Run(const tkCircuits& aCircuits) {
    tkSummary s;
    if (&aCircuits == &kDayClose) {
      const _int_DAYCLOSE_result r = DayClose();
      s = {r.DeviceId, r.TransactionsCount, r.TotalAmount, r.Currency, r.ReceiptText, r.Error, r.ErrorText,
           r.ClosureDateTime, r.ClosureNumber};
      EXPECT_FALSE(r.LogFileName.empty());
    } else {
      const _int_GETTOTALS_result r = GetTotals();
      s = {r.DeviceId, r.TransactionsCount, r.TotalAmount, r.Currency, r.ReceiptText, r.Error, r.ErrorText,
           r.DateTime, "0"};
      EXPECT_FALSE(r.LogFileName.empty());
    }
    return s;
  }
  std::string RunError(const tkCircuits& aCircuits) {
    try {
      Run(aCircuits);
    } catch (const EMxError& e) {
      return e.what();
    }
    return "<no error>";
  }
};

TEST_F(DayCloseAndTotals, RecordsOfBothCircuitsAddUp) {
  for (const tkCircuits* circuits : {&kDayClose, &kTotals}) {
    fTerminal.fCalls.clear();
    fTerminal.Reply(circuits->standard, kTwoRecords);
    fTerminal.Reply(circuits->voucher, kVoucherCircuit);
    const TDateTime before = Now();
    const tkSummary s = Run(*circuits);
    EXPECT_EQ(s.DeviceId, "T2") << circuits->standard;
    EXPECT_EQ(s.TotalAmount, Amount("17.50"));
    EXPECT_EQ(s.ReceiptText, "\r\nfirst text\r\nsecond text\r\nvoucher text");
    EXPECT_EQ(s.TransactionsCount, 0);
    EXPECT_EQ(s.Currency, "EUR");
    EXPECT_FALSE(s.Error);
    EXPECT_EQ(s.ErrorText, "");
    EXPECT_EQ(s.ClosureNumber, "0");
    EXPECT_GE(s.When, before);
    // The card circuit's reply goes into the meal-voucher call.
    EXPECT_EQ(fTerminal.fCalls, (Calls{{circuits->standard, {"0", ""}}, {circuits->voucher, {kTwoRecords}}}));
  }
}

TEST_F(DayCloseAndTotals, CardCircuitWithoutRecordsStillAsksTheVoucherCircuit) {
  for (const tkCircuits* circuits : {&kDayClose, &kTotals}) {
    for (const char* reply : {"0;T1;a;1000;b;c;text", "abc;T1;a;1000;b;c;text", "", "-3;T1;a;1000"}) {
      fTerminal.fCalls.clear();
      fTerminal.Reply(circuits->standard, reply);
      fTerminal.Reply(circuits->voucher, kVoucherCircuit);
      const tkSummary s = Run(*circuits);
      EXPECT_EQ(s.DeviceId, "") << reply;
      EXPECT_EQ(s.TotalAmount, Amount("5")) << reply;
      EXPECT_EQ(s.ReceiptText, "\r\nvoucher text") << reply;
      EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{circuits->standard, circuits->voucher}));
    }
  }
}

// A circuit whose call fails adds nothing and the other one still counts.
TEST_F(DayCloseAndTotals, FailedCallOfOneCircuitOnlySkipsItsReading) {
  for (const tkCircuits* circuits : {&kDayClose, &kTotals}) {
    fTerminal.fCalls.clear();
    fTerminal.Reply(circuits->standard, kTwoRecords, 0);
    fTerminal.Reply(circuits->voucher, kVoucherCircuit);
    tkSummary s = Run(*circuits);
    EXPECT_FALSE(s.Error);
    EXPECT_EQ(s.ErrorText, "");
    EXPECT_EQ(s.TotalAmount, Amount("5"));
    EXPECT_EQ(s.ReceiptText, "\r\nvoucher text");
    EXPECT_EQ(s.DeviceId, "");
    // The failed card call's reply still goes in.
    EXPECT_EQ(fTerminal.fCalls.back(), (tkFakeCall{circuits->voucher, {kTwoRecords}}));

    fTerminal.Reply(circuits->standard, kTwoRecords);
    fTerminal.Reply(circuits->voucher, kVoucherCircuit, 0);
    s = Run(*circuits);
    EXPECT_FALSE(s.Error);
    EXPECT_EQ(s.TotalAmount, Amount("12.50"));
    EXPECT_EQ(s.ReceiptText, "\r\nfirst text\r\nsecond text");
  }
}

// Neither circuit answered: nothing was closed or read, which a zero total would hide.
TEST_F(DayCloseAndTotals, FailedCallsOfBothCircuitsAreAnError) {
  const struct {
    const tkCircuits* circuits;
    const char* message;
  } cases[] = {
      {&kDayClose, "Internal error in calling \"fVirPay.Chiusura [STD]\""},
      {&kTotals, "Internal error in calling \"fVirPay.GetTotaliHost\""},
  };
  for (const auto& c : cases) {
    fTerminal.Reply(c.circuits->standard, kTwoRecords, 0);
    fTerminal.Reply(c.circuits->voucher, kVoucherCircuit, 2);
    const tkSummary s = Run(*c.circuits);
    EXPECT_TRUE(s.Error);
    EXPECT_EQ(s.ErrorText, c.message);
    EXPECT_EQ(s.TotalAmount, Currency());
    EXPECT_EQ(s.ReceiptText, "");
    EXPECT_EQ(s.Currency, "EUR");
  }
}

TEST_F(DayCloseAndTotals, AmountsThatAreNotWholeFailTheRequest) {
  const struct {
    const char* standard;
    const char* voucher;
    const char* text;
  } cases[] = {
      {"1;T1;a;10.00;b;c;t", kVoucherCircuit, "10.00"},
      {"2;T1;a;1000;b;c;t", kVoucherCircuit, ""},  // the second record is missing
      {"1;T1;a;1000;b;c;t", "x;y;5,00;v", "5,00"},
      {"0", "x;y", ""},
  };
  for (const tkCircuits* circuits : {&kDayClose, &kTotals}) {
    for (const auto& c : cases) {
      fTerminal.Reply(circuits->standard, c.standard);
      fTerminal.Reply(circuits->voucher, c.voucher);
      EXPECT_EQ(RunError(*circuits), "'" + std::string(c.text) + "' is not a valid integer value") << c.standard;
      fTerminal.fAnswers.clear();
    }
  }
}

TEST_F(DayCloseAndTotals, ComponentFailureLeavesTheDriver) {
  fTerminal.Raise("Chiusura", "Class not registered");
  EXPECT_EQ(RunError(kDayClose), "Class not registered");
  EXPECT_EQ(fTerminal.Methods(), std::vector<std::string>{"Chiusura"});
  fTerminal.Raise("TotaliBPE", "Server busy");
  EXPECT_EQ(RunError(kTotals), "Server busy");
}

TEST_F(DayCloseAndTotals, LogShowsEachCircuitUnderItsCaption) {
  fTerminal.Reply("Chiusura", "1;T1;a;100;b;c;close", 1);
  fTerminal.Reply("ChiusuraBPE", "x;y;0;bpe", 0);
  Run(kDayClose);
  fTerminal.Reply("GetTotaliHost", "1;T1;a;100;b;c;tot", 3);
  fTerminal.Reply("TotaliBPE", "x;y;0;tbpe");
  Run(kTotals);
  EXPECT_EQ(CloseAndReadDriverLog(), (Lines{
                                         "fVirPay.Chiusura [STD]:0,",
                                         "fVirPay.Chiusura [STD]:Response:1;T1;a;100;b;c;close",
                                         "fVirPay.ChiusuraBPE [BPE]:1;T1;a;100;b;c;close",
                                         "ERROR - fVirPay.ChiusuraBPE [BPE]:Response:x;y;0;bpe",
                                         "fVirPay.GetTotaliHost:0,",
                                         "ERROR - fVirPay.GetTotaliHost:Response:1;T1;a;100;b;c;tot",
                                         "fVirPay.TotaliBPE [>bPE]:1;T1;a;100;b;c;tot",
                                         "fVirPay.TotaliBPE [BPE]:Response:x;y;0;tbpe",
                                     }));
}

// Neither operation touches the meal-voucher ticket.
TEST_F(DayCloseAndTotals, TicketStateIsLeftAlone) {
  fTerminal.Reply("RiallineamentoDBP", "OK-0-ok");
  fTerminal.Reply("OpenTicketBC", "OK-0-ok");
  fTerminal.Reply("DematerializzazioneBP", "OK-0-ok-C1-529-x-TX1-1-107");
  Pay("<PaymentChannel>MVP</PaymentChannel><Phase>BEGIN</Phase>");
  Pay("<PaymentChannel>MVP</PaymentChannel><Phase>DO</Phase><Attributes>C1</Attributes>");
  for (const tkCircuits* circuits : {&kDayClose, &kTotals}) {
    fTerminal.Reply(circuits->standard, kTwoRecords);
    fTerminal.Reply(circuits->voucher, kVoucherCircuit);
    Run(*circuits);
  }
  EXPECT_EQ(fDevice->Counter(), 3);
  EXPECT_EQ(fDevice->CouponList().Count(), 1u);
}

}  // namespace
}  // namespace drivertest
