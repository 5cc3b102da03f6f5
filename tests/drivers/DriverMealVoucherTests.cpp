// Meal vouchers over a scripted component: the one-step payment and the coupon ticket with
// its progressive number and coupon list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drivers/DriverFake.h"

namespace drivertest {
namespace {

using N = tkPaymentNetwork;
using Calls = std::vector<tkFakeCall>;
using Lines = std::vector<std::string>;

Currency Amount(const char* aText) { return *Currency::Parse(aText); }

// ---- one-step payment (PaymentBPE) ---------------------------------------------------

using VoucherPayment = DriverTest;

TEST_F(VoucherPayment, VoucherListGivesItemsAndAmounts) {
  const struct {
    const char* reply;
    bool error;
    const char* errorText;
    int32_t items;
    const char* single;
    const char* amount;
    N network;
    const char* receipt;
  } cases[] = {
      {"OK;Pagato;1|3|529;107;x;Ricevuta", false, "Pagato", 3, "5.29", "15.87", N::Edenred, "Ricevuta"},
      // Several denominations count as one item of the whole value.
      {"OK;;2|2|529|1|700;101;;Ricevuta", false, "", 1, "17.58", "17.58", N::QuiTicket, "Ricevuta"},
      {"OK;;3|1|800|1|700|2|529;213;;R", false, "", 1, "25.58", "25.58", N::Gemeaz, "R"},
      {"OK;;0;300;;R", false, "", 0, "0", "0", N::Other, "R"},
      {"OK;;-1;107;;R", false, "", 0, "0", "0", N::Edenred, "R"},
      // Not OK: nothing of the list counts, even a list that is no list.
      {"KO;Rifiutato;1|3|529;107;;R", true, "Rifiutato", 0, "0", "0", N::Edenred, "R"},
      {"ok;;1|3|529;;;R", true, "", 0, "0", "0", N::Other, "R"},
      {"KO;;garbage;;;", true, "", 0, "0", "0", N::Other, ""},
  };
  for (const auto& c : cases) {
    fTerminal.Reply("PaymentBPE", c.reply);
    const _int_PAY_result r =
        Pay("<Amount>20</Amount><Currency>EUR</Currency><PaymentChannel>MVP</PaymentChannel>");
    EXPECT_EQ(r.Error, c.error) << c.reply;
    EXPECT_EQ(r.ErrorText, c.errorText) << c.reply;
    EXPECT_EQ(r.NumberOfItems, c.items) << c.reply;
    EXPECT_EQ(r.SingleItemAmount, Amount(c.single)) << c.reply;
    EXPECT_EQ(r.PaymentAmount, Amount(c.amount)) << c.reply;
    EXPECT_EQ(r.PaymentNetwork, c.network) << c.reply;
    EXPECT_EQ(r.ReceiptText, c.receipt) << c.reply;
    EXPECT_EQ(r.PaymentCurrency, "EUR");
    EXPECT_EQ(r.MaskedPAN, std::string(16, '*'));
    EXPECT_EQ(r.DeviceId, "");
    EXPECT_EQ(r.PaymentNumber, "");
  }
  // A payment in one step is no part of a ticket.
  EXPECT_EQ(fDevice->Counter(), 0);
  EXPECT_EQ(fDevice->CouponList().Count(), 0u);
}

TEST_F(VoucherPayment, CountsThatAreNotWholeFailTheRequest) {
  const struct {
    const char* list;
    const char* text;
  } cases[] = {
      {"x|3|529", "x"},
      {"1|three|529", "three"},
      {"1|2.5|529", "2.5"},
      {"2|1|529", ""},  // the second denomination is missing
      {"", ""},
  };
  for (const auto& c : cases) {
    fTerminal.Reply("PaymentBPE", "OK;;" + std::string(c.list) + ";107;;R");
    EXPECT_EQ(PayError("<Amount>20</Amount><PaymentChannel>MVP</PaymentChannel>"),
              "'" + std::string(c.text) + "' is not a valid integer value")
        << c.list;
  }
}

// Face values that are no number count as 0; a total that cannot be held is refused.
TEST_F(VoucherPayment, FaceValuesAreReadLeniently) {
  fTerminal.Reply("PaymentBPE", "OK;;1|4|abc;107;;R");
  const _int_PAY_result r = Pay("<Amount>20</Amount><PaymentChannel>MVP</PaymentChannel>");
  EXPECT_FALSE(r.Error);
  EXPECT_EQ(r.NumberOfItems, 4);
  EXPECT_EQ(r.SingleItemAmount, Currency());
  EXPECT_EQ(r.PaymentAmount, Currency());

  fTerminal.Reply("PaymentBPE", "OK;;1|2000000000|900000000000000;107;;R");
  EXPECT_EQ(PayError("<Amount>20</Amount><PaymentChannel>MVP</PaymentChannel>"), "Amount out of range");
}

TEST_F(VoucherPayment, SendsCentsAndLogsTheCall) {
  fTerminal.Reply("PaymentBPE", "KO;Errore", 0);
  const _int_PAY_result r = Pay("<Amount>12.3456</Amount><PaymentChannel>MVP</PaymentChannel>");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Internal error in calling \"fVirPay.PaymentBPE\"");
  EXPECT_EQ(r.PaymentAmount, Currency());
  EXPECT_EQ(fTerminal.fCalls, (Calls{{"PaymentBPE", {"1234", "", ""}}}));
  EXPECT_EQ(CloseAndReadDriverLog(),
            (Lines{"fVirPay.PaymentBPE:1234,,", "ERROR - fVirPay.PaymentBPE:Response:KO;Errore"}));
}

// ---- the coupon ticket ---------------------------------------------------------------

class CouponTicket : public DriverTest {
 protected:
  static constexpr char kTicket[] =
      "<Currency>EUR</Currency><PaymentChannel>MVP</PaymentChannel><MerchantCode>01</MerchantCode>"
      "<StoreCode>123</StoreCode><TillCode>45</TillCode><Reference>R77</Reference>";

