#include "drivers/Payment_VIROZI.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>

#include "core/DateTime.h"
#include "core/Errors.h"
#include "core/Text.h"
#include "core/Utils.h"
#include "payment/PaymentDrivers.h"
#include "io/IOHandler.h"
#include "payment/PaymentHandler.h"
#include "platform/Host.h"
#include "platform/Regional.h"

namespace {

constexpr char kMaskedPAN[] = "****************";
constexpr char kStatusOK[] = "OK";
constexpr char kCrLf[] = "\r\n";
constexpr size_t kDeviceCodeLength = 10;

constexpr char kPagamento[] = "fVirPay.Pagamento";
constexpr char kPagamentoADV[] = "fVirPay.PagamentoADV";
constexpr char kPaymentCeliachia[] = "fVirPay.PaymentCeliachia";
constexpr char kPaymentBPE[] = "fVirPay.PaymentBPE";
constexpr char kRiallineamentoDBP[] = "fVirPay.RiallineamentoDBP";
constexpr char kOpenTicketBC[] = "fVirPay.OpenTicketBC";
constexpr char kDematerializzazioneBP[] = "fVirPay.DematerializzazioneBP";
constexpr char kCommitTransactionDBP[] = "fVirPay.CommitTransactionDBP";
constexpr char kReverseTransactionDBP[] = "fVirPay.ReverseTransactionDBP";
constexpr char kCloseTicketBC[] = "fVirPay.CloseTicketBC";
constexpr char kChiusura[] = "fVirPay.Chiusura [STD]";
constexpr char kChiusuraBPE[] = "fVirPay.ChiusuraBPE [BPE]";
constexpr char kGetTotaliHost[] = "fVirPay.GetTotaliHost";
constexpr char kTotaliBPERequest[] = "fVirPay.TotaliBPE [>bPE]";
constexpr char kTotaliBPEResponse[] = "fVirPay.TotaliBPE [BPE]";

std::string CallFailure(std::string_view aCaption) {
  return "Internal error in calling \"" + std::string(aCaption) + "\"";
}

// The fields of a component reply; after a failed call every field is empty.
class tkReply {
 public:
  tkReply(const std::string& aText, char aSeparator, bool aWentThrough)
      : fText(aText), fSeparator(aSeparator), fWentThrough(aWentThrough) {}
  bool WentThrough() const { return fWentThrough; }
  std::string operator[](int32_t aIndex) const {
    return fWentThrough ? ExtractField(fText, aIndex, fSeparator, false) : std::string();
  }

