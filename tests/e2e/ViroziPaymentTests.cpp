// Card, wallet, health-service and one-step meal-voucher payments through the exports,
// against the terminal simulator.
#include <string>
#include <vector>

#include "e2e/ViroziFixture.h"

namespace virozi_e2e {
namespace {

using Lines = std::vector<std::string>;

TEST_F(ViroziExports, DriverIsRegisteredAtLoad) {
  const tkAnswer version = fLibrary->Call("VERSION", kDriver);
  EXPECT_FALSE(version.OutputNull);
  EXPECT_EQ(version.Output.rfind("Version ", 0), 0u) << version.Output;
  const int32_t handle = Open();
  EXPECT_GT(handle, 0);
  // Opening calls nothing on the component.
  EXPECT_EQ(Journal(), Lines{});
}

TEST_F(ViroziExports, CardPaymentSendsCentsAndAnswersFromTheReply) {
  const int32_t handle = Open();
  const tkAnswer answer = Pay(handle, "<Amount>12.3456</Amount><Currency>EUR</Currency>");
  ASSERT_EQ(answer.Result, 0) << answer.Error;
  EXPECT_TRUE(answer.ErrorNull);
  EXPECT_EQ(Journal(), Lines{"Pagamento\t0\t1234\t0\t"});
  // 12 euros: the simulated terminal reads a Maestro card with PIN.
  EXPECT_EQ(Element(answer.Output, "DeviceId"), kTerminalId);
  EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "12.34");
  EXPECT_EQ(Element(answer.Output, "PaymentCurrency"), "EUR");
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "maestro");
  EXPECT_EQ(Element(answer.Output, "TransactionType"), "OTHER");
  EXPECT_EQ(Element(answer.Output, "MaskedPAN"), "****************");
  EXPECT_EQ(Element(answer.Output, "SignatureRequested"), "False");
  EXPECT_EQ(Element(answer.Output, "Error"), "False");
  EXPECT_NE(Element(answer.Output, "LogFileName"), "");

  ASSERT_EQ(Close(handle).Result, 0);
  const Lines log = DriverLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "fVirPay.Pagamento:0,1234,0,");
  ASSERT_EQ(log[1].rfind("fVirPay.Pagamento:Response:", 0), 0u) << log[1];
  const std::vector<std::string> reply = Split(LoggedReply(log[1]), ';');
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[0], kTerminalId);
  EXPECT_EQ(reply[1], "1234");
  EXPECT_EQ(reply[2], "OK");
  EXPECT_EQ(Element(answer.Output, "ReceiptText"), reply[5]);
  EXPECT_NE(reply[5], "");
}

TEST_F(ViroziExports, CardNetworkAndSignatureFollowTheReply) {
  const int32_t handle = Open();
  const struct {
    const char* amount;
    const char* network;
    const char* signature;
  } cases[] = {
      {"10", "visa", "False"}, {"11", "mastercard", "False"}, {"13", "amex", "True"}, {"14", "bank", "False"},
  };
  for (const auto& c : cases) {
    const tkAnswer answer = Pay(handle, "<Amount>" + std::string(c.amount) + "</Amount>");
    EXPECT_EQ(answer.Result, 0) << c.amount;
    EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), c.network) << c.amount;
    EXPECT_EQ(Element(answer.Output, "SignatureRequested"), c.signature) << c.amount;
  }
}

TEST_F(ViroziExports, DeclinedCardPaymentReportsTheTerminalsMessage) {
  const int32_t handle = Open();
  const tkAnswer answer = Pay(handle, "<Amount>12.13</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "TRANSAZIONE NEGATA");
  EXPECT_EQ(Element(answer.Output, "Error"), "True");
  EXPECT_EQ(Element(answer.Output, "DeviceId"), kTerminalId);
  EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "12.13");
  Close(handle);
  const Lines log = DriverLog();
  ASSERT_EQ(log.size(), 2u);
  // The call went through: its reply is no error line, whatever its status.
  EXPECT_EQ(log[1].rfind("fVirPay.Pagamento:Response:12345678;1213;KO;TRANSAZIONE NEGATA;", 0), 0u) << log[1];
}

