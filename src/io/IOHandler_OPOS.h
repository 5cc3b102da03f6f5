#pragma once
// Fiscal printer reached through the OPOS Fiscal Printer control object, called by name.
// One operation per printer method or property a fiscal driver needs; each logs the call,
// makes it and turns the OPOS result code into the handler's error record. There is no
// byte stream: the stream operations raise "<operation> Unsupported".
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Currency.h"
#include "core/DateTime.h"
#include "io/IOHandler.h"
#include "platform/Automation.h"

// The OPOS Common Control Object of the Fiscal Printer class and its dispatch interface.
inline constexpr char kOposFiscalPrinterClassId[] = "{CCB90072-B81E-11D2-AB74-0040054C3719}";
inline constexpr char kOposFiscalPrinterInterfaceId[] = "{CCB95071-B81E-11D2-AB74-0040054C3719}";

// Result codes of the OPOS standard that the handler reads itself.
inline constexpr int32_t kOposSuccess = 0;
inline constexpr int32_t kOposExtended = 114;  // OPOS_E_EXTENDED: see ResultCodeExtended
// The receipt station of PrintNormal.
inline constexpr int32_t kOposReceiptStation = 2;

class kIOHandler_OPOS : public kIOHandler {
 public:
  // Creates the control: raises the system's text + ", ClassID: " + the class identifier
  // when none is registered; the log then ends with STOP.
  kIOHandler_OPOS(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);
  // Disconnects first when Connect ran.
  ~kIOHandler_OPOS() override;

  const char* ClassName() const override { return "kIOHandler_OPOS"; }

  bool GetConnected() override { return fConnected; }
  // Open, ClaimDevice, DeviceEnabled := true, stopping at the first refusal. Connected
  // afterwards unless the control raised, so that destruction closes the device again.
  bool Connect() override;
  // DeviceEnabled := false, ReleaseDevice, Close, stopping at the first refusal.
  bool Disconnect() override;
  void ClearBuffers() override {}
  bool Write(const std::string& aMessage) override;                  // "Write Unsupported"
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override;  // "ReadUpto Unsupported"
  std::string ReadChars(int32_t aCharsNum) override;                  // "ReadChars Unsupported"
  std::string ReadAll() override;                                     // "ReadAll Unsupported"
  // Failure texts come from DescribeResult.
  std::string DecodeError(int32_t aErrorCode) override { return {}; }
  bool InputBufferContainsData() override;  // "InputBufferContainsData Unsupported"
  void SetParameter(const std::string& aName, const std::string& aValue) override {}

  const std::string& DeviceName() const { return fDeviceName; }
  void SetDeviceName(std::string aValue) { fDeviceName = std::move(aValue); }

  // Fiscal operations: true when the control answered success. A refusal returns false
  // and leaves its description in ErrorFound/ErrorCode/ErrorMessage; an error raised by
  // the control reaches the caller.
  bool BeginFiscalReceipt();
  bool EndFiscalReceipt();
  bool BeginNonFiscal();
  bool EndNonFiscal();
  bool PrintNormal(const std::string& aText);
  // aCode is not sent; the control gets the quantity in thousandths.
  bool PrintRecItem(const std::string& aCode, const std::string& aDescription, Currency aQuantity,
                    const std::string& aUOM, int32_t aVatCode, Currency aPrice, Currency aAmount);
  bool PrintRecItemVoid(const std::string& aCode, const std::string& aDescription, Currency aQuantity,
                        const std::string& aUOM, int32_t aVatCode, Currency aPrice, Currency aAmount);
  // Only the description, the amount and the VAT code are sent.
  bool PrintRecRefund(const std::string& aCode, const std::string& aDescription, Currency aQuantity,
                      const std::string& aUOM, int32_t aVatCode, Currency aPrice, Currency aAmount);
  bool PrintRecItemAdjustment(int32_t aAdjType, const std::string& aDescription, Currency aAmount, int32_t aVatCode);
  bool PrintRecSubtotal(Currency aAmount);
  bool PrintRecSubtotalAdjustment(int32_t aAdjType, const std::string& aDescription, Currency aAmount);
  bool PrintRecTotal(Currency aTotalAmount, Currency aPaymentAmount, const std::string& aDescription);
  bool PrintRecNotPaid(Currency aAmount, const std::string& aDescription);
  bool PrintRecMessage(const std::string& aText);
  bool PrintRecTaxid(const std::string& aTaxId);
  bool PrintXReport();
  bool PrintZReport();
  bool ResetPrinter();
  bool BeginTraining();
  bool EndTraining();
  // The printer takes and gives dates as "ddmmyyyyhhnn".
  bool SetDate(TDateTime aDateTime);
  // On a refusal aDate is the local time now. A date text with a part that is no number
  // raises "'<part>' is not a valid integer value".
  bool GetDate(TDateTime& aDate);
  bool GetData(int32_t aDataItem, int32_t aOptArgs, std::string& aOutput);
  bool DirectIO(int32_t aCommand, int32_t& aData, std::string& aString);

  // Property setters and status queries: always true; the control's errors reach the caller.
  bool SetPreLine(const std::string& aDescription);
  // Without aClear the line is added to the trailer, followed by CR LF.
  bool SetAdditionalTrailerLine(const std::string& aDescription, bool aClear);
  bool SetFiscalReceiptType(int32_t aReceiptType);
  bool GetCoverOpen(bool& aResult);
  bool GetDayOpened(bool& aResult);
  bool GetRecEmpty(bool& aResult);
  bool GetRecNearEnd(bool& aResult);
  bool GetTrainingModeActive(bool& aResult);
  bool PrinterState(int32_t& aPrinterState);
  bool RemainingFiscalMemory(int32_t& aRemainingFiscalMemory);

  // "[code] NAME", then " [extended] NAME" when there is an extended code, then " - " and
  // the control's ErrorString; names not in the standard's tables read " UNKNOWN". Code 0
  // gives an empty text.
  std::string DescribeResult(int32_t aResultCode, int32_t aExtendedCode);

 protected:
  // Records the outcome of a device call: true for success; otherwise logs and records
  // DescribeResult's text and returns false.
  bool CheckResult(int32_t aResultCode);

 private:
  bool CallChecked(const char* aOperation, const std::string& aLogCall, const char* aMethod,
                   std::initializer_list<platform::AutomationArg> aArgs);
  bool ReadFlag(const char* aOperation, const char* aLogQuery, const char* aLogAnswer, const char* aProperty,
                bool& aResult);

  std::unique_ptr<platform::AutomationObject> fOPOS;
  std::string fDeviceName;
  bool fConnected = false;
};
