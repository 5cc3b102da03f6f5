#include "io/IOHandler_OPOS.h"

#include <exception>
#include <optional>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "io/Connection.h"
#include "platform/Host.h"

namespace {

using platform::AutomationArg;

// x in single quotes, every quote inside doubled.
std::string Q(std::string_view aText) {
  std::string out = "'";
  for (char c : aText) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string A(Currency aAmount) { return kIOHandler::FormatAmount(aAmount); }

std::string TrueFalse(bool aValue) { return aValue ? "True" : "False"; }

std::string Two(int aValue) { return (aValue < 10 ? "0" : "") + std::to_string(aValue); }

// The printer's date text "ddmmyyyyhhnn".
std::string DateText(TDateTime aDateTime) {
  const DateTimeParts parts = DecodeDateTime(aDateTime);
  std::string year = std::to_string(parts.Year);
  year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
  return Two(parts.Day) + Two(parts.Month) + year + Two(parts.Hour) + Two(parts.Minute);
}

int32_t DatePart(const std::string& aText, size_t aFrom, size_t aLength) {
  const std::string part = aFrom < aText.size() ? aText.substr(aFrom, aLength) : std::string();
  if (const std::optional<int32_t> value = ParseInt32(part)) return *value;
  throw EMxError("'" + part + "' is not a valid integer value");
}

// Thousandths of a unit, as the control counts quantities.
int32_t Thousandths(Currency aQuantity) {
  const int64_t thousandths = aQuantity.Raw() / 10;
  if (thousandths < INT32_MIN || thousandths > INT32_MAX) throw EMxError("Quantity out of range");
  return static_cast<int32_t>(thousandths);
}

const char* ResultName(int32_t aCode) {
  static const char* const kNames[] = {
      "OPOS_E_CLOSED",  "OPOS_E_CLAIMED",    "OPOS_E_NOTCLAIMED", "OPOS_E_NOSERVICE", "OPOS_E_DISABLED",
      "OPOS_E_ILLEGAL", "OPOS_E_NOHARDWARE", "OPOS_E_OFFLINE",    "OPOS_E_NOEXIST",   "OPOS_E_EXISTS",
      "OPOS_E_FAILURE", "OPOS_E_TIMEOUT",    "OPOS_E_BUSY",       "OPOS_E_EXTENDED",  "OPOS_E_DEPRECATED"};
  constexpr int32_t kFirst = 101;
  if (aCode < kFirst || aCode >= kFirst + static_cast<int32_t>(std::size(kNames))) return "UNKNOWN";
  return kNames[aCode - kFirst];
}

const char* ExtendedName(int32_t aCode) {
  static const char* const kNames[] = {"OPOS_EFPTR_COVER_OPEN",
                                       "OPOS_EFPTR_JRN_EMPTY",
                                       "OPOS_EFPTR_REC_EMPTY",
                                       "OPOS_EFPTR_SLP_EMPTY",
                                       "OPOS_EFPTR_SLP_FORM",
                                       "OPOS_EFPTR_MISSING_DEVICES",
                                       "OPOS_EFPTR_WRONG_STATE",
                                       "OPOS_EFPTR_TECHNICAL_ASSISTANCE",
                                       "OPOS_EFPTR_CLOCK_ERROR",
                                       "OPOS_EFPTR_FISCAL_MEMORY_FULL",
                                       "OPOS_EFPTR_FISCAL_MEMORY_DISCONNECTED",
                                       "OPOS_EFPTR_FISCAL_TOTALS_ERROR",
                                       "OPOS_EFPTR_BAD_ITEM_QUANTITY",
                                       "OPOS_EFPTR_BAD_ITEM_AMOUNT",
                                       "OPOS_EFPTR_BAD_ITEM_DESCRIPTION",
                                       "OPOS_EFPTR_RECEIPT_TOTAL_OVERFLOW",
                                       "OPOS_EFPTR_BAD_VAT",
                                       "OPOS_EFPTR_BAD_PRICE",
                                       "OPOS_EFPTR_BAD_DATE",
                                       "OPOS_EFPTR_NEGATIVE_TOTAL",
                                       "OPOS_EFPTR_WORD_NOT_ALLOWED",
                                       "OPOS_EFPTR_BAD_LENGTH",
                                       "OPOS_EFPTR_MISSING_SET_CURRENCY",
                                       "OPOS_EFPTR_DAY_END_REQUIRED"};
  constexpr int32_t kFirst = 201;
  if (aCode < kFirst || aCode >= kFirst + static_cast<int32_t>(std::size(kNames))) return "UNKNOWN";
  return kNames[aCode - kFirst];
}

std::string MessageOf(const std::exception_ptr& aError) {
  try {
    std::rethrow_exception(aError);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

}  // namespace

kIOHandler_OPOS::kIOHandler_OPOS(const kConnection* aConnection, const std::string& aDirectory,
                                 const std::string& aFileName)
    : kIOHandler(aConnection, aDirectory, aFileName),
      fOPOS(platform::CreateAutomationObject(kOposFiscalPrinterClassId, kOposFiscalPrinterInterfaceId)) {
  if (aConnection != nullptr) fDeviceName = aConnection->DeviceName();
}

kIOHandler_OPOS::~kIOHandler_OPOS() {
  // Disconnect catches what the control raises; only a failing log could still throw.
  try {
    if (GetConnected()) Disconnect();
  } catch (...) {
  }
}

bool kIOHandler_OPOS::Write(const std::string&) { throw EMxError("Write Unsupported"); }
std::string kIOHandler_OPOS::ReadUpTo(const std::vector<uint8_t>&) { throw EMxError("ReadUpto Unsupported"); }
std::string kIOHandler_OPOS::ReadChars(int32_t) { throw EMxError("ReadChars Unsupported"); }
std::string kIOHandler_OPOS::ReadAll() { throw EMxError("ReadAll Unsupported"); }
bool kIOHandler_OPOS::InputBufferContainsData() { throw EMxError("InputBufferContainsData Unsupported"); }

bool kIOHandler_OPOS::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "DeviceName=" + fDeviceName);
  try {
    if (GetConnected()) Disconnect();
    Debug(let_info, "[Connect]->Open(" + fDeviceName + ")");
    bool result = CheckResult(fOPOS->Call("Open", {AutomationArg::Text(fDeviceName)}));
    if (result) {
      Debug(let_info, "[Connect]->ClaimDevice(" + std::to_string(ConnectTimeout()) + ")");
      result = CheckResult(fOPOS->Call("ClaimDevice", {ConnectTimeout()}));
    }
    if (result) {
      Debug(let_info, "[Connect]->DeviceEnabled:=true");
      fOPOS->SetProperty("DeviceEnabled", AutomationArg::Bool(true));
      result = fOPOS->GetBool("DeviceEnabled");
    }
    // Even a refused open leaves the device to be closed again on destruction.
    fConnected = true;
    return result;
  } catch (...) {
    Debug(let_error, "[Connect]:" + MessageOf(std::current_exception()));
    return false;
  }
}

bool kIOHandler_OPOS::Disconnect() {
  try {
    Debug(let_info, "[Disconnect]->DeviceEnabled:=false");
    fOPOS->SetProperty("DeviceEnabled", AutomationArg::Bool(false));
    bool result = false;
    if (!fOPOS->GetBool("DeviceEnabled")) {
      Debug(let_info, "[Disconnect]->ReleaseDevice");
      result = CheckResult(fOPOS->Call("ReleaseDevice", {}));
    }
    if (result) {
      Debug(let_info, "[Disconnect]->Close");
      result = CheckResult(fOPOS->Call("Close", {}));
    }
    fConnected = false;
    return result;
  } catch (...) {
    Debug(let_error, "[Disconnect]:" + MessageOf(std::current_exception()));
    return false;
  }
}

bool kIOHandler_OPOS::CheckResult(int32_t aResultCode) {
  ClearError();
  StoreErrorCode(aResultCode);
  if (aResultCode == kOposSuccess) return true;
  const int32_t extended = aResultCode == kOposExtended ? fOPOS->GetInt("ResultCodeExtended") : 0;
  std::string text = DescribeResult(aResultCode, extended);
  Debug(let_error, text);
  SetCustomError(aResultCode, std::move(text));
  return false;
}

std::string kIOHandler_OPOS::DescribeResult(int32_t aResultCode, int32_t aExtendedCode) {
  if (aResultCode == kOposSuccess) return {};
  std::string text = "[" + std::to_string(aResultCode) + "] " + ResultName(aResultCode);
  if (aExtendedCode != 0) text += " [" + std::to_string(aExtendedCode) + "] " + ExtendedName(aExtendedCode);
  return text + " - " + fOPOS->GetText("ErrorString");
}

bool kIOHandler_OPOS::CallChecked(const char* aOperation, const std::string& aLogCall, const char* aMethod,
                                  std::initializer_list<AutomationArg> aArgs) {
  Debug(let_info, std::string("[") + aOperation + "]->" + aLogCall);
  return CheckResult(fOPOS->Call(aMethod, aArgs));
}

bool kIOHandler_OPOS::BeginFiscalReceipt() {
  return CallChecked("BeginFiscalReceipt", "BeginFiscalReceipt(true)", "BeginFiscalReceipt",
                     {AutomationArg::Bool(true)});
}

bool kIOHandler_OPOS::EndFiscalReceipt() {
  return CallChecked("EndFiscalReceipt", "EndFiscalReceipt(false)", "EndFiscalReceipt", {AutomationArg::Bool(false)});
}

bool kIOHandler_OPOS::BeginNonFiscal() { return CallChecked("BeginNonFiscal", "BeginNonFiscal", "BeginNonFiscal", {}); }
bool kIOHandler_OPOS::EndNonFiscal() { return CallChecked("EndNonFiscal", "EndNonFiscal", "EndNonFiscal", {}); }

bool kIOHandler_OPOS::PrintNormal(const std::string& aText) {
  return CallChecked("PrintNormal", "PrintNormal(" + std::to_string(kOposReceiptStation) + "," + Q(aText) + ")",
                     "PrintNormal", {kOposReceiptStation, AutomationArg::Text(aText)});
}

bool kIOHandler_OPOS::PrintRecItem(const std::string&, const std::string& aDescription, Currency aQuantity,
                                   const std::string& aUOM, int32_t aVatCode, Currency aPrice, Currency aAmount) {
  const std::string units = std::to_string(aQuantity.Raw() / Currency::kScale);
  return CallChecked("PrintRecItem",
                     "PrintRecItem(" + Q(aDescription) + "," + A(aAmount) + "," + units + "," +
                         std::to_string(aVatCode) + "," + A(aPrice) + "," + Q(aUOM) + ")",
                     "PrintRecItem",
                     {AutomationArg::Text(aDescription), AutomationArg::Money(aAmount), Thousandths(aQuantity), aVatCode,
                      AutomationArg::Money(aPrice), AutomationArg::Text(aUOM)});
}

bool kIOHandler_OPOS::PrintRecItemVoid(const std::string&, const std::string& aDescription, Currency aQuantity,
                                       const std::string& aUOM, int32_t aVatCode, Currency aPrice,
                                       Currency aAmount) {
  return CallChecked("PrintRecItemVoid",
                     "PrintRecItemVoid(" + Q(aDescription) + "," + A(aAmount) + "," + std::to_string(aVatCode) + "," +
                         A(aPrice) + "," + Q(aUOM) + ")",
                     "PrintRecItemVoid",
                     {AutomationArg::Text(aDescription), AutomationArg::Money(aAmount), Thousandths(aQuantity), aVatCode,
                      AutomationArg::Money(aPrice), AutomationArg::Text(aUOM)});
}

bool kIOHandler_OPOS::PrintRecRefund(const std::string&, const std::string& aDescription, Currency, const std::string&,
                                     int32_t aVatCode, Currency, Currency aAmount) {
  return CallChecked("PrintRecRefund",
                     "PrintRecRefund(" + Q(aDescription) + "," + A(aAmount) + "," + std::to_string(aVatCode) + ")",
                     "PrintRecRefund", {AutomationArg::Text(aDescription), AutomationArg::Money(aAmount), aVatCode});
}

bool kIOHandler_OPOS::PrintRecItemAdjustment(int32_t aAdjType, const std::string& aDescription, Currency aAmount,
                                             int32_t aVatCode) {
  return CallChecked("PrintRecItemAdjustment",
                     "PrintRecItemAdjustment(" + std::to_string(aAdjType) + "," + Q(aDescription) + "," + A(aAmount) +
                         "," + std::to_string(aVatCode) + ")",
                     "PrintRecItemAdjustment",
                     {aAdjType, AutomationArg::Text(aDescription), AutomationArg::Money(aAmount), aVatCode});
}

bool kIOHandler_OPOS::PrintRecSubtotal(Currency aAmount) {
  return CallChecked("PrintRecSubtotal", "PrintRecSubTotal(" + A(aAmount) + ")", "PrintRecSubtotal",
                     {AutomationArg::Money(aAmount)});
}

bool kIOHandler_OPOS::PrintRecSubtotalAdjustment(int32_t aAdjType, const std::string& aDescription, Currency aAmount) {
  return CallChecked(
      "PrintRecSubtotalAdjustment",
      "PrintRecSubtotalAdjustment(" + std::to_string(aAdjType) + "," + Q(aDescription) + "," + A(aAmount) + ")",
      "PrintRecSubtotalAdjustment", {aAdjType, AutomationArg::Text(aDescription), AutomationArg::Money(aAmount)});
}

bool kIOHandler_OPOS::PrintRecTotal(Currency aTotalAmount, Currency aPaymentAmount, const std::string& aDescription) {
  return CallChecked("PrintRecTotal",
                     "PrintRecTotal(" + A(aTotalAmount) + "," + A(aPaymentAmount) + "," + Q(aDescription) + ")",
                     "PrintRecTotal",
                     {AutomationArg::Money(aTotalAmount), AutomationArg::Money(aPaymentAmount),
                      AutomationArg::Text(aDescription)});
}

bool kIOHandler_OPOS::PrintRecNotPaid(Currency aAmount, const std::string& aDescription) {
  return CallChecked("PrintRecNotPaid", "PrintRecNotPaid(" + Q(aDescription) + "," + A(aAmount) + ")",
                     "PrintRecNotPaid", {AutomationArg::Text(aDescription), AutomationArg::Money(aAmount)});
}

bool kIOHandler_OPOS::PrintRecMessage(const std::string& aText) {
  return CallChecked("PrintRecMessage", "PrintRecMessage(" + Q(aText) + ")", "PrintRecMessage",
                     {AutomationArg::Text(aText)});
}

bool kIOHandler_OPOS::PrintRecTaxid(const std::string& aTaxId) {
  return CallChecked("PrintRecTaxid", "PrintRecTaxid(" + Q(aTaxId) + ")", "PrintRecTaxID",
                     {AutomationArg::Text(aTaxId)});
}

bool kIOHandler_OPOS::PrintXReport() { return CallChecked("PrintXReport", "PrintXReport", "PrintXReport", {}); }
bool kIOHandler_OPOS::PrintZReport() { return CallChecked("PrintZReport", "PrintZReport", "PrintZReport", {}); }
bool kIOHandler_OPOS::ResetPrinter() { return CallChecked("ResetPrinter", "ResetPrinter", "ResetPrinter", {}); }
bool kIOHandler_OPOS::BeginTraining() { return CallChecked("BeginTraining", "BeginTraining", "BeginTraining", {}); }
bool kIOHandler_OPOS::EndTraining() { return CallChecked("EndTraining", "EndTraining", "EndTraining", {}); }

bool kIOHandler_OPOS::SetDate(TDateTime aDateTime) {
  const std::string text = DateText(aDateTime);
  return CallChecked("SetDate", "SetDate(" + Q(text) + ")", "SetDate", {AutomationArg::Text(text)});
}

bool kIOHandler_OPOS::GetDate(TDateTime& aDate) {
  std::string text;
  if (!CallChecked("GetDate", "GetDate", "GetDate", {text})) {
    aDate = Now();
    return false;
  }
  Debug(let_info, "[GetDate]->aDate=" + text);
  const int32_t day = DatePart(text, 0, 2);
  const int32_t month = DatePart(text, 2, 2);
  const int32_t year = DatePart(text, 4, 4);
  const int32_t hour = DatePart(text, 8, 2);
  const int32_t minute = DatePart(text, 10, 2);
  aDate = EncodeDateTime({year, month, day, hour, minute, 0, 0});
  return true;
}

bool kIOHandler_OPOS::GetData(int32_t aDataItem, int32_t aOptArgs, std::string& aOutput) {
  std::string data;
  const bool result = CallChecked(
      "GetData", "GetData(" + std::to_string(aDataItem) + "," + std::to_string(aOptArgs) + ",aOutput)", "GetData",
      {aDataItem, AutomationArg::IntRef(aOptArgs), data});
  aOutput = result ? data : std::string();
  if (result) Debug(let_info, "[GetData]->aOutput=" + aOutput);
  return result;
}

bool kIOHandler_OPOS::DirectIO(int32_t aCommand, int32_t& aData, std::string& aString) {
  Debug(let_info, "[DirectIO]->DirectIO(" + std::to_string(aCommand) + "," + std::to_string(aData) + "," +
                      Q(aString) + ")");
  const int32_t code = fOPOS->Call("DirectIO", {aCommand, AutomationArg::IntRef(aData), aString});
  Debug(let_info, "[DirectIO]->Output(Data:=" + std::to_string(aData) + ", Obj:=" + Q(aString) + ")");
  return CheckResult(code);
}

bool kIOHandler_OPOS::SetPreLine(const std::string& aDescription) {
  Debug(let_info, "[SetPreLine]->PreLine=" + Q(aDescription));
  fOPOS->SetProperty("PreLine", AutomationArg::Text(aDescription));
  return true;
}

bool kIOHandler_OPOS::SetAdditionalTrailerLine(const std::string& aDescription, bool aClear) {
  if (aClear) {
    Debug(let_info, "[SetAdditionalTrailerLine]->AdditionalTrailer=" + Q(aDescription));
    fOPOS->SetProperty("AdditionalTrailer", AutomationArg::Text(aDescription));
  } else {
    Debug(let_info, "[SetAdditionalTrailerLine]->AdditionalTrailer=+" + Q(aDescription));
    fOPOS->SetProperty("AdditionalTrailer",
                       AutomationArg::Text(fOPOS->GetText("AdditionalTrailer") + aDescription + "\r\n"));
  }
  return true;
}

bool kIOHandler_OPOS::SetFiscalReceiptType(int32_t aReceiptType) {
  Debug(let_info, "[SetFiscalReceiptType]->FiscalReceiptType=" + std::to_string(aReceiptType));
  fOPOS->SetProperty("FiscalReceiptType", aReceiptType);
  return true;
}

bool kIOHandler_OPOS::ReadFlag(const char* aOperation, const char* aLogQuery, const char* aLogAnswer,
                               const char* aProperty, bool& aResult) {
  const std::string prefix = std::string("[") + aOperation + "]->";
  Debug(let_info, prefix + aLogQuery + "(aResult)");
  aResult = fOPOS->GetBool(aProperty);
  Debug(let_info, prefix + aLogAnswer + "=" + TrueFalse(aResult));
  return true;
}

bool kIOHandler_OPOS::GetCoverOpen(bool& aResult) {
  return ReadFlag("GetCoverOpen", "CoverOpen", "CoverOpen", "CoverOpen", aResult);
}
bool kIOHandler_OPOS::GetDayOpened(bool& aResult) {
  return ReadFlag("GetDayOpened", "DayOpened", "aResult", "DayOpened", aResult);
}
bool kIOHandler_OPOS::GetRecEmpty(bool& aResult) {
  return ReadFlag("GetRecEmpty", "RecEmpty", "aResult", "RecEmpty", aResult);
}
// The log has always called this query RecNearEmpty.
bool kIOHandler_OPOS::GetRecNearEnd(bool& aResult) {
  return ReadFlag("GetRecNearEmpty", "RecNearEmpty", "aResult", "RecNearEnd", aResult);
}
bool kIOHandler_OPOS::GetTrainingModeActive(bool& aResult) {
  return ReadFlag("GetTrainingModeActive", "TrainingModeActive", "aResult", "TrainingModeActive", aResult);
}

bool kIOHandler_OPOS::PrinterState(int32_t& aPrinterState) {
  Debug(let_info, "[PrinterState]->PrinterState(aPrinterState)");
  aPrinterState = fOPOS->GetInt("PrinterState");
  Debug(let_info, "[PrinterState]->aPrinterState=" + std::to_string(aPrinterState));
  return true;
}

bool kIOHandler_OPOS::RemainingFiscalMemory(int32_t& aRemainingFiscalMemory) {
  Debug(let_info, "[RemainingFiscalMemory]->RemainingFiscalMemory(aRemainingFiscalMemory)");
  aRemainingFiscalMemory = fOPOS->GetInt("RemainingFiscalMemory");
  Debug(let_info, "[RemainingFiscalMemory]->aRemainingFiscalMemory=" + std::to_string(aRemainingFiscalMemory));
  return true;
}
