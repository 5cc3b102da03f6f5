#pragma once
// A velo-pos run: operations called one after another in one process, so the handle that
// OPEN gives serves the operations after it, as in a POS.
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "hostlib/ProductLibrary.h"
#include "velo-pos/PosCommand.h"
#include "velo-pos/PosOutput.h"

// The way to the library's exports (the loaded library, or a stand-in in tests).
class tkExportCaller {
 public:
  virtual ~tkExportCaller() = default;
  // Raises std::runtime_error when the library cannot make the call (no such export).
  virtual tkAnswer Call(const std::string& aExport, const std::string& aRequest) = 0;
};

class tkLibraryCaller : public tkExportCaller {
 public:
  explicit tkLibraryCaller(const tkProductLibrary& aLibrary) : fLibrary(aLibrary) {}
  tkAnswer Call(const std::string& aExport, const std::string& aRequest) override {
    return fLibrary.Call(aExport.c_str(), aRequest);
  }

 private:
  const tkProductLibrary& fLibrary;
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

  // Reads lines from aInput until its end or "quit", each a chain of operations, and runs
  // them; aPrompt shows a prompt before each line. Lines that cannot be run are reported
  // on aErrors and skipped. Gives the exit code.
  int RunShell(std::istream& aInput, std::ostream& aErrors, bool aPrompt, const tkRequestReader& aReader);

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
};
