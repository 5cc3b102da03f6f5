// Electronic meal-voucher tickets through the exports: the phases over several PAY
// requests to one device, the progressive number the terminal checks, and the coupons.
#include <algorithm>
#include <string>
#include <vector>

#include "e2e/ViroziFixture.h"

namespace virozi_e2e {
namespace {

using Lines = std::vector<std::string>;

// Coupon codes of the simulated terminal: issuer, face value in cents, and a last digit
// that asks for a commit when it is odd.
constexpr char kEdenred529Commit[] = "1070529001";
constexpr char kBluTicket700[] = "2010700002";
constexpr char kSodexo800Commit[] = "1030800003";

class ViroziTicket : public ViroziExports {
 protected:
  tkAnswer Phase(int32_t aHandle, const char* aPhase, std::string_view aAttributes = {}) const {
    return Pay(aHandle, "<Currency>EUR</Currency><PaymentChannel>MVP</PaymentChannel><MerchantCode>01</MerchantCode>"
                        "<StoreCode>123</StoreCode><TillCode>45</TillCode><Reference>R77</Reference><Phase>" +
                            std::string(aPhase) + "</Phase><Attributes>" + std::string(aAttributes) + "</Attributes>");
  }
  // The journal line of a coupon call.
  static std::string Coupon(const char* aMethod, const std::string& aPairs) {
    return std::string(aMethod) + "\t" + aPairs + "RFU_1=-RFU_2=-\t";
  }
};

TEST_F(ViroziTicket, TicketWithTwoCouponsOneNeedingACommit) {
  const int32_t handle = Open();
  tkAnswer answer = Phase(handle, "BEGIN");
  ASSERT_EQ(answer.Result, 0) << answer.Error;

  const tkAnswer first = Phase(handle, "DO", kEdenred529Commit);
  ASSERT_EQ(first.Result, 0) << first.Error;
  EXPECT_EQ(Element(first.Output, "SerialNumber"), kEdenred529Commit);
  EXPECT_EQ(Element(first.Output, "PaymentAmount"), "5.29");
  EXPECT_EQ(Element(first.Output, "SingleItemAmount"), "5.29");
  EXPECT_EQ(Element(first.Output, "NumberOfItems"), "1");
  EXPECT_EQ(Element(first.Output, "PaymentNetwork"), "edenred");
  EXPECT_EQ(Element(first.Output, "PaymentCurrency"), "EUR");
  const std::string transaction = Element(first.Output, "PaymentNumber");
  EXPECT_EQ(transaction.rfind("TX", 0), 0u) << transaction;

  const tkAnswer second = Phase(handle, "DO", kBluTicket700);
  ASSERT_EQ(second.Result, 0) << second.Error;
  EXPECT_EQ(Element(second.Output, "PaymentNetwork"), "bluticket");
  EXPECT_EQ(Element(second.Output, "PaymentAmount"), "7");

  answer = Phase(handle, "COMMIT");
  EXPECT_EQ(answer.Result, 0) << answer.Error;

  // Realigned 1, opened with 1, coupons with 2 and 3, commit with 4, close with 5: the
  // terminal refuses any other number, so each call answered OK.
  EXPECT_EQ(Journal(), (Lines{
                           "RiallineamentoDBP\t",
                           "OpenTicketBC\t1\tR77\t1234500000\t",
                           Coupon("DematerializzazioneBP",
                                  "COUP_CODE=1070529001-PROG=2-CASSA=01-COD_DEV=1234500000-COD_SCON=R77-"),
                           Coupon("DematerializzazioneBP",
                                  "COUP_CODE=2010700002-PROG=3-CASSA=01-COD_DEV=1234500000-COD_SCON=R77-"),
                           Coupon("CommitTransactionDBP",
                                  "PROG=4-CASSA=01-COUP_CODE=1070529001-TRAN_ID=" + transaction + "-"),
                           "CloseTicketBC\t5\tR77\t1234500000\t",
                       }));

  // A new ticket after the close: the counter grew by 2 and is realigned again.
  ASSERT_EQ(Phase(handle, "BEGIN").Result, 0);
  EXPECT_EQ(Journal().back(), "OpenTicketBC\t1\tR77\t1234500000\t");

  Close(handle);
  const Lines log = DriverLog();
  ASSERT_GE(log.size(), 13u);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 4), (Lines{
                                                     "fVirPay.RiallineamentoDBP:",
                                                     "fVirPay.RiallineamentoDBP:Response:OK-00-RIALLINEAMENTO ESEGUITO",
                                                     "fVirPay.OpenTicketBC:1,R77,1234500000,",
                                                     "fVirPay.OpenTicketBC:Response:OK-00-",
                                                 }));
  EXPECT_EQ(log[4],
            "fVirPay.DematerializzazioneBP:COUP_CODE=1070529001-PROG=2-CASSA=01-COD_DEV=1234500000-COD_SCON=R77-"
            "RFU_1=-RFU_2=-,");
  EXPECT_EQ(log[8], "fVirPay.CommitTransactionDBP:PROG=4-CASSA=01-COUP_CODE=1070529001-TRAN_ID=" + transaction +
                        "-RFU_1=-RFU_2=-,");
  EXPECT_EQ(log[9], "fVirPay.CommitTransactionDBP:Response:OK-00-");
  EXPECT_EQ(log[10], "MVP_Commit:No commit required for coupon [2010700002]");
  EXPECT_EQ(log[11], "fVirPay.CloseTicketBC:5,R77,1234500000,");
  EXPECT_EQ(log[12], "fVirPay.CloseTicketBC:Response:OK-00-");
}

