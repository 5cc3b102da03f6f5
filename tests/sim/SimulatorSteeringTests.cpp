// How tests steer the simulator: the script (VIROZI_SIM_SCRIPT), the journal
// (VIROZI_SIM_JOURNAL) and a failing creation (VIROZI_SIM_CREATE).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "drivers/Ivirpay.h"
#include "sim/SimulatorFixture.h"
#include "sim/ViroziFactory.h"
#include "sim/ViroziSimulator.h"

namespace {

using simtest::ScratchFile;
using simtest::SimulatorTest;
using simtest::Split;

class SimulatorScriptTest : public SimulatorTest {
 protected:
  SimulatorScriptTest() { fScriptEnv.Set(fScript.Path()); }

  // The reply and call result of one Pagamento call.
  std::pair<int32_t, std::string> Pay(Ivirpay& aComponent, int32_t aCents = 1000) {
    std::string reply;
    const int32_t result = aComponent.Pagamento(0, aCents, 0, reply);
    return {result, reply};
  }
  static bool BuiltIn(const std::pair<int32_t, std::string>& aCall) {
    return aCall.first == 1 && aCall.second.rfind("12345678;", 0) == 0;
  }
  std::string ErrorOf(const std::function<void()>& aCall) {
    try {
      aCall();
    } catch (const EMxError& e) {
      return e.what();
    }
    ADD_FAILURE() << "no EMxError";
    return {};
  }

