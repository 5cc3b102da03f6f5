#include "velo-pos/PosCommand.h"

#include <charconv>
#include <memory>

#include "core/Text.h"

namespace {

// What an operation takes, as bits.
enum : unsigned { kDevice = 1, kPayment = 2, kClosing = 4, kVersion = 8 };

enum class tkFlagKind { Value, Pair };

struct tkFlagSpec {
  std::string_view Name;
  std::string_view Key;  // the element filled, or the list for pairs
  unsigned Scopes;
  tkFlagKind Kind = tkFlagKind::Value;
};

// The operation part is written in this order (aliases after their first name).
constexpr tkFlagSpec kFlags[] = {
    {"driver", "Driver", kDevice | kVersion},
    {"log-id", "LogId", kDevice},
    {"connection", "Connection", kDevice},
    {"handle", "Handle", kDevice},
    {"param", "Parameters", kDevice, tkFlagKind::Pair},
    {"channel", "PaymentChannel", kPayment},
    {"action", "Action", kPayment},
    {"phase", "Phase", kPayment},
    {"merchant", "MerchantCode", kPayment},
    {"store", "StoreCode", kPayment | kClosing},
    {"till", "TillCode", kPayment | kClosing},
    {"reference", "Reference", kPayment | kClosing},
    {"amount", "Amount", kPayment},
    {"currency", "Currency", kPayment},
    {"tip", "TipAmount", kPayment},
    {"attributes", "Attributes", kPayment},
    {"wallet", "Attributes", kPayment},
    {"coupon", "Attributes", kPayment},
    {"print-location", "PrintLocation", kPayment | kClosing},
    {"operator", "OperatorId", kPayment},
    {"document-type", "DocumentType", kPayment},
    {"receipt-id", "ReceiptId", kPayment},
    {"element", "Elements", kPayment | kClosing, tkFlagKind::Pair},
};

struct tkOperationSpec {
  std::string_view Word;
  std::string_view Export;
  unsigned Scopes;
  std::string_view Part;  // element of the operation part; empty: none
};

constexpr tkOperationSpec kOperations[] = {
    {"open", "OPEN", kDevice, ""},
    {"close", "CLOSE", kDevice, ""},
    {"status", "GETSTATUS", kDevice, ""},
    {"getstatus", "GETSTATUS", kDevice, ""},
    {"pay", "PAY", kDevice | kPayment, "Payment"},
    {"reprint", "REPRINT", kDevice | kPayment, "Reprint"},
    {"verify", "VERIFYTRAN", kDevice | kPayment, "VerifyTran"},
    {"verifytran", "VERIFYTRAN", kDevice | kPayment, "VerifyTran"},
    {"dayclose", "DAYCLOSE", kDevice | kClosing, "DayClose"},
    {"totals", "GETTOTALS", kDevice | kClosing, "GetTotals"},
    {"gettotals", "GETTOTALS", kDevice | kClosing, "GetTotals"},
    {"version", "VERSION", kVersion, ""},
};

const tkOperationSpec* FindOperation(std::string_view aWord) {
  for (const tkOperationSpec& spec : kOperations) {
    if (SameText(aWord, spec.Word)) return &spec;
  }
  return nullptr;
}

const tkOperationSpec* OperationOfExport(std::string_view aExport) {
  for (const tkOperationSpec& spec : kOperations) {
    if (spec.Export == aExport) return &spec;
  }
  return nullptr;
}

const tkFlagSpec* FindFlag(std::string_view aName) {
  for (const tkFlagSpec& spec : kFlags) {
    if (spec.Name == aName) return &spec;
  }
  return nullptr;
}

bool IsModeWord(std::string_view aWord) {
  return SameText(aWord, "demo") || SameText(aWord, "shell") || SameText(aWord, "help") || SameText(aWord, "run");
}

const char* ModeWord(tkPosMode aMode) {
  switch (aMode) {
    case tkPosMode::Demo: return "demo";
    case tkPosMode::Shell: return "shell";
    case tkPosMode::Run: return "run";
    default: return "";
  }
}

bool IsOperationWord(std::string_view aWord) {
  return FindOperation(aWord) != nullptr || SameText(aWord, "raw");
}

// Element names as XML allows them, ASCII only.
bool IsElementName(std::string_view aName) {
  if (aName.empty()) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(aName.front())) return false;
  for (char c : aName) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  }
  return true;
}

