#include "app/Application.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "core/Errors.h"
#include "core/Text.h"
#include "core/Utils.h"
#include "log/LogWriter.h"
#include "platform/Host.h"
#include "platform/Platform.h"
#include "platform/Resources.h"

// ---- formatting -----------------------------------------------------------------------

namespace {

// Widths and precisions beyond this are taken for a broken format rather than honoured
// with a huge allocation.
constexpr int64_t kMaxFieldSize = 100000;

class tMx_Formatter {
 public:
  tMx_Formatter(std::string_view aFormat, std::span<const tMx_FormatArg> aArgs)
      : fFormat(aFormat), fArgs(aArgs) {}

  std::string Run() {
    while (fPos < fFormat.size()) {
      char c = fFormat[fPos++];
      if (c != '%') {
        fOut += c;
      } else if (fPos < fFormat.size() && fFormat[fPos] == '%') {
        fOut += '%';
        ++fPos;
      } else {
        Specifier();
      }
    }
    return std::move(fOut);
  }

 private:
  [[noreturn]] void Invalid() const {
    throw EMxError("Format '" + std::string(fFormat) + "' invalid or incompatible with argument");
  }

  const tMx_FormatArg& Take() {
    if (fNext >= fArgs.size()) {
      throw EMxError("No argument for format '" + std::string(fFormat) + "'");
    }
    return fArgs[fNext++];
  }

  int64_t TakeInteger() {
    const auto* value = std::get_if<int64_t>(&Take().fValue);
    if (value == nullptr) Invalid();
    return *value;
  }

  // Digits or "*"; nullopt when there is neither.
  std::optional<int64_t> Number() {
    if (fPos < fFormat.size() && fFormat[fPos] == '*') {
      ++fPos;
      return TakeInteger();
    }
    size_t start = fPos;
    int64_t value = 0;
    while (fPos < fFormat.size() && fFormat[fPos] >= '0' && fFormat[fPos] <= '9') {
      value = value * 10 + (fFormat[fPos++] - '0');
      if (value > kMaxFieldSize) Invalid();
    }
    if (fPos == start) return std::nullopt;
    return value;
  }

  void Specifier() {
    std::optional<int64_t> first = Number();
    if (first && fPos < fFormat.size() && fFormat[fPos] == ':') {
      if (*first < 0) Invalid();
      fNext = static_cast<size_t>(*first);
      ++fPos;
      first.reset();
    }
    bool left = false;
    if (!first && fPos < fFormat.size() && fFormat[fPos] == '-') {
      left = true;
      ++fPos;
    }
    std::optional<int64_t> width = first ? first : Number();
    if (width && *width < 0) {  // a negative "*" width justifies left
      left = true;
      *width = -*width;
    }
    std::optional<int64_t> precision;
    if (fPos < fFormat.size() && fFormat[fPos] == '.') {
      ++fPos;
      precision = Number();
      if (!precision) precision = 0;
      if (*precision < 0) precision.reset();
    }
    if ((width && *width > kMaxFieldSize) || (precision && *precision > kMaxFieldSize)) Invalid();
    if (fPos >= fFormat.size()) Invalid();
    char type = static_cast<char>(fFormat[fPos++] | 0x20);  // types are case-insensitive

    std::string text = Render(type, precision);
    size_t length = CodePointCount(text);
    size_t pad = width && static_cast<size_t>(*width) > length ? *width - length : 0;
    if (left) {
      fOut += text;
      fOut.append(pad, ' ');
    } else {
      fOut.append(pad, ' ');
      fOut += text;
    }
  }