  ScratchFile fScript{"script"};
};

TEST_F(SimulatorScriptTest, EachCallTakesTheNextLineOfItsMethodWhicheverInstanceCalls) {
  fScript.Write(
      "Pagamento\t1\tT1;100;OK;;2;first;0\n"
      "Chiusura\t1\t0\n"
      "Pagamento\t0\tsecond\n");
  std::unique_ptr<Ivirpay> device1 = CreateViroziSimulator();
  tViroziSimulator device2;

  EXPECT_EQ(Pay(*device1), std::make_pair(1, std::string("T1;100;OK;;2;first;0")));
  EXPECT_EQ(Pay(device2), std::make_pair(0, std::string("second")));
  const auto third = Pay(*device1, 700);
  EXPECT_TRUE(BuiltIn(third)) << third.second;

  std::string reply;
  EXPECT_EQ(device2.Chiusura(0, reply), 1);
  EXPECT_EQ(reply, "0");
  // Only the built-in payment reached the terminal's totals.
  device1->GetTotaliHost(0, reply);
  EXPECT_EQ(Split(reply, ';').at(3), "700");
  device1->Chiusura(0, reply);
  EXPECT_EQ(Split(reply, ';').at(3), "700") << "the second Chiusura is the terminal's own";
}

TEST_F(SimulatorScriptTest, HresultLineRaisesWithTheDescription) {
  fScript.Write("PaymentBPE\tHRESULT\tTerminale non raggiungibile\\r\\nriprovare\n");
  std::string text = "kept", reply = "in";
  EXPECT_EQ(ErrorOf([&] { fSim.PaymentBPE(1000, text, reply); }), "Terminale non raggiungibile\r\nriprovare");
  EXPECT_EQ(reply, "in");
  EXPECT_EQ(text, "kept");
  // The line is used up: the next call is the terminal's.
  EXPECT_EQ(fSim.PaymentBPE(1600, text, reply), 1);
  EXPECT_EQ(reply.substr(0, 11), "OK;;1|2|800");
}

TEST_F(SimulatorScriptTest, ReplyEscapesLineEndingsCommentsAndMissingReply) {
  fScript.Write(
      "# comment lines and blank lines are skipped\r\n"
      "\r\n"
      "Pagamento\t1\tT1;1;OK;;2;riga 1\\r\\nriga 2\\ttab\\\\back\\xkeep;0\r\n"
      "Pagamento\t-2147483648\n"
      "Pagamento\t7\t\n");
  EXPECT_EQ(Pay(fSim), std::make_pair(1, std::string("T1;1;OK;;2;riga 1\r\nriga 2\ttab\\back\\xkeep;0")));
  EXPECT_EQ(Pay(fSim), std::make_pair(INT32_MIN, std::string()));
  EXPECT_EQ(Pay(fSim), std::make_pair(7, std::string()));
  EXPECT_TRUE(BuiltIn(Pay(fSim)));
}

TEST_F(SimulatorScriptTest, ScriptedCallLeavesTheOtherTextsAndTheTerminalAlone) {
  fScript.Write("PagamentoADV\t1\tOK--P1-500-ricevuta\nRiallineamentoDBP\t1\tOK-00-\n");
  std::string t1 = "a", t2 = "b", t3 = "c", reply;
  ASSERT_EQ(fSim.PagamentoADV(1, 500, t1, t2, t3, reply), 1);
  EXPECT_EQ(reply, "OK--P1-500-ricevuta");
  EXPECT_EQ(t1 + t2 + t3, "abc");
  // A scripted realignment does not realign the terminal: it still expects 0.
  ASSERT_EQ(fSim.RiallineamentoDBP(reply), 1);
  std::string ref = "R", dev = "D";
  fSim.OpenTicketBC(1, ref, dev, reply);
  EXPECT_EQ(reply, "KO-05-Wrong progressive number 1, expected 0");
}

// Within one script, lines stay taken when the file is read again, also when lines are
// appended; any other change of the file, or another file, starts afresh.
TEST_F(SimulatorScriptTest, RereadingKeepsOrRestartsThePosition) {
  fScript.Write("Pagamento\t1\tA1\nPagamento\t1\tA2\n");
  EXPECT_EQ(Pay(fSim).second, "A1");
  fScript.Write("Pagamento\t1\tA3\n", /*aAppend=*/true);
  EXPECT_EQ(Pay(fSim).second, "A2");
  EXPECT_EQ(Pay(fSim).second, "A3");
  EXPECT_TRUE(BuiltIn(Pay(fSim)));

  fScript.Write("Pagamento\t1\tB1\nPagamento\t1\tB2\n");
  EXPECT_EQ(Pay(fSim).second, "B1");
  fScript.Write("Pagamento\t1\tB1\nPagamento\t1\tB2\n");  // the same text again: same position
  EXPECT_EQ(Pay(fSim).second, "B2");

  ScratchFile other("other");
  other.Write("Pagamento\t1\tB1\nPagamento\t1\tB2\n");
  fScriptEnv.Set(other.Path());
  EXPECT_EQ(Pay(fSim).second, "B1");
}

TEST_F(SimulatorScriptTest, NoScriptFileOrNoVariableMeansTheTerminal) {
  EXPECT_TRUE(BuiltIn(Pay(fSim))) << "the file does not exist yet";
  fScript.Write("Pagamento\t1\tscripted\n");
  fScriptEnv.Set(std::nullopt);
  EXPECT_TRUE(BuiltIn(Pay(fSim)));
  fScriptEnv.Set(fScript.Path());
  EXPECT_EQ(Pay(fSim).second, "scripted");
}

TEST_F(SimulatorScriptTest, MalformedLineFailsEveryCallNamingTheLine) {
  const struct {
    const char* fText;
    std::string fError;
  } cases[] = {
      {"Pagamento\t1\tok\nPagamentoX\t1\tx\n", "line 2: unknown method 'PagamentoX'"},
      {"Pagamento\tOK\tx\n", "line 1: call result 'OK' is neither an integer nor HRESULT, DELAY or HANG"},
      {"Pagamento\t2147483648\tx\n",
       "line 1: call result '2147483648' is neither an integer nor HRESULT, DELAY or HANG"},
      {"Pagamento\t\tx\n", "line 1: call result '' is neither an integer nor HRESULT, DELAY or HANG"},
      {"Pagamento\tDELAY\t-5\n", "line 1: DELAY needs milliseconds after a TAB"},
      {"Pagamento\tDELAY\n", "line 1: DELAY needs milliseconds after a TAB"},
      {"Pagamento\tHANG\tsoon\n", "line 1: HANG needs seconds after a TAB"},
      {"Pagamento\tHANG\t1\t2\n", "line 1: HANG needs seconds after a TAB"},
      {"# c\nPagamento 1 x\n", "line 2: no TAB after the method name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fText);
    fScript.Write(c.fText);
    const std::string expected = "Simulator script " + fScript.Path() + " " + c.fError;
    EXPECT_EQ(ErrorOf([&] { Pay(fSim); }), expected);
    std::string reply;
    EXPECT_EQ(ErrorOf([&] { fSim.TotaliBPE(reply); }), expected) << "whatever method calls";
  }
}

// Waits measured from the outside: a call that is to wait must not come back sooner. (How
// much later it comes back is the machine's business.)
class SimulatorWaitTest : public SimulatorScriptTest {
 protected:
  template <class TCall>
  static std::chrono::milliseconds Timed(TCall&& aCall) {
    const auto start = std::chrono::steady_clock::now();
    aCall();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  }
};

TEST_F(SimulatorWaitTest, ScriptedDelayThenTheTerminalAndScriptedHang) {
  fScript.Write(
      "Pagamento\tDELAY\t60\n"
      "Pagamento\tHANG\t0.05\n"
      "Pagamento\t1\tscripted\n");
  std::pair<int32_t, std::string> first;
  EXPECT_GE(Timed([&] { first = Pay(fSim); }).count(), 60);
  EXPECT_TRUE(BuiltIn(first)) << first.second;
  std::string error;
  EXPECT_GE(Timed([&] { error = ErrorOf([&] { Pay(fSim); }); }).count(), 50);
  EXPECT_EQ(error, "No answer from the terminal within 0.05 seconds");
  // Each wait takes its line: the next call answers from the line after them.
  EXPECT_EQ(Pay(fSim).second, "scripted");
}

TEST_F(SimulatorWaitTest, EnvironmentDelaysAndHangsMethods) {
  fScript.Write("Pagamento\t1\tscripted\n");
  fDelayEnv.Set("Chiusura=5,Pagamento=40");
  std::pair<int32_t, std::string> paid;
  EXPECT_GE(Timed([&] { paid = Pay(fSim); }).count(), 40);
  EXPECT_EQ(paid.second, "scripted") << "a delay comes before the scripted answer too";

  fDelayEnv.Set(std::nullopt);
  fHangEnv.Set("*=0.03,TotaliBPE=0.04");
  std::string reply;
  EXPECT_EQ(ErrorOf([&] { Pay(fSim); }), "No answer from the terminal within 0.03 seconds");
  EXPECT_EQ(ErrorOf([&] { fSim.TotaliBPE(reply); }), "No answer from the terminal within 0.04 seconds");
  fHangEnv.Set("ChiusuraBPE=1");
  EXPECT_TRUE(BuiltIn(Pay(fSim))) << "other methods answer";

  const struct {
    const char* variable;
    const char* value;
    const char* error;
  } malformed[] = {
      {"VIROZI_SIM_DELAY", "Pagamento", "VIROZI_SIM_DELAY: 'Pagamento' is not Method=milliseconds"},
      {"VIROZI_SIM_DELAY", "Pagamento=soon", "VIROZI_SIM_DELAY: 'Pagamento=soon' is not Method=milliseconds"},
      {"VIROZI_SIM_HANG", "Pagamento=1,Payment=2", "VIROZI_SIM_HANG: 'Payment=2' is not Method=seconds"},
      {"VIROZI_SIM_HANG", "*=-1", "VIROZI_SIM_HANG: '*=-1' is not Method=seconds"},
  };
  fHangEnv.Set(std::nullopt);
  for (const auto& c : malformed) {
    ScopedEnv variable(c.variable, c.value);
    EXPECT_EQ(ErrorOf([&] { Pay(fSim); }), c.error) << c.value;
  }
}

class SimulatorJournalTest : public SimulatorTest {
 protected:
  SimulatorJournalTest() { fJournalEnv.Set(fJournal.Path()); }
  ScratchFile fJournal{"journal"};
};

// One call of each method, with the arguments as the driver passes them.
TEST_F(SimulatorJournalTest, EveryCallWritesItsArgumentsAsReceived) {
  ScratchFile script("script");
  script.Write("Chiusura\t1\t1;T1;a;1000;b;c;riga 1\\r\\nriga 2\n");
  ScopedEnv scriptEnv("VIROZI_SIM_SCRIPT", script.Path());

  std::string reply, t;
  fSim.Pagamento(0, 1234, 0, reply);
  reply.clear();
  fSim.PagamentoADV(1, 1234, t, t, t, reply);  // one variable for the three texts
  std::string a = "a", b = "b\\", c = "c";
  reply.clear();
  fSim.PagamentoADV(2, -5, a, b, c, reply);
  std::string s1, s2, s3, s4;
  reply.clear();
  fSim.PaymentCeliachia(1000, s1, s2, s3, s4, reply);
  std::string s;
  reply.clear();
  fSim.PaymentBPE(1234, s, reply);
  reply.clear();
  fSim.RiallineamentoDBP(reply);
  std::string reference = "R\xE2\x82\xAC" "1\tx", device = "1234500000";
  reply.clear();
  fSim.OpenTicketBC(1, reference, device, reply);
  std::string request = "COUP_CODE=123-PROG=2-CASSA=01-COD_DEV=1234500000-COD_SCON=R1-RFU_1=-RFU_2=-";
  reply.clear();
  fSim.DematerializzazioneBP(request, reply);
  request = "PROG=3-CASSA=01-COUP_CODE=123-TRAN_ID=TX000001-RFU_1=-RFU_2=-";
  reply.clear();
  fSim.CommitTransactionDBP(request, reply);
  request = "COUP_CODE=123-PROG=4-CASSA=01-COD_DEV=1234500000-TRAN_ID=TX000001-COD_SCON=R1-RFU_1=-RFU_2=-";
  reply.clear();
  fSim.ReverseTransactionDBP(request, reply);
  std::string multiline = "line 1\r\nline 2";
  reply.clear();
  fSim.CloseTicketBC(5, multiline, device, reply);
  reply.clear();
  fSim.Chiusura(0, reply);
  fSim.ChiusuraBPE(reply);  // receives the Chiusura reply
  reply.clear();
  fSim.GetTotaliHost(0, reply);
  reply = "x";
  fSim.TotaliBPE(reply);

  EXPECT_EQ(fJournal.Read(),
            "Pagamento\t0\t1234\t0\t\n"
            "PagamentoADV\t1\t1234\t\t\t\t\n"
            "PagamentoADV\t2\t-5\ta\tb\\\\\tc\t\n"
            "PaymentCeliachia\t1000\t\t\t\t\t\n"
            "PaymentBPE\t1234\t\t\n"
            "RiallineamentoDBP\t\n"
            "OpenTicketBC\t1\tR\xE2\x82\xAC" "1\\tx\t1234500000\t\n"
            "DematerializzazioneBP\tCOUP_CODE=123-PROG=2-CASSA=01-COD_DEV=1234500000-COD_SCON=R1-RFU_1=-RFU_2=-\t\n"
            "CommitTransactionDBP\tPROG=3-CASSA=01-COUP_CODE=123-TRAN_ID=TX000001-RFU_1=-RFU_2=-\t\n"
            "ReverseTransactionDBP\tCOUP_CODE=123-PROG=4-CASSA=01-COD_DEV=1234500000-TRAN_ID=TX000001-COD_SCON=R1-"
            "RFU_1=-RFU_2=-\t\n"
            "CloseTicketBC\t5\tline 1\\r\\nline 2\t1234500000\t\n"
            "Chiusura\t0\t\n"
            "ChiusuraBPE\t1;T1;a;1000;b;c;riga 1\\r\\nriga 2\n"
            "GetTotaliHost\t0\t\n"
            "TotaliBPE\tx\n");
}

TEST_F(SimulatorJournalTest, LineIsWrittenBeforeTheCallAnswersAndAppendsToTheFile) {
  fJournal.Write("earlier line\n");
  ScratchFile script("script");
  script.Write("Pagamento\tHRESULT\tboom\n");
  ScopedEnv scriptEnv("VIROZI_SIM_SCRIPT", script.Path());
  std::string reply;
  EXPECT_THROW(fSim.Pagamento(0, 99, 0, reply), EMxError);
  EXPECT_EQ(fJournal.Read(), "earlier line\nPagamento\t0\t99\t0\t\n");
}

TEST_F(SimulatorJournalTest, UnwritableJournalFailsTheCall) {
  const std::string path = fJournal.Path() + ".missing-folder/journal.txt";
  fJournalEnv.Set(path);
  std::string reply = "untouched";
  try {
    fSim.Chiusura(0, reply);
    FAIL() << "no error";
  } catch (const EMxError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot write the simulator journal " + path);
  }
  EXPECT_EQ(reply, "untouched");
}

TEST_F(SimulatorTest, CreationFailsLikeAnUnregisteredClassWhenAsked) {
  fCreateEnv.Set("fail");
  try {
    CreateViroziSimulator();
    FAIL() << "no error";
  } catch (const EMxError& e) {
    EXPECT_EQ(std::string(e.what()), "Class not registered, ClassID: {6F14EC5C-B289-4B3D-8351-44F0899062F7}");
  }
  for (const char* value : {"FAIL", "no", "failing"}) {
    SCOPED_TRACE(value);
    fCreateEnv.Set(std::string(value));
    std::unique_ptr<Ivirpay> component = CreateViroziSimulator();
    ASSERT_NE(component, nullptr);
    std::string reply;
    EXPECT_EQ(component->Pagamento(0, 1000, 0, reply), 1);
    EXPECT_EQ(reply.substr(0, 9), "12345678;");
  }
  fCreateEnv.Set(std::nullopt);
  EXPECT_NE(CreateViroziSimulator(), nullptr);
}

}  // namespace