 private:
  const std::string& fText;
  char fSeparator;
  bool fWentThrough;
};

// Optional leading blanks and sign, then decimal digits that fit 32 bits.
std::optional<int32_t> ParseWholeNumber(std::string_view aText) {
  size_t i = 0;
  while (i < aText.size() && aText[i] == ' ') ++i;
  bool negative = false;
  if (i < aText.size() && (aText[i] == '+' || aText[i] == '-')) negative = aText[i++] == '-';
  if (i == aText.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < aText.size(); ++i) {
    if (aText[i] < '0' || aText[i] > '9') return std::nullopt;
    value = value * 10 + (aText[i] - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

[[noreturn]] void RaiseAmountOutOfRange() { throw EMxError("Amount out of range"); }

Currency MultiplyAmount(Currency aAmount, int64_t aCount) {
  int64_t raw;
  if (__builtin_mul_overflow(aAmount.Raw(), aCount, &raw)) RaiseAmountOutOfRange();
  return Currency::FromRaw(raw);
}

Currency AddAmounts(Currency a, Currency b) {
  int64_t raw;
  if (__builtin_add_overflow(a.Raw(), b.Raw(), &raw)) RaiseAmountOutOfRange();
  return Currency::FromRaw(raw);
}

// The progressive number wraps instead of overflowing.
void Advance(int32_t& aCounter, uint32_t aBy = 1) {
  aCounter = static_cast<int32_t>(static_cast<uint32_t>(aCounter) + aBy);
}

// Key=value pairs, each followed by "-", and the two reserved pairs. A value holding the
// separator would shift the pairs the provider reads, so it is refused before anything is
// sent.
std::string KeyValueText(std::initializer_list<std::pair<std::string_view, std::string_view>> aPairs) {
  std::string text;
  for (const auto& [key, value] : aPairs) {
    if (value.find('-') != std::string_view::npos) {
      throw EMxError("Invalid " + std::string(key) + " value [" + std::string(value) + "]: '-' is not allowed");
    }
    text.append(key).append("=").append(value).append("-");
  }
  return text + "RFU_1=-RFU_2=-";
}

// The fields that every payment channel writes the same way; the channel sets the rest.
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

}  // namespace

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
    RaiseAmountOutOfRange();
  }
  return static_cast<int32_t>(cents);
}

int32_t kPayment_VIROZI::StrictInteger(std::string_view aText) {
  std::optional<int32_t> value = ParseWholeNumber(aText);
  if (!value) throw EMxError("'" + std::string(aText) + "' is not a valid integer value");
  return *value;
}

Currency kPayment_VIROZI::StrictCents(std::string_view aText) { return Currency::FromCents(StrictInteger(aText)); }

Currency kPayment_VIROZI::LenientCents(std::string_view aText) {
  return Currency::FromCents(ParseWholeNumber(aText).value_or(0));
}

Currency kPayment_VIROZI::MealVoucherAmount(std::string_view aText, std::string_view aDecimalSeparator) {
  std::string text(aText);
  if (!aDecimalSeparator.empty() && aDecimalSeparator != ".") {
    // Only the regional separator marks the decimals.
    if (text.find('.') != std::string::npos) return Currency();
    text = StringReplaceAll(text, aDecimalSeparator, ".");
  }
  const std::optional<Currency> cents = Currency::Parse(text);
  if (!cents) return Currency();
  int64_t raw = cents->Raw() / 100;
  const int64_t rest = cents->Raw() % 100;
  if (rest > 50 || (rest == 50 && raw % 2 != 0)) ++raw;
  if (rest < -50 || (rest == -50 && raw % 2 != 0)) --raw;
  return Currency::FromRaw(raw);
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

// ---- the call pattern ----------------------------------------------------------------

template <class TCall>
int32_t kPayment_VIROZI::CallVirPay(std::string_view aCaption, std::string_view aResponseCaption,
                                    std::string_view aRequest, const std::string& aReply, TCall&& aCall) {
  IOHandler().WriteLog(let_info, aCaption, aRequest);
  const int32_t result = aCall();
  IOHandler().WriteLog(result == 1 ? let_info : let_error, aResponseCaption, "Response:" + aReply);
  return result;
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

// Refunds and voids are accepted and leave the result as the template prepared it.
bool kPayment_VIROZI::DoRefund(const kPaymentReceipt&, _int_PAY_result&) { return false; }
bool kPayment_VIROZI::DoVoid(const kPaymentReceipt&, _int_PAY_result&) { return false; }

bool kPayment_VIROZI::DoReprint(const kPaymentReceipt&, _int_REPRINT_result& aResult) {
  aResult.ReceiptText.clear();
  aResult.Error = true;
  aResult.ErrorText = "Not supported";
  return false;
}

bool kPayment_VIROZI::DoVerifyTran(const kPaymentReceipt&, _int_PAY_result& aResult) {
  aResult.Error = true;
  aResult.ErrorText = "unsupported";
  return false;
}

// ---- standard channel ----------------------------------------------------------------

bool kPayment_VIROZI::STD_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const int32_t amount = AmountToCents(aReceipt.fAmount);
  std::string reply;
  const int32_t result = CallVirPay(kPagamento, kPagamento, "0," + std::to_string(amount) + ",0," + reply, reply,
                                    [&] { return fVirPay->Pagamento(0, amount, 0, reply); });
  const tkReply field(reply, ';', result == 1);

  StartPaymentResult(aReceipt, R);
  R.DeviceId = field[1];
  if (field.WentThrough()) R.PaymentAmount = StrictCents(field[2]);
  R.PaymentNetwork = GetNetworkFromCode(false, field[5]);
  R.ReceiptText = field[6];
  R.SignatureRequested = field[7] == "3";
  R.Error = field[3] != kStatusOK;
  R.ErrorText = field.WentThrough() ? field[4] : CallFailure(kPagamento);
  if (R.Error && R.ErrorText.empty()) R.ErrorText = "Pagamento concluso con errore";
  return !R.Error;
}

bool kPayment_VIROZI::STD_PaymentADV(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  static constexpr std::pair<std::string_view, int32_t> kWallets[] = {
      {"jiffy", 1}, {"satispay", 2}, {"bitcoin", 3}, {"satispay_qrcode", 4}, {"conad_mobile_wallet", 5}, {"tinaba", 6},
  };
  const std::string wallet = LowerCase(aReceipt.fAttributes);
  const auto found = std::find_if(std::begin(kWallets), std::end(kWallets),
                                  [&](const auto& w) { return w.first == wallet; });
  if (found == std::end(kWallets)) throw EMxError("Invalid Attribute [" + aReceipt.fAttributes + "]");
  const int32_t type = found->second;

  const int32_t amount = AmountToCents(aReceipt.fAmount);
  std::string spare;  // one variable for the three texts; what comes back is not used
  std::string reply;
  const std::string request =
      std::to_string(type) + "," + std::to_string(amount) + "," + spare + "," + spare + "," + spare + "," + reply;
  const int32_t result = CallVirPay(kPagamentoADV, kPagamentoADV, request, reply,
                                    [&] { return fVirPay->PagamentoADV(type, amount, spare, spare, spare, reply); });
  const tkReply field(reply, '-', result == 1);

  const std::string status = field[1];
  std::string message = field[2];
  std::string paymentNumber;
  Currency paid;
  std::string receipt;
  if (field.WentThrough()) {
    if (status != "KO") {
      paymentNumber = field[3];
      paid = StrictCents(field[4]);
      receipt = field[5];
    }
    // An "OX" reply has another layout; it goes through the reading above as well.
    if (status == "OX") {
      paymentNumber = field[3];
      paid = StrictCents(field[5]);
      receipt = field[6];
    }
  } else {
    message = CallFailure(kPagamentoADV) + ":" + reply;
  }

  StartPaymentResult(aReceipt, R);
  R.PaymentNumber = paymentNumber;
  R.PaymentAmount = paid;
  R.ReceiptText = receipt;
  switch (type) {
    case 1: R.PaymentNetwork = tkPaymentNetwork::Jiffy; break;
    case 2:
    case 4: R.PaymentNetwork = tkPaymentNetwork::Satispay; break;
    case 3: R.PaymentNetwork = tkPaymentNetwork::Bitcoin; break;
    case 6: R.PaymentNetwork = tkPaymentNetwork::Tinaba; break;
    default: R.PaymentNetwork = tkPaymentNetwork::Other; break;
  }
  R.Error = status != kStatusOK;
  R.ErrorText = (R.Error && message.empty()) ? receipt : message;
  return !R.Error;
}

// ---- national health service ---------------------------------------------------------

bool kPayment_VIROZI::NHS_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const int32_t amount = AmountToCents(aReceipt.fAmount);
  std::string s1, s2, s3, s4;  // what comes back in them is not used
  std::string reply;
  const std::string request =
      std::to_string(amount) + "," + s1 + "," + s2 + "," + s3 + "," + s4 + "," + reply;
  const int32_t result = CallVirPay(kPaymentCeliachia, kPaymentCeliachia, request, reply,
                                    [&] { return fVirPay->PaymentCeliachia(amount, s1, s2, s3, s4, reply); });
  const tkReply field(reply, ';', result == 1);

  StartPaymentResult(aReceipt, R);
  R.PaymentNumber = field[8];
  R.PaymentAmount = Currency::FromCents(amount);
  R.SerialNumber = field[5];
  R.PaymentNetwork = tkPaymentNetwork::NHS;
  R.AuthCode = field[7];
  R.TraceAuditId = field[6];
  R.RemainingBalance = LenientCents(field[4]);
  R.ReceiptText = field[9];
  R.Error = field[1] != kStatusOK;
  R.ErrorText = (field.WentThrough() ? field[3] : CallFailure(kPaymentCeliachia)) + " [" + field[2] + "]";
  return !R.Error;
}

// ---- meal vouchers in one step -------------------------------------------------------

bool kPayment_VIROZI::MVP_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const int32_t amount = AmountToCents(aReceipt.fAmount);
  std::string spare;  // what comes back in it is not used
  std::string reply;
  const int32_t result = CallVirPay(kPaymentBPE, kPaymentBPE, std::to_string(amount) + "," + spare + "," + reply,
                                    reply, [&] { return fVirPay->PaymentBPE(amount, spare, reply); });
  const tkReply field(reply, ';', result == 1);