bool IsExportName(std::string_view aName) {
  if (aName.empty()) return false;
  for (char c : aName) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

std::string QuoteWord(const std::string& aWord) {
  if (!aWord.empty() && aWord.find_first_of(" \t'\"\\") == std::string::npos) return aWord;
  std::string quoted = "'";
  for (char c : aWord) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

class tkParser {
 public:
  tkParser(const std::vector<std::string>& aWords, const tkRequestReader& aReader, bool aCommandLine,
           bool aStdinAllowed)
      : fWords(aWords), fReader(aReader), fCommandLine(aCommandLine), fStdinAllowed(aStdinAllowed) {}

  tkPosCommandLine Parse() {
    while (fNext < fWords.size()) {
      const std::string& word = fWords[fNext];
      if (word.size() > 1 && word[0] == '-') {
        ++fNext;
        if (fOperation) fTitleWords.push_back(word);
        Flag(word);
      } else {
        Word(word);
      }
    }
    CloseOperation();
    return std::move(fResult);
  }

 private:
  void Flag(const std::string& aWord) {
    std::string name;
    std::string value;
    bool hasValue = false;
    if (aWord == "-v") {
      name = "verbose";
    } else if (aWord == "-h") {
      name = "help";
    } else if (aWord.size() > 2 && aWord.compare(0, 2, "--") == 0) {
      const size_t equals = aWord.find('=');
      name = aWord.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      if (equals != std::string::npos) {
        value = aWord.substr(equals + 1);
        hasValue = true;
      }
    } else {
      throw tkUsageError("unknown flag " + aWord);
    }

    if (name == "verbose" || name == "no-color" || name == "help" || name == "library" || name == "json" ||
        name == "version") {
      if (!fCommandLine) throw tkUsageError("--" + name + " goes on the velo-pos command line");
      if (fOperation) throw tkUsageError("--" + name + " goes before the first operation");
      if (name == "library") {
        fResult.LibraryPath = TakeValue(name, hasValue, value);
        if (fResult.LibraryPath.empty()) throw tkUsageError("--library needs a file name");
        return;
      }
      if (hasValue) throw tkUsageError("--" + name + " takes no value");
      if (name == "verbose") fResult.Verbose = true;
      if (name == "no-color") fResult.NoColour = true;
      if (name == "json") fResult.Json = true;
      if (name == "help") fResult.Mode = tkPosMode::Help;
      if (name == "version" && fResult.Mode != tkPosMode::Help) fResult.Mode = tkPosMode::Version;
      return;
    }

    const tkFlagSpec* spec = FindFlag(name);
    if (!spec) throw tkUsageError("unknown flag --" + name);
    if (fOperation && (spec->Scopes & fOperationScopes) == 0) {
      throw tkUsageError("--" + name + " does not apply to " + fOperationWord);
    }
    value = TakeValue(name, hasValue, value);
    tkPosSettings& settings = fOperation ? fOperation->Settings : fResult.Defaults;
    if (spec->Kind == tkFlagKind::Pair) {
      const size_t equals = value.find('=');
      const std::string element = value.substr(0, equals);
      if (equals == std::string::npos || !IsElementName(element)) {
        throw tkUsageError("--" + name + " needs NAME=VALUE with NAME an XML element name, not '" + value + "'");
      }
      auto& list = spec->Key == "Parameters" ? settings.Parameters : settings.Elements;
      list.emplace_back(element, value.substr(equals + 1));
    } else {
      settings.Values.insert_or_assign(std::string(spec->Key), value);
    }
  }

  std::string TakeValue(const std::string& aName, bool aHasValue, const std::string& aValue) {
    if (aHasValue) return aValue;
    if (fNext >= fWords.size()) throw tkUsageError("--" + aName + " needs a value");
    if (fOperation) fTitleWords.push_back(fWords[fNext]);
    return fWords[fNext++];
  }

  void Word(const std::string& aWord) {
    ++fNext;
    if (fCommandLine && IsModeWord(aWord)) {
      if (fResult.Mode == tkPosMode::Help || fResult.Mode == tkPosMode::Version) return;
      if (fResult.Mode != tkPosMode::Operations || !fResult.Operations.empty() || fOperation) {
        throw tkUsageError(LowerCase(aWord) + " runs on its own, without operations");
      }
      fResult.Mode = SameText(aWord, "demo")    ? tkPosMode::Demo
                     : SameText(aWord, "shell") ? tkPosMode::Shell
                     : SameText(aWord, "run")   ? tkPosMode::Run
                                                : tkPosMode::Help;
      if (fResult.Mode == tkPosMode::Run) {
        if (fNext >= fWords.size() || fWords[fNext].empty()) throw tkUsageError("run needs a script file: run FILE");
        fResult.ScriptPath = fWords[fNext++];
      }
      return;
    }
    if (fResult.Mode == tkPosMode::Demo || fResult.Mode == tkPosMode::Shell || fResult.Mode == tkPosMode::Run) {
      throw tkUsageError(std::string(ModeWord(fResult.Mode)) + " runs on its own, without operations");
    }
    if (fResult.Mode == tkPosMode::Help || fResult.Mode == tkPosMode::Version) return;
    if (SameText(aWord, "raw")) {
      Raw(aWord);
      return;
    }
    const tkOperationSpec* spec = FindOperation(aWord);
    if (!spec) throw tkUsageError("unknown operation '" + aWord + "'");
    CloseOperation();
    fOperation = std::make_unique<tkPosOperation>();
    fOperation->Export = std::string(spec->Export);
    fOperationScopes = spec->Scopes;
    fOperationWord = LowerCase(aWord);
    fTitleWords = {aWord};
  }

  void Raw(const std::string& aWord) {
    CloseOperation();
    if (fNext >= fWords.size() || fWords[fNext].empty() || fWords[fNext][0] == '-') {
      throw tkUsageError("raw needs an export name: raw PAY [FILE|-]");
    }
    const std::string exportName = UpperCase(fWords[fNext++]);
    if (!IsExportName(exportName)) throw tkUsageError("'" + exportName + "' is no export name");
    std::string source = "-";
    if (fNext < fWords.size() && (fWords[fNext] == "-" || (!fWords[fNext].empty() && fWords[fNext][0] != '-' &&
                                                            !IsOperationWord(fWords[fNext])))) {
      source = fWords[fNext++];
    }
    if (source == "-") {
      if (!fStdinAllowed) throw tkUsageError("raw here needs a request file: raw " + exportName + " FILE");
      if (fStdinUsed) throw tkUsageError("only one raw request can come from standard input");
      fStdinUsed = true;
    }
    fOperation = std::make_unique<tkPosOperation>();
    fOperation->Export = exportName;
    fOperation->Raw = true;
    fOperation->RawSource = source;
    fOperation->RawRequest = fReader(source);
    fOperationScopes = 0;
    fOperationWord = "raw";
    fTitleWords = {aWord, exportName, source};
  }

  void CloseOperation() {
    if (!fOperation) return;
    std::string title;
    for (const std::string& word : fTitleWords) {
      if (!title.empty()) title += ' ';
      title += QuoteWord(word);
    }
    fOperation->Title = title;
    fResult.Operations.push_back(std::move(*fOperation));
    fOperation.reset();
  }

  const std::vector<std::string>& fWords;
  const tkRequestReader& fReader;
  const bool fCommandLine;
  const bool fStdinAllowed;
  size_t fNext = 0;
  bool fStdinUsed = false;
  tkPosCommandLine fResult;
  std::unique_ptr<tkPosOperation> fOperation;
  unsigned fOperationScopes = 0;
  std::string fOperationWord;
  std::vector<std::string> fTitleWords;
};

const std::string* SettingOf(const tkPosOperation& aOperation, const tkPosSettings& aDefaults,
                             std::string_view aKey) {
  auto own = aOperation.Settings.Values.find(aKey);
  if (own != aOperation.Settings.Values.end()) return &own->second;
  auto common = aDefaults.Values.find(aKey);
  if (common != aDefaults.Values.end()) return &common->second;
  return nullptr;
}

void AppendElement(std::string& aXml, std::string_view aName, std::string_view aText) {
  aXml += '<';
  aXml += aName;
  aXml += '>';
  aXml += EscapeXmlText(aText);
  aXml += "</";
  aXml += aName;
  aXml += '>';
}

}  // namespace

tkPosCommandLine ParseCommandLine(const std::vector<std::string>& aArguments, const tkRequestReader& aReader) {
  return tkParser(aArguments, aReader, true, true).Parse();
}

std::vector<tkPosOperation> ParseOperations(const std::vector<std::string>& aWords, const tkRequestReader& aReader,
                                            bool aStdinAllowed) {
  return tkParser(aWords, aReader, false, aStdinAllowed).Parse().Operations;
}

std::vector<std::string> SplitLine(std::string_view aLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < aLine.size(); ++i) {
    const char c = aLine[i];
    if (quote == '\'') {
      if (c == '\'') {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '\\' && i + 1 < aLine.size()) {
      word += aLine[++i];
      inWord = true;
    } else if (quote == '"') {
      if (c == '"') {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == '#' && !inWord) {
      break;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote != 0) throw tkUsageError(std::string("unclosed ") + quote);
  if (inWord) words.push_back(std::move(word));
  return words;
}

int32_t RequestHandle(const tkPosOperation& aOperation, const tkPosSettings& aDefaults, int32_t aCurrentHandle) {
  if (const std::string* handle = SettingOf(aOperation, aDefaults, "Handle")) {
    int32_t value = 0;
    const char* end = handle->data() + handle->size();
    auto [last, error] = std::from_chars(handle->data(), end, value);
    return error == std::errc() && last == end ? value : 0;
  }
  return aOperation.Export == "OPEN" ? 0 : aCurrentHandle;
}

std::string BuildRequest(const tkPosOperation& aOperation, const tkPosSettings& aDefaults, int32_t aCurrentHandle) {
  if (aOperation.Raw) return aOperation.RawRequest;
  const std::string* driver = SettingOf(aOperation, aDefaults, "Driver");
  if (aOperation.Export == "VERSION") return driver ? *driver : kDefaultDriver;

  std::string xml = "<ReceiptPrinterManager Version=\"1.0\">";
  AppendElement(xml, "Method", aOperation.Export);
  AppendElement(xml, "Driver", driver ? *driver : kDefaultDriver);
  // A handle given as a flag goes as written, so the library's own checks can be seen.
  if (const std::string* handle = SettingOf(aOperation, aDefaults, "Handle")) {
    AppendElement(xml, "Handle", *handle);
  } else if (const int32_t current = RequestHandle(aOperation, aDefaults, aCurrentHandle); current != 0) {
    AppendElement(xml, "Handle", std::to_string(current));
  }
  const std::string* logId = SettingOf(aOperation, aDefaults, "LogId");
  AppendElement(xml, "LogId", logId ? *logId : kDefaultLogId);
  const std::string* connection = SettingOf(aOperation, aDefaults, "Connection");
  const std::string type = connection ? *connection : kDefaultConnection;
  if (!SameText(type, "none")) {
    xml += "<Connection>";
    AppendElement(xml, "Type", type);
    xml += "</Connection>";
  }
  if (!aDefaults.Parameters.empty() || !aOperation.Settings.Parameters.empty()) {
    xml += "<Parameters>";
    for (const auto* list : {&aDefaults.Parameters, &aOperation.Settings.Parameters}) {
      for (const auto& [name, value] : *list) AppendElement(xml, name, value);
    }
    xml += "</Parameters>";
  }

  const tkOperationSpec* spec = OperationOfExport(aOperation.Export);
  if (spec && !spec->Part.empty()) {
    xml += '<';
    xml += spec->Part;
    xml += '>';
    std::string_view previous;
    for (const tkFlagSpec& flag : kFlags) {
      if ((flag.Scopes & spec->Scopes & (kPayment | kClosing)) == 0 || flag.Key == previous) continue;
      previous = flag.Key;
      if (flag.Kind == tkFlagKind::Pair) {
        for (const auto* list : {&aDefaults.Elements, &aOperation.Settings.Elements}) {
          for (const auto& [name, value] : *list) AppendElement(xml, name, value);
        }
      } else if (const std::string* value = SettingOf(aOperation, aDefaults, flag.Key)) {
        AppendElement(xml, flag.Key, *value);
      }
    }
    xml += "</";
    xml += spec->Part;
    xml += '>';
  }
  xml += "</ReceiptPrinterManager>";
  return xml;
}

std::string EscapeXmlText(std::string_view aText) {
  std::string escaped;
  escaped.reserve(aText.size());
  for (char c : aText) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

namespace {

constexpr char kOperationsHelp[] = R"(Operations (the export each calls):
  open                 OPEN        open a device; its handle serves what follows
  close                CLOSE       close the current device
  status               GETSTATUS
  pay                  PAY         a payment (a coupon step with --channel MVP --phase)
  reprint              REPRINT
  verify               VERIFYTRAN
  totals               GETTOTALS   the day's totals
  dayclose             DAYCLOSE    close the day
  version              VERSION     the driver's version (the key is --driver)
)";

constexpr char kRawHelp[] = R"(  raw EXPORT [FILE|-]  EXPORT      the request read from FILE, or standard input when
                                   FILE is - or missing; prints the result code, the
                                   answer and the error text exactly:
                                     result: <code>
                                     <answer>
                                     error: <error text>
)";

constexpr char kFlagsHelp[] = R"(Flags of pay, reprint and verify (each fills the request element named):
  --amount 12.34             Amount          --currency EUR          Currency
  --channel STD|MVP|NHS      PaymentChannel  --phase NONE|BEGIN|DO|COMMIT|ROLLBACK  Phase
  --action PAY|REFUND|VOID   Action          --attributes TEXT       Attributes
  --wallet NAME, --coupon CODE               the same as --attributes
  --merchant CODE            MerchantCode    --store CODE            StoreCode
  --till CODE                TillCode        --reference TEXT        Reference
  --tip 1.00                 TipAmount       --print-location ECR|EFT  PrintLocation
  --operator ID              OperatorId      --document-type TYPE    DocumentType
  --receipt-id ID            ReceiptId       --element NAME=VALUE    any other element
Flags of totals and dayclose: --store, --till, --reference, --print-location, --element.
Flags of every operation but version and raw (the device part):
  --driver KEY      Driver (default VELO_VIROZI_10; version takes it too)
  --log-id ID       LogId, which names the device log (default 1)
  --connection T    Connection/Type (default COM; none leaves the element out)
  --handle N        Handle, instead of the one from open
  --param NAME=V    a Parameters element, for example --param HexLog=true
Values go into the request as written (XML-escaped); the library checks them.
)";

constexpr char kExpectHelp[] = R"(  expect ok                 the last operation succeeded
  expect error ["TEXT"]     it failed (with an error text that contains TEXT)
  expect result N           its result code was N
  expect NAME VALUE         its answer's element NAME is VALUE (numbers by value:
                            expect TotalAmount 17.5 holds for 17.50)
)";

}  // namespace

