#include "drivers/Payment_VIROZI.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Text.h"
#include "drivers/ViroziCall.h"
#include "payment/PaymentDrivers.h"
#include "platform/Host.h"
#include "platform/Regional.h"

namespace {

constexpr size_t kDeviceCodeLength = 10;

}  // namespace

namespace virozi {

void StartPaymentResult(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  R.DeviceId.clear();
  R.PaymentDateTime = Now();
  R.PaymentNumber.clear();
  R.PaymentAmount = Currency();
  R.PaymentCurrency = aReceipt.fCurrency;
  R.MaskedPAN = kMaskedPAN;
  R.SerialNumber.clear();
  R.TransactionType = ptt_Other;
  R.AuthCode.clear();
  R.TraceAuditId.clear();
  R.ExchangeRate = Currency();
  R.PaymentAmountCurrency = Currency();
  R.PaymentCurrencyCurrency.clear();
  R.TippedAmount = Currency();
  R.RemainingBalance = Currency();
  R.NumberOfItems = 0;
  R.SingleItemAmount = Currency();
  R.SignatureRequested = false;
  R.CustomerCountryCode.clear();
  R.ReceiptText.clear();
  R.CashierReceiptText.clear();
}

}  // namespace virozi

// ---- coupons -------------------------------------------------------------------------

kPayment_VIROZI_Coupon& kPayment_VIROZI_CouponList::Add(std::unique_ptr<kPayment_VIROZI_Coupon> aCoupon) {
  if (!aCoupon) throw EMxError("Coupon missing");
  fItems.push_back(std::move(aCoupon));
  return *fItems.back();
}

kPayment_VIROZI_Coupon* kPayment_VIROZI_CouponList::GetCoupon(std::string_view aCouponCode) const {
  for (const auto& coupon : fItems) {
    if (coupon->fCode == aCouponCode) return coupon.get();
  }
  return nullptr;
}

bool kPayment_VIROZI_CouponList::Remove(const kPayment_VIROZI_Coupon* aCoupon) {
  auto it = std::find_if(fItems.begin(), fItems.end(), [aCoupon](const auto& c) { return c.get() == aCoupon; });
  if (it == fItems.end()) return false;
  fItems.erase(it);
  return true;
}

// ---- construction --------------------------------------------------------------------

kPayment_VIROZI::kPayment_VIROZI(const kPaymentHandler& aHandler) : kPaymentDevice(aHandler) {
  fVirPay = CreateViroziComponent();
}

kPayment_VIROZI::kPayment_VIROZI(const kPaymentHandler& aHandler, std::unique_ptr<Ivirpay> aVirPay)
    : kPaymentDevice(aHandler), fVirPay(std::move(aVirPay)) {
  if (!fVirPay) throw EMxError("Interface not supported");
}

kPayment_VIROZI::~kPayment_VIROZI() {
  // The component goes first, then the ticket's coupons.
  fVirPay.reset();
  fCouponList.Clear();
}

void RegisterDriver_VIROZI(kPaymentDriverRegistry& aRegistry) {
  aRegistry.Add(kViroziDriverKey, kPaymentClass::Of<kPayment_VIROZI>("kPayment_VIROZI"));
}

// ---- amounts and codes ---------------------------------------------------------------

int32_t kPayment_VIROZI::AmountToCents(Currency aAmount) {
  const int64_t cents = aAmount.TruncCents();
  if (cents < std::numeric_limits<int32_t>::min() || cents > std::numeric_limits<int32_t>::max()) {
    virozi::RaiseAmountOutOfRange();
  }
  return static_cast<int32_t>(cents);
}

int32_t kPayment_VIROZI::PaymentCents(Currency aAmount) {
  if (aAmount < Currency()) {
    throw EMxError("Amount " + aAmount.ToString() + " refused: a payment amount cannot be negative");
  }
  return AmountToCents(aAmount);
}

int32_t kPayment_VIROZI::StrictInteger(std::string_view aText) {
  std::optional<int32_t> value = ParseInt32(aText);
  if (!value) throw EMxError("'" + std::string(aText) + "' is not a valid integer value");
  return *value;
}

