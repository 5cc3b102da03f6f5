#pragma once
// velo-pos command lines: the operations a run performs, their flags, and the request
// documents they become.
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A command line that cannot be run; the text says why.
class tkUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a run does besides operations: Run reads the lines of a script file as the shell
// does.
enum class tkPosMode { Operations, Demo, Shell, Run, Help, Version };

// The flag values that make a request: before the first operation they are defaults for
// every operation that takes them, after an operation they are that operation's own.
struct tkPosSettings {
  // Single-valued flags by the element they fill ("Driver", "Handle", "Amount", ...);
  // a flag given twice keeps its last value.
  std::map<std::string, std::string, std::less<>> Values;
  // --param NAME=VALUE, in the order given.
  std::vector<std::pair<std::string, std::string>> Parameters;
  // --element NAME=VALUE, in the order given.
  std::vector<std::pair<std::string, std::string>> Elements;
};

struct tkPosOperation {
  std::string Export;  // the export called: "PAY", "GETTOTALS", ...
  std::string Title;   // the words as given: "pay --amount 12.34"
  tkPosSettings Settings;
  // raw: the request text sent as it is, read from RawSource ("-": standard input).
  bool Raw = false;
  std::string RawSource;
  std::string RawRequest;
};

struct tkPosCommandLine {
  tkPosMode Mode = tkPosMode::Operations;
  std::string LibraryPath;  // empty: the product library beside the program
  bool Verbose = false;
  bool NoColour = false;
  bool Json = false;        // one JSON object per line instead of readable steps
  std::string ScriptPath;   // run FILE
  tkPosSettings Defaults;
  std::vector<tkPosOperation> Operations;
};

// Gives the content of a raw request file ("-" for standard input) or raises
// tkUsageError.
using tkRequestReader = std::function<std::string(const std::string& aSource)>;

inline constexpr char kDefaultDriver[] = "VELO_VIROZI_10";
inline constexpr char kDefaultLogId[] = "1";
inline constexpr char kDefaultConnection[] = "COM";

// The whole command line, without the program name. Raises tkUsageError.
tkPosCommandLine ParseCommandLine(const std::vector<std::string>& aArguments, const tkRequestReader& aReader);

// Operations with their flags only, as a line of the shell holds them; aStdinAllowed
// false refuses a raw request from standard input. Raises tkUsageError.
std::vector<tkPosOperation> ParseOperations(const std::vector<std::string>& aWords, const tkRequestReader& aReader,
                                            bool aStdinAllowed);

// A shell line split into words: blanks separate them, '...' and "..." quote, a
// backslash outside single quotes takes the next character as it is, and a '#' that
// starts a word starts a comment up to the line's end. Raises tkUsageError for an
// unclosed quote.
std::vector<std::string> SplitLine(std::string_view aLine);

// The handle a request of aOperation names: its own --handle when given (0 when that is
// not a number), else aCurrentHandle, except that OPEN asks for a new device.
int32_t RequestHandle(const tkPosOperation& aOperation, const tkPosSettings& aDefaults, int32_t aCurrentHandle);

// The text sent to aOperation's export: for VERSION the driver key, for raw the request as
// read, otherwise the request document: the device part from the operation's flags over
// aDefaults (the handle as RequestHandle gives it, none when 0) and the operation part.
std::string BuildRequest(const tkPosOperation& aOperation, const tkPosSettings& aDefaults, int32_t aCurrentHandle);

// Text as XML element content.
std::string EscapeXmlText(std::string_view aText);

// The text of `velo-pos --help`.
std::string UsageText();
// The text of `help` in the shell: its own commands, the operations and their flags.
std::string ShellHelpText();