  _int_PAY_result Phase(const char* aPhase, std::string_view aAttributes = {}) {
    return Pay(std::string(kTicket) + "<Phase>" + aPhase + "</Phase><Attributes>" + std::string(aAttributes) +
               "</Attributes>");
  }
  std::string PhaseError(const char* aPhase, std::string_view aAttributes = {}) {
    return PayError(std::string(kTicket) + "<Phase>" + aPhase + "</Phase><Attributes>" + std::string(aAttributes) +
                    "</Attributes>");
  }
  // A ticket opened with the progressive number at 2.
  void Begin() {
    fTerminal.Reply("RiallineamentoDBP", "OK-0-Riallineato");
    fTerminal.Reply("OpenTicketBC", "OK-0-Aperto");
    ASSERT_FALSE(Phase("BEGIN").Error);
    ASSERT_EQ(fDevice->Counter(), 2);
  }
  // Accepts a coupon; its transaction identifier is "TX" + the code.
  void Accept(const std::string& aCode, bool aNeedsCommit, const char* aIssuer = "107") {
    fTerminal.Reply("DematerializzazioneBP", "OK-0-Accettato-" + aCode + "-529-x-TX" + aCode + "-" +
                                                 (aNeedsCommit ? "1" : "0") + "-" + aIssuer);
    ASSERT_FALSE(Phase("DO", aCode).Error);
  }
  std::vector<std::string> Codes() const {
    std::vector<std::string> codes;
    for (size_t i = 0; i < fDevice->CouponList().Count(); ++i) codes.push_back(fDevice->CouponList().Item(i).Code());
    return codes;
  }
};

// Begin realigns (1) and opens with 1 (2); two coupons go with 2 and 3 (4); the commit of
// the one that needs it goes with 4 (5) and the close with 5 (7).
TEST_F(CouponTicket, TypicalTicketAdvancesTheProgressiveNumber) {
  Begin();
  Accept("C1", true);
  EXPECT_EQ(fDevice->Counter(), 3);
  Accept("C2", false, "201");
  EXPECT_EQ(fDevice->Counter(), 4);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"C1", "C2"}));
  fTerminal.Reply("CommitTransactionDBP", "OK-0-Confermato");
  fTerminal.Reply("CloseTicketBC", "OK-0-Chiuso");
  const _int_PAY_result r = Phase("COMMIT");
  EXPECT_FALSE(r.Error);
  EXPECT_EQ(r.ErrorText, "Chiuso");
  EXPECT_EQ(fDevice->Counter(), 7);
  EXPECT_EQ(fDevice->CouponList().Count(), 0u);

  EXPECT_EQ(fTerminal.fCalls,
            (Calls{
                {"RiallineamentoDBP", {""}},
                {"OpenTicketBC", {"1", "R77", "1234500000", ""}},
                {"DematerializzazioneBP", {"COUP_CODE=C1-PROG=2-CASSA=01-COD_DEV=1234500000-COD_SCON=R77-RFU_1=-RFU_2=-", ""}},
                {"DematerializzazioneBP", {"COUP_CODE=C2-PROG=3-CASSA=01-COD_DEV=1234500000-COD_SCON=R77-RFU_1=-RFU_2=-", ""}},
                {"CommitTransactionDBP", {"PROG=4-CASSA=01-COUP_CODE=C1-TRAN_ID=TXC1-RFU_1=-RFU_2=-", ""}},
                {"CloseTicketBC", {"5", "R77", "1234500000", ""}},
            }));
  EXPECT_EQ(CloseAndReadDriverLog(),
            (Lines{
                "fVirPay.RiallineamentoDBP:",
                "fVirPay.RiallineamentoDBP:Response:OK-0-Riallineato",
                "fVirPay.OpenTicketBC:1,R77,1234500000,",
                "fVirPay.OpenTicketBC:Response:OK-0-Aperto",
                "fVirPay.DematerializzazioneBP:COUP_CODE=C1-PROG=2-CASSA=01-COD_DEV=1234500000-COD_SCON=R77-RFU_1=-RFU_2=-,",
                "fVirPay.DematerializzazioneBP:Response:OK-0-Accettato-C1-529-x-TXC1-1-107",
                "fVirPay.DematerializzazioneBP:COUP_CODE=C2-PROG=3-CASSA=01-COD_DEV=1234500000-COD_SCON=R77-RFU_1=-RFU_2=-,",
                "fVirPay.DematerializzazioneBP:Response:OK-0-Accettato-C2-529-x-TXC2-0-201",
                "fVirPay.CommitTransactionDBP:PROG=4-CASSA=01-COUP_CODE=C1-TRAN_ID=TXC1-RFU_1=-RFU_2=-,",
                "fVirPay.CommitTransactionDBP:Response:OK-0-Confermato",
                "MVP_Commit:No commit required for coupon [C2]",
                "fVirPay.CloseTicketBC:5,R77,1234500000,",
                "fVirPay.CloseTicketBC:Response:OK-0-Chiuso",
            }));
}