Currency kPayment_VIROZI::StrictCents(std::string_view aText) { return Currency::FromCents(StrictInteger(aText)); }

Currency kPayment_VIROZI::LenientCents(std::string_view aText) {
  return Currency::FromCents(ParseInt32(aText).value_or(0));
}

Currency kPayment_VIROZI::MealVoucherAmount(std::string_view aText, std::string_view aDecimalSeparator) {
  std::string text(aText);
  if (!aDecimalSeparator.empty() && aDecimalSeparator != ".") {
    // Only the regional separator marks the decimals.
    if (text.find('.') != std::string::npos) return Currency();
    text = StringReplaceAll(text, aDecimalSeparator, ".");
  }
  const std::optional<Currency> cents = Currency::Parse(text);
  return cents ? Currency::FromFractionalCents(*cents) : Currency();
}

Currency kPayment_VIROZI::MealVoucherAmount(std::string_view aText) {
  return MealVoucherAmount(aText, platform::RegionalDecimalSeparator());
}

std::string kPayment_VIROZI::DeviceCode(std::string_view aStoreCode, std::string_view aTillCode) {
  std::string code = std::string(aStoreCode) + std::string(aTillCode);
  const size_t length = CodePointCount(code);
  if (length < kDeviceCodeLength) code.append(kDeviceCodeLength - length, '0');
  return code;
}

tkPaymentNetwork kPayment_VIROZI::GetNetworkFromCode(bool aVoucher, std::string_view aCode) {
  const std::string key = aVoucher ? "MV" + std::string(aCode) : std::string(aCode);
  for (const TkPaymentsNetworkDecode& row : NetworkDecodeTable) {
    if (key == row.Code) return row.Network;
  }
  return tkPaymentNetwork::Other;
}

// ---- dispatch and the operations without a component call ----------------------------

bool kPayment_VIROZI::DoPay(const kPaymentReceipt& aReceipt, _int_PAY_result& aResult) {
  switch (aReceipt.fPaymentChannel) {
    case pc_Standard:
      return aReceipt.fAttributes.empty() ? STD_Payment(aReceipt, aResult) : STD_PaymentADV(aReceipt, aResult);
    case pc_MealVoucherProvider:
      switch (aReceipt.fPhase) {
        case tkPaymentPhase::None: return MVP_Payment(aReceipt, aResult);
        case tkPaymentPhase::Begin: return MVP_Begin(aReceipt, aResult);
        case tkPaymentPhase::Do: return MVP_Do(aReceipt, aResult);
        case tkPaymentPhase::Commit: return MVP_Commit(aReceipt, aResult);
        case tkPaymentPhase::Rollback: return MVP_Rollback(aReceipt, aResult);
      }
      return false;
    case pc_NationalHealthService:
      return NHS_Payment(aReceipt, aResult);
  }
  return false;
}

namespace {

// The component offers no refund or void: answering success would let the POS record money
// going back that never reached the customer, so both are refused and nothing is sent.
bool RefuseUnserved(kIOHandler& aLog, const char* aOperation, _int_PAY_result& aResult) {
  aResult.Error = true;
  aResult.ErrorText = virozi::kNotSupported;
  aLog.WriteLog(let_error, aOperation, aResult.ErrorText);
  return false;
}

}  // namespace

bool kPayment_VIROZI::DoRefund(const kPaymentReceipt&, _int_PAY_result& aResult) {
  return RefuseUnserved(IOHandler(), "DoRefund", aResult);
}
bool kPayment_VIROZI::DoVoid(const kPaymentReceipt&, _int_PAY_result& aResult) {
  return RefuseUnserved(IOHandler(), "DoVoid", aResult);
}

bool kPayment_VIROZI::DoReprint(const kPaymentReceipt&, _int_REPRINT_result& aResult) {
  aResult.ReceiptText.clear();
  aResult.Error = true;
  aResult.ErrorText = virozi::kNotSupported;
  return false;
}

bool kPayment_VIROZI::DoVerifyTran(const kPaymentReceipt&, _int_PAY_result& aResult) {
  aResult.Error = true;
  aResult.ErrorText = "unsupported";
  return false;
}