  std::string Render(char aType, std::optional<int64_t> aPrecision) {
    switch (aType) {
      case 'd': {
        int64_t value = TakeInteger();
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
        return (value < 0 ? "-" : "") + ZeroPad(std::to_string(magnitude), aPrecision);
      }
      case 'u':
        return ZeroPad(std::to_string(static_cast<uint64_t>(TakeInteger())), aPrecision);
      case 'x': {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%llX",
                      static_cast<unsigned long long>(TakeInteger()));
        return ZeroPad(buffer, aPrecision);
      }
      case 's': {
        const auto* value = std::get_if<std::string>(&Take().fValue);
        if (value == nullptr) Invalid();
        return aPrecision ? std::string(LeftCodePoints(*value, *aPrecision)) : *value;
      }
      case 'e': case 'f': case 'g': case 'n': {
        const auto* value = std::get_if<double>(&Take().fValue);
        if (value == nullptr) Invalid();
        return RenderFloat(aType, *value, aPrecision);
      }
      default:
        Invalid();
    }
  }

  static std::string ZeroPad(std::string aDigits, std::optional<int64_t> aPrecision) {
    if (aPrecision && aDigits.size() < static_cast<size_t>(*aPrecision)) {
      aDigits.insert(0, *aPrecision - aDigits.size(), '0');
    }
    return aDigits;
  }

  static std::string Printf(const char* aPattern, int aPrecision, double aValue) {
    int length = std::snprintf(nullptr, 0, aPattern, aPrecision, aValue);
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, aPattern, aPrecision, aValue);
    return text;
  }

  static std::string RenderFloat(char aType, double aValue, std::optional<int64_t> aPrecision) {
    if (std::isnan(aValue)) return "NAN";
    if (std::isinf(aValue)) return aValue < 0 ? "-INF" : "INF";
    switch (aType) {
      case 'e': {
        // Precision counts all digits; the exponent has a sign and at least three digits.
        int digits = static_cast<int>(aPrecision.value_or(15));
        std::string text = Printf("%.*E", std::max(digits, 1) - 1, aValue);
        size_t e = text.find('E');
        std::string exponent = text.substr(e + 2);
        if (exponent.size() < 3) exponent.insert(0, 3 - exponent.size(), '0');
        return text.substr(0, e + 2) + exponent;
      }
      case 'g': {
        // Shortest form; an exponent has no '+' and no leading zeros.
        int digits = static_cast<int>(aPrecision.value_or(15));
        std::string text = Printf("%.*G", std::max(digits, 1), aValue);
        size_t e = text.find('E');
        if (e == std::string::npos) return text;
        std::string mantissa = text.substr(0, e);
        bool negative = text[e + 1] == '-';
        size_t firstDigit = text.find_first_not_of('0', e + 2);
        std::string exponent = firstDigit == std::string::npos ? "0" : text.substr(firstDigit);
        return mantissa + "E" + (negative ? "-" : "") + exponent;
      }
      case 'f':
        return Printf("%.*f", static_cast<int>(aPrecision.value_or(2)), aValue);
      default: {  // 'n': fixed with thousands grouping
        std::string text = Printf("%.*f", static_cast<int>(aPrecision.value_or(2)), aValue);
        size_t begin = text[0] == '-' ? 1 : 0;
        size_t end = text.find('.');
        if (end == std::string::npos) end = text.size();
        for (size_t at = end; at > begin + 3; at -= 3) text.insert(at - 3, 1, ',');
        return text;
      }
    }
  }

  std::string_view fFormat;
  std::span<const tMx_FormatArg> fArgs;
  size_t fPos = 0;
  size_t fNext = 0;
  std::string fOut;
};

std::u16string Utf16Units(std::string_view aBytes, bool aBigEndian) {
  std::u16string units;
  units.reserve(aBytes.size() / 2);
  for (size_t i = 0; i + 1 < aBytes.size(); i += 2) {
    auto a = static_cast<unsigned char>(aBytes[i]);
    auto b = static_cast<unsigned char>(aBytes[i + 1]);
    units.push_back(static_cast<char16_t>(aBigEndian ? (a << 8 | b) : (b << 8 | a)));
  }
  return units;
}

}  // namespace

