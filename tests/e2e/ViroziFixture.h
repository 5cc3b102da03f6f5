#pragma once
// The product library with the VIROZI driver, as a POS host drives it, against the terminal
// simulator: each test loads its own copy, steers the simulator through a script of its
// own, and reads back the simulator's journal (what the component received) and the
// device log (every call and reply the driver wrote).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/DriverLog.h"
#include "e2e/ProductLibrary.h"
#include "support/ScopedEnv.h"
#include "support/ScratchFile.h"
#include "support/SplitFields.h"

namespace virozi_e2e {

inline constexpr char kDriver[] = "VELO_VIROZI_10";
inline constexpr char kCrLf[] = "\r\n";
inline constexpr char kTerminalId[] = "12345678";  // the simulated terminal's identifier

using ::Split;

class ViroziExports : public ::testing::Test {
 protected:
  static constexpr int32_t kHandlesToClose = 8;

  void SetUp() override {
    fLogId = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveDeviceLogs(kDriver, fLogId);
    fScript.Write("");
    fLibrary = std::make_unique<tkProductLibrary>(kProductLibrary);
  }
  void TearDown() override {
    // A host closes its devices before it unloads the library; handles count from 1 in
    // each fresh copy, and closing one that is not open only answers an error.
    if (fLibrary) {
      for (int32_t handle = 1; handle <= kHandlesToClose; ++handle) Close(handle);
    }
    fLibrary.reset();
    RemoveDeviceLogs(kDriver, fLogId);
  }

  tkAnswer Call(const char* aExport, int32_t aHandle, std::string_view aBody = {}) const {
    return fLibrary->Call(aExport, Request(kDriver, aHandle, fLogId, aBody));
  }
  // OPEN; the new device's handle, 0 when it failed.
  int32_t Open() const {
    const tkAnswer answer = Call("OPEN", 0);
    return answer.Result == 0 ? std::stoi(Element(answer.Output, "Handle")) : 0;
  }
  tkAnswer Close(int32_t aHandle) const { return Call("CLOSE", aHandle); }
  tkAnswer Pay(int32_t aHandle, std::string_view aChildren) const {
    return Call("PAY", aHandle, "<Payment>" + std::string(aChildren) + "</Payment>");
  }

  // Lines "Method<TAB>Result<TAB>Reply" that the next calls take, method by method.
  void Script(std::initializer_list<std::string_view> aLines) const {
    std::string text;
    for (std::string_view line : aLines) text.append(line).append("\n");
    fScript.Write(text);
  }
  // One line per component call: "Method<TAB>argument<TAB>...", texts as received.
  std::vector<std::string> Journal() const {
    std::vector<std::string> lines = Split(fJournal.Read(), '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
  }
  std::vector<std::string> JournalMethods() const {
    std::vector<std::string> methods;
    for (const std::string& line : Journal()) methods.push_back(line.substr(0, line.find('\t')));
    return methods;
  }
  // The driver's entries of the device log; close the devices first so that it is written.
  std::vector<std::string> DriverLog() const {
    return drivertest::DriverEntries(drivertest::LogEntries(ReadDeviceLogs(kDriver, fLogId)));
  }
  // The reply that the driver logged for the response entry aIndex of DriverLog(), with
  // the line breaks and tabs that the log shows as \r, \n and \t.
  static std::string LoggedReply(const std::string& aEntry) {
    const size_t mark = aEntry.find(":Response:");
    if (mark == std::string::npos) return "<no response>";
    std::string text = aEntry.substr(mark + 10);
    for (const auto& [shown, real] : {std::pair{"\\r", "\r"}, {"\\n", "\n"}, {"\\t", "\t"}}) {
      for (size_t at = 0; (at = text.find(shown, at)) != std::string::npos; ++at) text.replace(at, 2, real);
    }
    return text;
  }
  // aText as a log entry shows it: line breaks and tabs as \r, \n and \t.
  static std::string LogForm(std::string_view aText) {
    std::string text;
    for (const char c : aText) {
      switch (c) {
        case '\r': text += "\\r"; break;
        case '\n': text += "\\n"; break;
        case '\t': text += "\\t"; break;
        default: text += c;
      }
    }
    return text;
  }

  std::string fLogId;
  tkScratchFile fScript{"script"};
  tkScratchFile fJournal{"journal"};
  ScopedEnv fScriptEnv{"VIROZI_SIM_SCRIPT", fScript.Path()};
  ScopedEnv fJournalEnv{"VIROZI_SIM_JOURNAL", fJournal.Path()};
  ScopedEnv fCreateEnv{"VIROZI_SIM_CREATE", std::nullopt};
  std::unique_ptr<tkProductLibrary> fLibrary;
};

}  // namespace virozi_e2e
