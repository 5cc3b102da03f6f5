// The meal-voucher channel: a one-step payment, and the ticket that collects electronic
// coupons (open, add, commit or reverse, close) under the device's progressive number.
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "core/Errors.h"
#include "drivers/Payment_VIROZI.h"
#include "drivers/ViroziCall.h"

using namespace virozi;

namespace {

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

using TicketMethod = int32_t (Ivirpay::*)(int32_t, std::string&, std::string&, std::string&);

// Opening and closing the ticket take the same arguments and answer in the same layout.
// True when the reply's status is OK.
bool CallTicket(kIOHandler& aLog, Ivirpay& aVirPay, const char* aCaption, TicketMethod aMethod, int32_t aProgressive,
                const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  std::string reference = aReceipt.fReference;
  std::string deviceCode = kPayment_VIROZI::DeviceCode(aReceipt.fStoreCode, aReceipt.fTillCode);
  std::string reply;
  const int32_t result = CallVirPay(aLog, aVirPay, aCaption, aMethod, aProgressive, reference, deviceCode, reply);
  const ReplyFields field(reply, '-', result == 1);
  ReadOutcome(field, TicketReply::Status, TicketReply::Message, aCaption, R);
  return field[TicketReply::Status] == kStatusOK;
}

}  // namespace

// ---- meal vouchers in one step -------------------------------------------------------

bool kPayment_VIROZI::MVP_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const int32_t amount = PaymentCents(aReceipt.fAmount);
  std::string spare;  // what comes back in it is not used
  std::string reply;
  const int32_t result = CallVirPay(IOHandler(), *fVirPay, kPaymentBPE, &Ivirpay::PaymentBPE, amount, spare, reply);
  const ReplyFields field(reply, ';', result == 1);

  const std::string status = field[VoucherReply::Status];
  int64_t items = 0;
  Currency total;
  Currency unit;
  int32_t denominations = 0;
  if (status == kStatusOK) {
    const std::string list = field[VoucherReply::Vouchers];
    denominations = StrictInteger(ExtractField(list, VoucherList::Denominations, '|', false));
    for (int64_t k = 1; k <= denominations; ++k) {
      if (VoucherList::FaceValueOf(k) > std::numeric_limits<int32_t>::max()) RaiseAmountOutOfRange();
      const int32_t count =
          StrictInteger(ExtractField(list, static_cast<int32_t>(VoucherList::CountOf(k)), '|', false));
      unit = MealVoucherAmount(ExtractField(list, static_cast<int32_t>(VoucherList::FaceValueOf(k)), '|', false));
      items += count;
      if (items > std::numeric_limits<int32_t>::max() || items < std::numeric_limits<int32_t>::min()) {
        RaiseAmountOutOfRange();
      }
      total += unit * count;
    }
  }

  StartPaymentResult(aReceipt, R);
  R.PaymentAmount = total;
  R.PaymentNetwork = GetNetworkFromCode(true, field[VoucherReply::Network]);
  if (denominations > 1) {
    R.NumberOfItems = 1;
    R.SingleItemAmount = total;
  } else {
    R.NumberOfItems = static_cast<int32_t>(items);
    R.SingleItemAmount = unit;
  }
  R.ReceiptText = field[VoucherReply::Receipt];
  R.Error = status != kStatusOK;
  R.ErrorText = field.WentThrough() ? field[VoucherReply::Message] : CallFailure(kPaymentBPE);
  return !R.Error;
}

// ---- the coupon ticket ---------------------------------------------------------------

bool kPayment_VIROZI::MVP_Realign(_int_PAY_result& R) {
  std::string reply;
  const int32_t result = CallVirPay(IOHandler(), *fVirPay, kRiallineamentoDBP, &Ivirpay::RiallineamentoDBP, reply);
  if (result == 1) {
    const ReplyFields field(reply, '-', true);
    if (field[TicketReply::Status] == kStatusOK) {
      R.Error = false;
      fCounter = 1;
    } else {
      R.Error = true;
      R.ErrorText = field[TicketReply::Message];
    }
  } else {
    R.Error = true;
    R.ErrorText = reply;
  }
  return result == 1;
}

