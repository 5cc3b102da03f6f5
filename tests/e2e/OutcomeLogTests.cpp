// The line that ends each export call in the log of the device it reached: what a support
// person reads to learn why the POS got its answer.
#include <string>
#include <vector>

#include "e2e/ViroziFixture.h"

namespace virozi_e2e {
namespace {

class OutcomeLog : public ViroziExports {
 protected:
  // The device log's entries (time stamps cut off) once the device is closed.
  std::vector<std::string> Entries() const { return drivertest::LogEntries(ReadDeviceLogs(kDriver, fLogId)); }

  static std::string OutcomeOf(const char* aExport, int32_t aHandle, const tkAnswer& aAnswer) {
    const std::string line = std::string(aExport) + " outcome: handle " + std::to_string(aHandle) + ", result ";
    if (aAnswer.Result == 0) return line + "0";
    return "ERROR - " + line + "-1, error: " + aAnswer.Error;
  }
};

// Each call's outcome line follows its own component lines, carries the error text the POS
// received, and the device's last line before STOP is the CLOSE's.
TEST_F(OutcomeLog, EveryCallThatReachesTheDeviceEndsWithItsOutcome) {
  Script({"Pagamento\tHRESULT\tThe RPC server is unavailable"});
  const int32_t handle = Open();
  ASSERT_GT(handle, 0);
  const struct {
    const char* name;
    const char* exportName;
    std::string body;
    bool fails;
    const char* error;  // the text the POS gets; null: whatever the driver said
  } cases[] = {
      {"component call raises", "PAY", "<Payment><Amount>5</Amount></Payment>", true, nullptr},
      {"paid", "PAY", "<Payment><Amount>12.50</Amount></Payment>", false, nullptr},
      {"declined by the terminal", "PAY", "<Payment><Amount>7.13</Amount></Payment>", true, "TRANSAZIONE NEGATA"},
      {"unknown wallet", "PAY", "<Payment><Amount>5</Amount><Attributes>foo</Attributes></Payment>", true,
       "Invalid Attribute [foo]"},
      {"amount beyond the component", "PAY", "<Payment><Amount>30000000</Amount></Payment>", true,
       "Amount out of range"},
      {"request refused while read", "PAY", "<Payment><Amount>5</Amount><Action>FOO</Action></Payment>", true,
       "Action FOO invalid. Allowed values are: PAY,REFUND."},
      {"reprint", "REPRINT", "<Reprint/>", true, "Not supported"},
      {"totals", "GETTOTALS", "<GetTotals/>", false, nullptr},
      {"reopen the same handle", "OPEN", "", false, nullptr},
  };
  std::vector<std::string> expected{"OPEN outcome: handle " + std::to_string(handle) + ", result 0"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const tkAnswer answer = Call(c.exportName, handle, c.body);
    EXPECT_EQ(answer.Result, c.fails ? -1 : 0) << answer.Output;
    if (c.error) {
      EXPECT_EQ(answer.Error, c.error);
    }
    if (c.fails) {
      EXPECT_NE(answer.Error, "");
    }
    expected.push_back(OutcomeOf(c.exportName, handle, answer));
  }
  ASSERT_EQ(Close(handle).Result, 0);
  expected.push_back("CLOSE outcome: handle " + std::to_string(handle) + ", result 0");

  const std::vector<std::string> entries = Entries();
  std::vector<std::string> outcomes;
  for (const std::string& entry : entries) {
    if (entry.find(" outcome: handle ") != std::string::npos) outcomes.push_back(entry);
  }
  EXPECT_EQ(outcomes, expected);
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[entries.size() - 2], expected.back());
  EXPECT_NE(entries.back().find("STOP"), std::string::npos) << entries.back();
  // The failed component call's own lines come before its outcome.
  size_t call = entries.size(), outcome = entries.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (call == entries.size() && entries[i].find("fVirPay.Pagamento") != std::string::npos) call = i;
    if (outcome == entries.size() && entries[i] == expected[1]) outcome = i;
  }
  EXPECT_LT(call, outcome);
}

// Calls that reach no device leave no outcome in any device's log: a handle that is not
// open, and a close without a handle.
TEST_F(OutcomeLog, CallsThatReachNoDeviceLeaveNoLine) {
  const int32_t handle = Open();
  ASSERT_GT(handle, 0);
  EXPECT_EQ(Call("PAY", handle + 5, "<Payment><Amount>5</Amount></Payment>").Result, -1);
  EXPECT_EQ(Call("CLOSE", 0).Result, -1);
  EXPECT_EQ(Call("GETSTATUS", handle).Result, 0);
  ASSERT_EQ(Close(handle).Result, 0);
  std::vector<std::string> outcomes;
  for (const std::string& entry : Entries()) {
    if (entry.find(" outcome: ") != std::string::npos) outcomes.push_back(entry);
  }
  EXPECT_EQ(outcomes, (std::vector<std::string>{"OPEN outcome: handle " + std::to_string(handle) + ", result 0",
                                                "CLOSE outcome: handle " + std::to_string(handle) + ", result 0"}));
}

}  // namespace
}  // namespace virozi_e2e
