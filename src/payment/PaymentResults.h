#pragma once
// Result records: what a driver and the device's template operations fill for each
// operation, and how the wrappers render them for the POS.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Currency.h"
#include "core/DateTime.h"
#include "payment/PaymentDefs.h"

// PAY and VERIFYTRAN.
struct _int_PAY_result {
  std::string DeviceId;
  TDateTime PaymentDateTime = 0;
  std::string PaymentNumber;
  Currency PaymentAmount;
  std::string PaymentCurrency;
  std::string MaskedPAN;
  std::string SerialNumber;
  tkPaymentTransactionType TransactionType{};
  tkPaymentNetwork PaymentNetwork{};
  std::string AuthCode;
  std::string TraceAuditId;
  Currency ExchangeRate;
  Currency PaymentAmountCurrency;
  std::string PaymentCurrencyCurrency;
  Currency TippedAmount;
  Currency RemainingBalance;
  int32_t InstalmentCount = 0;
  int32_t NumberOfItems = 0;
  Currency SingleItemAmount;
  bool SignatureRequested = false;
  std::string CustomerCountryCode;
  std::string CardToken;
  std::string RefundReference;
  std::string ReceiptText;
  std::string CashierReceiptText;
  std::string RawResponse;  // kept, never rendered
  std::string DigitalSignature;
  std::string DigitalSignatureInput;
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;

  static std::string DecodeNetwork(tkPaymentNetwork aPN) { return ::DecodeNetwork(aPN); }
  static tkPaymentNetwork EncodeNetwork(std::string_view aPN) { return ::EncodeNetwork(aPN); }
  static std::string DecodeTransactionType(tkPaymentTransactionType aTT) {
    return ::DecodeTransactionType(aTT);
  }
};

struct _int_REPRINT_result {
  std::string ReceiptText;
  std::string CashierReceiptText;
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

struct _int_GETSTATUS_result {
  bool DayOpened = false;
  TDateTime DateTime = 0;
  bool PaperEnd = false;
  bool PaperNearEnd = false;
  bool CoverOpen = false;
  bool FiscalReceiptOpen = false;
  bool ReceiptOpen = false;
  bool TrainingMode = false;
  std::string FirmwareVersion;
  std::string SerialNumber;
  std::string FiscalMode;
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

struct _int_OPEN_result {
  int32_t Handle = 0;
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

struct _int_CLOSE_result {
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

struct _int_DAYCLOSE_result {
  std::string DeviceId;
  TDateTime ClosureDateTime = 0;
  std::string ClosureNumber;
  int32_t TransactionsCount = 0;
  ::Currency TotalAmount;
  std::string Currency;
  std::string ReceiptText;
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

struct _int_GETTOTALS_result {
  std::string DeviceId;
  TDateTime DateTime = 0;
  int32_t TransactionsCount = 0;
  ::Currency TotalAmount;
  std::string Currency;
  std::string ReceiptText;
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

// What a failed operation reports: every field at its zero value except Error, and for
// payments the "other" network and entry mode.
template <class TResult>
TResult ResetResultOf() {
  TResult result;
  result.Error = true;
  return result;
}
template <>
_int_PAY_result ResetResultOf<_int_PAY_result>();

// "&", "<", ">", '"' and "'" as entities, the ampersand first so that the inserted
// entities stay as they are while entities already in the text are escaped again.
std::string EscapeXml(std::string_view aText);

// Value renderings of the response fragments.
std::string RenderBoolean(bool aValue);            // "True" / "False"
std::string RenderAmount(Currency aValue);         // shortest plain decimal
std::string RenderInteger(int32_t aValue);         // plain decimal
std::string RenderCount(int32_t aValue);           // an integer written as an amount
std::string RenderDateTime(TDateTime aValue);      // yyyy-mm-ddThh:nn:ss, seconds cut off

// The response fragments: one element per rendered field, in the fixed order of each
// operation, joined by CR LF, without a root element.
std::string FormatFragment(const _int_PAY_result& aResult);
std::string FormatFragment(const _int_REPRINT_result& aResult);
std::string FormatFragment(const _int_GETSTATUS_result& aResult);
std::string FormatFragment(const _int_OPEN_result& aResult);
std::string FormatFragment(const _int_CLOSE_result& aResult);
std::string FormatFragment(const _int_DAYCLOSE_result& aResult);
std::string FormatFragment(const _int_GETTOTALS_result& aResult);