TEST_F(CouponTicket, AcceptedCouponFillsTheResult) {
  const struct {
    const char* reply;
    const char* attributes;
    const char* code;
    N network;
    bool commit;
  } cases[] = {
      {"OK-0-Accettato-C1-529-x-TX1-1-107", "C1", "C1", N::Edenred, true},
      {"OK-0-Accettato-C2-700-x-TX2-0-300", "C2", "C2", N::Other, false},
      {"OK-0-Accettato-C3-700-x-TX3-11-101", "C3", "C3", N::QuiTicket, false},  // only "1" asks for a commit
      {"OK-0-Accettato--700-x-TX4-1-102", "SCANNED", "SCANNED", N::CIR, true},  // no code: the request's
  };
  int32_t counter = fDevice->Counter();
  for (const auto& c : cases) {
    fTerminal.Reply("DematerializzazioneBP", c.reply);
    const _int_PAY_result r = Phase("DO", c.attributes);
    EXPECT_FALSE(r.Error) << c.reply;
    EXPECT_EQ(r.ErrorText, "Accettato");
    EXPECT_EQ(r.SerialNumber, c.code) << c.reply;
    EXPECT_EQ(r.PaymentNetwork, c.network) << c.reply;
    EXPECT_EQ(r.NumberOfItems, 1);
    EXPECT_EQ(r.PaymentAmount, r.SingleItemAmount);
    EXPECT_EQ(r.PaymentCurrency, "EUR");
    EXPECT_EQ(r.MaskedPAN, std::string(16, '*'));
    EXPECT_EQ(r.ReceiptText, "");
    EXPECT_EQ(fDevice->Counter(), ++counter);
    const kPayment_VIROZI_Coupon* coupon = fDevice->CouponList().GetCoupon(c.code);
    ASSERT_NE(coupon, nullptr) << c.reply;
    EXPECT_EQ(coupon->RequireCommit(), c.commit) << c.reply;
    EXPECT_EQ(coupon->PaymentNetwork(), c.network) << c.reply;
    EXPECT_EQ(coupon->TransactionId(), r.PaymentNumber);
  }
  EXPECT_EQ(fDevice->CouponList().Item(0).TransactionId(), "TX1");
  EXPECT_EQ(fDevice->CouponList().Item(0).fCode, "C1");
}

