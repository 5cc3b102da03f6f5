#pragma once
// A velo-pos run: operations called one after another in one process, so the handle that
// OPEN gives serves the operations after it, as in a POS.
#include <cstdint>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostlib/ProductLibrary.h"
#include "velo-pos/PosCommand.h"
#include "velo-pos/PosOutput.h"

// A request for an export that the library does not have: the command cannot be run.
class tkNoExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The way to the library's exports (the loaded library, or a stand-in in tests).
class tkExportCaller {
 public:
  virtual ~tkExportCaller() = default;
  // Raises tkNoExportError when the library has no such export, std::runtime_error when
  // it cannot make the call otherwise.
  virtual tkAnswer Call(const std::string& aExport, const std::string& aRequest) = 0;
};

class tkLibraryCaller : public tkExportCaller {
 public:
  explicit tkLibraryCaller(const tkProductLibrary& aLibrary) : fLibrary(aLibrary) {}
  tkAnswer Call(const std::string& aExport, const std::string& aRequest) override;

 private:
  const tkProductLibrary& fLibrary;
};

// Where the shell's lines come from.
class tkLineSource {
 public:
  virtual ~tkLineSource() = default;
  // The next line, without its line end; false at the end of the input. aPrompt is shown
  // first where a person types and the source shows prompts itself.
  virtual bool Next(const std::string& aPrompt, std::string& aLine) = 0;
  // False: the shell shows the prompt before asking for the line.
  virtual bool ShowsPrompt() const { return false; }
};

// Lines of a stream, without a prompt.
class tkStreamLines : public tkLineSource {
 public:
  explicit tkStreamLines(std::istream& aInput) : fInput(aInput) {}
  bool Next(const std::string& aPrompt, std::string& aLine) override;

 private:
  std::istream& fInput;
};

// What an `expect` line found: whether it holds, and what it looked at.
struct tkExpectation {
  bool Met = false;
  std::string Wanted;  // the words after expect, as one text
  std::string Found;   // what the answer had instead, when it does not hold
};

// Exit codes of velo-pos.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;   // the last operation failed
inline constexpr int kExitUsage = 2;    // the command line cannot be run
inline constexpr int kExitLibrary = 3;  // the library cannot be loaded or lacks an export

class tkPosSession {
 public:
  // aTicker: where the elapsed time of a running call is shown; null: nowhere.
  tkPosSession(tkExportCaller& aCaller, tkPosPrinter& aPrinter, tkPosSettings aDefaults,
               std::ostream* aTicker = nullptr)
      : fCaller(aCaller), fPrinter(aPrinter), fDefaults(std::move(aDefaults)), fTicker(aTicker) {}

  struct tkOutcome {
    bool Succeeded = false;
    tkAnswer Answer;
  };

  // Calls the operation's export and shows it (raw requests: the exact answer; others: a
  // readable step titled aTitle, or the operation's own words). aExpectSuccess, when
  // given, is what the step should come to; a step that does not is noted.
  tkOutcome Run(const tkPosOperation& aOperation, const std::string& aTitle = {}, const std::string& aCommand = {},
                const bool* aExpectSuccess = nullptr);

  // The handle of the device that the last OPEN gave, until it is closed; 0 when none.
  int32_t CurrentHandle() const { return fCurrentHandle; }
  // The device log files that answers named, each once, in order.
  const std::vector<std::string>& LogFiles() const { return fLogFiles; }
  bool AnyRun() const { return fSteps > 0; }
  bool AnyReadable() const { return fReadableSteps > 0; }
  bool LastFailed() const { return fLastFailed; }
  // kExitFailed when the last operation failed, else kExitSuccess.
  int ExitCode() const { return fLastFailed ? kExitFailed : kExitSuccess; }
  // The closing lines of a run: the device logs written.
  void PrintLogFiles();

  // Reads lines until the end or "quit", each a chain of operations, an `expect` line or
  // a shell command, and runs them. Interactive (a prompt before each line), a line that
  // cannot be run is reported on aErrors and the next one read. Otherwise it is a script:
  // the first line that cannot be run (kExitUsage) or whose expectation does not hold
  // (kExitFailed) ends it, reported with its line number. Gives the exit code.
  int RunShell(tkLineSource& aLines, std::ostream& aErrors, bool aInteractive, const tkRequestReader& aReader);
  int RunShell(std::istream& aInput, std::ostream& aErrors, bool aInteractive, const tkRequestReader& aReader) {
    tkStreamLines lines(aInput);
    return RunShell(lines, aErrors, aInteractive, aReader);
  }

  // The words after `expect` checked against the last answer. Raises tkUsageError when
  // they make no expectation or no operation ran before.
  tkExpectation Expect(const std::vector<std::string>& aWords) const;

 private:
  tkExportCaller& fCaller;
  tkPosPrinter& fPrinter;
  tkPosSettings fDefaults;
  std::ostream* fTicker;
  int32_t fCurrentHandle = 0;
  std::vector<std::string> fLogFiles;
  int fSteps = 0;
  int fReadableSteps = 0;
  bool fLastFailed = false;
  // The last operation that ran and its answer, for `expect`.
  std::string fLastExport;
  tkAnswer fLastAnswer;
  bool fAnyAnswer = false;
};
