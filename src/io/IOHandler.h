#pragma once
// Base of every device channel: it owns the device's log, writes the START, STOP and
// connect banners, keeps the channel's last error and its timeouts. The transports fill
// the channel operations.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Currency.h"
#include "core/MessageType.h"

class kConnection;
class tMx_LogWriter;

class kIOHandler {
 public:
  kIOHandler(const kIOHandler&) = delete;
  kIOHandler& operator=(const kIOHandler&) = delete;
  // A transport releases its own resources in its destructor; this one then writes the
  // STOP line and waits until the log is on disk.
  virtual ~kIOHandler();

  // Name of the actual handler class, as the connect banner shows it.
  virtual const char* ClassName() const = 0;

  // Channel operations.
  virtual bool GetConnected() = 0;
  bool Connected() { return GetConnected(); }
  // Writes the connect banner; transports with a channel open it first.
  virtual bool Connect();
  virtual bool Disconnect() = 0;
  virtual void ClearBuffers() = 0;
  virtual bool Write(const std::string& aMessage) = 0;
  virtual std::string ReadUpTo(const std::vector<uint8_t>& aChars) = 0;
  virtual std::string ReadChars(int32_t aCharsNum) = 0;
  virtual std::string ReadAll() = 0;
  virtual std::string DecodeError(int32_t aErrorCode) = 0;
  virtual bool InputBufferContainsData() = 0;
  virtual void SetParameter(const std::string& aName, const std::string& aValue) = 0;

  // Logging; all of them do nothing when the handler has no log.
  // aTitle + ":" + aMessage, followed by " [" + HexDump(aMessage) + "]" with HexLog on.
  void WriteLog(tMx_MessageType aEntryType, std::string_view aTitle, std::string_view aMessage);
  void Debug(tMx_MessageType aEntryType, std::string_view aMessage);
  // Full path of the current log file; empty without a log.
  std::string GetLogFileName() const;

  void SetCustomError(int32_t aErrorCode, std::string aErrorMessage);
  void ResetCustomError();

  // A value of 0 or less is logged but changes nothing.
  void SetTemporaryReadTimeout(int32_t aNewTimeout);
  void ResetTemporaryReadTimeout();

  bool ErrorFound() const { return fErrorFound; }
  int32_t ErrorCode() const { return fErrorCode; }
  const std::string& ErrorMessage() const { return fErrorMessage; }
  bool HexLog() const { return fHexLog; }
  void SetHexLog(bool aValue) { fHexLog = aValue; }
  int32_t ConnectTimeout() const { return fConnectTimeout; }
  void SetConnectTimeout(int32_t aValue) { fConnectTimeout = aValue; }
  int32_t ReadTimeout() const { return fReadTimeout; }
  void SetReadTimeout(int32_t aValue) { fReadTimeout = aValue; }
  int32_t TemporaryReadTimeout() const { return fTemporaryReadTimeout; }
  const std::string& Version() const { return fVersion; }
  void SetVersion(std::string aValue) { fVersion = std::move(aValue); }
  int32_t CodePage() const { return fCodePage; }
  void SetCodePage(int32_t aValue) { fCodePage = aValue; }

  // Each code point in lowercase hex, at least two digits, separated by single blanks.
  static std::string HexDump(std::string_view aText);
  // Shortest decimal form with '.', e.g. 12.5, 12, -0.0001.
  static std::string FormatAmount(Currency aAmount);
  // The log file name made safe to use inside the log folder: path separators, drive
  // colons and other characters no file name may hold become '_', so do runs of dots;
  // long names are cut so that the dated and rotated names still fit.
  static std::string SanitizeLogFileName(std::string_view aFileName);

 protected:
  // Timeouts come from aConnection when given. With a folder and a file name the handler
  // gets a daily log writer there, which starts with the START line; without either it
  // has no log.
  kIOHandler(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);

  void ClearError() { ResetCustomError(); }

 private:
  bool fErrorFound = false;
  int32_t fErrorCode = 0;
  std::string fErrorMessage;
  std::unique_ptr<tMx_LogWriter> fLogger;
  bool fHexLog = false;
  int32_t fConnectTimeout = 0;
  int32_t fReadTimeout = 0;
  int32_t fTemporaryReadTimeout = 0;
  std::string fVersion;
  int32_t fCodePage = 0;
};
