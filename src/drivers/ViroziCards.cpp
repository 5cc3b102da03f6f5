// The card, wallet and health-service channels: one component call each.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "core/Errors.h"
#include "core/Text.h"
#include "drivers/Payment_VIROZI.h"
#include "drivers/ViroziCall.h"
#include "drivers/ViroziWallets.h"
#include "log/LogText.h"

using namespace virozi;

namespace virozi {

std::string HealthReplyForLog(const std::string& aReply) {
  // The serial is field 5; a receipt may print it again.
  size_t begin = 0;
  for (int32_t field = 1; field < HealthReply::Serial; ++field) {
    begin = aReply.find(';', begin);
    if (begin == std::string::npos) return aReply;
    ++begin;
  }
  const size_t end = std::min(aReply.find(';', begin), aReply.size());
  const std::string serial = aReply.substr(begin, end - begin);
  if (serial.empty()) return aReply;
  const std::string masked = MaskCardSerial(serial);
  std::string text = aReply.substr(0, begin) + masked + aReply.substr(end);
  // Elsewhere only a serial long enough to be one, so that a short one masks no other text.
  if (serial.size() > 10) text = StringReplaceAll(text, serial, masked);
  return text;
}

}  // namespace virozi

// ---- standard channel ----------------------------------------------------------------

bool kPayment_VIROZI::STD_Payment(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const int32_t amount = PaymentCents(aReceipt.fAmount);
  std::string reply;
  const int32_t result = CallVirPay(IOHandler(), *fVirPay, kPagamento, &Ivirpay::Pagamento, 0, amount, 0, reply);
  const ReplyFields field(reply, ';', result == 1);

  StartPaymentResult(aReceipt, R);
  R.DeviceId = field[CardReply::Terminal];
  if (field.WentThrough()) R.PaymentAmount = StrictCents(field[CardReply::Amount]);
  R.PaymentNetwork = GetNetworkFromCode(false, field[CardReply::Network]);
  R.ReceiptText = field[CardReply::Receipt];
  R.SignatureRequested = field[CardReply::Signature] == "3";
  R.Error = field[CardReply::Status] != kStatusOK;
  R.ErrorText = field.WentThrough() ? field[CardReply::Message] : CallFailure(kPagamento);
  if (R.Error && R.ErrorText.empty()) R.ErrorText = "Pagamento concluso con errore";
  return !R.Error;
}

bool kPayment_VIROZI::STD_PaymentADV(const kPaymentReceipt& aReceipt, _int_PAY_result& R) {
  const std::string wallet = LowerCase(aReceipt.fAttributes);
  const auto found = std::find_if(std::begin(kWallets), std::end(kWallets),
                                  [&](const auto& w) { return w.first == wallet; });
  if (found == std::end(kWallets)) throw EMxError("Invalid Attribute [" + aReceipt.fAttributes + "]");
  const int32_t type = found->second;

  const int32_t amount = PaymentCents(aReceipt.fAmount);
  std::string spare;  // one variable for the three texts; what comes back is not used
  std::string reply;
  const int32_t result = CallVirPay(IOHandler(), *fVirPay, kPagamentoADV, &Ivirpay::PagamentoADV, type, amount,
                                    spare, spare, spare, reply);
  const ReplyFields field(reply, '-', result == 1);

  const std::string status = field[WalletReply::Status];
  std::string message = field[WalletReply::Message];
  std::string paymentNumber;
  Currency paid;
  std::string receipt;
  if (field.WentThrough()) {
    if (status != "KO") {
      paymentNumber = field[WalletReply::PaymentNumber];
      paid = StrictCents(field[WalletReply::Amount]);
      receipt = field[WalletReply::Receipt];
    }
    // An "OX" reply has another layout; it goes through the reading above as well.
    if (status == "OX") {
      paymentNumber = field[WalletOXReply::PaymentNumber];
      paid = StrictCents(field[WalletOXReply::Amount]);
      receipt = field[WalletOXReply::Receipt];
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
  const int32_t amount = PaymentCents(aReceipt.fAmount);
  std::string s1, s2, s3, s4;  // what comes back in them is not used
  std::string reply;
  const int32_t result = CallVirPay(IOHandler(), *fVirPay, Captions(kPaymentCeliachia, &HealthReplyForLog),
                                    &Ivirpay::PaymentCeliachia, amount,
                                    s1, s2, s3, s4, reply);
  const ReplyFields field(reply, ';', result == 1);

  StartPaymentResult(aReceipt, R);
  R.PaymentNumber = field[HealthReply::PaymentNumber];
  R.PaymentAmount = Currency::FromCents(amount);
  R.SerialNumber = field[HealthReply::Serial];
  R.PaymentNetwork = tkPaymentNetwork::NHS;
  R.AuthCode = field[HealthReply::AuthCode];
  R.TraceAuditId = field[HealthReply::TraceAudit];
  R.RemainingBalance = LenientCents(field[HealthReply::Balance]);
  R.ReceiptText = field[HealthReply::Receipt];
  R.Error = field[HealthReply::Status] != kStatusOK;
  R.ErrorText = (field.WentThrough() ? field[HealthReply::Message] : CallFailure(kPaymentCeliachia)) + " [" +
                field[HealthReply::Detail] + "]";
  return !R.Error;
}