  const std::string status = field[1];
  int64_t items = 0;
  Currency total;
  Currency unit;
  int32_t denominations = 0;
  if (status == kStatusOK) {
    // n|count1|value1|count2|value2...
    const std::string list = field[3];
    denominations = StrictInteger(ExtractField(list, 1, '|', false));
    for (int64_t k = 1; k <= denominations; ++k) {
      const int64_t countIndex = 2 * k;
      if (countIndex + 1 > std::numeric_limits<int32_t>::max()) RaiseAmountOutOfRange();
      const int32_t count = StrictInteger(ExtractField(list, static_cast<int32_t>(countIndex), '|', false));
      unit = MealVoucherAmount(ExtractField(list, static_cast<int32_t>(countIndex + 1), '|', false));
      items += count;
      if (items > std::numeric_limits<int32_t>::max() || items < std::numeric_limits<int32_t>::min()) {
        RaiseAmountOutOfRange();
      }
      total = AddAmounts(total, MultiplyAmount(unit, count));
    }
  }

  StartPaymentResult(aReceipt, R);
  R.PaymentAmount = total;
  R.PaymentNetwork = GetNetworkFromCode(true, field[4]);
  if (denominations > 1) {
    R.NumberOfItems = 1;
    R.SingleItemAmount = total;
  } else {
    R.NumberOfItems = static_cast<int32_t>(items);
    R.SingleItemAmount = unit;
  }
  R.ReceiptText = field[6];
  R.Error = status != kStatusOK;
  R.ErrorText = field.WentThrough() ? field[2] : CallFailure(kPaymentBPE);
  return !R.Error;
}

