#include "io/DeviceLog.h"

#include <cstdio>

#include "core/Text.h"
#include "log/LogText.h"
#include "log/LogWriter.h"

namespace {

constexpr const char* kStartBanner = "*************************** START ***************************";
constexpr const char* kStopBanner = "*************************** STOP ****************************";

// The writer adds "_yyyymmdd.log" and rotation another "_yyyymmddhhnnsszzz": cutting the
// name here keeps every variant within the 255 units that file systems allow.
constexpr size_t kMaxLogFileNameBytes = 200;

bool IsForbiddenInFileName(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
      return true;
    default:
      return false;
  }
}

}  // namespace

kDeviceLog::kDeviceLog(const std::string& aDirectory, const std::string& aFileName) {
  const std::string fileName = SanitizeLogFileName(aFileName);
  if (!aDirectory.empty() && !fileName.empty()) {
    fLogger = std::make_unique<tMx_LogWriter>(fileName, aDirectory, 0, true);
    fLogger->Write(let_info, kStartBanner);
  }
}

kDeviceLog::~kDeviceLog() {
  if (!fLogger) return;
  try {
    fLogger->Write(let_info, kStopBanner);
  } catch (...) {
    // The log never stops a device from closing.
  }
  fLogger.reset();
}

void kDeviceLog::WriteLog(tMx_MessageType aEntryType, std::string_view aTitle, std::string_view aMessage) {
  if (!fLogger) return;
  std::string text;
  text.reserve(aTitle.size() + 1 + aMessage.size());
  text.append(aTitle).append(":").append(aMessage);
  // The writer masks card numbers in the text; in hexadecimal it could not see them.
  if (fHexLog) text.append(" [").append(HexDump(MaskCardNumbers(aMessage))).append("]");
  fLogger->Write(aEntryType, text);
}

void kDeviceLog::Debug(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (fLogger) fLogger->Write(aEntryType, aMessage);
}

std::string kDeviceLog::FileName() const { return fLogger ? fLogger->FileName() : std::string(); }

std::string kDeviceLog::HexDump(std::string_view aText) {
  // Through UTF-16 so that code points are counted as everywhere else: each byte that is
  // not valid UTF-8 is one character, U+FFFD.
  const std::u16string units = Utf8ToUtf16(aText);
  std::string out;
  out.reserve(units.size() * 3);
  char buffer[16];
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned>(cp));
    if (!out.empty()) out.push_back(' ');
    out.append(buffer);
  }
  return out;
}

std::string kDeviceLog::SanitizeLogFileName(std::string_view aFileName) {
  std::string name(aFileName);
  for (char& c : name) {
    if (IsForbiddenInFileName(static_cast<unsigned char>(c))) c = '_';
  }
  // A run of dots could name a parent folder once some layer splits the name again.
  for (size_t i = 0; i < name.size();) {
    if (name[i] != '.') {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < name.size() && name[end] == '.') ++end;
    if (end - i >= 2) name.replace(i, end - i, end - i, '_');
    i = end;
  }
  if (name.size() > kMaxLogFileNameBytes) {
    size_t cut = kMaxLogFileNameBytes;
    // Never split a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return name;
}
