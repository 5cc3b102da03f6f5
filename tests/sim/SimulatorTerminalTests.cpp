// The simulator's built-in terminal: reply layouts, declines, meal vouchers, the coupon
// ticket with its progressive number, and the day totals of both circuits.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "drivers/Payment_VIROZI.h"
#include "sim/ViroziSimulator.h"
#include "sim/SimulatorFixture.h"

namespace {

using simtest::SimulatorTest;
using simtest::Split;

// The codes the driver can decode: card networks in the first ten rows, meal-voucher
// issuers (with "MV" in front) in the others.
bool DriverKnowsCardCode(const std::string& aCode) {
  for (int row = 0; row < 10; ++row)
    if (aCode == NetworkDecodeTable[row].Code) return true;
  return false;
}
bool DriverKnowsIssuer(const std::string& aCode) {
  for (int row = 10; row < 32; ++row)
    if ("MV" + aCode == NetworkDecodeTable[row].Code) return true;
  return false;
}

struct tCardTotals {
  struct tRecord {
    std::string fTerminal;
    long long fCents;
    std::string fKind;
    std::string fReceipt;
  };
  std::vector<tRecord> fRecords;
  long long Cents() const {
    long long sum = 0;
    for (const tRecord& r : fRecords) sum += r.fCents;
    return sum;
  }
};

// Read the way the driver reads a card-circuit totals reply: record k at fields 2+6k...
tCardTotals ParseCardTotals(const std::string& aReply) {
  const std::vector<std::string> f = Split(aReply, ';');
  tCardTotals totals;
  const int n = std::stoi(f.at(0));
  EXPECT_EQ(f.size(), static_cast<size_t>(1 + 6 * n)) << aReply;
  for (int k = 0; k < n; ++k)
    totals.fRecords.push_back({f.at(1 + 6 * k), std::stoll(f.at(3 + 6 * k)), f.at(5 + 6 * k), f.at(6 + 6 * k)});
  return totals;
}

long long VoucherCents(const std::string& aReply) {
  const std::vector<std::string> f = Split(aReply, ';');
  EXPECT_EQ(f.size(), 4u) << aReply;
  return std::stoll(f.at(2));
}

class SimulatorTerminalTest : public SimulatorTest {
 protected:
  std::vector<std::string> Pay(int32_t aCents) {
    std::string reply;
    EXPECT_EQ(fSim.Pagamento(0, aCents, 0, reply), 1);
    return Split(reply, ';');
  }
  std::vector<std::string> PayWallet(int32_t aType, int32_t aCents) {
    std::string t, reply;
    EXPECT_EQ(fSim.PagamentoADV(aType, aCents, t, t, t, reply), 1);
    return Split(reply, '-');
  }
  std::vector<std::string> PayHealth(int32_t aCents) {
    std::string s1, s2, s3, s4, reply;
    EXPECT_EQ(fSim.PaymentCeliachia(aCents, s1, s2, s3, s4, reply), 1);
    return Split(reply, ';');
  }
  std::vector<std::string> PayVouchers(int32_t aCents) {
    std::string s, reply;
    EXPECT_EQ(fSim.PaymentBPE(aCents, s, reply), 1);
    return Split(reply, ';');
  }
  std::string CardTotals(bool aClose) {
    std::string reply;
    EXPECT_EQ(aClose ? fSim.Chiusura(0, reply) : fSim.GetTotaliHost(0, reply), 1);
    return reply;
  }
  std::string VoucherTotals(bool aClose, std::string aIncoming = {}) {
    EXPECT_EQ(aClose ? fSim.ChiusuraBPE(aIncoming) : fSim.TotaliBPE(aIncoming), 1);
    return aIncoming;
  }
  // A coupon call with the driver's key=value request text.
  std::vector<std::string> Coupon(int32_t (tViroziSimulator::*aMethod)(std::string&, std::string&),
                                  std::string aRequest) {
    std::string reply;
    EXPECT_EQ((fSim.*aMethod)(aRequest, reply), 1);
    return Split(reply, '-');
  }
  std::vector<std::string> Accept(int aProg, const std::string& aCode) {
    return Coupon(&tViroziSimulator::DematerializzazioneBP, "COUP_CODE=" + aCode + "-PROG=" + std::to_string(aProg) +
                                                                "-CASSA=01-COD_DEV=1234500000-COD_SCON=R1-RFU_1=-RFU_2=-");
  }
  std::vector<std::string> Commit(int aProg, const std::string& aCode, const std::string& aTransaction) {
    return Coupon(&tViroziSimulator::CommitTransactionDBP, "PROG=" + std::to_string(aProg) + "-CASSA=01-COUP_CODE=" +
                                                               aCode + "-TRAN_ID=" + aTransaction + "-RFU_1=-RFU_2=-");
  }
  std::vector<std::string> Reverse(int aProg, const std::string& aCode, const std::string& aTransaction) {
    return Coupon(&tViroziSimulator::ReverseTransactionDBP,
                  "COUP_CODE=" + aCode + "-PROG=" + std::to_string(aProg) + "-CASSA=01-COD_DEV=1234500000-TRAN_ID=" +
                      aTransaction + "-COD_SCON=R1-RFU_1=-RFU_2=-");
  }
  std::vector<std::string> Ticket(bool aOpen, int32_t aProg) {
    std::string reference = "R1", device = "1234500000", reply;
    EXPECT_EQ(aOpen ? fSim.OpenTicketBC(aProg, reference, device, reply)
                    : fSim.CloseTicketBC(aProg, reference, device, reply),
              1);
    return Split(reply, '-');
  }
  std::vector<std::string> Realign() {
    std::string reply;
    EXPECT_EQ(fSim.RiallineamentoDBP(reply), 1);
    return Split(reply, '-');
  }
};

TEST_F(SimulatorTerminalTest, CardPaymentReplyHasTheDocumentedFields) {
  const struct {
    int32_t fCents;
    const char* fNetwork;
    const char* fSignature;
  } cases[] = {{1000, "2", "1"}, {1100, "3", "1"}, {1234, "4", "1"}, {1300, "6", "3"}, {1400, "1", "1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fCents);
    const std::vector<std::string> f = Pay(c.fCents);
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[0], "12345678");
    EXPECT_EQ(f[1], std::to_string(c.fCents));
    EXPECT_EQ(f[2], "OK");
    EXPECT_EQ(f[3], "");  // the till shows the message even on success
    EXPECT_EQ(f[4], c.fNetwork);
    EXPECT_TRUE(DriverKnowsCardCode(f[4]));
    EXPECT_NE(f[5].find("\r\n"), std::string::npos) << "a receipt of several lines";
    EXPECT_EQ(f[6], c.fSignature);
  }
}

TEST_F(SimulatorTerminalTest, CardReceiptNamesTerminalOperationNetworkAndAmount) {
  EXPECT_EQ(Pay(1234)[5],
            "VIROZI PAY\r\nTERMINALE 12345678 OPER. 000001\r\nACQUISTO MAESTRO\r\nIMPORTO EUR 12,34\r\n"
            "TRANSAZIONE ESEGUITA\r\nPIN VERIFICATO");
  EXPECT_EQ(Pay(1305)[5],
            "VIROZI PAY\r\nTERMINALE 12345678 OPER. 000002\r\nACQUISTO AMERICAN EXPRESS\r\nIMPORTO EUR 13,05\r\n"
            "TRANSAZIONE ESEGUITA\r\nFIRMA DEL TITOLARE");
}

// Declines are reachable on every payment method, and a refused payment counts nowhere.
TEST_F(SimulatorTerminalTest, AmountsEndingIn13AndNonPositiveAmountsAreRefused) {
  struct tMethod {
    const char* fName;
    std::function<std::vector<std::string>(int32_t)> fCall;
    size_t fStatus, fMessage;
  };
  const tMethod methods[] = {
      {"Pagamento", [&](int32_t a) { return Pay(a); }, 2, 3},
      {"PagamentoADV", [&](int32_t a) { return PayWallet(2, a); }, 0, 1},
      {"PaymentCeliachia", [&](int32_t a) { return PayHealth(a); }, 0, 2},
      {"PaymentBPE", [&](int32_t a) { return PayVouchers(a); }, 0, 1},
  };
  const struct {
    int32_t fCents;
    const char* fMessage;
  } amounts[] = {{1213, "TRANSAZIONE NEGATA"}, {13, "TRANSAZIONE NEGATA"}, {10013, "TRANSAZIONE NEGATA"},
                 {0, "IMPORTO NON VALIDO"},   {-500, "IMPORTO NON VALIDO"}};
  for (const tMethod& m : methods) {
    for (const auto& a : amounts) {
      SCOPED_TRACE(std::string(m.fName) + " " + std::to_string(a.fCents));
      const std::vector<std::string> f = m.fCall(a.fCents);
      EXPECT_EQ(f.at(m.fStatus), "KO");
      EXPECT_EQ(f.at(m.fMessage), a.fMessage);
    }
  }
  // The neighbours of a declined amount go through.
  EXPECT_EQ(Pay(1212)[2], "OK");
  EXPECT_EQ(Pay(1313)[2], "KO");
  EXPECT_EQ(Pay(1314)[2], "OK");

  EXPECT_EQ(ParseCardTotals(CardTotals(false)).Cents(), 1212 + 1314);
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 0);
}