TEST_F(CouponTicket, RefusedCouponChangesNothing) {
  const struct {
    const char* reply;
    int32_t result;
    const char* errorText;
  } cases[] = {
      {"KO-0-Buono scaduto-C9-529-x-TX9-1-107", 1, "Buono scaduto"},
      {"ok-0-Minuscolo-C9-529-x-TX9-1-107", 1, "Minuscolo"},
      // A failed call reports the reply when there is one.
      {"Terminale occupato", 0, "Terminale occupato"},
      {"", 5, "Internal error in calling \"fVirPay.DematerializzazioneBP\""},
  };
  Begin();
  Accept("C1", true);
  for (const auto& c : cases) {
    fTerminal.Reply("DematerializzazioneBP", c.reply, c.result);
    const _int_PAY_result r = Phase("DO", "C9");
    EXPECT_TRUE(r.Error) << c.reply;
    EXPECT_EQ(r.ErrorText, c.errorText) << c.reply;
    EXPECT_EQ(fDevice->Counter(), 3) << c.reply;
    EXPECT_EQ(Codes(), std::vector<std::string>{"C1"}) << c.reply;
  }
  // After a failed call the request's code stands in the result.
  fTerminal.Reply("DematerializzazioneBP", "", 0);
  EXPECT_EQ(Phase("DO", "C9").SerialNumber, "C9");
}

// The pairs of the provider's request are separated by '-': a value holding one would
// shift them, so it is refused before anything is sent.
TEST_F(CouponTicket, ValueHoldingThePairSeparatorIsRefused) {
  EXPECT_EQ(PhaseError("DO", "12-PROG=9"), "Invalid COUP_CODE value [12-PROG=9]: '-' is not allowed");
  EXPECT_EQ(PayError("<PaymentChannel>MVP</PaymentChannel><Phase>DO</Phase><Attributes>C1</Attributes>"
                     "<MerchantCode>0-1</MerchantCode>"),
            "Invalid CASSA value [0-1]: '-' is not allowed");
  EXPECT_EQ(PayError("<PaymentChannel>MVP</PaymentChannel><Phase>DO</Phase><Attributes>C1</Attributes>"
                     "<Reference>2024-001</Reference>"),
            "Invalid COD_SCON value [2024-001]: '-' is not allowed");
  EXPECT_TRUE(fTerminal.fCalls.empty());
  EXPECT_EQ(fDevice->Counter(), 0);
}

