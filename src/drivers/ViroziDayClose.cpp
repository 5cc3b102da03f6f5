// Day close and totals: the card circuit first, then the meal-voucher circuit, whose call
// takes the card circuit's reply.
#include <limits>
#include <string>

#include "core/Numbers.h"
#include "drivers/Payment_VIROZI.h"
#include "drivers/ViroziCall.h"
#include "platform/Host.h"

using namespace virozi;

namespace {

constexpr char kCrLf[] = "\r\n";

std::string CardTotalsField(const std::string& aReply, int64_t aRecord, int32_t aField) {
  return ExtractField(aReply, static_cast<int32_t>(CardTotalsReply::FirstOf(aRecord) + aField), ';', false);
}

}  // namespace

template <class TResult>
void kPayment_VIROZI::CloseOrTotals(bool aDayClose, TResult& R) {
  R.DeviceId.clear();
  R.TransactionsCount = 0;
  R.TotalAmount = ::Currency();
  R.Currency = "EUR";
  R.ReceiptText.clear();
  R.Error = false;
  R.ErrorText.clear();

  std::string reply;
  const char* caption = aDayClose ? kChiusura : kGetTotaliHost;
  int32_t result = CallVirPay(IOHandler(), *fVirPay, caption, aDayClose ? &Ivirpay::Chiusura : &Ivirpay::GetTotaliHost,
                              0, reply);
  const bool cardWentThrough = result == 1;
  if (cardWentThrough) {
    const int32_t records = ParseInt32(ExtractField(reply, CardTotalsReply::Records, ';', false)).value_or(0);
    for (int64_t k = 0; k < records; ++k) {
      // A count beyond what any reply can hold: its first missing amount fails below.
      if (CardTotalsReply::FirstOf(k) + CardTotalsReply::RecordSize - 1 > std::numeric_limits<int32_t>::max()) {
        RaiseAmountOutOfRange();
      }
      R.DeviceId = CardTotalsField(reply, k, CardTotalsReply::Terminal);
      R.TotalAmount += StrictCents(CardTotalsField(reply, k, CardTotalsReply::Amount));
      R.ReceiptText += kCrLf + CardTotalsField(reply, k, CardTotalsReply::Receipt);
    }
  }

  const Captions voucherCaptions = aDayClose ? Captions(kChiusuraBPE) : Captions(kTotaliBPERequest, kTotaliBPEResponse);
  result = CallVirPay(IOHandler(), *fVirPay, voucherCaptions, aDayClose ? &Ivirpay::ChiusuraBPE : &Ivirpay::TotaliBPE,
                      reply);
  if (result == 1) {
    R.TotalAmount += StrictCents(ExtractField(reply, VoucherTotalsReply::Amount, ';', false));
    R.ReceiptText += kCrLf + ExtractField(reply, VoucherTotalsReply::Receipt, ';', false);
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
