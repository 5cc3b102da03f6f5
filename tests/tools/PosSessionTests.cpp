// velo-pos runs: handles carried from OPEN to the operations after it, device logs, exit
// codes, the shell, the demo day and the elapsed-time display, against a stand-in library.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "hostlib/ProductLibrary.h"
#include "velo-pos/ElapsedTicker.h"
#include "velo-pos/PosDemo.h"
#include "velo-pos/PosSession.h"

namespace {

struct tkCall {
  std::string Export;
  std::string Request;
};

// Answers every call through aAnswer and keeps the calls.
class tkFakeLibrary : public tkExportCaller {
 public:
  std::function<tkAnswer(const tkCall&)> Answer = [](const tkCall&) { return tkAnswer{}; };
  std::vector<tkCall> Calls;

  tkAnswer Call(const std::string& aExport, const std::string& aRequest) override {
    Calls.push_back({aExport, aRequest});
    return Answer(Calls.back());
  }
};

tkAnswer Answered(int16_t aResult, const std::string& aOutput) {
  tkAnswer answer;
  answer.Result = aResult;
  answer.Output = aOutput;
  return answer;
}

std::string HandleOf(const tkCall& aCall) { return Element(aCall.Request, "Handle"); }

std::string ReadNothing(const std::string& aSource) { throw tkUsageError("cannot read " + aSource); }

struct tkRun {
  tkFakeLibrary Library;
  std::ostringstream Out;
  tkPosPrinter Printer{Out, false, false};
  tkPosSession Session{Library, Printer, tkPosSettings{}};

