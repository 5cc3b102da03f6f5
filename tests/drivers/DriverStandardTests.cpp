// Card, wallet and health-service payments, and the operations the driver does not serve,
// over a scripted component.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/DateTime.h"
#include "drivers/DriverFake.h"
#include "payment/PaymentDrivers.h"
#include "platform/Automation.h"
#include "platform/Host.h"
#include "sim/ViroziFactory.h"

namespace drivertest {
namespace {

using N = tkPaymentNetwork;
using Calls = std::vector<tkFakeCall>;
using Lines = std::vector<std::string>;

Currency Amount(const char* aText) { return *Currency::Parse(aText); }
const std::string kMasked(16, '*');

// The fields every payment channel writes the same way.
void ExpectCommonPaymentFields(const _int_PAY_result& r, const char* aCurrency, TDateTime aBefore) {
  EXPECT_EQ(r.PaymentCurrency, aCurrency);
  EXPECT_EQ(r.MaskedPAN, kMasked);
  EXPECT_EQ(r.TransactionType, ptt_Other);
  EXPECT_GE(r.PaymentDateTime, aBefore);
  EXPECT_FALSE(r.LogFileName.empty());
  EXPECT_EQ(r.ExchangeRate, Currency());
  EXPECT_EQ(r.PaymentAmountCurrency, Currency());
  EXPECT_EQ(r.TippedAmount, Currency());
  EXPECT_EQ(r.PaymentCurrencyCurrency, "");
  EXPECT_EQ(r.CustomerCountryCode, "");
  EXPECT_EQ(r.CashierReceiptText, "");
}

// ---- card payments (Pagamento) -------------------------------------------------------

using CardPayment = DriverTest;

TEST_F(CardPayment, RepliesFillTheResult) {
  const struct {
    const char* reply;
    const char* deviceId;
    const char* amount;
    bool error;
    const char* errorText;
    N network;
    bool signature;
    const char* receipt;
  } cases[] = {
      {"T1;1234;OK;;2;Receipt text;3", "T1", "12.34", false, "", N::Visa, true, "Receipt text"},
      {"T1;1234;OK;Approvato;3;R;1", "T1", "12.34", false, "Approvato", N::Mastercard, false, "R"},
      {"T1;1234;ok;;2;R;3", "T1", "12.34", true, "Pagamento concluso con errore", N::Visa, true, "R"},
      {"T1;1234;KO;;4;;", "T1", "12.34", true, "Pagamento concluso con errore", N::Maestro, false, ""},
      {"T1;1234;KO;Carta rifiutata;6;;", "T1", "12.34", true, "Carta rifiutata", N::Amex, false, ""},
      {"T2;500;OK;;02;R;33", "T2", "5", false, "", N::Other, false, "R"},
      {"T3;700;OK", "T3", "7", false, "", N::Other, false, ""},
      {"T4;-100;OK;;9;;", "T4", "-1", false, "", N::NHS, false, ""},
  };
  for (const auto& c : cases) {
    fTerminal.Reply("Pagamento", c.reply);
    const TDateTime before = Now();
    const _int_PAY_result r = Pay("<Amount>12.34</Amount><Currency>EUR</Currency>");
    EXPECT_EQ(r.DeviceId, c.deviceId) << c.reply;
    EXPECT_EQ(r.PaymentAmount, Amount(c.amount)) << c.reply;
    EXPECT_EQ(r.Error, c.error) << c.reply;
    EXPECT_EQ(r.ErrorText, c.errorText) << c.reply;
    EXPECT_EQ(r.PaymentNetwork, c.network) << c.reply;
    EXPECT_EQ(r.SignatureRequested, c.signature) << c.reply;
    EXPECT_EQ(r.ReceiptText, c.receipt) << c.reply;
    EXPECT_EQ(r.PaymentNumber, "");
    EXPECT_EQ(r.SerialNumber, "");
    EXPECT_EQ(r.RemainingBalance, Currency());
    EXPECT_EQ(r.NumberOfItems, 0);
    ExpectCommonPaymentFields(r, "EUR", before);
  }
}

TEST_F(CardPayment, SendsTruncatedCentsAndLogsTheCall) {
  fTerminal.Reply("Pagamento", "T1;1234;OK;;2;Grazie;3");
  Pay("<Amount>12.3456</Amount>");
  fTerminal.Reply("Pagamento", "T1;0;KO;;;;", 0);
  Pay("<Amount>0.009</Amount>");
  EXPECT_EQ(fTerminal.fCalls, (Calls{{"Pagamento", {"0", "1234", "0", ""}}, {"Pagamento", {"0", "0", "0", ""}}}));
  EXPECT_EQ(CloseAndReadDriverLog(), (Lines{
                                         "fVirPay.Pagamento:0,1234,0,",
                                         "fVirPay.Pagamento:Response:T1;1234;OK;;2;Grazie;3",
                                         "fVirPay.Pagamento:0,0,0,",
                                         "ERROR - fVirPay.Pagamento:Response:T1;0;KO;;;;",
                                     }));
}

TEST_F(CardPayment, FailedCallReportsTheCallFailureWithoutReadingTheReply) {
  for (int32_t result : {0, 2, -1}) {
    fTerminal.Reply("Pagamento", "T9;abc;OK;fine;2;R;3", result);
    const _int_PAY_result r = Pay("<Amount>1</Amount>");
    EXPECT_TRUE(r.Error);
    EXPECT_EQ(r.ErrorText, "Internal error in calling \"fVirPay.Pagamento\"");
    EXPECT_EQ(r.DeviceId, "");
    EXPECT_EQ(r.PaymentAmount, Currency());
    EXPECT_EQ(r.PaymentNetwork, N::Other);
    EXPECT_FALSE(r.SignatureRequested);
    EXPECT_EQ(r.ReceiptText, "");
  }
}

TEST_F(CardPayment, AmountThatIsNotWholeFailsTheRequest) {
  for (const char* amount : {"12.34", "", "1 2"}) {
    fTerminal.Reply("Pagamento", std::string("T1;") + amount + ";OK;;2;R;3");
    EXPECT_EQ(PayError("<Amount>1</Amount>"), "'" + std::string(amount) + "' is not a valid integer value");
  }
}

TEST_F(CardPayment, ComponentFailureLeavesTheDriverAfterTheRequestLine) {
  fTerminal.Raise("Pagamento", "Terminal not connected");
  EXPECT_EQ(PayError("<Amount>1</Amount>"), "Terminal not connected");
  EXPECT_EQ(CloseAndReadDriverLog(), (Lines{"fVirPay.Pagamento:0,100,0,"}));
}

TEST_F(CardPayment, AmountBeyondTheComponentsRangeCallsNothing) {
  EXPECT_EQ(PayError("<Amount>30000000</Amount>"), "Amount out of range");
  EXPECT_TRUE(fTerminal.fCalls.empty());
}

// ---- wallets (PagamentoADV) ----------------------------------------------------------

using WalletPayment = DriverTest;

TEST_F(WalletPayment, AttributeSelectsTheWalletWhateverItsCase) {
  const struct {
    const char* attribute;
    const char* type;
    N network;
  } cases[] = {
      {"jiffy", "1", N::Jiffy},         {"SATISPAY", "2", N::Satispay},
      {"Bitcoin", "3", N::Bitcoin},     {"SATISPAY_QRCODE", "4", N::Satispay},
      {"conad_mobile_wallet", "5", N::Other}, {"tinaba", "6", N::Tinaba},
  };
  for (const auto& c : cases) {
    fTerminal.fCalls.clear();
    fTerminal.Reply("PagamentoADV", "OK-ok-P1-1234-R");
    const _int_PAY_result r = Pay("<Amount>12.3456</Amount><Attributes>" + std::string(c.attribute) + "</Attributes>");
    EXPECT_EQ(fTerminal.fCalls, (Calls{{"PagamentoADV", {c.type, "1234", "", "", "", ""}}})) << c.attribute;
    EXPECT_TRUE(fTerminal.fSpareTextsAliased) << c.attribute;
    EXPECT_EQ(r.PaymentNetwork, c.network) << c.attribute;
  }
}

TEST_F(WalletPayment, UnknownAttributeFailsBeforeAnythingIsLoggedOrCalled) {
  for (const char* attribute : {"paypal", "PayPal", "jiffy ", "satispay-qrcode"}) {
    EXPECT_EQ(PayError("<Amount>1</Amount><Attributes>" + std::string(attribute) + "</Attributes>"),
              "Invalid Attribute [" + std::string(attribute) + "]");
  }
  EXPECT_TRUE(fTerminal.fCalls.empty());
  EXPECT_EQ(CloseAndReadDriverLog(), Lines{});
}

TEST_F(WalletPayment, RepliesFillTheResult) {
  const struct {
    const char* reply;
    bool error;
    const char* errorText;
    const char* number;
    const char* amount;
    const char* receipt;
  } cases[] = {
      {"OK-Pagato-P1-1234-Ricevuta-x", false, "Pagato", "P1", "12.34", "Ricevuta"},
      {"OK--P1-1234-Ricevuta", false, "", "P1", "12.34", "Ricevuta"},
      // KO: nothing after the message is read, not even an amount that is no number.
      {"KO-Rifiutato-P1-abc-Ricevuta", true, "Rifiutato", "", "0", ""},
      {"KO--P1-1234-Ricevuta", true, "", "", "0", ""},
      // OX: an error whose data comes in the second layout.
      {"OX-In attesa-P2-100-200-Ricevuta OX", true, "In attesa", "P2", "2", "Ricevuta OX"},
      {"OX--P2-100-200-Ricevuta OX", true, "Ricevuta OX", "P2", "2", "Ricevuta OX"},
      // Any other status is an error; an empty message takes the receipt text.
      {"ok--P3-700-Ricevuta", true, "Ricevuta", "P3", "7", "Ricevuta"},
      {"XX-Errore-P3-700-Ricevuta", true, "Errore", "P3", "7", "Ricevuta"},
  };
  for (const auto& c : cases) {
    fTerminal.Reply("PagamentoADV", c.reply);
    const TDateTime before = Now();
    const _int_PAY_result r = Pay("<Amount>12.34</Amount><Currency>EUR</Currency><Attributes>jiffy</Attributes>");
    EXPECT_EQ(r.Error, c.error) << c.reply;
    EXPECT_EQ(r.ErrorText, c.errorText) << c.reply;
    EXPECT_EQ(r.PaymentNumber, c.number) << c.reply;
    EXPECT_EQ(r.PaymentAmount, Amount(c.amount)) << c.reply;
    EXPECT_EQ(r.ReceiptText, c.receipt) << c.reply;
    EXPECT_EQ(r.DeviceId, "") << c.reply;
    EXPECT_EQ(r.PaymentNetwork, N::Jiffy) << c.reply;
    EXPECT_FALSE(r.SignatureRequested);
    ExpectCommonPaymentFields(r, "EUR", before);
  }
}

TEST_F(WalletPayment, AmountsThatAreNotWholeFailTheRequest) {
  const struct {
    const char* reply;
    const char* text;
  } cases[] = {
      {"OK-m-P1-12.34-R", "12.34"},
      {"XX-m-P1-x-R", "x"},
      {"OX-m-P2-abc-200-R", "abc"},  // the first reading needs field 4 too
      {"OX-m-P2-100-2.5-R", "2.5"},
  };
  for (const auto& c : cases) {
    fTerminal.Reply("PagamentoADV", c.reply);
    EXPECT_EQ(PayError("<Amount>1</Amount><Attributes>jiffy</Attributes>"),
              "'" + std::string(c.text) + "' is not a valid integer value")
        << c.reply;
  }
}

TEST_F(WalletPayment, FailedCallAppendsTheReplyToTheMessage) {
  fTerminal.Reply("PagamentoADV", "OK-fine-P1-100-R", 0);
  const _int_PAY_result r = Pay("<Amount>1</Amount><Attributes>tinaba</Attributes>");
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Internal error in calling \"fVirPay.PagamentoADV\":OK-fine-P1-100-R");
  EXPECT_EQ(r.PaymentNumber, "");
  EXPECT_EQ(r.PaymentAmount, Currency());
  EXPECT_EQ(r.PaymentNetwork, N::Tinaba);
  EXPECT_EQ(CloseAndReadDriverLog(), (Lines{
                                         "fVirPay.PagamentoADV:6,100,,,,",
                                         "ERROR - fVirPay.PagamentoADV:Response:OK-fine-P1-100-R",
                                     }));
}

// ---- health service (PaymentCeliachia) -----------------------------------------------

using HealthPayment = DriverTest;

TEST_F(HealthPayment, ReplyFillsTheResult) {
  fTerminal.Reply("PaymentCeliachia", "OK;D1;Autorizzato;4000;SER1;TR1;AUTH1;PN1;Ricevuta");
  const TDateTime before = Now();
  const _int_PAY_result r = Pay("<Amount>10.00</Amount><Currency>EUR</Currency><PaymentChannel>NHS</PaymentChannel>");
  EXPECT_FALSE(r.Error);
  EXPECT_EQ(r.ErrorText, "Autorizzato [D1]");
  EXPECT_EQ(r.PaymentAmount, Amount("10"));
  EXPECT_EQ(r.RemainingBalance, Amount("40"));
  EXPECT_EQ(r.SerialNumber, "SER1");
  EXPECT_EQ(r.TraceAuditId, "TR1");
  EXPECT_EQ(r.AuthCode, "AUTH1");
  EXPECT_EQ(r.PaymentNumber, "PN1");
  EXPECT_EQ(r.ReceiptText, "Ricevuta");
  EXPECT_EQ(r.PaymentNetwork, N::NHS);
  EXPECT_EQ(r.DeviceId, "");
  ExpectCommonPaymentFields(r, "EUR", before);
  EXPECT_EQ(fTerminal.fCalls, (Calls{{"PaymentCeliachia", {"1000", "", "", "", "", ""}}}));
  EXPECT_EQ(CloseAndReadDriverLog(),
            (Lines{"fVirPay.PaymentCeliachia:1000,,,,,",
                   // A serial too short to show its ends is hidden whole.
                   "fVirPay.PaymentCeliachia:Response:OK;D1;Autorizzato;4000;****;TR1;AUTH1;PN1;Ricevuta"}));
}

TEST_F(HealthPayment, RefusalsAndFailedCalls) {
  const struct {
    const char* reply;
    int32_t result;
    const char* errorText;
    const char* balance;
  } cases[] = {
      // The balance is read leniently: no number counts as 0.
      {"KO;D2;Plafond insufficiente;12.34;;;;;", 1, "Plafond insufficiente [D2]", "0"},
      {"ok;D3;;500", 1, " [D3]", "5"},
      {"OK;D1;Autorizzato;4000", 0, "Internal error in calling \"fVirPay.PaymentCeliachia\" []", "0"},
  };
  for (const auto& c : cases) {
    fTerminal.Reply("PaymentCeliachia", c.reply, c.result);
    const _int_PAY_result r = Pay("<Amount>12.3456</Amount><PaymentChannel>NHS</PaymentChannel>");
    EXPECT_TRUE(r.Error) << c.reply;
    EXPECT_EQ(r.ErrorText, c.errorText) << c.reply;
    EXPECT_EQ(r.RemainingBalance, Amount(c.balance)) << c.reply;
    EXPECT_EQ(r.PaymentAmount, Amount("12.34")) << c.reply;  // the amount sent
    EXPECT_EQ(r.PaymentNetwork, N::NHS);
  }
}

// ---- what the driver does not serve --------------------------------------------------

using UnservedOperations = DriverTest;

// A refund or void that answered success would let the POS record money going back that
// never reached the customer.
TEST_F(UnservedOperations, RefundAndVoidAreRefusedAndSendNothing) {
  for (const char* action : {"REFUND", "VOID"}) {
    for (const char* channel : {"STD", "MVP", "NHS"}) {
      const _int_PAY_result r = Pay("<Amount>5</Amount><Currency>EUR</Currency><Action>" + std::string(action) +
                                    "</Action><PaymentChannel>" + channel + "</PaymentChannel>");
      EXPECT_TRUE(r.Error) << action << " " << channel;
      EXPECT_EQ(r.ErrorText, "Not supported");
      EXPECT_EQ(r.PaymentAmount, Currency());
      EXPECT_FALSE(r.LogFileName.empty());
    }
  }
  EXPECT_TRUE(fTerminal.fCalls.empty());
  const std::vector<std::string> log = CloseAndReadDriverLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "ERROR - DoRefund:Not supported"), 3);
  EXPECT_EQ(std::count(log.begin(), log.end(), "ERROR - DoVoid:Not supported"), 3);
}

