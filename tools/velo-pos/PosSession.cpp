#include "velo-pos/PosSession.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>

#include "core/Text.h"
#include "velo-pos/PosOutput.h"
#include "velo-pos/ElapsedTicker.h"

namespace {

int32_t ParseHandle(std::string_view aText) {
  int32_t value = 0;
  const char* end = aText.data() + aText.size();
  auto [last, error] = std::from_chars(aText.data(), end, value);
  return error == std::errc() && last == end ? value : 0;
}

// A decimal number, for comparing amounts as values.
std::optional<double> NumberOf(std::string_view aText) {
  double value = 0;
  const char* end = aText.data() + aText.size();
  auto [last, error] = std::from_chars(aText.data(), end, value);
  if (aText.empty() || error != std::errc() || last != end) return std::nullopt;
  return value;
}

bool SameValue(std::string_view aFound, std::string_view aWanted) {
  if (aFound == aWanted) return true;
  const std::optional<double> found = NumberOf(aFound), wanted = NumberOf(aWanted);
  return found && wanted && *found == *wanted;
}

std::string Quoted(std::string_view aText) { return "\"" + std::string(aText) + "\""; }

}  // namespace

tkAnswer tkLibraryCaller::Call(const std::string& aExport, const std::string& aRequest) {
  if (fLibrary.Symbol(aExport.c_str()) == nullptr) {
    throw tkNoExportError("the library has no export " + aExport +
                          " (it has OPEN, CLOSE, GETSTATUS, PAY, REPRINT, VERIFYTRAN, DAYCLOSE, GETTOTALS, VERSION)");
  }
  return fLibrary.Call(aExport.c_str(), aRequest);
}

bool tkStreamLines::Next(const std::string&, std::string& aLine) {
  if (!std::getline(fInput, aLine)) return false;
  if (!aLine.empty() && aLine.back() == '\r') aLine.pop_back();
  return true;
}

tkPosSession::tkOutcome tkPosSession::Run(const tkPosOperation& aOperation, const std::string& aTitle,
                                          const std::string& aCommand, const bool* aExpectSuccess) {
  ++fSteps;
  const std::string request = BuildRequest(aOperation, fDefaults, fCurrentHandle);
  const int32_t handle = aOperation.Raw ? ParseHandle(Element(request, "Handle"))
                                        : RequestHandle(aOperation, fDefaults, fCurrentHandle);

  tkStepView view;
  view.Title = aTitle.empty() ? aOperation.Title : aTitle;
  view.Command = aCommand;
  view.Export = aOperation.Export;
  view.Request = request;
  if (!aOperation.Raw) {
    view.Number = ++fReadableSteps;
    fPrinter.StepHeading(view);
  }
  fPrinter.Flush();

  const auto start = std::chrono::steady_clock::now();
  {
    std::optional<tkElapsedTicker> ticker;
    if (fTicker) ticker.emplace(*fTicker);
    view.Answer = fCaller.Call(aOperation.Export, request);
  }
  view.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  view.Succeeded = AnswerSucceeded(aOperation.Export, view.Answer);

  std::vector<tkFragmentField> fields;
  if (aOperation.Export != "VERSION") ParseFragment(view.Answer.Output, fields);
  for (const tkFragmentField& field : fields) {
    if (field.Name == "Handle" && view.Succeeded && aOperation.Export == "OPEN") {
      fCurrentHandle = ParseHandle(field.Value);
    }
    if (field.Name == "LogFileName" && !field.Value.empty() &&
        std::find(fLogFiles.begin(), fLogFiles.end(), field.Value) == fLogFiles.end()) {
      fLogFiles.push_back(field.Value);
    }
  }
  if (view.Succeeded && aOperation.Export == "CLOSE" && handle == fCurrentHandle) fCurrentHandle = 0;
  fLastFailed = !view.Succeeded;
  fLastExport = aOperation.Export;
  fLastAnswer = view.Answer;
  fAnyAnswer = true;
  if (!view.Succeeded) view.Hint = RefusalHint(aOperation.Export, view.Answer);

  if (aExpectSuccess) {
    if (*aExpectSuccess != view.Succeeded) {
      view.Note = *aExpectSuccess ? "expected it to succeed" : "expected it to fail";
      view.NoteIsProblem = true;
    } else if (!view.Succeeded) {
      view.Note = "as expected";
    }
  }
  if (aOperation.Raw) {
    fPrinter.Raw(view.Answer);
  } else {
    fPrinter.StepOutcome(view);
  }
  return {view.Succeeded, view.Answer};
}

void tkPosSession::PrintLogFiles() {
  for (const std::string& file : fLogFiles) fPrinter.Line("Device log: " + file);
}