TEST_F(ViroziExports, ScriptedCardRepliesAndFailures) {
  Script({
      "Pagamento\t1\tT1;1234;OK;;2;Receipt <1> & more;3",
      "Pagamento\t1\tT1;1234;KO;;2;;",
      "Pagamento\t0\tLinea assente",
      "Pagamento\t1\tT1;12.5;OK;;2;;",
      "Pagamento\tHRESULT\tThe RPC server is unavailable",
  });
  const int32_t handle = Open();

  tkAnswer answer = Pay(handle, "<Amount>12.34</Amount>");
  EXPECT_EQ(answer.Result, 0);
  EXPECT_EQ(Element(answer.Output, "DeviceId"), "T1");
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "visa");
  EXPECT_EQ(Element(answer.Output, "SignatureRequested"), "True");
  EXPECT_EQ(Element(answer.Output, "ReceiptText"), "Receipt &lt;1&gt; &amp; more");

  answer = Pay(handle, "<Amount>12.34</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Pagamento concluso con errore");

  answer = Pay(handle, "<Amount>12.34</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Internal error in calling \"fVirPay.Pagamento\"");
  EXPECT_EQ(Element(answer.Output, "ErrorText"), "Internal error in calling &quot;fVirPay.Pagamento&quot;");
  EXPECT_EQ(Element(answer.Output, "DeviceId"), "");
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "other");

  // The request fails: the answer is the reset record with the message.
  answer = Pay(handle, "<Amount>12.34</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "'12.5' is not a valid integer value");
  EXPECT_EQ(Element(answer.Output, "PaymentDateTime"), "1899-12-30T00:00:00");
  EXPECT_EQ(Element(answer.Output, "LogFileName"), "");

  answer = Pay(handle, "<Amount>12.34</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "The RPC server is unavailable");
  EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "0");

  Close(handle);
  EXPECT_EQ(DriverLog(), (Lines{
                             "fVirPay.Pagamento:0,1234,0,",
                             "fVirPay.Pagamento:Response:T1;1234;OK;;2;Receipt <1> & more;3",
                             "fVirPay.Pagamento:0,1234,0,",
                             "fVirPay.Pagamento:Response:T1;1234;KO;;2;;",
                             "fVirPay.Pagamento:0,1234,0,",
                             "ERROR - fVirPay.Pagamento:Response:Linea assente",
                             "fVirPay.Pagamento:0,1234,0,",
                             "fVirPay.Pagamento:Response:T1;12.5;OK;;2;;",
                             "fVirPay.Pagamento:0,1234,0,",
                         }));
}

TEST_F(ViroziExports, WalletPayments) {
  const int32_t handle = Open();
  const tkAnswer first = Pay(handle, "<Amount>7.999</Amount><Attributes>SATISPAY_QRCODE</Attributes>");
  ASSERT_EQ(first.Result, 0) << first.Error;
  EXPECT_EQ(Element(first.Output, "PaymentNetwork"), "satispay");
  EXPECT_EQ(Element(first.Output, "PaymentAmount"), "7.99");
  EXPECT_EQ(Element(first.Output, "DeviceId"), "");

  tkAnswer answer = Pay(handle, "<Amount>5</Amount><Attributes>conad_mobile_wallet</Attributes>");
  EXPECT_EQ(answer.Result, 0) << answer.Error;
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "other");

  // Unknown wallet: nothing is logged or called.
  answer = Pay(handle, "<Amount>5</Amount><Attributes>paypal</Attributes>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Invalid Attribute [paypal]");

  EXPECT_EQ(Journal(), (Lines{"PagamentoADV\t4\t799\t\t\t\t", "PagamentoADV\t5\t500\t\t\t\t"}));
  Close(handle);
  const Lines log = DriverLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], "fVirPay.PagamentoADV:4,799,,,,");
  const std::vector<std::string> reply = Split(LoggedReply(log[1]), '-');
  ASSERT_GE(reply.size(), 5u) << log[1];
  EXPECT_EQ(reply[0], "OK");
  EXPECT_EQ(reply[3], "799");
  EXPECT_EQ(Element(first.Output, "PaymentNumber"), reply[2]);
  EXPECT_NE(reply[2], "");
  EXPECT_EQ(log[2], "fVirPay.PagamentoADV:5,500,,,,");
}