// ---- the coupon ticket ---------------------------------------------------------------

bool kPayment_VIROZI::MVP_Realign(_int_PAY_result& R) {
  std::string reply;
  const int32_t result = CallVirPay(kRiallineamentoDBP, kRiallineamentoDBP, reply, reply,
                                    [&] { return fVirPay->RiallineamentoDBP(reply); });
  if (result == 1) {
    const tkReply field(reply, '-', true);
    if (field[1] == kStatusOK) {
      R.Error = false;
      fCounter = 1;
    } else {
      R.Error = true;
      R.ErrorText = field[3];
    }
  } else {
    R.Error = true;
    R.ErrorText = reply;
  }
  return result == 1;
}

bool kPayment_VIROZI::MVP_Begin(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const bool realigned = MVP_Realign(R);
  // A new ticket starts empty; coupons of an earlier one are dropped unreversed.
  fCouponList.Clear();
  if (realigned) {
    const int32_t progressive = fCounter;
    std::string reference = aReceipt.fReference;
    std::string deviceCode = DeviceCode(aReceipt.fStoreCode, aReceipt.fTillCode);
    std::string reply;
    const std::string request = std::to_string(progressive) + "," + reference + "," + deviceCode + "," + reply;
    const int32_t result = CallVirPay(kOpenTicketBC, kOpenTicketBC, request, reply, [&] {
      return fVirPay->OpenTicketBC(progressive, reference, deviceCode, reply);
    });
    const tkReply field(reply, '-', result == 1);
    R.Error = field[1] != kStatusOK;
    R.ErrorText = field.WentThrough() ? field[3] : CallFailure(kOpenTicketBC);
  }
  if (!R.Error) Advance(fCounter);
  return !R.Error;
}

bool kPayment_VIROZI::MVP_Do(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const std::string deviceCode = DeviceCode(aReceipt.fStoreCode, aReceipt.fTillCode);
  const std::string progressive = std::to_string(fCounter);
  std::string request = KeyValueText({{"COUP_CODE", aReceipt.fAttributes},
                                      {"PROG", progressive},
                                      {"CASSA", aReceipt.fMerchantCode},
                                      {"COD_DEV", deviceCode},
                                      {"COD_SCON", aReceipt.fReference}});
  std::string reply;
  const int32_t result = CallVirPay(kDematerializzazioneBP, kDematerializzazioneBP, request + "," + reply, reply,
                                    [&] { return fVirPay->DematerializzazioneBP(request, reply); });
  const tkReply field(reply, '-', result == 1);

  const std::string status = field[1];
  std::string message = field[3];
  if (!field.WentThrough()) message = reply.empty() ? CallFailure(kDematerializzazioneBP) : reply;
  std::string couponCode = field[4];
  if (couponCode.empty()) couponCode = aReceipt.fAttributes;
  const Currency faceValue = MealVoucherAmount(field[5]);
  const std::string transactionId = field[7];

  StartPaymentResult(aReceipt, R);
  R.PaymentNumber = transactionId;
  R.PaymentAmount = faceValue;
  R.SerialNumber = couponCode;
  R.PaymentNetwork = GetNetworkFromCode(true, field[9]);
  R.NumberOfItems = 1;
  R.SingleItemAmount = faceValue;
  R.Error = status != kStatusOK;
  R.ErrorText = message;

  if (!R.Error) {
    Advance(fCounter);
    auto coupon = std::make_unique<kPayment_VIROZI_Coupon>();
    coupon->fCode = couponCode;
    coupon->fTransactionId = transactionId;
    coupon->fRequireCommit = field[8] == "1";
    coupon->fPaymentNetwork = R.PaymentNetwork;
    fCouponList.Add(std::move(coupon));
  }
  return !R.Error;
}

