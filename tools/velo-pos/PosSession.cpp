#include "velo-pos/PosSession.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>

#include "core/Text.h"
#include "velo-pos/ElapsedTicker.h"

namespace {

int32_t ParseHandle(std::string_view aText) {
  int32_t value = 0;
  const char* end = aText.data() + aText.size();
  auto [last, error] = std::from_chars(aText.data(), end, value);
  return error == std::errc() && last == end ? value : 0;
}

}  // namespace

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

int tkPosSession::RunShell(std::istream& aInput, std::ostream& aErrors, bool aPrompt, const tkRequestReader& aReader) {
  if (aPrompt) {
    fPrinter.Line("velo-pos shell: one or more operations per line, as on the command line;");
    fPrinter.Line("the handle from open serves the lines after it. 'help' shows them all, 'quit' ends.");
  }
  std::string line;
  for (;;) {
    if (aPrompt) {
      fPrinter.Prompt(fCurrentHandle > 0 ? "velo-pos [" + std::to_string(fCurrentHandle) + "]> " : "velo-pos> ");
    }
    if (!std::getline(aInput, line)) {
      if (aPrompt) fPrinter.Line("");
      break;
    }
    try {
      const std::vector<std::string> words = SplitLine(line);
      if (words.empty() || words.front()[0] == '#') continue;
      if (SameText(words.front(), "quit") || SameText(words.front(), "exit")) break;
      if (SameText(words.front(), "help")) {
        fPrinter.Prompt(UsageText());
        continue;
      }
      for (const tkPosOperation& operation : ParseOperations(words, aReader, false)) Run(operation);
    } catch (const tkUsageError& e) {
      aErrors << "velo-pos: " << e.what() << "\n";
      aErrors.flush();
    } catch (const std::runtime_error& e) {
      // A call the library cannot take (no such export) ends the line, not the shell.
      aErrors << "velo-pos: " << e.what() << "\n";
      aErrors.flush();
      fLastFailed = true;
    }
  }
  return ExitCode();
}