TEST_F(ViroziExports, WalletRepliesInBothLayouts) {
  Script({
      "PagamentoADV\t1\tOX-In attesa-P7-100-250-Ricevuta OX",
      "PagamentoADV\t1\tKO--P8-x-y",
      "PagamentoADV\t2\tTimeout",
  });
  const int32_t handle = Open();
  tkAnswer answer = Pay(handle, "<Amount>2.5</Amount><Attributes>jiffy</Attributes>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "In attesa");
  EXPECT_EQ(Element(answer.Output, "PaymentNumber"), "P7");
  EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "2.5");
  EXPECT_EQ(Element(answer.Output, "ReceiptText"), "Ricevuta OX");
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "jiffy");

  answer = Pay(handle, "<Amount>2.5</Amount><Attributes>bitcoin</Attributes>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_TRUE(answer.ErrorNull);  // no message and no receipt
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "bitcoin");

  answer = Pay(handle, "<Amount>2.5</Amount><Attributes>tinaba</Attributes>");
  EXPECT_EQ(answer.Error, "Internal error in calling \"fVirPay.PagamentoADV\":Timeout");
}

TEST_F(ViroziExports, HealthServicePayment) {
  const int32_t handle = Open();
  tkAnswer answer = Pay(handle, "<Amount>10.00</Amount><Currency>EUR</Currency><PaymentChannel>NHS</PaymentChannel>");
  ASSERT_EQ(answer.Result, 0) << answer.Error;
  EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "10");
  EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "NHS");
  EXPECT_EQ(Element(answer.Output, "RemainingBalance"), "130");

  // Above the allowance: refused with its detail code.
  answer = Pay(handle, "<Amount>150</Amount><PaymentChannel>NHS</PaymentChannel>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "PLAFOND INSUFFICIENTE [51]");
  EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "150");

  EXPECT_EQ(Journal(), (Lines{"PaymentCeliachia\t1000\t\t\t\t\t", "PaymentCeliachia\t15000\t\t\t\t\t"}));
  Close(handle);
  const Lines log = DriverLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], "fVirPay.PaymentCeliachia:1000,,,,,");
  // The answer's texts are the reply's fields.
  const std::vector<std::string> reply = Split(LoggedReply(log[1]), ';');
  ASSERT_EQ(reply.size(), 9u) << log[1];
  EXPECT_EQ(reply[0], "OK");
  EXPECT_EQ(log[2], "fVirPay.PaymentCeliachia:15000,,,,,");
}

TEST_F(ViroziExports, HealthServiceAnswerCarriesTheReplyFields) {
  const int32_t handle = Open();
  const tkAnswer answer = Pay(handle, "<Amount>20</Amount><PaymentChannel>NHS</PaymentChannel>");
  ASSERT_EQ(answer.Result, 0) << answer.Error;
  Close(handle);
  const Lines log = DriverLog();
  ASSERT_EQ(log.size(), 2u);
  const std::vector<std::string> reply = Split(LoggedReply(log[1]), ';');
  ASSERT_EQ(reply.size(), 9u) << log[1];
  // A success has a message too: it reaches the POS with result 0.
  EXPECT_EQ(answer.Error, reply[2] + " [" + reply[1] + "]");
  // The log hides the health-service card's serial but for its first six and last four
  // characters; the POS gets it whole.
  const std::string serial = Element(answer.Output, "SerialNumber");
  ASSERT_GT(serial.size(), 10u);
  EXPECT_EQ(reply[4], serial.substr(0, 6) + std::string(serial.size() - 10, '*') + serial.substr(serial.size() - 4));
  EXPECT_EQ(Element(answer.Output, "TraceAuditId"), reply[5]);
  EXPECT_EQ(Element(answer.Output, "AuthCode"), reply[6]);
  EXPECT_EQ(Element(answer.Output, "PaymentNumber"), reply[7]);
  EXPECT_EQ(Element(answer.Output, "ReceiptText"), reply[8]);
  EXPECT_EQ(Element(answer.Output, "DeviceId"), "");
}