TEST_F(SimulatorTerminalTest, WalletPaymentReplyAndSpareTexts) {
  const char* names[] = {"JIFFY", "SATISPAY", "BITCOIN", "SATISPAY QR CODE", "CONAD MOBILE WALLET", "TINABA"};
  for (int32_t type = 1; type <= 6; ++type) {
    SCOPED_TRACE(type);
    std::string t1, t2, t3, reply;
    ASSERT_EQ(fSim.PagamentoADV(type, 2550, t1, t2, t3, reply), 1);
    const std::vector<std::string> f = Split(reply, '-');
    ASSERT_EQ(f.size(), 6u) << reply;
    EXPECT_EQ(f[0], "OK");
    EXPECT_EQ(f[1], "");
    EXPECT_EQ(f[2], "P" + std::string(5, '0') + std::to_string(type));  // payment number
    EXPECT_EQ(f[3], "2550");
    EXPECT_NE(f[4].find("PAGAMENTO " + std::string(names[type - 1]) + "\r\nIMPORTO EUR 25,50"), std::string::npos);
    EXPECT_EQ(f[5], names[type - 1]);
    EXPECT_EQ(t1, f[2]);
    EXPECT_EQ(t2, names[type - 1]);
    EXPECT_EQ(t3, "W" + std::to_string(type) + std::string(5, '0') + std::to_string(type));
  }
  const std::vector<std::string> unknown = PayWallet(7, 2550);
  EXPECT_EQ(unknown.at(0), "KO");
  EXPECT_EQ(unknown.at(1), "TIPO WALLET NON VALIDO");
  // A negative amount must not put a stray '-' into the reply.
  EXPECT_EQ(PayWallet(1, -500).size(), 6u);
}