std::string MxFormat(std::string_view aFormat, std::span<const tMx_FormatArg> aArgs) {
  return tMx_Formatter(aFormat, aArgs).Run();
}

std::vector<std::string> TextResourceLines(std::string_view aBytes) {
  std::string text;
  if (aBytes.starts_with("\xEF\xBB\xBF")) {
    text = Utf16ToUtf8(Utf8ToUtf16(aBytes.substr(3)));  // malformed sequences become U+FFFD
  } else if (aBytes.starts_with("\xFF\xFE")) {
    text = Utf16ToUtf8(Utf16Units(aBytes.substr(2), false));
  } else if (aBytes.starts_with("\xFE\xFF")) {
    text = Utf16ToUtf8(Utf16Units(aBytes.substr(2), true));
  } else {
    text = platform::AnsiToUtf8(aBytes);
  }
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// ---- the application object -----------------------------------------------------------

tMx_HostContext tMx_HostContext::FromProcess() {
  tMx_HostContext context;
  context.fLogDirectory = GetExePath() + "LogFiles";
  context.fLogName = GetExeName();
  std::vector<std::string> arguments = platform::CommandLineArguments();
  if (!arguments.empty()) context.fArguments.assign(arguments.begin() + 1, arguments.end());
  context.fStrings = platform::LoadResourceString;
  context.fRawResources = platform::LoadRawResource;
  context.fClock = Now;
  return context;
}

tMx_Application::tMx_Application() : tMx_Application(tMx_HostContext::FromProcess()) {}

tMx_Application::tMx_Application(tMx_HostContext aContext) : fContext(std::move(aContext)) {
  if (!fContext.fStrings) fContext.fStrings = [](uint32_t) { return std::string(); };
  if (!fContext.fRawResources) {
    fContext.fRawResources = [](std::string_view) { return std::optional<std::string>(); };
  }
  if (!fContext.fClock) fContext.fClock = Now;

  fSetup = std::make_unique<tMx_Setup>();
  // Creating the writer creates the folder; its thread starts with the first line.
  fLogger = std::make_unique<tMx_LogWriter>(fContext.fLogName, fContext.fLogDirectory, 0, false);
  auto hasSwitch = [this](std::string_view aSwitch) {
    return !GetParamValue(fContext.fArguments, aSwitch, true).empty();
  };
  fIsBatch = hasSwitch("/BATCH");
  fIsDebug = hasSwitch("/DEBUG");
  fIsTest = hasSwitch("/TEST");
  fInfo = std::make_unique<tMx_ApplicationInfo>();
  fInfo->Load(fContext.fStrings);
  LoadMessages("MESSAGES");
}

tMx_Application::~tMx_Application() {
  fSetup.reset();
  fLogger.reset();  // writes the queued lines
  fMessages.clear();
  fInfo.reset();
  fTimers.clear();
}

namespace {

// The object is built on first use, not while the library loads: building it creates the
// log folder beside the host program, which fails in a read-only program folder, and a
// failure during loading would take the host down instead of failing one call. It also
// keeps the loader lock away from the log writer's thread.
struct tMx_ApplicationSlot {
  // Recursive: code run while the object is being built may ask InstanceIfBuilt.
  std::recursive_mutex fLock;
  std::unique_ptr<tMx_Application> fObject;
};

tMx_ApplicationSlot& Slot() {
  static tMx_ApplicationSlot slot;
  return slot;
}

}  // namespace

tMx_Application& tMx_Application::Instance() {
  tMx_ApplicationSlot& slot = Slot();
  std::lock_guard lock(slot.fLock);
  if (!slot.fObject) slot.fObject = std::make_unique<tMx_Application>();
  return *slot.fObject;
}

const tMx_ApplicationInfo& ApplicationInfo() { return tMx_Application::Instance().Info(); }

tMx_Application* tMx_Application::InstanceIfBuilt() {
  tMx_ApplicationSlot& slot = Slot();
  std::lock_guard lock(slot.fLock);
  return slot.fObject.get();
}

void tMx_Application::Shutdown(bool aOtherThreadsRun) {
  tMx_ApplicationSlot& slot = Slot();
  std::unique_ptr<tMx_Application> object;
  {
    std::lock_guard lock(slot.fLock);
    object = std::move(slot.fObject);
  }
  if (!object) return;
  if (!aOtherThreadsRun) object->fLogger->Thread().DrainOnCallingThread();
  object.reset();
}

void tMx_Application::Log(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (aEntryType == let_error) fLastError = aMessage;
  fLogger->Write(aEntryType, aMessage);
}

std::string_view tMx_Application::FindMessage(std::string_view aMessageId) const {
  std::string id(aMessageId);
  auto it = fMessages.find(fLanguage + "." + id);
  if (it == fMessages.end()) it = fMessages.find(id + "." + fDefaultLanguage);
  return it != fMessages.end() ? std::string_view(it->second) : aMessageId;
}

std::string tMx_Application::GetMessage(std::string_view aMessageId) const {
  return StringReplaceAll(FindMessage(aMessageId), "\\r\\n", "\r\n");
}

std::string tMx_Application::GetMessage(std::string_view aMessageId,
                                        std::initializer_list<tMx_FormatArg> aValues) const {
  return MxFormat(FindMessage(aMessageId),
                  std::span<const tMx_FormatArg>(aValues.begin(), aValues.size()));
}

void tMx_Application::LoadMessages(std::string_view aResourceName) {
  std::optional<std::string> data = fContext.fRawResources(aResourceName);
  if (data) AddMessageLines(TextResourceLines(*data));
}

void tMx_Application::AddMessageLines(const std::vector<std::string>& aLines) {
  for (const std::string& line : aLines) {
    // emplace keeps the value of a key that is already there
    fMessages.emplace(ExtractField(line, 1, ':', false), ExtractField(line, 2, ':', false));
  }
}

void tMx_Application::ChangeLogDirectory(std::string_view aNewDir) {
  bool relative = aNewDir.empty() ||
                  !(platform::IsPathDelimiter(aNewDir[0]) ||
                    (aNewDir.size() >= 2 && aNewDir[1] == ':'));
  std::string folder(aNewDir);
  if (relative) folder = aNewDir.empty() ? fContext.fLogDirectory : platform::JoinPath(fContext.fLogDirectory, aNewDir);
  fLogger->SetDirectory(folder);
}

void tMx_Application::ChangeLogFilename(std::string_view aNewFileName) {
  fLogger->SetFileName(std::string(aNewFileName));
}

std::string tMx_Application::GetLogDirectory() const { return fLogger->Directory(); }

std::string tMx_Application::GetLogFileName() const { return fLogger->FileName(); }

void tMx_Application::StartTimer() { fTimers.push_back(fContext.fClock()); }

int64_t tMx_Application::StopTimer() {
  int64_t elapsed = GetTimerValue();
  fTimers.pop_back();
  return elapsed;
}

int64_t tMx_Application::GetTimerValue() const {
  if (fTimers.empty()) throw EMxError("Unbalanced stack or queue operation");
  return ElapsedSince(fTimers.back());
}

namespace {

// Milliseconds since 30 December 1899 on a straight line. Before that day the date part
// counts back while the time of day still counts forward (-1.25 is 29 December, 06:00).
int64_t LinearMilliseconds(TDateTime aValue) {
  double days = std::trunc(aValue);
  return static_cast<int64_t>(days) * kMSecsPerDay +
         std::llround(std::fabs(aValue - days) * kMSecsPerDay);
}

}  // namespace

// Whole date-times are compared, not times of day, so a stop-watch that runs across
// midnight does not come out negative.
int64_t tMx_Application::ElapsedSince(TDateTime aStart) const {
  return LinearMilliseconds(fContext.fClock()) - LinearMilliseconds(aStart);
}