// The progressive number belongs to the device: a request without its handle gets a new
// device that starts from 0, which the terminal refuses.
TEST_F(ViroziTicket, CounterCarriesOverOnlyWithTheSameHandle) {
  const int32_t handle = Open();
  ASSERT_EQ(Phase(handle, "BEGIN").Result, 0);
  const tkAnswer stray = Phase(0, "DO", kBluTicket700);
  EXPECT_EQ(stray.Result, -1);
  EXPECT_EQ(stray.Error, "Wrong progressive number 0, expected 2");
  const tkAnswer same = Phase(handle, "DO", kBluTicket700);
  EXPECT_EQ(same.Result, 0) << same.Error;
  const Lines journal = Journal();
  ASSERT_EQ(journal.size(), 4u);
  EXPECT_NE(journal[2].find("-PROG=0-"), std::string::npos);
  EXPECT_NE(journal[3].find("-PROG=2-"), std::string::npos);
}

TEST_F(ViroziTicket, RollbackOfOneCouponAndOfTheRest) {
  const int32_t handle = Open();
  ASSERT_EQ(Phase(handle, "BEGIN").Result, 0);
  ASSERT_EQ(Phase(handle, "DO", kEdenred529Commit).Result, 0);
  ASSERT_EQ(Phase(handle, "DO", kBluTicket700).Result, 0);
  ASSERT_EQ(Phase(handle, "DO", kSodexo800Commit).Result, 0);

  tkAnswer answer = Phase(handle, "ROLLBACK", kBluTicket700);
  ASSERT_EQ(answer.Result, 0) << answer.Error;
  EXPECT_EQ(Element(answer.Output, "SerialNumber"), kBluTicket700);
  EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "7");
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "bluticket");

  // Reversed already: no longer in the ticket, and nothing is called.
  const size_t calls = Journal().size();
  answer = Phase(handle, "ROLLBACK", kBluTicket700);
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Coupon 2010700002 not found");
  EXPECT_EQ(Journal().size(), calls);

  answer = Phase(handle, "ROLLBACK");
  EXPECT_EQ(answer.Result, 0) << answer.Error;
  // The last reversal's coupon and the close's outcome.
  EXPECT_EQ(Element(answer.Output, "SerialNumber"), kSodexo800Commit);
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "sodexo");

  // The ticket is empty: a commit only closes, with the number the close left.
  answer = Phase(handle, "COMMIT");
  EXPECT_EQ(answer.Result, 0) << answer.Error;

  Lines methods = JournalMethods();
  EXPECT_EQ(methods, (Lines{"RiallineamentoDBP", "OpenTicketBC", "DematerializzazioneBP", "DematerializzazioneBP",
                            "DematerializzazioneBP", "ReverseTransactionDBP", "ReverseTransactionDBP",
                            "ReverseTransactionDBP", "CloseTicketBC", "CloseTicketBC"}));
  const Lines journal = Journal();
  EXPECT_NE(journal[5].find("COUP_CODE=2010700002-PROG=5-CASSA=01-COD_DEV=1234500000-TRAN_ID="), std::string::npos);
  EXPECT_NE(journal[6].find("COUP_CODE=1070529001-PROG=6-"), std::string::npos);
  EXPECT_NE(journal[7].find("COUP_CODE=1030800003-PROG=7-"), std::string::npos);
  EXPECT_EQ(journal[8], "CloseTicketBC\t8\tR77\t1234500000\t");
  EXPECT_EQ(journal[9], "CloseTicketBC\t10\tR77\t1234500000\t");
}