TEST_F(CouponTicket, BeginDependsOnTheRealignmentCall) {
  // Realignment refused: the ticket is still opened, with the unchanged counter.
  fTerminal.Reply("RiallineamentoDBP", "KO-0-Non allineato");
  fTerminal.Reply("OpenTicketBC", "OK-0-Aperto");
  _int_PAY_result r = Phase("BEGIN");
  EXPECT_FALSE(r.Error);
  EXPECT_EQ(r.ErrorText, "Aperto");
  EXPECT_EQ(fDevice->Counter(), 1);
  EXPECT_EQ(fTerminal.fCalls.back(), (tkFakeCall{"OpenTicketBC", {"0", "R77", "1234500000", ""}}));

  // Realignment call failed: no ticket, its reply is the error; the coupon of the earlier
  // ticket was reversed (and that ticket closed) before.
  Accept("C1", true);
  fTerminal.fCalls.clear();
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529");
  fTerminal.Reply("CloseTicketBC", "OK-0-Chiuso");
  fTerminal.Reply("RiallineamentoDBP", "Nessuna linea", 0);
  r = Phase("BEGIN");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Nessuna linea");
  EXPECT_EQ(fTerminal.Methods(),
            (std::vector<std::string>{"ReverseTransactionDBP", "CloseTicketBC", "RiallineamentoDBP"}));
  EXPECT_EQ(fDevice->Counter(), 5);
  EXPECT_EQ(fDevice->CouponList().Count(), 0u);

  // Realigned but the ticket refused: the counter stays as the realignment set it.
  fTerminal.Reply("RiallineamentoDBP", "OK-0-Riallineato");
  fTerminal.Reply("OpenTicketBC", "KO-0-Scontrino aperto");
  r = Phase("BEGIN");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Scontrino aperto");
  EXPECT_EQ(fDevice->Counter(), 1);

  fTerminal.Reply("RiallineamentoDBP", "OK-0-Riallineato");
  fTerminal.Reply("OpenTicketBC", "OK-0-Aperto", 0);
  r = Phase("BEGIN");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Internal error in calling \"fVirPay.OpenTicketBC\"");
  EXPECT_EQ(fDevice->Counter(), 1);
}

TEST_F(CouponTicket, LogShowsBothCallsOfBegin) {
  fTerminal.Reply("RiallineamentoDBP", "KO-0-Non allineato");
  fTerminal.Reply("OpenTicketBC", "OK-0-", 0);
  const _int_PAY_result r = Phase("BEGIN");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Internal error in calling \"fVirPay.OpenTicketBC\"");
  EXPECT_EQ(CloseAndReadDriverLog(), (Lines{
                                         "fVirPay.RiallineamentoDBP:",
                                         "fVirPay.RiallineamentoDBP:Response:KO-0-Non allineato",
                                         "fVirPay.OpenTicketBC:0,R77,1234500000,",
                                         "ERROR - fVirPay.OpenTicketBC:Response:OK-0-",
                                     }));
}

TEST_F(CouponTicket, CommitStopsAtTheFirstFailureAndKeepsTheCoupons) {
  Begin();
  Accept("C1", true);
  Accept("C2", false);
  Accept("C3", true);
  Accept("C4", true);
  fTerminal.fCalls.clear();
  fTerminal.Reply("CommitTransactionDBP", "OK-0-Confermato");
  fTerminal.Reply("CommitTransactionDBP", "KO-0-Non confermato");
  const _int_PAY_result r = Phase("COMMIT");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Non confermato");
  EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{"CommitTransactionDBP", "CommitTransactionDBP"}));
  EXPECT_EQ(fDevice->Counter(), 7);  // 6 after the coupons, +1 for the one commit that went through
  EXPECT_EQ(Codes(), (std::vector<std::string>{"C1", "C2", "C3", "C4"}));
  const Lines log = CloseAndReadDriverLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "MVP_Commit:No commit required for coupon [C2]"), 1);
  EXPECT_EQ(log.back(), "fVirPay.CommitTransactionDBP:Response:KO-0-Non confermato");
}

