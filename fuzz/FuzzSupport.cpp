#include "FuzzSupport.h"

#include <pugixml.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "core/Text.h"
#include "entry/PaymentRegistry.h"
#include "log/LogText.h"
#include "platform/Host.h"

extern "C" {
uint32_t PAY(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t REPRINT(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t OPEN(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t GETSTATUS(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t DAYCLOSE(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t GETTOTALS(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t CLOSE(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t VERSION(platform::Bstr, platform::Bstr*, platform::Bstr*);
uint32_t VERIFYTRAN(platform::Bstr, platform::Bstr*, platform::Bstr*);
}

namespace fs = std::filesystem;

namespace fuzz {

namespace {

constexpr ExportFunction kExports[kOperationCount] = {PAY,       REPRINT, OPEN,    GETSTATUS, DAYCLOSE,
                                                      GETTOTALS, CLOSE,   VERSION, VERIFYTRAN};
constexpr const char* kNames[kOperationCount] = {"PAY",       "REPRINT", "OPEN",    "GETSTATUS", "DAYCLOSE",
                                                 "GETTOTALS", "CLOSE",   "VERSION", "VERIFYTRAN"};
// Log files are removed after this many runs; long runs would fill the disk otherwise.
constexpr int kRunsPerLogSweep = 200;

std::string Printable(std::string_view aText) {
  std::string out;
  AppendLogEscaped(out, aText.substr(0, 2000));
  return out;
}

// A character XML 1.0 allows, given as UTF-16 units from aAt; how many units it took, 0
// when it is not allowed (a lone surrogate counts as not allowed).
size_t XmlCharUnits(const char16_t* aText, size_t aLength, size_t aAt) {
  const char16_t u = aText[aAt];
  if (u >= 0xD800 && u <= 0xDBFF) {
    return aAt + 1 < aLength && aText[aAt + 1] >= 0xDC00 && aText[aAt + 1] <= 0xDFFF ? 2 : 0;
  }
  if (u >= 0xDC00 && u <= 0xDFFF) return 0;
  if (u < 0x20) return u == 0x9 || u == 0xA || u == 0xD ? 1 : 0;
  return u == 0xFFFE || u == 0xFFFF ? 0 : 1;
}

void CheckAnswer(Operation aOperation, uint32_t aResult, const char16_t* aOutput) {
  if (aResult != 0 && aResult != 0xFFFF) Fail("result code neither 0 nor -1", std::to_string(aResult));
  const uint32_t length = aOutput ? platform::BstrLength(aOutput) : 0;
  for (size_t i = 0; i < length;) {
    const size_t units = XmlCharUnits(aOutput, length, i);
    if (units == 0) {
      Fail(std::string(kNames[aOperation]) + " answer holds a character XML 1.0 does not allow at unit " +
               std::to_string(i),
           Utf16ToUtf8(std::u16string_view(aOutput, length)));
    }
    i += units;
  }
  if (aOperation == kVersion) return;  // a plain version text
  const std::string text = Utf16ToUtf8(std::u16string_view(aOutput ? aOutput : u"", length));
  // A character reference could name a character XML 1.0 does not allow; answers never
  // need one.
  if (text.find("&#") != std::string::npos) Fail("answer holds a character reference", text);
  const std::string wrapped = "<Answer>" + text + "</Answer>";
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(wrapped.data(), wrapped.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) Fail(std::string("answer is not well-formed XML: ") + parsed.description(), text);
  for (pugi::xml_node child = document.document_element().first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) Fail("answer holds text outside its elements", text);
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One line of a log file, without its line end: stamp, separator, a message without any
// control character, valid UTF-8, and no unbroken card number.
void CheckLogLine(const std::string& aFile, std::string_view aLine) {
  static constexpr char kShape[] = "dddd-dd-dd dd:dd:dd:ddd - ";
  bool shaped = aLine.size() >= sizeof kShape - 1;
  for (size_t i = 0; shaped && i < sizeof kShape - 1; ++i) {
    shaped = kShape[i] == 'd' ? IsDigit(aLine[i]) : aLine[i] == kShape[i];
  }
  if (!shaped) Fail("log line that is no record in " + aFile, Printable(aLine));
  for (const char c : aLine) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) Fail("control character inside a log record in " + aFile, Printable(aLine));
  }
  std::string escaped;
  AppendLogEscaped(escaped, aLine);
  if (escaped != aLine) Fail("log record that is not clean UTF-8 in " + aFile, Printable(aLine));
  for (size_t i = 0; i < aLine.size();) {
    if (!IsDigit(aLine[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < aLine.size() && IsDigit(aLine[end])) ++end;
    if (end - i >= 13 && end - i <= 19 && PassesLuhn(aLine.substr(i, end - i))) {
      Fail("card number in a log record in " + aFile, Printable(aLine));
    }
    i = end;
  }
}

std::map<std::string, uintmax_t>& CheckedUpTo() {
  static std::map<std::string, uintmax_t> offsets;
  return offsets;
}

void CheckLogFolder(const fs::path& aFolder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(aFolder, error)) {
    if (!entry.is_regular_file(error) || entry.path().extension() != ".log") continue;
    const std::string name = entry.path().string();
    uintmax_t& from = CheckedUpTo()[name];
    const uintmax_t size = entry.file_size(error);
    if (error) continue;
    if (size < from) from = 0;
    if (size == from) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    std::string text(size - from, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    // Only whole lines: a worker may be in the middle of appending.
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      CheckLogLine(name, std::string_view(text).substr(start, end - start));
    }
    from += start;
  }
}

fs::path LogFolder() { return fs::path(GetExePath()) / "LogFiles"; }

void SweepLogs() {
  std::error_code error;
  for (const fs::path& folder : {LogFolder(), LogFolder() / "Payment"}) {
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      if (entry.is_regular_file(error)) fs::remove(entry.path(), error);
    }
  }
  CheckedUpTo().clear();
}

// Lines an earlier process left are not this run's to check.
[[maybe_unused]] const bool gSweptAtStart = (SweepLogs(), true);

}  // namespace

const char* OperationName(Operation aOperation) { return kNames[aOperation]; }

[[noreturn]] void Fail(const std::string& aWhat, std::string_view aDetail) {
  std::fprintf(stderr, "\n==== fuzz check failed: %s\n%s\n", aWhat.c_str(), std::string(aDetail).c_str());
  std::abort();
}

Answer Call(Operation aOperation, const std::u16string& aRequest) {
  platform::Bstr request = aRequest.empty() ? nullptr : platform::BstrAlloc(aRequest.data(), aRequest.size());
  platform::Bstr output = nullptr;
  platform::Bstr error = nullptr;
  Answer answer;
  answer.Result = kExports[aOperation](request, &output, &error);
  CheckAnswer(aOperation, answer.Result, output);
  answer.Output = output ? Utf16ToUtf8(std::u16string_view(output, platform::BstrLength(output))) : std::string();
  answer.Error = error ? Utf16ToUtf8(std::u16string_view(error, platform::BstrLength(error))) : std::string();
  platform::BstrFree(output);
  platform::BstrFree(error);
  platform::BstrFree(request);
  return answer;
}

Answer Call(Operation aOperation, std::string_view aUtf8Request) { return Call(aOperation, Utf8ToUtf16(aUtf8Request)); }

std::string Element(const std::string& aOutput, std::string_view aName) {
  const std::string open = "<" + std::string(aName) + ">";
  const size_t begin = aOutput.find(open);
  if (begin == std::string::npos) return {};
  const size_t end = aOutput.find("</" + std::string(aName) + ">", begin);
  return end == std::string::npos ? std::string() : aOutput.substr(begin + open.size(), end - begin - open.size());
}

std::string XmlText(std::string_view aText) {
  std::string out;
  for (const char c : aText) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Request(int32_t aHandle, std::string_view aLogId, std::string_view aBody) {
  std::string xml = "<Request><Driver>VELO_VIROZI_10</Driver>";
  if (aHandle != 0) xml += "<Handle>" + std::to_string(aHandle) + "</Handle>";
  xml += "<LogId>" + XmlText(aLogId) + "</LogId><Connection><Type>COM</Type></Connection>";
  xml += aBody;
  xml += "</Request>";
  return xml;
}

void EndRun() {
  static int32_t closedUpTo = 0;
  static int runs = 0;
  kPaymentDeviceRegistry& devices = PaymentDevices();
  const int32_t last = devices.LastDeviceHandle();
  for (int32_t handle = closedUpTo + 1; handle <= last; ++handle) {
    if (devices.Find(handle) == nullptr) continue;
    const Answer closed = Call(kClose, Request(handle, "fuzz", ""));
    if (closed.Result != 0) Fail("CLOSE of an open device failed", closed.Error);
  }
  closedUpTo = last;
  CheckLogFolder(LogFolder());
  CheckLogFolder(LogFolder() / "Payment");
  if (++runs % kRunsPerLogSweep == 0) SweepLogs();
}

std::string HostileText(FuzzedDataProvider& aData, size_t aMaxLength) {
  static constexpr const char* kPieces[] = {
      "\r\n2025-01-31 09:15:02:007 - fVirPay.Pagamento:Response:T1;1000;OK;;2;;",
      "\n", "\r", "\t", "" /* NUL */, "\x01\x1b[2J", "\x7f", "\xc2\x85", "\xe2\x80\xa8",
      "\xff", "\xed\xa0\x80", "\xef\xbf\xbe", "4539578763621486", "4539 5787 6362 1486", "4539-5787-6362-1486",
      "6011000990139424", "378282246310005", "80380001234567890123", "&amp;", "]]>", "<x>", "\\r\\n", "OK", ";",
      "-", "|"};
  std::string text;
  const int pieces = aData.ConsumeIntegralInRange<int>(0, 4);
  for (int i = 0; i < pieces && text.size() < aMaxLength; ++i) {
    const size_t pick = aData.ConsumeIntegralInRange<size_t>(0, std::size(kPieces));
    if (pick == std::size(kPieces)) {
      text += aData.ConsumeRandomLengthString(aMaxLength);
    } else if (pick == 4) {
      text.push_back('\0');
    } else {
      text += kPieces[pick];
    }
  }
  return text;
}

}  // namespace fuzz