  void Line(const std::vector<std::string>& aWords) {
    for (const tkPosOperation& operation : ParseOperations(aWords, ReadNothing, false)) Session.Run(operation);
  }
};

// OPEN answers handle 7, the rest succeed.
tkAnswer OpenGivesSeven(const tkCall& aCall) {
  if (aCall.Export == "OPEN") return Answered(0, "<Handle>7</Handle>\r\n<Error>False</Error>");
  return Answered(0, "<Error>False</Error>");
}

TEST(Session, TheHandleFromOpenServesTheOperationsUntilClose) {
  tkRun run;
  run.Library.Answer = OpenGivesSeven;
  run.Line({"pay", "open", "pay", "--amount", "5", "totals", "close", "pay"});
  ASSERT_EQ(run.Library.Calls.size(), 6u);
  EXPECT_EQ(HandleOf(run.Library.Calls[0]), "<missing>");
  EXPECT_EQ(HandleOf(run.Library.Calls[1]), "<missing>");
  EXPECT_EQ(HandleOf(run.Library.Calls[2]), "7");
  EXPECT_EQ(HandleOf(run.Library.Calls[3]), "7");
  EXPECT_EQ(HandleOf(run.Library.Calls[4]), "7");
  EXPECT_EQ(HandleOf(run.Library.Calls[5]), "<missing>");
  EXPECT_EQ(run.Session.CurrentHandle(), 0);
}

TEST(Session, FailedOpenAndCloseOfAnotherDeviceKeepTheHandle) {
  tkRun run;
  int opens = 0;
  run.Library.Answer = [&](const tkCall& aCall) {
    if (aCall.Export == "OPEN" && ++opens == 2) return Answered(-1, "<Handle>0</Handle>\r\n<Error>True</Error>");
    if (aCall.Export == "CLOSE" && HandleOf(aCall) == "9") return Answered(-1, "<Error>True</Error>");
    return OpenGivesSeven(aCall);
  };
  run.Line({"open", "open", "close", "--handle", "3", "close", "--handle", "9", "pay"});
  EXPECT_EQ(run.Session.CurrentHandle(), 7);
  EXPECT_EQ(HandleOf(run.Library.Calls.back()), "7");
}

TEST(Session, RawOpenAndCloseMoveTheHandleToo) {
  tkRun run;
  run.Library.Answer = OpenGivesSeven;
  tkPosOperation open;
  open.Export = "OPEN";
  open.Raw = true;
  open.RawRequest = "<R><Driver>VELO_VIROZI_10</Driver></R>";
  run.Session.Run(open);
  EXPECT_EQ(run.Session.CurrentHandle(), 7);
  tkPosOperation close = open;
  close.Export = "CLOSE";
  close.RawRequest = "<R><Handle>7</Handle></R>";
  run.Session.Run(close);
  EXPECT_EQ(run.Session.CurrentHandle(), 0);
  // Raw requests go exactly as read, and only the exact answers are printed.
  EXPECT_EQ(run.Library.Calls[1].Request, "<R><Handle>7</Handle></R>");
  EXPECT_EQ(run.Out.str(), FormatRawAnswer(OpenGivesSeven({"OPEN", ""})) + FormatRawAnswer(OpenGivesSeven({"CLOSE", ""})));
  EXPECT_FALSE(run.Session.AnyReadable());
}

TEST(Session, DeviceLogsAreListedOnceEach) {
  tkRun run;
  run.Library.Answer = [](const tkCall& aCall) {
    const std::string log = aCall.Export == "DAYCLOSE" ? "/l/b.log" : "/l/a&amp;.log";
    return Answered(0, "<Error>False</Error>\r\n<LogFileName>" + log + "</LogFileName>");
  };
  run.Line({"pay", "dayclose", "pay", "close"});
  EXPECT_EQ(run.Session.LogFiles(), (std::vector<std::string>{"/l/a&.log", "/l/b.log"}));
  run.Session.PrintLogFiles();
  EXPECT_NE(run.Out.str().find("Device log: /l/a&.log\nDevice log: /l/b.log\n"), std::string::npos);
}

TEST(Session, ExitCodeFollowsTheLastOperation) {
  struct tkCase {
    std::vector<int16_t> Results;
    const char* LastExport;
    const char* LastOutput;
    int Expected;
  };
  const tkCase cases[] = {
      {{0}, "PAY", "", kExitSuccess},
      {{-1}, "PAY", "", kExitFailed},
      {{-1, 0}, "CLOSE", "", kExitSuccess},
      {{0, -1}, "CLOSE", "", kExitFailed},
      {{0, 0}, "VERSION", "Version 1 - 2025", kExitSuccess},
      {{0, 0}, "VERSION", "", kExitFailed},
  };
  for (const tkCase& c : cases) {
    tkRun run;
    size_t call = 0;
    run.Library.Answer = [&](const tkCall&) {
      const bool last = call + 1 == c.Results.size();
      return Answered(c.Results[call++], last ? c.LastOutput : "");
    };
    std::vector<std::string> words(c.Results.size() - 1, "pay");
    words.push_back(c.LastExport);
    run.Line(words);
    EXPECT_EQ(run.Session.ExitCode(), c.Expected) << testing::PrintToString(c.Results) << " " << c.LastExport;
  }
}

TEST(Session, ACallTheLibraryCannotTakeEndsTheRun) {
  tkRun run;
  run.Library.Answer = [](const tkCall&) -> tkAnswer { throw std::runtime_error("no export PAY"); };
  EXPECT_THROW(run.Line({"pay"}), std::runtime_error);
}

TEST(Shell, RunsEachLineAsAChain) {
  tkRun run;
  run.Library.Answer = [](const tkCall& aCall) {
    if (aCall.Export == "PAY") return Answered(-1, "<Error>True</Error>");
    return OpenGivesSeven(aCall);
  };
  std::istringstream input(
      "open\n"
      "pay --amount 5 --reference 'two words'\r\n"
      "\n"
      "# a comment\n"
      "   # an indented comment\n"
      "pay close   # a comment after the operations\n"
      "quit\n"
      "pay\n");
  std::ostringstream errors;
  EXPECT_EQ(run.Session.RunShell(input, errors, false, ReadNothing), kExitSuccess);
  std::vector<std::string> exports;
  for (const tkCall& call : run.Library.Calls) exports.push_back(call.Export);
  EXPECT_EQ(exports, (std::vector<std::string>{"OPEN", "PAY", "PAY", "CLOSE"}));
  EXPECT_EQ(Element(run.Library.Calls[1].Request, "Reference"), "two words");
  EXPECT_EQ(HandleOf(run.Library.Calls[3]), "7");
  EXPECT_EQ(errors.str(), "");
  EXPECT_EQ(run.Out.str().find("velo-pos>"), std::string::npos);
}

// A script (input that is no terminal) ends at the first line that cannot run: nothing
// after it reaches the library, and the line number says where.
TEST(Shell, AScriptStopsAtTheFirstLineThatCannotRun) {
  const struct {
    const char* line;
    int code;
    const char* error;
  } cases[] = {
      {"pay --amont 5", kExitUsage, "velo-pos: line 2: unknown flag --amont\n"},
      {"bogus", kExitUsage, "velo-pos: line 2: unknown operation 'bogus'\n"},
      {"pay --reference 'unclosed", kExitUsage, "velo-pos: line 2: unclosed '\n"},
      {"raw PAY", kExitUsage, "velo-pos: line 2: raw here needs a request file: raw PAY FILE\n"},
      {"expect", kExitUsage,
       "velo-pos: line 2: expect needs what to expect: ok, error [\"TEXT\"], result N or NAME VALUE\n"},
      {"expect TotalAmount 1 2", kExitUsage,
       "velo-pos: line 2: expect takes ok, error [\"TEXT\"], result N or NAME VALUE, not 'TotalAmount 1 2'\n"},
      {"reprint", kExitUsage, "velo-pos: line 2: the library has no export REPRINT\n"},
      {"verify", kExitLibrary, "velo-pos: line 2: the call failed\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    tkRun run;
    run.Library.Answer = [](const tkCall& aCall) -> tkAnswer {
      if (aCall.Export == "REPRINT") throw tkNoExportError("the library has no export REPRINT");
      if (aCall.Export == "VERIFYTRAN") throw std::runtime_error("the call failed");
      return OpenGivesSeven(aCall);
    };
    std::istringstream input(std::string("open\n") + c.line + "\nclose\n");
    std::ostringstream errors;
    EXPECT_EQ(run.Session.RunShell(input, errors, false, ReadNothing), c.code);
    EXPECT_EQ(errors.str(), c.error);
    EXPECT_NE(run.Library.Calls.back().Export, "CLOSE");
  }
}

// At the terminal a line that cannot run is reported and the next one read.
TEST(Shell, InteractiveLinesThatCannotRunAreReportedAndSkipped) {
  tkRun run;
  run.Library.Answer = OpenGivesSeven;
  std::istringstream input("bogus\npay --reference 'unclosed\nexpect ok\nopen\nclose\n");
  std::ostringstream errors;
  EXPECT_EQ(run.Session.RunShell(input, errors, true, ReadNothing), kExitSuccess);
  EXPECT_EQ(errors.str(),
            "velo-pos: unknown operation 'bogus'\n"
            "velo-pos: unclosed '\n"
            "velo-pos: expect needs an operation before it\n");
  ASSERT_EQ(run.Library.Calls.size(), 2u);
}

TEST(Shell, HelpShowsTheShellsOwnCommands) {
  tkRun run;
  std::istringstream input("help\n");
  std::ostringstream errors;
  run.Session.RunShell(input, errors, true, ReadNothing);
  const std::string out = run.Out.str();
  EXPECT_NE(out.find("expect error [\"TEXT\"]"), std::string::npos) << out;
  EXPECT_NE(out.find("quit, exit"), std::string::npos) << out;
  EXPECT_NE(out.find("--amount 12.34"), std::string::npos) << out;
  // Not the command line's usage: no options that only the command line takes.
  EXPECT_EQ(out.find("velo-pos [options]"), std::string::npos) << out;
  EXPECT_EQ(out.find("--library"), std::string::npos) << out;
}

// The terminal of the demo: 7.13 declined, totals of 17.50 EUR.
tkAnswer ExpectTerminal(const tkCall& aCall) {
  if (aCall.Export == "OPEN") return OpenGivesSeven(aCall);
  if (aCall.Export == "GETTOTALS") {
    return Answered(0, "<TotalAmount>17.50</TotalAmount>\r\n<Currency>EUR</Currency>\r\n<Error>False</Error>");
  }
  if (Element(aCall.Request, "Amount") == "7.13") {
    tkAnswer declined = Answered(-1, "<Error>True</Error>\r\n<ErrorText>TRANSAZIONE NEGATA</ErrorText>");
    declined.Error = "TRANSAZIONE NEGATA";
    return declined;
  }
  return Answered(0, "<Error>False</Error>\r\n<ErrorText></ErrorText>");
}

TEST(Shell, ExpectationsCheckTheAnswerBeforeThem) {
  const struct {
    const char* operation;
    const char* expectation;
    bool met;
    const char* found;  // in the message when not met
  } cases[] = {
      {"pay --amount 7.13", "expect error", true, ""},
      {"pay --amount 7.13", "expect error \"NEGATA\"", true, ""},
      {"pay --amount 7.13", "expect error 'TRANSAZIONE NEGATA'", true, ""},
      {"pay --amount 7.13", "expect result -1", true, ""},
      {"pay --amount 7.13", "expect ok", false, "expected ok, but it failed: \"TRANSAZIONE NEGATA\""},
      {"pay --amount 7.13", "expect error \"APPROVED\"", false,
       "expected error APPROVED, but the error text is \"TRANSAZIONE NEGATA\""},
      {"pay --amount 5", "expect ok", true, ""},
      {"pay --amount 5", "EXPECT OK  # as it should", true, ""},
      {"pay --amount 5", "expect error", false, "expected error, but it succeeded"},
      {"pay --amount 5", "expect result -1", false, "expected result -1, but the result is 0"},
      {"totals", "expect TotalAmount 17.5", true, ""},
      {"totals", "expect TotalAmount 17.50", true, ""},
      {"totals", "expect Currency EUR", true, ""},
      {"totals", "expect TotalAmount 17.51", false, "expected TotalAmount 17.51, but TotalAmount is \"17.50\""},
      {"totals", "expect Currency eur", false, "expected Currency eur, but Currency is \"EUR\""},
      {"totals", "expect TransactionsCount 2", false,
       "expected TransactionsCount 2, but the answer has no TransactionsCount"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + " / " + c.expectation);
    tkRun run;
    run.Library.Answer = ExpectTerminal;
    // The run ends with the expectation: a failed operation that was expected is a success.
    std::istringstream input(std::string("open\n") + c.operation + "\n" + c.expectation + "\nclose\n");
    std::ostringstream errors;
    const int code = run.Session.RunShell(input, errors, false, ReadNothing);
    if (c.met) {
      EXPECT_EQ(errors.str(), "");
      EXPECT_EQ(run.Library.Calls.back().Export, "CLOSE");
      EXPECT_NE(run.Out.str().find(": yes\n"), std::string::npos) << run.Out.str();
    } else {
      EXPECT_EQ(code, kExitFailed);
      EXPECT_EQ(errors.str(), std::string("velo-pos: line 3: ") + c.found + "\n");
      EXPECT_NE(run.Library.Calls.back().Export, "CLOSE");
    }
  }

  // An expected failure as the last line leaves the run successful; an unexpected one not.
  for (const auto& [script, code] : std::vector<std::pair<std::string, int>>{
           {"open\npay --amount 7.13\nexpect error\n", kExitSuccess},
           {"open\npay --amount 7.13\n", kExitFailed},
           {"expect ok\nopen\n", kExitUsage},
       }) {
    tkRun run;
    run.Library.Answer = ExpectTerminal;
    std::istringstream input(script);
    std::ostringstream errors;
    EXPECT_EQ(run.Session.RunShell(input, errors, false, ReadNothing), code) << script;
  }
}

TEST(Shell, ARefusedValueGetsTheValidOnesAsAHint) {
  tkRun run;
  run.Library.Answer = [](const tkCall& aCall) {
    if (aCall.Export == "PAY") {
      tkAnswer refused = Answered(-1, "<Error>True</Error>\r\n<ErrorText>Invalid Attribute [foo]</ErrorText>");
      refused.Error = "Invalid Attribute [foo]";
      return refused;
    }
    return OpenGivesSeven(aCall);
  };
  run.Line({"pay", "--wallet", "foo"});
  const std::string out = run.Out.str();
  // The library's own text as it came, then the hint.
  const size_t error = out.find("ErrorText               Invalid Attribute [foo]\n");
  const size_t hint = out.find("hint                    wallets (--wallet, any letter case): jiffy, satispay");
  EXPECT_NE(error, std::string::npos) << out;
  EXPECT_NE(hint, std::string::npos) << out;
  EXPECT_LT(error, hint);
}

TEST(Shell, PromptShowsTheCurrentHandleAndTheExitCodeIsTheLastOperations) {
  tkRun run;
  run.Library.Answer = [](const tkCall& aCall) {
    if (aCall.Export == "PAY") return Answered(-1, "<Error>True</Error>");
    return OpenGivesSeven(aCall);
  };
  std::istringstream input("open\npay\n");
  std::ostringstream errors;
  EXPECT_EQ(run.Session.RunShell(input, errors, true, ReadNothing), kExitFailed);
  const std::string out = run.Out.str();
  EXPECT_NE(out.find("velo-pos> [1] open\n"), std::string::npos) << out;
  EXPECT_NE(out.find("velo-pos [7]> [2] pay\n"), std::string::npos) << out;
}

TEST(Shell, ACallTheLibraryCannotTakeEndsOnlyItsLine) {
  tkRun run;
  run.Library.Answer = [](const tkCall& aCall) -> tkAnswer {
    if (aCall.Export == "REPRINT") throw std::runtime_error("no export REPRINT");
    return Answered(0, "");
  };
  std::istringstream input("reprint pay\nclose\n");
  std::ostringstream errors;
  EXPECT_EQ(run.Session.RunShell(input, errors, true, ReadNothing), kExitSuccess);
  EXPECT_EQ(errors.str(), "velo-pos: no export REPRINT\n");
  ASSERT_EQ(run.Library.Calls.size(), 2u);
  EXPECT_EQ(run.Library.Calls[1].Export, "CLOSE");
}

// The terminal as the demo expects it: the amount ending in 13 cents is declined.
tkAnswer DemoTerminal(const tkCall& aCall) {
  if (aCall.Export == "VERSION") return Answered(0, "Version 10.0.0 - 2025-01-31");
  if (aCall.Export == "OPEN") return OpenGivesSeven(aCall);
  if (aCall.Export == "CLOSE") return Answered(0, "<Error>False</Error>");
  if (Element(aCall.Request, "Amount") == "7.13") {
    return Answered(-1, "<Error>True</Error>\r\n<ErrorText>TRANSAZIONE NEGATA</ErrorText>");
  }
  return Answered(0, "<Error>False</Error>\r\n<LogFileName>/logs/VELO_VIROZI_10_demo_20250131.log</LogFileName>");
}

TEST(Demo, RunsTheWholeDayOnOneDevice) {
  tkRun run;
  run.Library.Answer = DemoTerminal;
  EXPECT_EQ(RunDemo(run.Session, run.Printer, "/lib/VELO_VIROZI_10.so"), kExitSuccess);
  const std::string out = run.Out.str();

  std::vector<std::string> exports;
  for (const tkCall& call : run.Library.Calls) {
    exports.push_back(call.Export);
    if (call.Export != "VERSION" && call.Export != "OPEN") {
      EXPECT_EQ(HandleOf(call), "7") << call.Request;
    }
  }
  const std::vector<std::string> day = {"VERSION", "OPEN", "PAY", "PAY", "PAY", "PAY", "PAY", "PAY", "PAY",
                                        "PAY", "PAY", "PAY", "PAY", "PAY", "PAY", "GETTOTALS", "DAYCLOSE", "CLOSE",
                                        "OPEN", "CLOSE"};
  EXPECT_EQ(exports, day);
  // The day's device names its connection; the last one goes without, to the fiscal printer.
  ASSERT_EQ(run.Library.Calls.size(), day.size());
  for (size_t i = 1; i < day.size(); ++i) {
    const bool plain = i >= day.size() - 2;
    EXPECT_EQ(run.Library.Calls[i].Request.find("<Connection>") == std::string::npos, plain) << i;
  }
  // Every kind of payment of the day, the coupon phases in order.
  auto element = [&](size_t aCall, const char* aName) { return Element(run.Library.Calls[aCall].Request, aName); };
  EXPECT_EQ(element(4, "Attributes"), "satispay");
  EXPECT_EQ(element(6, "PaymentChannel"), "NHS");
  EXPECT_EQ(element(7, "PaymentChannel"), "MVP");
  EXPECT_EQ(element(7, "Phase"), "<missing>");
  const std::vector<std::string> phases = {"BEGIN", "DO", "DO", "COMMIT", "BEGIN", "DO", "ROLLBACK"};
  for (size_t i = 0; i < phases.size(); ++i) {
    EXPECT_EQ(element(8 + i, "Phase"), phases[i]);
    EXPECT_EQ(element(8 + i, "StoreCode"), "0042");
    EXPECT_EQ(element(8 + i, "TillCode"), "07");
  }
  EXPECT_NE(element(9, "Attributes"), element(10, "Attributes"));

  for (const tkDemoStep& step : DemoSteps()) EXPECT_NE(out.find("] " + step.Title + "\n"), std::string::npos) << step.Title;
  EXPECT_NE(out.find("PAY FAILED (result -1) in"), std::string::npos);
  EXPECT_NE(out.find(" - as expected\n"), std::string::npos);
  EXPECT_NE(out.find("each as expected.\nDevice log: /logs/VELO_VIROZI_10_demo_20250131.log\n"), std::string::npos)
      << out;
}

TEST(Demo, AStepThatDoesNotComeOutAsExpectedFailsTheDemo) {
  tkRun run;
  run.Library.Answer = [](const tkCall& aCall) {
    if (Element(aCall.Request, "Phase") == "COMMIT") return Answered(-1, "<Error>True</Error>");
    if (Element(aCall.Request, "Amount") == "7.13") return Answered(0, "<Error>False</Error>");
    return DemoTerminal(aCall);
  };
  EXPECT_EQ(RunDemo(run.Session, run.Printer, "lib"), kExitFailed);
  const std::string out = run.Out.str();
  EXPECT_NE(out.find(" - expected it to fail\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" - expected it to succeed\n"), std::string::npos) << out;
  EXPECT_NE(out.find("2 of " + std::to_string(DemoSteps().size()) + " steps did not come out as expected."),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Device log: /logs/"), std::string::npos);
}

TEST(Demo, WithoutADeviceLogTheDemoFails) {
  tkRun run;
  run.Library.Answer = [](const tkCall& aCall) { return Answered(-1, "<ErrorText>not registered</ErrorText>"); };
  EXPECT_EQ(RunDemo(run.Session, run.Printer, "lib"), kExitFailed);
  EXPECT_NE(run.Out.str().find("Device log: none was named"), std::string::npos);
}

TEST(ElapsedTicker, ShowsTheSecondsInPlaceAndWipesThem) {
  std::ostringstream sink;
  {
    tkElapsedTicker ticker(sink, std::chrono::milliseconds(0), std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ticker.Stop();
    const std::string shown = sink.str();
    ASSERT_EQ(shown.rfind("\r  ... 0 s", 0), 0u) << shown;
    EXPECT_GE(shown.size(), 2 * std::string("\r  ... 0 s").size()) << "ticks again";
    const std::string wipe = "\r" + std::string(std::string("  ... 0 s").size(), ' ') + "\r";
    EXPECT_EQ(shown.substr(shown.size() - wipe.size()), wipe);
    ticker.Stop();  // a second stop adds nothing
    EXPECT_EQ(sink.str(), shown);
  }
}

TEST(ElapsedTicker, AQuickCallShowsNothing) {
  std::ostringstream sink;
  { tkElapsedTicker ticker(sink); }
  EXPECT_EQ(sink.str(), "");
}

TEST(ElapsedTicker, RunsWhileTheSessionWaitsForTheLibrary) {
  tkFakeLibrary library;
  library.Answer = [](const tkCall&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    return Answered(0, "");
  };
  std::ostringstream out;
  std::ostringstream ticks;
  tkPosPrinter printer(out, false, false);
  tkPosSession session(library, printer, tkPosSettings{}, &ticks);
  tkPosOperation status;
  status.Export = "GETSTATUS";
  session.Run(status);
  EXPECT_EQ(ticks.str().rfind("\r  ... 1 s", 0), 0u) << ticks.str();
  EXPECT_EQ(out.str().find("..."), std::string::npos);
}

}  // namespace