// A commit that went through is not sent again when the POS retries the ticket's commit:
// that would charge the voucher twice.
TEST_F(CouponTicket, RetriedCommitSendsOnlyTheCouponsNotYetCommitted) {
  Begin();
  Accept("C1", true);
  Accept("C2", true);
  Accept("C3", true);
  fTerminal.fCalls.clear();
  fTerminal.Reply("CommitTransactionDBP", "OK-0-Confermato");
  fTerminal.Reply("CommitTransactionDBP", "KO-0-Non confermato");
  EXPECT_TRUE(Phase("COMMIT").Error);
  EXPECT_EQ(fDevice->Counter(), 6);

  fTerminal.fCalls.clear();
  fTerminal.Reply("CommitTransactionDBP", "OK-0-Confermato");
  fTerminal.Reply("CommitTransactionDBP", "KO-0-Non confermato");
  EXPECT_TRUE(Phase("COMMIT").Error);
  ASSERT_EQ(fTerminal.fCalls.size(), 2u);
  EXPECT_EQ(fTerminal.fCalls[0].Args[0], "PROG=6-CASSA=01-COUP_CODE=C2-TRAN_ID=TXC2-RFU_1=-RFU_2=-");
  EXPECT_EQ(fTerminal.fCalls[1].Args[0], "PROG=7-CASSA=01-COUP_CODE=C3-TRAN_ID=TXC3-RFU_1=-RFU_2=-");

  fTerminal.fCalls.clear();
  fTerminal.Reply("CommitTransactionDBP", "OK-0-Confermato");
  fTerminal.Reply("CloseTicketBC", "KO-0-Chiusura rifiutata");
  EXPECT_TRUE(Phase("COMMIT").Error);
  EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{"CommitTransactionDBP", "CloseTicketBC"}));
  EXPECT_EQ(fTerminal.fCalls[0].Args[0], "PROG=7-CASSA=01-COUP_CODE=C3-TRAN_ID=TXC3-RFU_1=-RFU_2=-");

  // Everything committed: a retry only closes the ticket.
  fTerminal.fCalls.clear();
  fTerminal.Reply("CloseTicketBC", "OK-0-Chiuso");
  const _int_PAY_result r = Phase("COMMIT");
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{"CloseTicketBC"}));
  EXPECT_EQ(Codes(), std::vector<std::string>{});
  const Lines log = CloseAndReadDriverLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "MVP_Commit:Coupon [C1] already committed"), 3);
  EXPECT_EQ(std::count(log.begin(), log.end(), "MVP_Commit:Coupon [C3] already committed"), 1);
}

TEST_F(CouponTicket, FailedCloseKeepsTheTicketOpen) {
  const struct {
    const char* reply;
    int32_t result;
    const char* errorText;
    int32_t counter;
  } cases[] = {
      {"KO-0-Chiusura rifiutata", 1, "Chiusura rifiutata", 3},
      {"OK-0-Chiuso", 0, "Internal error in calling \"fVirPay.CloseTicketBC\"", 3},
  };
  Begin();
  Accept("C1", false);
  for (const auto& c : cases) {
    fTerminal.Reply("CloseTicketBC", c.reply, c.result);
    const _int_PAY_result r = Phase("COMMIT");
    EXPECT_TRUE(r.Error) << c.reply;
    EXPECT_EQ(r.ErrorText, c.errorText) << c.reply;
    EXPECT_EQ(fDevice->Counter(), c.counter) << c.reply;
    EXPECT_EQ(Codes(), std::vector<std::string>{"C1"}) << c.reply;
  }
  // An empty ticket only closes.
  fTerminal.Reply("CloseTicketBC", "OK-0-Chiuso");
  EXPECT_FALSE(Phase("COMMIT").Error);
  fTerminal.fCalls.clear();
  fTerminal.Reply("CloseTicketBC", "OK-0-Chiuso");
  EXPECT_FALSE(Phase("COMMIT").Error);
  EXPECT_EQ(fTerminal.fCalls, (Calls{{"CloseTicketBC", {"5", "R77", "1234500000", ""}}}));
  EXPECT_EQ(fDevice->Counter(), 7);
}

