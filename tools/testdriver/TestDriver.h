#pragma once
// A payment driver for tests. It answers from the request itself, so a test steers it
// through the payment part:
//   Attributes ""        success: DeviceId = Reference, amount and currency echoed,
//                        ReceiptText = the operation's name
//   Attributes "decline" Error true, ErrorText = Reference (nothing raised)
//   Attributes "raise"   raises Reference as the error's message
//   Attributes "ioerror" the I/O handler records "I/O failure in <operation>", while the
//                        driver says "driver text" in ErrorText
//   Attributes "leave"   sets nothing
//   Attributes "full"    fills every field of the payment record
//   Attributes "message" / "message-error"
//                        shows Reference to the user (ShowMessageOverWait), then succeeds
// DayClose and GetTotals raise when their Reference is "raise". A device parameter
// FailCreate makes the constructor fail after the base constructor has run.
#include "payment/PaymentDevice.h"

inline constexpr char kTestDriverKey[] = "VELO_TEST_DRIVER";
inline constexpr char kTestDeviceRefused[] = "Test device refused";

class kTestPaymentDevice : public kPaymentDevice {
 public:
  explicit kTestPaymentDevice(const kPaymentHandler& aHandler);

 protected:
  bool DoPay(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;
  bool DoRefund(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;
  bool DoVoid(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;
  bool DoReprint(const kPaymentReceipt& aReceipt, _int_REPRINT_result& aResult) override;
  bool DoDayClose(const kPaymentDayClose& aDayClose, _int_DAYCLOSE_result& aResult) override;
  bool DoGetTotals(const kPaymentTotals& aTotals, _int_GETTOTALS_result& aResult) override;
  bool DoVerifyTran(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) override;

 private:
  bool Payment(const char* aOperation, const kPaymentReceipt& aReceipt, _int_PAY_result& aResult);
};

// Adds kTestDriverKey to the driver registry.
void RegisterTestDriver();