tkExpectation tkPosSession::Expect(const std::vector<std::string>& aWords) const {
  if (aWords.empty()) {
    throw tkUsageError("expect needs what to expect: ok, error [\"TEXT\"], result N or NAME VALUE");
  }
  if (!fAnyAnswer) throw tkUsageError("expect needs an operation before it");
  tkExpectation expectation;
  for (const std::string& word : aWords) {
    if (!expectation.Wanted.empty()) expectation.Wanted += ' ';
    expectation.Wanted += word.find(' ') == std::string::npos && !word.empty() ? word : Quoted(word);
  }
  const bool succeeded = AnswerSucceeded(fLastExport, fLastAnswer);
  std::vector<tkFragmentField> fields;
  if (fLastExport != "VERSION") ParseFragment(fLastAnswer.Output, fields);
  auto errorText = [&]() -> std::string {
    for (const tkFragmentField& field : fields) {
      if (field.Name == "ErrorText" && !field.Value.empty()) return field.Value;
    }
    return fLastAnswer.Error;
  };
  const std::string& what = aWords[0];
  if (SameText(what, "ok") && aWords.size() == 1) {
    expectation.Met = succeeded;
    if (!succeeded) expectation.Found = "it failed: " + Quoted(errorText());
  } else if (SameText(what, "error") && aWords.size() <= 2) {
    const std::string text = errorText();
    expectation.Met = !succeeded && (aWords.size() == 1 || text.find(aWords[1]) != std::string::npos);
    if (!expectation.Met) expectation.Found = succeeded ? "it succeeded" : "the error text is " + Quoted(text);
  } else if (SameText(what, "result") && aWords.size() == 2) {
    expectation.Met = std::to_string(fLastAnswer.Result) == aWords[1];
    if (!expectation.Met) expectation.Found = "the result is " + std::to_string(fLastAnswer.Result);
  } else if (aWords.size() == 2) {
    const tkFragmentField* found = nullptr;
    for (const tkFragmentField& field : fields) {
      if (field.Name == what) found = &field;
    }
    if (fLastExport == "VERSION" && what == "Version") {
      expectation.Met = fLastAnswer.Output == aWords[1];
      if (!expectation.Met) expectation.Found = "the version is " + Quoted(fLastAnswer.Output);
    } else if (!found) {
      expectation.Found = "the answer has no " + what;
    } else {
      expectation.Met = SameValue(found->Value, aWords[1]);
      if (!expectation.Met) expectation.Found = what + " is " + Quoted(found->Value);
    }
  } else {
    throw tkUsageError("expect takes ok, error [\"TEXT\"], result N or NAME VALUE, not '" + expectation.Wanted +
                       "'");
  }
  return expectation;
}

int tkPosSession::RunShell(tkLineSource& aLines, std::ostream& aErrors, bool aInteractive,
                           const tkRequestReader& aReader) {
  if (aInteractive) {
    fPrinter.Line("velo-pos shell: one or more operations per line, as on the command line;");
    fPrinter.Line("the handle from open serves the lines after it. 'help' shows them all, 'quit' ends.");
  }
  std::string line;
  int number = 0;
  auto report = [&](const std::string& aText) {
    fPrinter.Flush();
    aErrors << "velo-pos: " << (aInteractive ? "" : "line " + std::to_string(number) + ": ") << aText << "\n";
    aErrors.flush();
  };
  for (;;) {
    const std::string prompt =
        !aInteractive ? std::string()
        : fCurrentHandle > 0 ? "velo-pos [" + std::to_string(fCurrentHandle) + "]> "
                             : "velo-pos> ";
    if (aInteractive && !aLines.ShowsPrompt()) fPrinter.Prompt(prompt);
    if (!aLines.Next(prompt, line)) {
      if (aInteractive) fPrinter.Line("");
      break;
    }
    ++number;
    try {
      const std::vector<std::string> words = SplitLine(line);
      if (words.empty()) continue;
      if (SameText(words.front(), "quit") || SameText(words.front(), "exit")) break;
      if (SameText(words.front(), "help")) {
        fPrinter.Prompt(ShellHelpText());
        continue;
      }
      if (SameText(words.front(), "expect")) {
        const tkExpectation expectation = Expect(std::vector<std::string>(words.begin() + 1, words.end()));
        fPrinter.Expectation(expectation.Wanted, expectation.Met, expectation.Found);
        if (expectation.Met) {
          // What was expected is no failure of the run.
          fLastFailed = false;
        } else if (aInteractive) {
          fLastFailed = true;
        } else {
          report("expected " + expectation.Wanted + ", but " + expectation.Found);
          return kExitFailed;
        }
        continue;
      }
      for (const tkPosOperation& operation : ParseOperations(words, aReader, false)) Run(operation);
    } catch (const tkUsageError& e) {
      report(e.what());
      if (!aInteractive) return kExitUsage;
    } catch (const tkNoExportError& e) {
      report(e.what());
      fLastFailed = true;
      if (!aInteractive) return kExitUsage;
    } catch (const std::runtime_error& e) {
      // A call the library cannot take ends the line, not the shell.
      report(e.what());
      fLastFailed = true;
      if (!aInteractive) return kExitLibrary;
    }
  }
  return ExitCode();
}