TEST_F(CouponTicket, RollbackOfOneCouponKeepsTheTicketOpen) {
  Begin();
  Accept("C1", true, "101");
  Accept("C2", true, "208");
  fTerminal.fCalls.clear();
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529-y-z");
  const _int_PAY_result r = Phase("ROLLBACK", "C2");
  EXPECT_FALSE(r.Error);
  EXPECT_EQ(r.ErrorText, "Stornato");
  EXPECT_EQ(r.SerialNumber, "C2");
  EXPECT_EQ(r.PaymentNetwork, N::Sodexo);
  EXPECT_EQ(r.PaymentAmount, Amount("5.29"));
  EXPECT_EQ(r.PaymentCurrency, "EUR");
  EXPECT_EQ(fTerminal.fCalls,
            (Calls{{"ReverseTransactionDBP",
                    {"COUP_CODE=C2-PROG=4-CASSA=01-COD_DEV=1234500000-TRAN_ID=TXC2-COD_SCON=R77-RFU_1=-RFU_2=-", ""}}}));
  EXPECT_EQ(fDevice->Counter(), 5);
  EXPECT_EQ(Codes(), std::vector<std::string>{"C1"});

  // Refused: the coupon stays.
  fTerminal.Reply("ReverseTransactionDBP", "KO-0-Non stornabile-x-0");
  const _int_PAY_result refused = Phase("ROLLBACK", "C1");
  EXPECT_TRUE(refused.Error);
  EXPECT_EQ(refused.ErrorText, "Non stornabile");
  EXPECT_EQ(refused.PaymentNetwork, N::QuiTicket);
  EXPECT_EQ(fDevice->Counter(), 5);
  EXPECT_EQ(Codes(), std::vector<std::string>{"C1"});
}

TEST_F(CouponTicket, RollbackOfAnUnknownCouponCallsNothing) {
  Begin();
  Accept("C1", true);
  fTerminal.fCalls.clear();
  for (const char* code : {"C9", "c1", "C1 "}) {
    const _int_PAY_result r = Phase("ROLLBACK", code);
    EXPECT_TRUE(r.Error);
    EXPECT_EQ(r.ErrorText, "Coupon " + std::string(code) + " not found");
  }
  EXPECT_TRUE(fTerminal.fCalls.empty());
  EXPECT_EQ(fDevice->Counter(), 3);
}

TEST_F(CouponTicket, RollbackOfAllReversesInOrderThenCloses) {
  Begin();
  Accept("C1", true);
  Accept("C2", false);
  fTerminal.fCalls.clear();
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529");
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529");
  fTerminal.Reply("CloseTicketBC", "KO-0-Chiusura rifiutata");
  const _int_PAY_result r = Phase("ROLLBACK");
  EXPECT_EQ(fTerminal.fCalls,
            (Calls{
                {"ReverseTransactionDBP",
                 {"COUP_CODE=C1-PROG=4-CASSA=01-COD_DEV=1234500000-TRAN_ID=TXC1-COD_SCON=R77-RFU_1=-RFU_2=-", ""}},
                {"ReverseTransactionDBP",
                 {"COUP_CODE=C2-PROG=5-CASSA=01-COD_DEV=1234500000-TRAN_ID=TXC2-COD_SCON=R77-RFU_1=-RFU_2=-", ""}},
                {"CloseTicketBC", {"6", "R77", "1234500000", ""}},
            }));
  // Every coupon was reversed: the list empties even though the close was refused.
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Chiusura rifiutata");
  EXPECT_EQ(fDevice->CouponList().Count(), 0u);
  EXPECT_EQ(fDevice->Counter(), 6);
}