TEST_F(ViroziTicket, RefusedAndFailedSteps) {
  Script({
      "DematerializzazioneBP\t0\tServizio non disponibile",
      "CommitTransactionDBP\tHRESULT\tCatastrophic failure",
  });
  const int32_t handle = Open();
  ASSERT_EQ(Phase(handle, "BEGIN").Result, 0);

  tkAnswer answer = Phase(handle, "DO", kEdenred529Commit);
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Servizio non disponibile");
  EXPECT_EQ(Element(answer.Output, "SerialNumber"), kEdenred529Commit);

  // The terminal's own refusal: its message, and the counter stays.
  answer = Phase(handle, "DO", "AB_1");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Invalid coupon code AB_1");

  // A code that would break the request's pairs never reaches the terminal.
  answer = Phase(handle, "DO", "10-PROG=9");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Invalid COUP_CODE value [10-PROG=9]: '-' is not allowed");

  ASSERT_EQ(Phase(handle, "DO", kEdenred529Commit).Result, 0);
  // The component fails: the request reports it and the ticket stays as it was.
  answer = Phase(handle, "COMMIT");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Catastrophic failure");
  answer = Phase(handle, "COMMIT");
  EXPECT_EQ(answer.Result, 0) << answer.Error;

  const Lines journal = Journal();
  const Lines methods = JournalMethods();
  EXPECT_EQ(methods, (Lines{"RiallineamentoDBP", "OpenTicketBC", "DematerializzazioneBP", "DematerializzazioneBP",
                            "DematerializzazioneBP", "CommitTransactionDBP", "CommitTransactionDBP",
                            "CloseTicketBC"}));
  for (size_t i : {2u, 3u, 4u}) EXPECT_NE(journal[i].find("-PROG=2-"), std::string::npos) << journal[i];
  EXPECT_NE(journal[5].find("PROG=3-"), std::string::npos);
  EXPECT_NE(journal[6].find("PROG=3-"), std::string::npos);
  EXPECT_EQ(journal[7], "CloseTicketBC\t4\tR77\t1234500000\t");

  Close(handle);
  const Lines log = DriverLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "ERROR - fVirPay.DematerializzazioneBP:Response:Servizio non disponibile"),
            log.end());
}

TEST_F(ViroziTicket, BeginOpensTheTicketEvenWhenRealignmentIsRefused) {
  Script({
      "RiallineamentoDBP\t1\tKO-05-Non allineato",
      "OpenTicketBC\t1\tOK-00-Scontrino aperto",
  });
  const int32_t handle = Open();
  const tkAnswer answer = Phase(handle, "BEGIN");
  EXPECT_EQ(answer.Result, 0);
  EXPECT_EQ(answer.Error, "Scontrino aperto");
  EXPECT_EQ(Journal(), (Lines{"RiallineamentoDBP\t", "OpenTicketBC\t0\tR77\t1234500000\t"}));
}

