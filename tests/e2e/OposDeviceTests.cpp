// A request without a Connection element: the device gets the fiscal printer handler, whose
// control is the simulated one (natively linked into the library, on Windows the COM
// server the tests register).
#include <gtest/gtest.h>

#include <string>

#include "e2e/ViroziFixture.h"

namespace virozi_e2e {
namespace {

class OposDeviceExports : public ViroziExports {
 protected:
  std::string Plain(int32_t aHandle, const std::string& aBody = {}) const {
    std::string xml = std::string("<Request><Driver>") + kDriver + "</Driver><LogId>" + fLogId + "</LogId>";
    if (aHandle != 0) xml += "<Handle>" + std::to_string(aHandle) + "</Handle>";
    return xml + aBody + "</Request>";
  }

  tkScratchFile fOposJournal{"opos-journal"};
  ScopedEnv fOposJournalEnv{"OPOS_SIM_JOURNAL", fOposJournal.Path()};
  ScopedEnv fOposCreateEnv{"OPOS_SIM_CREATE", std::nullopt};
};

TEST_F(OposDeviceExports, DeviceWithoutConnectionOpensAndPays) {
  const tkAnswer open = fLibrary->Call("OPEN", Plain(0));
  ASSERT_EQ(open.Result, 0) << open.Error;
  EXPECT_EQ(Element(open.Output, "Handle"), "1");
  const tkAnswer pay =
      fLibrary->Call("PAY", Plain(1, "<Payment><Amount>12.00</Amount></Payment>"));
  EXPECT_EQ(pay.Result, 0) << pay.Error;
  EXPECT_EQ(Element(pay.Output, "PaymentAmount"), "12");
  EXPECT_EQ(fLibrary->Call("CLOSE", Plain(1)).Result, 0);
  // The payment driver only logs through the handler: the control is never called.
  EXPECT_EQ(fOposJournal.Read(), "");
}

TEST_F(OposDeviceExports, MissingControlRefusesTheDeviceWithTheClassIdentifier) {
  fOposCreateEnv.Set("fail");
  const tkAnswer open = fLibrary->Call("OPEN", Plain(0));
  EXPECT_EQ(open.Result, -1);
  EXPECT_EQ(open.Error, "Class not registered, ClassID: {CCB90072-B81E-11D2-AB74-0040054C3719}");
}

}  // namespace
}  // namespace virozi_e2e
