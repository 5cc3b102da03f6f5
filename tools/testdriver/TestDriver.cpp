#include "testdriver/TestDriver.h"

#include "app/MessageHelpers.h"
#include "core/Errors.h"
#include "payment/PaymentDrivers.h"
#include "io/IOHandler.h"
#include "payment/PaymentHandler.h"

kTestPaymentDevice::kTestPaymentDevice(const kPaymentHandler& aHandler) : kPaymentDevice(aHandler) {
  if (aHandler.ParameterExists("FailCreate")) throw EMxError(kTestDeviceRefused);
}

bool kTestPaymentDevice::Payment(const char* aOperation, const kPaymentReceipt& aReceipt,
                                 _int_PAY_result& aResult) {
  IOHandler().WriteLog(let_info, std::string("TestDriver.") + aOperation, aReceipt.fReference);
  const std::string& mode = aReceipt.fAttributes;
  if (mode == "leave") return true;
  // A message for the user, then an ordinary success.
  if (mode == "message") ShowMessageOverWait(let_info, aReceipt.fReference);
  if (mode == "message-error") ShowMessageOverWait(let_error, aReceipt.fReference);
  if (mode == "raise") throw EMxError(aReceipt.fReference);
  if (mode == "decline") {
    aResult.Error = true;
    aResult.ErrorText = aReceipt.fReference;
    return false;
  }
  if (mode == "ioerror") {
    IOHandler().SetCustomError(7, std::string("I/O failure in ") + aOperation);
    aResult.ErrorText = "driver text";
    return false;
  }
  aResult.DeviceId = aReceipt.fReference;
  aResult.PaymentAmount = aReceipt.fAmount;
  aResult.PaymentCurrency = aReceipt.fCurrency;
  aResult.ReceiptText = aOperation;
  if (mode == "full") {
    aResult.PaymentNumber = "PN-1";
    aResult.MaskedPAN = "****1234";
    aResult.SerialNumber = "SN-9";
    aResult.TransactionType = ptt_Cless;
    aResult.PaymentNetwork = tkPaymentNetwork::Visa;
    aResult.AuthCode = "A1";
    aResult.TraceAuditId = "T2";
    aResult.ExchangeRate = Currency::FromRaw(12345);
    aResult.PaymentAmountCurrency = Currency::FromUnits(20);
    aResult.PaymentCurrencyCurrency = "USD";
    aResult.TippedAmount = Currency::FromRaw(5000);
    aResult.RemainingBalance = Currency::FromRaw(-5000);
    aResult.InstalmentCount = -3;
    aResult.NumberOfItems = 4;
    aResult.SingleItemAmount = Currency::FromRaw(1);
    aResult.SignatureRequested = true;
    aResult.CustomerCountryCode = "IT";
    aResult.CardToken = "TOK";
    aResult.RefundReference = "RR";
    aResult.CashierReceiptText = "cashier";
    aResult.RawResponse = "raw";
    aResult.DigitalSignature = "sig";
    aResult.DigitalSignatureInput = "sig-in";
  }
  return true;
}

bool kTestPaymentDevice::DoPay(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) {
  return Payment("DoPay", aReceipt, aResult);
}

bool kTestPaymentDevice::DoRefund(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) {
  return Payment("DoRefund", aReceipt, aResult);
}

bool kTestPaymentDevice::DoVoid(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) {
  return Payment("DoVoid", aReceipt, aResult);
}

bool kTestPaymentDevice::DoVerifyTran(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) {
  return Payment("DoVerifyTran", aReceipt, aResult);
}

bool kTestPaymentDevice::DoReprint(const kPaymentReceipt& aReceipt, _int_REPRINT_result& aResult) {
  if (aReceipt.fAttributes == "raise") throw EMxError(aReceipt.fReference);
  if (aReceipt.fAttributes == "ioerror") IOHandler().SetCustomError(7, "I/O failure in DoReprint");
  aResult.ReceiptText = "DoReprint";
  aResult.CashierReceiptText = aReceipt.fReference;
  return true;
}

bool kTestPaymentDevice::DoDayClose(const kPaymentDayClose& aDayClose, _int_DAYCLOSE_result& aResult) {
  IOHandler().WriteLog(let_info, "TestDriver.DoDayClose", aDayClose.fReference);
  if (aDayClose.fReference == "raise") throw EMxError("day close failed");
  aResult.DeviceId = aDayClose.fTillCode;
  aResult.ClosureNumber = aDayClose.fReference;
  aResult.TransactionsCount = 3;
  aResult.TotalAmount = Currency::FromRaw(12345000);
  aResult.Currency = "EUR";
  aResult.ReceiptText = "DoDayClose";
  return true;
}

bool kTestPaymentDevice::DoGetTotals(const kPaymentTotals& aTotals, _int_GETTOTALS_result& aResult) {
  IOHandler().WriteLog(let_info, "TestDriver.DoGetTotals", aTotals.fReference);
  if (aTotals.fReference == "raise") throw EMxError("totals failed");
  aResult.DeviceId = aTotals.fTillCode;
  aResult.TransactionsCount = -2;
  aResult.TotalAmount = Currency::FromRaw(-5000);
  aResult.Currency = "EUR";
  aResult.ReceiptText = "DoGetTotals";
  return true;
}

void RegisterTestDriver() {
  PaymentDrivers().Add(kTestDriverKey, kPaymentClass::Of<kTestPaymentDevice>("kTestPaymentDevice"));
}
