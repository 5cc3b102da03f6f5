// What a host sees of the component call itself: failure descriptions as the component
// gives them, no stale description from an earlier failure, and a calling thread the host
// left without COM.
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/ViroziFixture.h"
#include "platform/Automation.h"

namespace virozi_e2e {
namespace {

using Lines = std::vector<std::string>;
using ViroziComponentCall = ViroziExports;

TEST_F(ViroziComponentCall, FailedCallAnswersItsOwnDescriptionOnly) {
  Script({
      "Pagamento\tHRESULT\tCarta rifiutata: è scaduta\\r\\nriprovare",
      "Pagamento\t1\tT1;1000;OK;;2;;1",
      "Pagamento\tHRESULT\t",
  });
  const int32_t handle = Open();
  ASSERT_EQ(handle, 1);

  // The description travels whole: non-ASCII text and the line break included.
  tkAnswer answer = Pay(handle, "<Amount>10</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error, "Carta rifiutata: è scaduta\r\nriprovare");

  answer = Pay(handle, "<Amount>10</Amount>");
  EXPECT_EQ(answer.Result, 0) << answer.Error;

  // A failure without a description must not repeat the first one, which a component
  // leaves behind as the thread's error object.
  answer = Pay(handle, "<Amount>10</Amount>");
  EXPECT_EQ(answer.Result, -1);
  EXPECT_EQ(answer.Error.find("scaduta"), std::string::npos) << answer.Error;
  // Through COM the text is then the system's for the component's failure code (its
  // wording is the system's: "Unspecified error" on English Windows, another under Wine).
  if (platform::AutomationUsesCom()) EXPECT_NE(answer.Error, "");
  else EXPECT_EQ(answer.Error, "");

  EXPECT_EQ(JournalMethods(), (Lines{"Pagamento", "Pagamento", "Pagamento"}));
}

TEST_F(ViroziComponentCall, ThreadWithoutComFailsTheCallNotTheHost) {
  if (!platform::AutomationUsesCom()) GTEST_SKIP() << "the component is called without COM here";
  // A new thread has no apartment: the host did not give it one.
  tkAnswer open, pay;
  std::thread caller([&] {
    open = Call("OPEN", 0);
    pay = Pay(0, "<Amount>10</Amount>");
  });
  caller.join();
  const std::string expected = "CoInitialize has not been called., ClassID: {6F14EC5C-B289-4B3D-8351-44F0899062F7}";
  EXPECT_EQ(open.Result, -1);
  EXPECT_EQ(open.Error, expected);
  EXPECT_EQ(Element(open.Output, "Handle"), "0");
  EXPECT_EQ(pay.Result, -1);
  EXPECT_EQ(pay.Error, expected);
  EXPECT_EQ(Journal(), Lines{});

  // The host's own thread still works, and the failed attempts used no handle.
  EXPECT_EQ(Open(), 1);
}

TEST_F(ViroziComponentCall, CreationFailuresNameTheirCause) {
  if (!platform::AutomationUsesCom()) GTEST_SKIP() << "only the COM server can deny its interface";
  const struct {
    const char* Create;
    const char* Error;
  } cases[] = {
      {"fail", "Class not registered, ClassID: {6F14EC5C-B289-4B3D-8351-44F0899062F7}"},
      {"nointerface", "Interface not supported"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Create);
    fCreateEnv.Set(std::string(c.Create));
    const tkAnswer open = Call("OPEN", 0);
    EXPECT_EQ(open.Result, -1);
    EXPECT_EQ(open.Error, c.Error);
  }
  fCreateEnv.Set(std::nullopt);
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(Journal(), Lines{});
}

}  // namespace
}  // namespace virozi_e2e
