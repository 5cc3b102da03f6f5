#pragma once
// Base of every device channel: the device's log (kDeviceLog) and a channel
// (kIOChannel), with the connect banner, the channel's last error and its timeouts. The
// transports fill the channel operations.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "core/Currency.h"
#include "core/MessageType.h"
#include "io/DeviceLog.h"
#include "io/IOChannel.h"

class kConnection;

class kIOHandler : public kIOChannel {
 public:
  kIOHandler(const kIOHandler&) = delete;
  kIOHandler& operator=(const kIOHandler&) = delete;
  // A transport releases its own resources in its destructor; the log then writes the
  // STOP line and waits until it is on disk.
  ~kIOHandler() override;

  // Name of the actual handler class, as the connect banner shows it.
  virtual const char* ClassName() const = 0;

  bool Connected() { return GetConnected(); }
  // Writes the connect banner; transports with a channel open it first.
  virtual bool Connect();

  // Logging (kDeviceLog); all of them do nothing when the handler has no log.
  void WriteLog(tMx_MessageType aEntryType, std::string_view aTitle, std::string_view aMessage) {
    fLog.WriteLog(aEntryType, aTitle, aMessage);
  }
  void Debug(tMx_MessageType aEntryType, std::string_view aMessage) { fLog.Debug(aEntryType, aMessage); }
  std::string GetLogFileName() const { return fLog.FileName(); }

  void SetCustomError(int32_t aErrorCode, std::string aErrorMessage);
  void ResetCustomError();

  // A value of 0 or less is logged but changes nothing.
  void SetTemporaryReadTimeout(int32_t aNewTimeout);
  void ResetTemporaryReadTimeout();

  bool ErrorFound() const { return fErrorFound; }
  int32_t ErrorCode() const { return fErrorCode; }
  const std::string& ErrorMessage() const { return fErrorMessage; }
  bool HexLog() const { return fLog.HexLog(); }
  void SetHexLog(bool aValue) { fLog.SetHexLog(aValue); }
  int32_t ConnectTimeout() const { return fConnectTimeout; }
  void SetConnectTimeout(int32_t aValue) { fConnectTimeout = aValue; }
  int32_t ReadTimeout() const { return fReadTimeout; }
  void SetReadTimeout(int32_t aValue) { fReadTimeout = aValue; }
  int32_t TemporaryReadTimeout() const { return fTemporaryReadTimeout; }
  const std::string& Version() const { return fVersion; }
  void SetVersion(std::string aValue) { fVersion = std::move(aValue); }
  int32_t CodePage() const { return fCodePage; }
  void SetCodePage(int32_t aValue) { fCodePage = aValue; }

  static std::string HexDump(std::string_view aText) { return kDeviceLog::HexDump(aText); }
  // Shortest decimal form with '.', e.g. 12.5, 12, -0.0001.
  static std::string FormatAmount(Currency aAmount) { return aAmount.ToString(); }
  static std::string SanitizeLogFileName(std::string_view aFileName) {
    return kDeviceLog::SanitizeLogFileName(aFileName);
  }

 protected:
  // Timeouts come from aConnection when given; the log as kDeviceLog makes it.
  kIOHandler(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);

  void ClearError() { ResetCustomError(); }
  // The code of the last device call, also when it is no failure.
  void StoreErrorCode(int32_t aCode) { fErrorCode = aCode; }
  // Only the text, for transports whose failures carry no code of their own.
  void StoreErrorMessage(std::string aMessage) { fErrorMessage = std::move(aMessage); }

 private:
  kDeviceLog fLog;  // first in, last out: the STOP line follows everything else
  bool fErrorFound = false;
  int32_t fErrorCode = 0;
  std::string fErrorMessage;
  int32_t fConnectTimeout = 0;
  int32_t fReadTimeout = 0;
  int32_t fTemporaryReadTimeout = 0;
  std::string fVersion;
  int32_t fCodePage = 0;
};