bool kPayment_VIROZI::MVP_CommitCoupon(const kPaymentReceipt& aReceipt, _int_PAY_result& R, const std::string& aCode,
                                       const std::string& aTransactionId) {
  const std::string progressive = std::to_string(fCounter);
  std::string request = KeyValueText({{"PROG", progressive},
                                      {"CASSA", aReceipt.fMerchantCode},
                                      {"COUP_CODE", aCode},
                                      {"TRAN_ID", aTransactionId}});
  std::string reply;
  const int32_t result = CallVirPay(kCommitTransactionDBP, kCommitTransactionDBP, request + "," + reply, reply,
                                    [&] { return fVirPay->CommitTransactionDBP(request, reply); });
  const tkReply field(reply, '-', result == 1);
  R.Error = field[1] != kStatusOK;
  R.ErrorText = field.WentThrough() ? field[3] : CallFailure(kCommitTransactionDBP);
  if (!R.Error) Advance(fCounter);
  return !R.Error;
}

bool kPayment_VIROZI::MVP_CloseTicket(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const int32_t progressive = fCounter;
  std::string reference = aReceipt.fReference;
  std::string deviceCode = DeviceCode(aReceipt.fStoreCode, aReceipt.fTillCode);
  std::string reply;
  const std::string request = std::to_string(progressive) + "," + reference + "," + deviceCode + "," + reply;
  const int32_t result = CallVirPay(kCloseTicketBC, kCloseTicketBC, request, reply, [&] {
    return fVirPay->CloseTicketBC(progressive, reference, deviceCode, reply);
  });
  const tkReply field(reply, '-', result == 1);
  // The provider counts a close twice: once for the reply, once for the closed ticket.
  if (field[1] == kStatusOK) Advance(fCounter);
  R.Error = field[1] != kStatusOK;
  R.ErrorText = field.WentThrough() ? field[3] : CallFailure(kCloseTicketBC);
  if (!R.Error) {
    fCouponList.Clear();
    Advance(fCounter);
  }
  return !R.Error;
}

bool kPayment_VIROZI::MVP_Commit(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  bool ok = true;
  for (size_t i = 0; i < fCouponList.Count(); ++i) {
    const kPayment_VIROZI_Coupon& coupon = fCouponList.Item(i);
    if (coupon.fRequireCommit) {
      // After the first failure the remaining commits are skipped.
      if (ok) ok = MVP_CommitCoupon(aReceipt, R, coupon.fCode, coupon.fTransactionId);
    } else {
      IOHandler().WriteLog(let_info, "MVP_Commit", "No commit required for coupon [" + coupon.fCode + "]");
    }
  }
  // The close reports into the result; the coupons stay unless it succeeds.
  if (ok) MVP_CloseTicket(aReceipt, R);
  return ok;
}

bool kPayment_VIROZI::MVP_ReverseCoupon(const kPaymentReceipt& aReceipt, _int_PAY_result& R, const std::string& aCode,
                                        const std::string& aTransactionId) {
  const std::string deviceCode = DeviceCode(aReceipt.fStoreCode, aReceipt.fTillCode);
  const std::string progressive = std::to_string(fCounter);
  std::string request = KeyValueText({{"COUP_CODE", aCode},
                                      {"PROG", progressive},
                                      {"CASSA", aReceipt.fMerchantCode},
                                      {"COD_DEV", deviceCode},
                                      {"TRAN_ID", aTransactionId},
                                      {"COD_SCON", aReceipt.fReference}});
  std::string reply;
  const int32_t result = CallVirPay(kReverseTransactionDBP, kReverseTransactionDBP, request + "," + reply, reply,
                                    [&] { return fVirPay->ReverseTransactionDBP(request, reply); });
  const tkReply field(reply, '-', result == 1);
  if (const kPayment_VIROZI_Coupon* coupon = fCouponList.GetCoupon(aCode)) R.PaymentNetwork = coupon->fPaymentNetwork;
  R.SerialNumber = aCode;
  R.PaymentAmount = MealVoucherAmount(field[5]);
  R.PaymentCurrency = aReceipt.fCurrency;
  R.MaskedPAN = kMaskedPAN;
  R.Error = field[1] != kStatusOK;
  R.ErrorText = field.WentThrough() ? field[3] : CallFailure(kReverseTransactionDBP);
  if (!R.Error) Advance(fCounter);
  return !R.Error;
}

