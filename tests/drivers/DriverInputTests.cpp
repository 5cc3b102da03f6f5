// What the driver does with hostile amounts and with card data in component replies.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "drivers/DriverFake.h"

namespace drivertest {
namespace {

using Lines = std::vector<std::string>;

using PaymentInput = DriverTest;

// A negative amount never reaches the component, whatever the channel; zero does.
TEST_F(PaymentInput, NegativeAmountIsRefusedBeforeAnyCall) {
  const struct {
    const char* amount;
    const char* channel;
    const char* attributes;
  } cases[] = {
      {"-0.01", "STD", ""},        {"-12.34", "STD", "satispay"}, {"-10", "NHS", ""},
      {"-5", "MVP", ""},           {"-0.001", "STD", ""},  // below zero although it is 0 cents
      {"-21474836.49", "STD", ""},
  };
  for (const auto& c : cases) {
    const std::string body = std::string("<Amount>") + c.amount + "</Amount><PaymentChannel>" + c.channel +
                             "</PaymentChannel><Attributes>" + c.attributes + "</Attributes>";
    EXPECT_EQ(PayError(body), std::string("Amount ") + c.amount + " refused: a payment amount cannot be negative")
        << c.amount << " " << c.channel;
  }
  EXPECT_TRUE(fTerminal.fCalls.empty());

  fTerminal.Reply("Pagamento", "T1;0;OK;;2;;");
  EXPECT_FALSE(Pay("<Amount>0</Amount>").Error);
  EXPECT_EQ(fTerminal.Methods(), (std::vector<std::string>{"Pagamento"}));
}

// The log shows card numbers and the health-service card's serial masked; the POS gets the
// provider's text as it came.
TEST_F(PaymentInput, CardDataIsMaskedInTheLogOnly) {
  fTerminal.Reply("Pagamento", "T1;1000;OK;;2;CARTA 4539578763621486\r\nOK;1");
  const _int_PAY_result card = Pay("<Amount>10.00</Amount>");
  EXPECT_EQ(card.ReceiptText, "CARTA 4539578763621486\r\nOK");

  fTerminal.Reply("PaymentCeliachia", "OK;D1;Autorizzato;4000;80380001234567890123;TR1;AUTH1;PN1;TS 80380001234567890123");
  const _int_PAY_result health = Pay("<Amount>10.00</Amount><PaymentChannel>NHS</PaymentChannel>");
  EXPECT_EQ(health.SerialNumber, "80380001234567890123");
  EXPECT_EQ(health.ReceiptText, "TS 80380001234567890123");

  fTerminal.Reply("PaymentCeliachia", "OK;D1;Autorizzato;4000;SER1;TR1;AUTH1;PN1;SER1");
  EXPECT_EQ(Pay("<Amount>10.00</Amount><PaymentChannel>NHS</PaymentChannel>").SerialNumber, "SER1");

  EXPECT_EQ(CloseAndReadDriverLog(),
            (Lines{
                "fVirPay.Pagamento:0,1000,0,",
                "fVirPay.Pagamento:Response:T1;1000;OK;;2;CARTA 453957******1486\\r\\nOK;1",
                "fVirPay.PaymentCeliachia:1000,,,,,",
                "fVirPay.PaymentCeliachia:Response:OK;D1;Autorizzato;4000;803800**********0123;TR1;AUTH1;PN1;"
                "TS 803800**********0123",
                "fVirPay.PaymentCeliachia:1000,,,,,",
                // A short serial is hidden whole, and only in its own field.
                "fVirPay.PaymentCeliachia:Response:OK;D1;Autorizzato;4000;****;TR1;AUTH1;PN1;SER1",
            }));
}

// HexLog dumps the text as bytes, where the writer could no longer find a card number: the
// dump is of the masked text.
TEST_F(PaymentInput, HexDumpShowsTheMaskedNumber) {
  fDevice->IOHandler().SetHexLog(true);
  fTerminal.Reply("Pagamento", "T1;100;OK;;2;4539578763621486;1");
  Pay("<Amount>1</Amount>");
  const std::string shown = "Response:T1;100;OK;;2;453957******1486;1";
  std::string hex;
  for (const char c : shown) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(c));
    hex += (hex.empty() ? "" : " ") + std::string(byte);
  }
  const Lines log = CloseAndReadDriverLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "fVirPay.Pagamento:" + shown + " [" + hex + "]");
}

}  // namespace
}  // namespace drivertest