// Coupons of an earlier ticket are dematerialised at the provider: a new ticket reverses
// them (and closes the old ticket) before it starts, so none is left unsettled.
TEST_F(ViroziTicket, SecondBeginReversesTheAcceptedCoupons) {
  const int32_t handle = Open();
  ASSERT_EQ(Phase(handle, "BEGIN").Result, 0);
  const tkAnswer coupon = Phase(handle, "DO", kEdenred529Commit);
  ASSERT_EQ(coupon.Result, 0) << coupon.Error;
  const std::string transaction = Element(coupon.Output, "PaymentNumber");

  const tkAnswer begin = Phase(handle, "BEGIN");
  EXPECT_EQ(begin.Result, 0) << begin.Error;
  EXPECT_EQ(Element(begin.Output, "SerialNumber"), "");
  const Lines journal = Journal();
  ASSERT_EQ(journal.size(), 7u);
  EXPECT_EQ(Lines(journal.begin() + 3, journal.end()),
            (Lines{
                Coupon("ReverseTransactionDBP", "COUP_CODE=1070529001-PROG=3-CASSA=01-COD_DEV=1234500000-TRAN_ID=" +
                                                    transaction + "-COD_SCON=R77-"),
                "CloseTicketBC\t4\tR77\t1234500000\t",
                "RiallineamentoDBP\t",
                "OpenTicketBC\t1\tR77\t1234500000\t",
            }));
  // The new ticket is empty: its commit only closes it.
  EXPECT_EQ(Phase(handle, "COMMIT").Result, 0);
  EXPECT_EQ(Journal().back(), "CloseTicketBC\t2\tR77\t1234500000\t");
  Close(handle);
  const Lines log = DriverLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "MVP_Begin:Reversing 1 coupon(s) of the open ticket"), log.end());
}

// A reversal the terminal refuses keeps the coupon and refuses the new ticket; the POS can
// then roll the old ticket back itself.
TEST_F(ViroziTicket, SecondBeginIsRefusedWhileACouponCannotBeReversed) {
  Script({"ReverseTransactionDBP\t1\tKO-12-Storno non consentito"});
  const int32_t handle = Open();
  ASSERT_EQ(Phase(handle, "BEGIN").Result, 0);
  ASSERT_EQ(Phase(handle, "DO", kBluTicket700).Result, 0);
  const tkAnswer begin = Phase(handle, "BEGIN");
  EXPECT_EQ(begin.Result, -1);
  EXPECT_EQ(begin.Error, "Storno non consentito");
  EXPECT_EQ(Element(begin.Output, "SerialNumber"), kBluTicket700);
  EXPECT_EQ(JournalMethods(), (Lines{"RiallineamentoDBP", "OpenTicketBC", "DematerializzazioneBP",
                                     "ReverseTransactionDBP"}));

  const tkAnswer rollback = Phase(handle, "ROLLBACK");
  EXPECT_EQ(rollback.Result, 0) << rollback.Error;
  EXPECT_EQ(JournalMethods().back(), "CloseTicketBC");
  EXPECT_EQ(Phase(handle, "BEGIN").Result, 0);
  EXPECT_EQ(JournalMethods().back(), "OpenTicketBC");
}

// A commit retried after a failed close must not commit the coupons again: the terminal
// would charge the vouchers twice (this one refuses a second commit of a transaction).
TEST_F(ViroziTicket, RetriedCommitOnlyClosesWhatIsAlreadyCommitted) {
  Script({"CloseTicketBC\t1\tKO-09-Chiusura non riuscita"});
  const int32_t handle = Open();
  ASSERT_EQ(Phase(handle, "BEGIN").Result, 0);
  ASSERT_EQ(Phase(handle, "DO", kEdenred529Commit).Result, 0);
  ASSERT_EQ(Phase(handle, "DO", kSodexo800Commit).Result, 0);

  const tkAnswer failed = Phase(handle, "COMMIT");
  EXPECT_EQ(failed.Result, -1);
  EXPECT_EQ(failed.Error, "Chiusura non riuscita");
  const tkAnswer retried = Phase(handle, "COMMIT");
  EXPECT_EQ(retried.Result, 0) << retried.Error;
  EXPECT_EQ(JournalMethods(), (Lines{"RiallineamentoDBP", "OpenTicketBC", "DematerializzazioneBP",
                                     "DematerializzazioneBP", "CommitTransactionDBP", "CommitTransactionDBP",
                                     "CloseTicketBC", "CloseTicketBC"}));
  EXPECT_EQ(Journal().back(), "CloseTicketBC\t6\tR77\t1234500000\t");

  Close(handle);
  const Lines log = DriverLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "MVP_Commit:Coupon [1070529001] already committed"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "MVP_Commit:Coupon [1030800003] already committed"), log.end());
}

}  // namespace
}  // namespace virozi_e2e