// One text variable passed three times (as the driver does) ends up with the last text
// written, and the reply is not disturbed by it.
TEST_F(SimulatorTerminalTest, WalletPaymentWithOneTextVariableForAllThree) {
  std::string t, reply;
  ASSERT_EQ(fSim.PagamentoADV(2, 1000, t, t, t, reply), 1);
  EXPECT_EQ(t, "W2000001");
  EXPECT_EQ(reply.substr(0, 12), "OK--P000001-");
}

TEST_F(SimulatorTerminalTest, HealthServicePaymentReplyAndAllowance) {
  std::string s1, s2, s3, s4, reply;
  ASSERT_EQ(fSim.PaymentCeliachia(1000, s1, s2, s3, s4, reply), 1);
  std::vector<std::string> f = Split(reply, ';');
  ASSERT_EQ(f.size(), 9u);
  EXPECT_EQ(f[0], "OK");
  EXPECT_EQ(f[1], "00");
  EXPECT_EQ(f[2], "TRANSAZIONE ESEGUITA");
  EXPECT_EQ(f[3], "13000");  // what is left of the 140.00 allowance
  EXPECT_EQ(f[4], "80380000001234567890");
  EXPECT_EQ(f[5], "000001");
  EXPECT_EQ(f[6].size(), 6u);
  EXPECT_EQ(f[7], "P000001");
  EXPECT_NE(f[8].find("RESIDUO EUR 130,00"), std::string::npos);
  EXPECT_EQ(std::vector<std::string>({s1, s2, s3, s4}), std::vector<std::string>({f[4], f[5], f[6], f[7]}));

  f = PayHealth(14000);
  EXPECT_EQ(f.at(0), "OK");
  EXPECT_EQ(f.at(3), "0");
  f = PayHealth(14001);
  EXPECT_EQ(f.at(0), "KO");
  EXPECT_EQ(f.at(1), "51");
  EXPECT_EQ(f.at(2), "PLAFOND INSUFFICIENTE");
  EXPECT_EQ(f.at(3), "14000");
  EXPECT_EQ(f.at(6), "") << "no authorisation for a refusal";
}

