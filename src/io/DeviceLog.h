#pragma once
// A device's log: a daily log file that starts with the START line and ends with the STOP
// line, titled entries and optional hexadecimal dumps of what was sent and received.
#include <memory>
#include <string>
#include <string_view>

#include "core/MessageType.h"

class tMx_LogWriter;

class kDeviceLog {
 public:
  // With a folder and a file name (made safe first) a daily log writer there, which writes
  // the START line; without either no log, and every write does nothing.
  kDeviceLog(const std::string& aDirectory, const std::string& aFileName);
  // Writes the STOP line and waits until the log is on disk.
  ~kDeviceLog();
  kDeviceLog(const kDeviceLog&) = delete;
  kDeviceLog& operator=(const kDeviceLog&) = delete;

  // aTitle + ":" + aMessage, followed by " [" + HexDump(aMessage) + "]" with HexLog on.
  void WriteLog(tMx_MessageType aEntryType, std::string_view aTitle, std::string_view aMessage);
  void Debug(tMx_MessageType aEntryType, std::string_view aMessage);
  // Full path of the current log file; empty without a log.
  std::string FileName() const;

  bool HexLog() const { return fHexLog; }
  void SetHexLog(bool aValue) { fHexLog = aValue; }

  // Each code point in lowercase hex, at least two digits, separated by single blanks.
  static std::string HexDump(std::string_view aText);
  // The log file name made safe to use inside the log folder: path separators, drive
  // colons and other characters no file name may hold become '_', so do runs of dots;
  // long names are cut so that the dated and rotated names still fit.
  static std::string SanitizeLogFileName(std::string_view aFileName);

 private:
  std::unique_ptr<tMx_LogWriter> fLogger;
  bool fHexLog = false;
};