bool kPayment_VIROZI::MVP_Begin(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  // Coupons still held by an earlier ticket were dematerialised by the provider; dropping
  // them would leave them neither committed nor reversed. They are reversed first, and a
  // reversal that fails refuses the new ticket so the POS can retry the rollback.
  if (fCouponList.Count() > 0) {
    IOHandler().WriteLog(let_info, "MVP_Begin",
                         "Reversing " + std::to_string(fCouponList.Count()) + " coupon(s) of the open ticket");
    _int_PAY_result reversal = R;
    if (!MVP_RollbackAll(aReceipt, reversal)) {
      R = reversal;
      return false;
    }
  }
  const bool realigned = MVP_Realign(R);
  fCouponList.Clear();
  if (realigned) {
    CallTicket(IOHandler(), *fVirPay, kOpenTicketBC, &Ivirpay::OpenTicketBC, fCounter, aReceipt, R);
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
  const int32_t result =
      CallVirPay(IOHandler(), *fVirPay, kDematerializzazioneBP, &Ivirpay::DematerializzazioneBP, request, reply);
  const ReplyFields field(reply, '-', result == 1);

  const std::string status = field[CouponReply::Status];
  std::string message = field[CouponReply::Message];
  if (!field.WentThrough()) message = reply.empty() ? CallFailure(kDematerializzazioneBP) : reply;
  std::string couponCode = field[CouponReply::Code];
  if (couponCode.empty()) couponCode = aReceipt.fAttributes;
  const Currency faceValue = MealVoucherAmount(field[CouponReply::FaceValue]);
  const std::string transactionId = field[CouponReply::TransactionId];

  StartPaymentResult(aReceipt, R);
  R.PaymentNumber = transactionId;
  R.PaymentAmount = faceValue;
  R.SerialNumber = couponCode;
  R.PaymentNetwork = GetNetworkFromCode(true, field[CouponReply::Network]);
  R.NumberOfItems = 1;
  R.SingleItemAmount = faceValue;
  R.Error = status != kStatusOK;
  R.ErrorText = message;

  if (!R.Error) {
    Advance(fCounter);
    auto coupon = std::make_unique<kPayment_VIROZI_Coupon>();
    coupon->fCode = couponCode;
    coupon->fTransactionId = transactionId;
    coupon->fRequireCommit = field[CouponReply::RequireCommit] == "1";
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
  const int32_t result =
      CallVirPay(IOHandler(), *fVirPay, kCommitTransactionDBP, &Ivirpay::CommitTransactionDBP, request, reply);
  const ReplyFields field(reply, '-', result == 1);
  ReadOutcome(field, TicketReply::Status, TicketReply::Message, kCommitTransactionDBP, R);
  if (!R.Error) Advance(fCounter);
  return !R.Error;
}

bool kPayment_VIROZI::MVP_CloseTicket(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  // The provider counts a close twice: once for the reply, once for the closed ticket.
  if (CallTicket(IOHandler(), *fVirPay, kCloseTicketBC, &Ivirpay::CloseTicketBC, fCounter, aReceipt, R)) {
    Advance(fCounter);
  }
  if (!R.Error) {
    fCouponList.Clear();
    Advance(fCounter);
  }
  return !R.Error;
}

bool kPayment_VIROZI::MVP_Commit(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  bool ok = true;
  for (size_t i = 0; i < fCouponList.Count(); ++i) {
    kPayment_VIROZI_Coupon& coupon = fCouponList.Item(i);
    if (coupon.fRequireCommit && coupon.fCommitted) {
      IOHandler().WriteLog(let_info, "MVP_Commit", "Coupon [" + coupon.fCode + "] already committed");
    } else if (coupon.fRequireCommit) {
      // After the first failure the remaining commits are skipped.
      if (ok) {
        ok = MVP_CommitCoupon(aReceipt, R, coupon.fCode, coupon.fTransactionId);
        coupon.fCommitted = ok;
      }
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
  const int32_t result =
      CallVirPay(IOHandler(), *fVirPay, kReverseTransactionDBP, &Ivirpay::ReverseTransactionDBP, request, reply);
  const ReplyFields field(reply, '-', result == 1);
  if (const kPayment_VIROZI_Coupon* coupon = fCouponList.GetCoupon(aCode)) R.PaymentNetwork = coupon->fPaymentNetwork;
  R.SerialNumber = aCode;
  R.PaymentAmount = MealVoucherAmount(field[CouponReply::FaceValue]);
  R.PaymentCurrency = aReceipt.fCurrency;
  R.MaskedPAN = kMaskedPAN;
  ReadOutcome(field, CouponReply::Status, CouponReply::Message, kReverseTransactionDBP, R);
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

  return MVP_RollbackAll(aReceipt, R);
}

bool kPayment_VIROZI::MVP_RollbackAll(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
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