TEST_F(SimulatorTerminalTest, MealVoucherPaymentComposesVouchersWithinTheAmount) {
  const struct {
    int32_t fCents;
    const char* fList;
    long long fPaid;
  } cases[] = {
      {1600, "1|2|800", 1600},        {1400, "1|2|700", 1400},        {1587, "1|3|529", 1587},
      {1329, "2|1|800|1|529", 1329},  {2000, "1|2|800", 1600},        {600, "1|1|529", 529},
      {529, "1|1|529", 529},          {3029, "2|3|800|1|529", 2929},
  };
  long long paid = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fCents);
    std::string s, reply;
    ASSERT_EQ(fSim.PaymentBPE(c.fCents, s, reply), 1);
    const std::vector<std::string> f = Split(reply, ';');
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0], "OK");
    EXPECT_EQ(f[1], "");
    EXPECT_EQ(f[2], c.fList);
    EXPECT_EQ(s, c.fList);
    EXPECT_TRUE(DriverKnowsIssuer(f[3])) << f[3];
    // The list read as the driver reads it.
    const std::vector<std::string> list = Split(f[2], '|');
    const int n = std::stoi(list.at(0));
    ASSERT_EQ(list.size(), static_cast<size_t>(1 + 2 * n));
    long long total = 0;
    for (int k = 1; k <= n; ++k) total += std::stoll(list.at(2 * k - 1)) * std::stoll(list.at(2 * k));
    EXPECT_EQ(total, c.fPaid);
    EXPECT_LE(total, c.fCents);
    EXPECT_NE(f[5].find("TOTALE EUR "), std::string::npos);
    paid += c.fPaid;
  }
  const std::vector<std::string> small = PayVouchers(528);
  EXPECT_EQ(small.at(0), "KO");
  EXPECT_EQ(small.at(1), "IMPORTO INFERIORE AL BUONO");
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), paid);
}

// The ticket of two coupons as the driver runs it: realign (1), open (1 -> 2), two coupons
// (2, 3), commit the one that needs it (4), close (5 -> 7).
TEST_F(SimulatorTerminalTest, CouponTicketFollowsTheProgressiveNumber) {
  EXPECT_EQ(Realign(), std::vector<std::string>({"OK", "00", "RIALLINEAMENTO ESEGUITO"}));
  EXPECT_EQ(Ticket(true, 1), std::vector<std::string>({"OK", "00", ""}));

  const std::vector<std::string> first = Accept(2, "1070700000011");
  EXPECT_EQ(first, std::vector<std::string>({"OK", "00", "", "1070700000011", "700", "EDENRED", "TX000001", "1", "107"}));
  const std::vector<std::string> second = Accept(3, "2030529000002");
  EXPECT_EQ(second,
            std::vector<std::string>({"OK", "00", "", "2030529000002", "529", "EDENRED", "TX000002", "0", "203"}));

  EXPECT_EQ(Commit(4, "1070700000011", "TX000001"), std::vector<std::string>({"OK", "00", ""}));
  EXPECT_EQ(Ticket(false, 5), std::vector<std::string>({"OK", "00", ""}));
  EXPECT_EQ(Ticket(true, 7).at(0), "OK") << "a close moves the number on by two";
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 700 + 529);
}