bool kPayment_VIROZI::MVP_Rollback(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  if (!aReceipt.fAttributes.empty()) {
    kPayment_VIROZI_Coupon* coupon = fCouponList.GetCoupon(aReceipt.fAttributes);
    if (coupon == nullptr) {
      R.Error = true;
      R.ErrorText = "Coupon " + aReceipt.fAttributes + " not found";
      return false;
    }
    // Copies: the reversal must not depend on the coupon staying where it is.
    const std::string code = coupon->fCode;
    const std::string transactionId = coupon->fTransactionId;
    const bool ok = MVP_ReverseCoupon(aReceipt, R, code, transactionId);
    if (ok) fCouponList.Remove(coupon);
    return ok;
  }

  bool ok = true;
  for (size_t i = 0; ok && i < fCouponList.Count(); ++i) {
    const kPayment_VIROZI_Coupon& coupon = fCouponList.Item(i);
    ok = MVP_ReverseCoupon(aReceipt, R, coupon.fCode, coupon.fTransactionId);
  }
  if (ok) {
    MVP_CloseTicket(aReceipt, R);
    // Every coupon was reversed, so none is left whatever the close said.
    fCouponList.Clear();
  }
  return ok;
}

// ---- day close and totals ------------------------------------------------------------

template <class TResult>
void kPayment_VIROZI::CloseOrTotals(bool aDayClose, TResult& R) {
  R.DeviceId.clear();
  R.TransactionsCount = 0;
  R.TotalAmount = ::Currency();
  R.Currency = "EUR";
  R.ReceiptText.clear();
  R.Error = false;
  R.ErrorText.clear();

  // Card circuit: n records of six fields after the count.
  std::string reply;
  const char* caption = aDayClose ? kChiusura : kGetTotaliHost;
  int32_t result = CallVirPay(caption, caption, "0," + reply, reply, [&] {
    return aDayClose ? fVirPay->Chiusura(0, reply) : fVirPay->GetTotaliHost(0, reply);
  });
  const bool cardWentThrough = result == 1;
  if (cardWentThrough) {
    const int32_t records = ParseWholeNumber(ExtractField(reply, 1, ';', false)).value_or(0);
    for (int64_t k = 0; k < records; ++k) {
      const int64_t first = 2 + 6 * k;
      // A count beyond what any reply can hold: its first missing amount fails below.
      if (first + 5 > std::numeric_limits<int32_t>::max()) RaiseAmountOutOfRange();
      R.DeviceId = ExtractField(reply, static_cast<int32_t>(first), ';', false);
      R.TotalAmount = AddAmounts(R.TotalAmount, StrictCents(ExtractField(reply, static_cast<int32_t>(first + 2), ';', false)));
      R.ReceiptText += kCrLf + ExtractField(reply, static_cast<int32_t>(first + 5), ';', false);
    }
  }

  // Meal-voucher circuit; the card circuit's reply goes in.
  const char* requestCaption = aDayClose ? kChiusuraBPE : kTotaliBPERequest;
  const char* responseCaption = aDayClose ? kChiusuraBPE : kTotaliBPEResponse;
  result = CallVirPay(requestCaption, responseCaption, reply, reply, [&] {
    return aDayClose ? fVirPay->ChiusuraBPE(reply) : fVirPay->TotaliBPE(reply);
  });
  if (result == 1) {
    R.TotalAmount = AddAmounts(R.TotalAmount, StrictCents(ExtractField(reply, 3, ';', false)));
    R.ReceiptText += kCrLf + ExtractField(reply, 4, ';', false);
  } else if (!cardWentThrough) {
    // Neither circuit answered: a zero total would pass for a closed, empty day.
    R.Error = true;
    R.ErrorText = CallFailure(caption);
  }
}

bool kPayment_VIROZI::DoDayClose(const kPaymentDayClose&, _int_DAYCLOSE_result& aResult) {
  aResult.ClosureDateTime = Now();
  aResult.ClosureNumber = "0";
  CloseOrTotals(true, aResult);
  return !aResult.Error;
}

bool kPayment_VIROZI::DoGetTotals(const kPaymentTotals&, _int_GETTOTALS_result& aResult) {
  aResult.DateTime = Now();
  CloseOrTotals(false, aResult);
  return !aResult.Error;
}