std::string UsageText() {
  return std::string(R"(velo-pos: a POS on the command line for the VELO_VIROZI_10 payment library.
It loads the library by file name and calls its exports as a POS program does.

Usage:
  velo-pos [options] OPERATION [flags] [OPERATION [flags]]...
  velo-pos [options] raw EXPORT [FILE|-]...     send a request document as it is
  velo-pos [options] shell                       one chain of operations per line
  velo-pos [options] run FILE                    the lines of FILE, as in the shell
  velo-pos [options] demo                        a whole shop day, step by step

Device handles live as long as the library stays loaded, that is for one velo-pos run:
chain the operations of a session in one command line (or use the shell). The handle
that open gives goes into every later request of the run until close.
  velo-pos open pay --amount 5 --currency EUR close

)") + kOperationsHelp +
         kRawHelp + "\n" + kFlagsHelp + R"(A flag before the first operation applies to every operation that takes it.

Scripts (run FILE, or shell with its input from a file or pipe) hold one chain of
operations per line, '#' comments, and lines that check the answer before them:
)" + kExpectHelp + R"(A script stops at the first line that cannot be run or whose expectation does not hold.

Options (before the first operation):
  --library FILE    the library to load (default: VELO_VIROZI_10 beside velo-pos)
  -v, --verbose     show each request document and every answer element
  --json            one JSON object per line for each step, for scripts
  --no-color        no colours (also when NO_COLOR is set)
  --version         velo-pos's and the library's versions
  -h, --help        this text

Exit code: 0 when the last operation succeeded, 1 when it failed (result code not 0,
or no version text for version; for demo: a step that did not come out as expected;
for a script: an expectation that did not hold), 2 for a command line or script line
that cannot be run (also an export the library lacks), 3 when the library cannot be
loaded.
)";
}

std::string ShellHelpText() {
  return std::string(R"(One chain of operations per line, as on the velo-pos command line but without
velo-pos and its options; the handle from open serves the lines after it.
  open
  pay --amount 12.50 --currency EUR
  pay --amount 7.13 --currency EUR       # a '#' starts a comment
  expect error "TRANSAZIONE NEGATA"

Shell commands:
  help                      this text
  quit, exit                leave the shell (also Ctrl-D)
)") + kExpectHelp +
         "  raw EXPORT FILE           send the request document in FILE as it is\n\n" + kOperationsHelp + "\n" +
         kFlagsHelp;
}