TEST_F(SimulatorTerminalTest, CouponCodeGivesIssuerFaceValueAndCommitFlag) {
  const struct {
    const char* fCode;
    const char* fFace;
    const char* fCommit;
    const char* fIssuer;
  } cases[] = {
      {"1070700000011", "700", "1", "107"},  // issuer and face value from the code, odd: commit
      {"2131250000004", "1250", "0", "213"},
      {"3001000000001", "1000", "1", "101"},  // 300 is no issuer
      {"1090000000002", "529", "0", "109"},   // face value 0000: the usual 5.29
      {"10912", "529", "0", "109"},           // too short for a face value
      {"AB", "529", "0", "101"},
      {"12345678901X", "4567", "0", "101"},   // 123 is no issuer either; no digit at the end
  };
  int prog = 0;  // never realigned: the terminal starts at 0, like a new device
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fCode);
    const std::vector<std::string> f = Accept(prog, c.fCode);
    ASSERT_EQ(f.size(), 9u);
    ASSERT_EQ(f[0], "OK") << f[2];
    ++prog;
    EXPECT_EQ(f[3], c.fCode);
    EXPECT_EQ(f[4], c.fFace);
    EXPECT_EQ(f[7], c.fCommit);
    EXPECT_EQ(f[8], c.fIssuer);
    EXPECT_TRUE(DriverKnowsIssuer(f[8]));
  }
}

TEST_F(SimulatorTerminalTest, CouponCodesThatAreNotLettersAndDigitsAreRefused) {
  // "12-34" arrives unescaped inside the request text, exactly as the driver sends it.
  for (const char* code : {"", "12-34", "12 34", "1;2"}) {
    SCOPED_TRACE(code);
    const std::vector<std::string> f = Accept(0, code);
    ASSERT_EQ(f.size(), 3u) << "the message must not split the reply";
    EXPECT_EQ(f[0], "KO");
    EXPECT_EQ(f[1], "14");
  }
  EXPECT_EQ(Accept(0, "123").at(0), "OK") << "refusals leave the progressive number alone";
}

TEST_F(SimulatorTerminalTest, WrongProgressiveNumberIsRefusedWithAClearMessage) {
  Realign();  // expects 1
  const std::string wrong = "Wrong progressive number 3, expected 1";
  EXPECT_EQ(Ticket(true, 3), std::vector<std::string>({"KO", "05", wrong}));
  EXPECT_EQ(Ticket(false, 3), std::vector<std::string>({"KO", "05", wrong}));
  EXPECT_EQ(Accept(3, "1"), std::vector<std::string>({"KO", "05", wrong}));
  EXPECT_EQ(Commit(3, "1", "TX000001"), std::vector<std::string>({"KO", "05", wrong}));
  EXPECT_EQ(Reverse(3, "1", "TX000001"), std::vector<std::string>({"KO", "05", wrong}));
  EXPECT_EQ(Ticket(true, -1), std::vector<std::string>({"KO", "05", "Negative progressive number, expected 1"}));

  const std::vector<std::string> malformed =
      Coupon(&tViroziSimulator::DematerializzazioneBP, "COUP_CODE=1-PROG=x-CASSA=01-RFU_1=-RFU_2=-");
  EXPECT_EQ(malformed, std::vector<std::string>({"KO", "12", "Malformed request: PROG missing or not a number"}));
  EXPECT_EQ(Coupon(&tViroziSimulator::DematerializzazioneBP, "COUP_CODE=1-CASSA=01-RFU_1=-RFU_2=-").at(1), "12");

  // None of the refusals moved the number on.
  EXPECT_EQ(Ticket(true, 1).at(0), "OK");
  EXPECT_EQ(Accept(2, "1").at(0), "OK");
}

TEST_F(SimulatorTerminalTest, RealignmentRestartsTheProgressiveNumber) {
  Realign();
  ASSERT_EQ(Ticket(true, 1).at(0), "OK");
  ASSERT_EQ(Accept(2, "5").at(0), "OK");
  EXPECT_EQ(Ticket(true, 1).at(0), "KO");
  Realign();
  EXPECT_EQ(Ticket(true, 1).at(0), "OK");
}

