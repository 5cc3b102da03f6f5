// The simulated fiscal printer's own rules: what a call must look like and what a script
// line may say. Its printer behaviour is tested through the handler (tests/io).
#include <gtest/gtest.h>

#include <string>

#include "core/Errors.h"
#include "sim/FiscalPrinterSimulator.h"
#include "support/ErrorOf.h"
#include "support/ScopedEnv.h"
#include "support/ScratchFile.h"

namespace {

using platform::AutomationArg;

TEST(FiscalPrinterSimulator, RefusesCallsTheControlDoesNotHave) {
  ScopedEnv script("OPOS_SIM_SCRIPT", std::nullopt);
  auto printer = CreateFiscalPrinterSimulator();
  EXPECT_EQ(ErrorOf([&] { printer->Call("PrintBarcode", {}); }), "Unknown name.");
  EXPECT_EQ(ErrorOf([&] { printer->Call("Open", {}); }), "Invalid number of parameters.");
  EXPECT_EQ(ErrorOf([&] { printer->Call("Open", {7}); }), "Type mismatch.");
  EXPECT_EQ(ErrorOf([&] { printer->Call("CoverOpen", {}); }), "Member not found.");
  EXPECT_EQ(ErrorOf([&] { printer->SetProperty("CoverOpen", AutomationArg::Bool(true)); }), "Member not found.");
  // Names are not case-sensitive, as automation's are not.
  EXPECT_EQ(printer->Call("open", {AutomationArg::Text("FP1")}), 0);
}

TEST(FiscalPrinterSimulator, MalformedScriptLinesFailEveryCallNamingTheLine) {
  const struct {
    const char* line;
    const char* reason;
  } cases[] = {
      {"PrintBarcode\t0", "unknown member 'PrintBarcode'"},
      {"Open\tfine", "'fine' is neither a number nor HRESULT"},
      {"Open\t0\tx", "'x' is neither a number nor HRESULT"},
      {"CoverOpen\tyes", "value 'yes' is neither true, false nor HRESULT"},
      {"Open", "no TAB after the method name"},
  };
  for (const auto& c : cases) {
    tkScratchFile file("opos-bad-script");
    file.Write(std::string("# comment\n") + c.line + "\n");
    ScopedEnv script("OPOS_SIM_SCRIPT", file.Path());
    auto printer = CreateFiscalPrinterSimulator();
    EXPECT_EQ(ErrorOf([&] { printer->Call("Close", {}); }),
              "Simulator script " + file.Path() + " line 2: " + c.reason)
        << c.line;
  }
}

}  // namespace
