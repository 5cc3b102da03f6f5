#include "payment/PaymentDevice.h"

#include "app/AppInfo.h"
#include "core/Errors.h"
#include "core/Utils.h"
#include "io/IOHandler.h"
#include "payment/PaymentHandler.h"
#include "platform/Host.h"
#include "platform/Platform.h"

namespace {

constexpr char kPayBanner[] = "------------------------------------------------------------ Pay";
constexpr char kVerifyTranBanner[] =
    "------------------------------------------------------------ VerifyTran";
constexpr char kDayCloseBanner[] = "------------------------------------------------------- DayClose";
constexpr char kGetTotalsBanner[] = "------------------------------------------------------- GetTotals";

}  // namespace

kPaymentDevice::kPaymentDevice(const kPaymentHandler& aHandler)
    : kPaymentDevice(aHandler.CreateIOHandler(LogFolder())) {}

kPaymentDevice::kPaymentDevice(std::unique_ptr<kIOHandler> aIOHandler) : fIOHandler(std::move(aIOHandler)) {
  if (!fIOHandler) throw EMxError("Payment Device without I/O handler");
  fIOHandler->SetVersion(GetDriverVersion());
}

kPaymentDevice::~kPaymentDevice() = default;

std::string kPaymentDevice::GetDriverVersion() {
  const tMx_ApplicationInfo& info = ApplicationInfo();
  return "Version " + info.Version() + " - " + ShortDateText(info.ReleaseDate());
}

std::string kPaymentDevice::LogFolder() { return LogFolderOf(GetExePath()); }

std::string kPaymentDevice::LogFolderOf(std::string aExeDirectory) {
  return platform::JoinPath(platform::JoinPath(aExeDirectory, "LogFiles"), "Payment");
}

template <class TResult>
void kPaymentDevice::CarryIOError(TResult& aResult) const {
  // Error stays as the driver left it: the handler's record only explains.
  if (fIOHandler->ErrorFound()) aResult.ErrorText = fIOHandler->ErrorMessage();
}

_int_PAY_result kPaymentDevice::StartPayment(const char* aBanner) {
  _int_PAY_result result;
  fIOHandler->Debug(let_info, aBanner);
  result.LogFileName = fIOHandler->GetLogFileName();
  result.PaymentDateTime = Now();
  result.TransactionType = ptt_Other;
  result.PaymentNetwork = tkPaymentNetwork::Other;
  return result;
}

_int_PAY_result kPaymentDevice::Pub_Pay(const kPaymentHandler& aHandler) {
  _int_PAY_result result = StartPayment(kPayBanner);
  const kPaymentReceipt& receipt = aHandler.PaymentReceipt();
  switch (receipt.fAction) {
    case tkPaymentAction::Refund: DoRefund(receipt, result); break;
    case tkPaymentAction::Void: DoVoid(receipt, result); break;
    case tkPaymentAction::Pay:
    default: DoPay(receipt, result); break;
  }
  CarryIOError(result);
  return result;
}

_int_PAY_result kPaymentDevice::Pub_VerifyTran(const kPaymentHandler& aHandler) {
  _int_PAY_result result = StartPayment(kVerifyTranBanner);
  DoVerifyTran(aHandler.PaymentReceipt(), result);
  CarryIOError(result);
  return result;
}

_int_REPRINT_result kPaymentDevice::Pub_Reprint(const kPaymentHandler& aHandler) {
  _int_REPRINT_result result;
  DoReprint(aHandler.PaymentReceipt(), result);
  CarryIOError(result);
  return result;
}

_int_DAYCLOSE_result kPaymentDevice::Pub_DayClose(const kPaymentHandler& aHandler) {
  _int_DAYCLOSE_result result;
  fIOHandler->Debug(let_info, kDayCloseBanner);
  result.LogFileName = fIOHandler->GetLogFileName();
  result.ClosureDateTime = Now();
  DoDayClose(aHandler.DayClose(), result);
  CarryIOError(result);
  return result;
}

_int_GETTOTALS_result kPaymentDevice::Pub_GetTotals(const kPaymentHandler& aHandler) {
  _int_GETTOTALS_result result;
  fIOHandler->Debug(let_info, kGetTotalsBanner);
  result.LogFileName = fIOHandler->GetLogFileName();
  result.DateTime = Now();
  DoGetTotals(aHandler.Totals(), result);
  CarryIOError(result);
  return result;
}