TEST_F(ViroziExports, OneStepMealVoucherPayment) {
  const int32_t handle = Open();
  const struct {
    const char* amount;
    const char* items;
    const char* single;
    const char* paid;
  } cases[] = {
      {"15.87", "3", "5.29", "15.87"},   // three vouchers of one value
      {"16", "2", "8", "16"},
      {"13.29", "1", "13.29", "13.29"},  // two values: one item of the whole amount
  };
  for (const auto& c : cases) {
    const tkAnswer answer =
        Pay(handle, "<Amount>" + std::string(c.amount) + "</Amount><Currency>EUR</Currency><PaymentChannel>MVP</PaymentChannel>");
    ASSERT_EQ(answer.Result, 0) << answer.Error;
    EXPECT_EQ(Element(answer.Output, "NumberOfItems"), c.items) << c.amount;
    EXPECT_EQ(Element(answer.Output, "SingleItemAmount"), c.single) << c.amount;
    EXPECT_EQ(Element(answer.Output, "PaymentAmount"), c.paid) << c.amount;
    EXPECT_EQ(Element(answer.Output, "PaymentNetwork"), "edenred") << c.amount;
  }
  const tkAnswer refused = Pay(handle, "<Amount>3</Amount><PaymentChannel>MVP</PaymentChannel>");
  EXPECT_EQ(refused.Result, -1);
  EXPECT_EQ(refused.Error, "IMPORTO INFERIORE AL BUONO");
  EXPECT_EQ(Element(refused.Output, "PaymentAmount"), "0");
  EXPECT_EQ(Element(refused.Output, "NumberOfItems"), "0");
  EXPECT_EQ(Journal(), (Lines{"PaymentBPE\t1587\t\t", "PaymentBPE\t1600\t\t", "PaymentBPE\t1329\t\t",
                              "PaymentBPE\t300\t\t"}));
  Close(handle);
  EXPECT_EQ(DriverLog().front(), "fVirPay.PaymentBPE:1587,,");
}

// None of them reaches the terminal; a refund or void that answered success would have the
// POS record money going back that never moved.
TEST_F(ViroziExports, RefundVoidReprintAndVerifyCallNothing) {
  const int32_t handle = Open();
  for (const char* action : {"REFUND", "VOID"}) {
    const tkAnswer answer = Pay(handle, "<Amount>5</Amount><Action>" + std::string(action) + "</Action>");
    EXPECT_EQ(answer.Result, -1) << action;
    EXPECT_EQ(answer.Error, "Not supported") << action;
    EXPECT_EQ(Element(answer.Output, "Error"), "True") << action;
    EXPECT_EQ(Element(answer.Output, "PaymentAmount"), "0");
  }
  const tkAnswer reprint = Call("REPRINT", handle, "<Reprint/>");
  EXPECT_EQ(reprint.Result, -1);
  EXPECT_EQ(reprint.Error, "Not supported");
  const tkAnswer verify = Call("VERIFYTRAN", handle, "<VerifyTran/>");
  EXPECT_EQ(verify.Result, -1);
  EXPECT_EQ(verify.Error, "unsupported");
  EXPECT_EQ(Journal(), Lines{});
  Close(handle);
  EXPECT_EQ(DriverLog(), (Lines{"ERROR - DoRefund:Not supported", "ERROR - DoVoid:Not supported"}));
}

TEST_F(ViroziExports, ComponentThatCannotBeCreatedFailsTheOpen) {
  fCreateEnv.Set("fail");
  const tkAnswer failed = Call("OPEN", 0);
  EXPECT_EQ(failed.Result, -1);
  EXPECT_EQ(failed.Error, "Class not registered, ClassID: {6F14EC5C-B289-4B3D-8351-44F0899062F7}");
  EXPECT_EQ(Element(failed.Output, "Handle"), "0");
  // The same for a payment without a handle: its device is never registered.
  EXPECT_EQ(Pay(0, "<Amount>1</Amount>").Error, failed.Error);
  fCreateEnv.Set(std::nullopt);
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(Journal(), Lines{});
}

}  // namespace
}  // namespace virozi_e2e