TEST_F(SimulatorTerminalTest, ReversalGivesTheAmountBackOnce) {
  int prog = 0;
  const std::string tx = Accept(prog++, "1070800000002").at(6);  // no commit needed: counted at once
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 800);

  const std::vector<std::string> reversed = Reverse(prog++, "1070800000002", tx);
  EXPECT_EQ(reversed, std::vector<std::string>({"OK", "00", "", "1070800000002", "800", tx, "107"}));
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 0);

  EXPECT_EQ(Reverse(prog, "1070800000002", tx),
            std::vector<std::string>({"KO", "26", "Transaction " + tx + " was reversed"}));
  EXPECT_EQ(Commit(prog, "1070800000002", tx).at(1), "26");
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 0);
}

TEST_F(SimulatorTerminalTest, CouponNeedingCommitCountsOnlyOnceCommitted) {
  int prog = 0;
  const std::string tx = Accept(prog++, "1070700000001").at(6);
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 0);
  ASSERT_EQ(Commit(prog++, "1070700000001", tx).at(0), "OK");
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 700);
  EXPECT_EQ(Commit(prog, "1070700000001", tx),
            std::vector<std::string>({"KO", "26", "Transaction " + tx + " already committed"}));
  ASSERT_EQ(Reverse(prog++, "1070700000001", tx).at(0), "OK");
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 0);

  // Reversing a coupon that was never committed takes nothing off.
  const std::string pending = Accept(prog++, "1070700000003").at(6);
  ASSERT_EQ(Reverse(prog++, "1070700000003", pending).at(0), "OK");
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 0);
}

TEST_F(SimulatorTerminalTest, CommitAndReversalNeedAKnownMatchingTransactionOfToday) {
  int prog = 0;
  const std::string tx = Accept(prog++, "111").at(6);
  EXPECT_EQ(Commit(prog, "111", "TX999999"), std::vector<std::string>({"KO", "25", "Unknown transaction TX999999"}));
  EXPECT_EQ(Reverse(prog, "222", tx),
            std::vector<std::string>({"KO", "25", "Coupon 222 does not belong to transaction " + tx}));
  // Values quoted from the request cannot break the reply apart.
  EXPECT_EQ(Reverse(prog, "2-2", tx).size(), 3u);

  VoucherTotals(true);  // day close of the meal-voucher circuit
  EXPECT_EQ(Reverse(prog, "111", tx),
            std::vector<std::string>({"KO", "27", "Transaction " + tx + " belongs to a closed day"}));
  EXPECT_EQ(Commit(prog, "111", tx).at(1), "27");
}

TEST_F(SimulatorTerminalTest, CardTotalsAccumulatePerKindAndClearAtDayClose) {
  Pay(1000);   // Visa
  Pay(1100);   // Mastercard
  Pay(1400);   // PagoBANCOMAT
  PayWallet(2, 550);
  PayHealth(2000);
  PayVouchers(1600);  // the other circuit

  const std::string before = CardTotals(false);
  tCardTotals totals = ParseCardTotals(before);
  ASSERT_EQ(totals.fRecords.size(), 4u);
  EXPECT_EQ(totals.fRecords[0].fKind, "PAGOBANCOMAT");
  EXPECT_EQ(totals.fRecords[0].fCents, 1400);
  EXPECT_EQ(totals.fRecords[1].fKind, "CARTE DI CREDITO");
  EXPECT_EQ(totals.fRecords[1].fCents, 2100);
  EXPECT_EQ(totals.fRecords[2].fKind, "WALLET");
  EXPECT_EQ(totals.fRecords[2].fCents, 550);
  EXPECT_EQ(totals.fRecords[3].fKind, "CELIACHIA SSN");
  EXPECT_EQ(totals.fRecords[3].fCents, 2000);
  for (const auto& r : totals.fRecords) EXPECT_EQ(r.fTerminal, "12345678");
  EXPECT_EQ(totals.fRecords[1].fReceipt,
            "TOTALI HOST\r\nTERMINALE 12345678 LOTTO 0001\r\nCARTE DI CREDITO\r\nOPERAZIONI 2\r\nTOTALE EUR 21,00");
  EXPECT_EQ(Split(before, ';').at(2 + 6), "2") << "count of the credit-card record";

  // Reading totals changes nothing; the day close reports the same and clears.
  EXPECT_EQ(CardTotals(false), before);
  const tCardTotals closed = ParseCardTotals(CardTotals(true));
  EXPECT_EQ(closed.Cents(), 1400 + 2100 + 550 + 2000);
  EXPECT_EQ(closed.fRecords[0].fReceipt.substr(0, 20), "CHIUSURA CONTABILE\r\n");

  const tCardTotals after = ParseCardTotals(CardTotals(false));
  ASSERT_EQ(after.fRecords.size(), 1u) << "an empty day still reports one record";
  EXPECT_EQ(after.fRecords[0].fCents, 0);
  EXPECT_EQ(after.fRecords[0].fTerminal, "12345678");
  EXPECT_NE(after.fRecords[0].fReceipt.find("LOTTO 0002"), std::string::npos) << "a new batch after the close";

  // The meal-voucher circuit kept its day.
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), 1600);
}