TEST_F(CouponTicket, RollbackOfAllStopsAtTheFirstFailure) {
  Begin();
  Accept("C1", true, "101");
  Accept("C2", true, "105");
  Accept("C3", true, "107");
  fTerminal.fCalls.clear();
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529");
  fTerminal.Reply("ReverseTransactionDBP", "KO-0-Non stornabile-x-700");
  const _int_PAY_result r = Phase("ROLLBACK");
  EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{"ReverseTransactionDBP", "ReverseTransactionDBP"}));
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Non stornabile");
  EXPECT_EQ(r.SerialNumber, "C2");  // what the failed reversal wrote
  EXPECT_EQ(r.PaymentNetwork, N::Day);
  EXPECT_EQ(r.PaymentAmount, Amount("7"));
  EXPECT_EQ(fDevice->Counter(), 6);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"C1", "C2", "C3"}));
}

TEST_F(CouponTicket, ComponentFailureKeepsWhatTheCompletedStepsDid) {
  Begin();
  Accept("C1", true);
  Accept("C2", true);
  fTerminal.Reply("CommitTransactionDBP", "OK-0-Confermato");
  fTerminal.Raise("CommitTransactionDBP", "RPC server unavailable");
  EXPECT_EQ(PhaseError("COMMIT"), "RPC server unavailable");
  EXPECT_EQ(fDevice->Counter(), 5);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"C1", "C2"}));
}

// A new ticket over one that still holds coupons reverses them first (and closes the old
// ticket, as a rollback does); they must not stay dematerialised with nobody to settle them.
TEST_F(CouponTicket, SecondBeginReversesTheCouponsOfTheFirst) {
  Begin();
  Accept("C1", true);
  Accept("C2", false, "201");
  fTerminal.fCalls.clear();
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529");
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529");
  fTerminal.Reply("CloseTicketBC", "OK-0-Chiuso");
  fTerminal.Reply("RiallineamentoDBP", "OK-0-Riallineato");
  fTerminal.Reply("OpenTicketBC", "OK-0-Aperto");
  const _int_PAY_result r = Phase("BEGIN");
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(r.SerialNumber, "");  // a new ticket's answer, not the reversals'
  EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{"ReverseTransactionDBP", "ReverseTransactionDBP",
                                                           "CloseTicketBC", "RiallineamentoDBP", "OpenTicketBC"}));
  EXPECT_EQ(fDevice->CouponList().Count(), 0u);
  EXPECT_EQ(fDevice->Counter(), 2);
  const Lines log = CloseAndReadDriverLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "MVP_Begin:Reversing 2 coupon(s) of the open ticket"), log.end());
}

TEST_F(CouponTicket, SecondBeginIsRefusedWhenAReversalFails) {
  Begin();
  Accept("C1", true);
  Accept("C2", true, "105");
  fTerminal.fCalls.clear();
  fTerminal.Reply("ReverseTransactionDBP", "OK-0-Stornato-x-529");
  fTerminal.Reply("ReverseTransactionDBP", "KO-0-Non stornabile-x-700");
  const _int_PAY_result r = Phase("BEGIN");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Non stornabile");
  EXPECT_EQ(r.SerialNumber, "C2");
  EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{"ReverseTransactionDBP", "ReverseTransactionDBP"}));
  // The list stays for the POS to retry the rollback; no new ticket was opened.
  EXPECT_EQ(Codes(), (std::vector<std::string>{"C1", "C2"}));
  EXPECT_EQ(fDevice->Counter(), 5);
}

// The ticket lives in its device: another device starts from 0 with no coupons.
TEST_F(CouponTicket, AnotherDeviceStartsWithoutTheTicket) {
  Begin();
  Accept("C1", true);
  OpenDevice();
  EXPECT_EQ(fDevice->Counter(), 0);
  EXPECT_EQ(fDevice->CouponList().Count(), 0u);
}

}  // namespace
}  // namespace drivertest