TEST_F(UnservedOperations, ReprintAndVerifyTranReportThemselvesUnsupported) {
  const _int_REPRINT_result reprint = fDevice->Pub_Reprint(*Handler("<Reprint/>", dt_PayReprint));
  EXPECT_TRUE(reprint.Error);
  EXPECT_EQ(reprint.ErrorText, "Not supported");
  EXPECT_EQ(reprint.ReceiptText, "");
  const _int_PAY_result verify = fDevice->Pub_VerifyTran(*Handler("<VerifyTran/>", dt_VerifyTran));
  EXPECT_TRUE(verify.Error);
  EXPECT_EQ(verify.ErrorText, "unsupported");
  EXPECT_TRUE(fTerminal.fCalls.empty());
}

// ---- registration and the driver's own component -------------------------------------

TEST(DriverRegistration, KeyCreatesAVIROZIDeviceWithItsComponent) {
  // Without COM the simulator stands in for the component, as in the native library.
  if (!platform::AutomationUsesCom()) SetViroziComponentFactory(&CreateViroziSimulator);
  kPaymentDriverRegistry registry;
  RegisterDriver_VIROZI(registry);
  const kPaymentClass* driver = registry.Find("VELO_VIROZI_10");
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(registry.Find("velo_viroz_10"), nullptr);
  kPaymentHandler handler;
  handler.Deserialize(
      "<Request><Driver>VELO_VIROZI_10</Driver><LogId>registration</LogId>"
      "<Connection><Type>COM</Type></Connection></Request>",
      {dt_Open});
  std::unique_ptr<kPaymentDevice> device = driver->Create(handler);
  auto* virozi = dynamic_cast<kPayment_VIROZI*>(device.get());
  ASSERT_NE(virozi, nullptr);
  EXPECT_EQ(virozi->Counter(), 0);
  EXPECT_EQ(virozi->CouponList().Count(), 0u);
  const std::string log = device->IOHandler().GetLogFileName();
  device.reset();
  std::error_code error;
  std::filesystem::remove(std::filesystem::path(log), error);
}

}  // namespace
}  // namespace drivertest