TEST_F(SimulatorTerminalTest, VoucherTotalsClearAtTheirOwnDayCloseOnly) {
  PayVouchers(1400);
  PayVouchers(1329);
  Pay(1000);
  const std::string totals = VoucherTotals(false);
  EXPECT_EQ(totals, "OK;4;2729;TOTALI BUONI PASTO\r\nTERMINALE 12345678 LOTTO 0001\r\nBUONI 4\r\nTOTALE EUR 27,29");
  EXPECT_EQ(VoucherTotals(false), totals);

  const std::vector<std::string> closed = Split(VoucherTotals(true), ';');
  EXPECT_EQ(closed.at(2), "2729");
  EXPECT_EQ(closed.at(3).substr(0, 22), "CHIUSURA BUONI PASTO\r\n");
  EXPECT_EQ(Split(VoucherTotals(false), ';').at(2), "0");
  EXPECT_EQ(ParseCardTotals(CardTotals(false)).Cents(), 1000) << "the card circuit kept its day";
}

// The day-close calls of the meal-voucher circuit receive the card circuit's reply; it
// must not leak into what they answer.
TEST_F(SimulatorTerminalTest, VoucherTotalsIgnoreTheIncomingReply) {
  PayVouchers(700);
  const std::string incoming = CardTotals(false);
  const std::string answer = VoucherTotals(false, incoming);
  EXPECT_EQ(answer, VoucherTotals(false));
  EXPECT_EQ(answer.find("TOTALI HOST"), std::string::npos);
}

TEST_F(SimulatorTerminalTest, InstancesShareOneTerminal) {
  tViroziSimulator other;
  std::string reply;
  other.Pagamento(0, 500, 0, reply);
  Pay(700);
  EXPECT_EQ(ParseCardTotals(CardTotals(false)).Cents(), 1200);
  other.RiallineamentoDBP(reply);
  EXPECT_EQ(Ticket(true, 1).at(0), "OK") << "the realignment through the other instance counts here";
}

TEST_F(SimulatorTerminalTest, ConcurrentCallsKeepTotalsExact) {
  constexpr int kThreads = 4;
  constexpr int kCalls = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([] {
      tViroziSimulator sim;
      for (int i = 0; i < kCalls; ++i) {
        std::string a, b;
        sim.Pagamento(0, 1000, 0, a);
        sim.PaymentBPE(800, a, b);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(ParseCardTotals(CardTotals(false)).Cents(), kThreads * kCalls * 1000);
  EXPECT_EQ(VoucherCents(VoucherTotals(false)), kThreads * kCalls * 800);
  // Every payment got its own operation number.
  static_assert(2 * kThreads * kCalls + 1 == 401);
  EXPECT_NE(Pay(1000)[5].find("OPER. 000401"), std::string::npos);
}

}  // namespace
