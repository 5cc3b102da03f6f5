#pragma once
// What the VIROZI driver's channels share: the component call that logs what it sends and
// what comes back, the reply layouts, and the result fields every payment sets.
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "core/Errors.h"
#include "core/Utils.h"
#include "drivers/Ivirpay.h"
#include "io/IOHandler.h"
#include "payment/PaymentHandler.h"

namespace virozi {

inline constexpr char kMaskedPAN[] = "****************";
inline constexpr char kStatusOK[] = "OK";
inline constexpr char kNotSupported[] = "Not supported";

inline constexpr char kPagamento[] = "fVirPay.Pagamento";
inline constexpr char kPagamentoADV[] = "fVirPay.PagamentoADV";
inline constexpr char kPaymentCeliachia[] = "fVirPay.PaymentCeliachia";
inline constexpr char kPaymentBPE[] = "fVirPay.PaymentBPE";
inline constexpr char kRiallineamentoDBP[] = "fVirPay.RiallineamentoDBP";
inline constexpr char kOpenTicketBC[] = "fVirPay.OpenTicketBC";
inline constexpr char kDematerializzazioneBP[] = "fVirPay.DematerializzazioneBP";
inline constexpr char kCommitTransactionDBP[] = "fVirPay.CommitTransactionDBP";
inline constexpr char kReverseTransactionDBP[] = "fVirPay.ReverseTransactionDBP";
inline constexpr char kCloseTicketBC[] = "fVirPay.CloseTicketBC";
inline constexpr char kChiusura[] = "fVirPay.Chiusura [STD]";
inline constexpr char kChiusuraBPE[] = "fVirPay.ChiusuraBPE [BPE]";
inline constexpr char kGetTotaliHost[] = "fVirPay.GetTotaliHost";
inline constexpr char kTotaliBPERequest[] = "fVirPay.TotaliBPE [>bPE]";
inline constexpr char kTotaliBPEResponse[] = "fVirPay.TotaliBPE [BPE]";

// Field positions (from 1) of the component's replies.
namespace CardReply {  // Pagamento, ';'
enum : int32_t { Terminal = 1, Amount = 2, Status = 3, Message = 4, Network = 5, Receipt = 6, Signature = 7 };
}
namespace WalletReply {  // PagamentoADV, '-'
enum : int32_t { Status = 1, Message = 2, PaymentNumber = 3, Amount = 4, Receipt = 5 };
}
namespace WalletOXReply {  // PagamentoADV with status "OX", '-'
enum : int32_t { PaymentNumber = 3, Amount = 5, Receipt = 6 };
}
namespace HealthReply {  // PaymentCeliachia, ';'
enum : int32_t {
  Status = 1, Detail = 2, Message = 3, Balance = 4, Serial = 5, TraceAudit = 6, AuthCode = 7, PaymentNumber = 8,
  Receipt = 9
};
}
namespace VoucherReply {  // PaymentBPE, ';'
enum : int32_t { Status = 1, Message = 2, Vouchers = 3, Network = 4, Receipt = 6 };
}
namespace VoucherList {  // the Vouchers field, '|': the count, then count and face value per denomination
enum : int32_t { Denominations = 1 };
constexpr int64_t CountOf(int64_t aDenomination) { return 2 * aDenomination; }
constexpr int64_t FaceValueOf(int64_t aDenomination) { return 2 * aDenomination + 1; }
}
namespace TicketReply {  // RiallineamentoDBP, OpenTicketBC, CommitTransactionDBP, CloseTicketBC, '-'
enum : int32_t { Status = 1, Message = 3 };
}
namespace CouponReply {  // DematerializzazioneBP, ReverseTransactionDBP, '-'
enum : int32_t {
  Status = 1, Message = 3, Code = 4, FaceValue = 5, TransactionId = 7, RequireCommit = 8, Network = 9
};
}
namespace CardTotalsReply {  // Chiusura, GetTotaliHost, ';': the count, then six fields per terminal
enum : int32_t { Records = 1 };
constexpr int64_t FirstOf(int64_t aRecord) { return 2 + 6 * aRecord; }
enum : int32_t { Terminal = 0, Amount = 2, Receipt = 5, RecordSize = 6 };  // from FirstOf
}
namespace VoucherTotalsReply {  // ChiusuraBPE, TotaliBPE, ';'
enum : int32_t { Amount = 3, Receipt = 4 };
}

inline std::string CallFailure(std::string_view aCaption) {
  return "Internal error in calling \"" + std::string(aCaption) + "\"";
}

// The log captions of one call: the request's and the reply's, mostly the same.
// ReplyForLog, when set, gives the reply as the log may show it.
struct Captions {
  using ReplyFilter = std::string (*)(const std::string& aReply);
  Captions(const char* aBoth, ReplyFilter aReplyForLog = nullptr)
      : Request(aBoth), Response(aBoth), ReplyForLog(aReplyForLog) {}
  Captions(const char* aRequest, const char* aResponse) : Request(aRequest), Response(aResponse) {}
  std::string_view Request;
  std::string_view Response;
  ReplyFilter ReplyForLog = nullptr;
};

// A PaymentCeliachia reply with the health-service card's serial masked wherever it shows.
std::string HealthReplyForLog(const std::string& aReply);

// The fields of a component reply; after a failed call every field is empty.
class ReplyFields {
 public:
  ReplyFields(const std::string& aText, char aSeparator, bool aWentThrough)
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

inline void AppendArgument(std::string& aText, int32_t aValue) { aText += std::to_string(aValue); }
inline void AppendArgument(std::string& aText, const std::string& aValue) { aText += aValue; }

// Calls aMethod with aArgs. Before the call the request is logged: every argument as it is
// then, in order, joined by ","; after it the reply, which is always the last argument.
template <class... TParams, class... TArgs>
int32_t CallVirPay(kIOHandler& aLog, Ivirpay& aVirPay, const Captions& aCaptions,
                   int32_t (Ivirpay::*aMethod)(TParams...), TArgs&&... aArgs) {
  static_assert(sizeof...(TArgs) > 0, "the reply is the last argument");
  std::string request;
  size_t index = 0;
  const auto append = [&](const auto& aArg) {
    if (index++ > 0) request += ',';
    AppendArgument(request, aArg);
  };
  (append(aArgs), ...);
  aLog.WriteLog(let_info, aCaptions.Request, request);
  const int32_t result = (aVirPay.*aMethod)(aArgs...);
  const std::string& reply = std::get<sizeof...(TArgs) - 1>(std::tie(aArgs...));
  aLog.WriteLog(result == 1 ? let_info : let_error, aCaptions.Response,
                "Response:" + (aCaptions.ReplyForLog ? aCaptions.ReplyForLog(reply) : reply));
  return result;
}

// Error when the reply's status is not OK; ErrorText its message, or after a failed call
// the failure of aCaption.
inline void ReadOutcome(const ReplyFields& aField, int32_t aStatus, int32_t aMessage, std::string_view aCaption,
                        _int_PAY_result& R) {
  R.Error = aField[aStatus] != kStatusOK;
  R.ErrorText = aField.WentThrough() ? aField[aMessage] : CallFailure(aCaption);
}

// Raised for amounts and counts the component's 32-bit arguments cannot carry.
[[noreturn]] inline void RaiseAmountOutOfRange() { throw EMxError("Amount out of range"); }

// The fields that every payment channel writes the same way; the channel sets the rest.
void StartPaymentResult(const kPaymentReceipt& aReceipt, _int_PAY_result& R);

// The progressive number wraps instead of overflowing.
inline void Advance(int32_t& aCounter, uint32_t aBy = 1) {
  aCounter = static_cast<int32_t>(static_cast<uint32_t>(aCounter) + aBy);
}

}  // namespace virozi
