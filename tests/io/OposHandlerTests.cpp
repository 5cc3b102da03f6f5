// The fiscal printer handler against the simulated control: natively the simulator
// registered as the control's class, on Windows the simulator's COM server registered in
// the test prefix. The control is steered and watched through its script and journal.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DateTime.h"
#include "io/Connection.h"
#include "io/IOHandler_OPOS.h"
#include "io/IoTestSupport.h"
#include "platform/Automation.h"
#include "platform/Host.h"
#include "sim/FiscalPrinterSimulator.h"
#include "support/ScopedEnv.h"
#include "support/ScratchFile.h"

namespace {

using namespace iotest;
using logtest::Messages;

const std::string kLogName = "VELO_OPOS_1";

class OposHandlerTest : public logtest::TempFolderTest {
 protected:
  void SetUp() override {
    logtest::TempFolderTest::SetUp();
    // Natively the simulator is the control; on Windows COM's registration decides.
    platform::RegisterAutomationClass(kOposFiscalPrinterClassId, &CreateFiscalPrinterSimulator);
  }

  std::unique_ptr<kIOHandler_OPOS> Make(const std::string& aDeviceName = "FP1") {
    kConnection connection;
    connection.SetDeviceName(aDeviceName);
    connection.SetConnectTimeOut(2500);
    return std::make_unique<kIOHandler_OPOS>(&connection, Folder(), kLogName);
  }

  void Script(const std::string& aLines) { fScript.Write(aLines); }
  std::vector<std::string> Journal() const { return Lines(fJournal.Read()); }
  void ClearJournal() const { fJournal.Write(""); }
  std::string LogFile() const { return Path(DailyLogName(kLogName)); }

  // The log after the handler is gone, from the first line after the connect banner's
  // read timeout (or after START when there was no Connect) up to STOP.
  std::vector<std::string> LogOf(std::unique_ptr<kIOHandler_OPOS>& aHandler) {
    aHandler.reset();
    std::vector<std::string> lines = Messages(LogFile());
    size_t from = 1;
    for (size_t k = 0; k < lines.size(); ++k)
      if (lines[k].rfind("ReadTimeout=", 0) == 0) from = k + 1;
    if (!lines.empty() && lines.back() == kStop) lines.pop_back();
    return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end());
  }

  static std::vector<std::string> Lines(const std::string& aText) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < aText.size()) {
      const size_t end = aText.find('\n', start);
      lines.push_back(aText.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return lines;
  }

  tkScratchFile fScript{"opos-script"};
  tkScratchFile fJournal{"opos-journal"};
  ScopedEnv fScriptEnv{"OPOS_SIM_SCRIPT", fScript.Path()};
  ScopedEnv fJournalEnv{"OPOS_SIM_JOURNAL", fJournal.Path()};
  ScopedEnv fCreateEnv{"OPOS_SIM_CREATE", std::nullopt};
};

const std::vector<std::string> kConnectJournal = {
    "Open\tFP1", "ClaimDevice\t2500", "DeviceEnabled=\ttrue", "DeviceEnabled?"};
const std::vector<std::string> kDisconnectJournal = {"DeviceEnabled=\tfalse", "DeviceEnabled?", "ReleaseDevice",
                                                     "Close"};
const std::vector<std::string> kConnectLog = {"DeviceName=FP1", "[Connect]->Open(FP1)", "[Connect]->ClaimDevice(2500)",
                                              "[Connect]->DeviceEnabled:=true"};
const std::vector<std::string> kDisconnectLog = {"[Disconnect]->DeviceEnabled:=false", "[Disconnect]->ReleaseDevice",
                                                 "[Disconnect]->Close"};

template <class T>
std::vector<T> Concat(std::vector<T> aFirst, const std::vector<T>& aSecond) {
  aFirst.insert(aFirst.end(), aSecond.begin(), aSecond.end());
  return aFirst;
}

TEST_F(OposHandlerTest, ConnectOpensClaimsAndEnablesAndDestructionClosesAgain) {
  auto handler = Make();
  EXPECT_FALSE(handler->Connected());
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Connected());
  EXPECT_FALSE(handler->ErrorFound());
  EXPECT_EQ(Journal(), kConnectJournal);
  EXPECT_EQ(LogOf(handler), Concat(kConnectLog, kDisconnectLog));
  EXPECT_EQ(Journal(), Concat(kConnectJournal, kDisconnectJournal));
  // The banner names the handler.
  const std::vector<std::string> all = Messages(LogFile());
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all[0], kStart);
  EXPECT_EQ(all[1], kStars);
  EXPECT_EQ(all[2], "kIOHandler_OPOS");
}

TEST_F(OposHandlerTest, RefusedOpenIsLoggedRecordedAndStillClosedOnDestruction) {
  Script("Open\t109\t0\tNo such device\n");
  auto handler = Make();
  EXPECT_FALSE(handler->Connect());
  EXPECT_TRUE(handler->Connected());
  EXPECT_TRUE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), 109);
  EXPECT_EQ(handler->ErrorMessage(), "[109] OPOS_E_NOEXIST - No such device");
  EXPECT_EQ(Journal(), (std::vector<std::string>{"Open\tFP1", "ErrorString?"}));
  // The simulated device never opened, so the release on destruction is refused too.
  EXPECT_EQ(LogOf(handler), (std::vector<std::string>{
                                "DeviceName=FP1",
                                "[Connect]->Open(FP1)",
                                "ERROR - [109] OPOS_E_NOEXIST - No such device",
                                "[Disconnect]->DeviceEnabled:=false",
                                "[Disconnect]->ReleaseDevice",
                                "ERROR - [101] OPOS_E_CLOSED - Device is not open",
                            }));
}

TEST_F(OposHandlerTest, ConnectStopsAtTheFirstRefusalAndWhenEnablingDoesNotHold) {
  Script("ClaimDevice\t114\t201\tCover open\n");
  auto handler = Make();
  EXPECT_FALSE(handler->Connect());
  EXPECT_EQ(handler->ErrorMessage(), "[114] OPOS_E_EXTENDED [201] OPOS_EFPTR_COVER_OPEN - Cover open");
  EXPECT_EQ(Journal(), (std::vector<std::string>{"Open\tFP1", "ClaimDevice\t2500", "ResultCodeExtended?",
                                                  "ErrorString?"}));

  // Enabling that reads back false fails the connect without an error record.
  ClearJournal();
  Script("ClaimDevice\t114\t201\tCover open\nDeviceEnabled\tfalse\n");
  auto second = Make();
  second->SetDeviceName("FP2");
  EXPECT_FALSE(second->Connect());
  EXPECT_TRUE(second->Connected());
  EXPECT_FALSE(second->ErrorFound());
  EXPECT_EQ(Journal(), (std::vector<std::string>{"Open\tFP2", "ClaimDevice\t2500", "DeviceEnabled=\ttrue",
                                                  "DeviceEnabled?"}));
}

TEST_F(OposHandlerTest, ControlErrorsInConnectAndDisconnectAreLoggedNotRaised) {
  Script("Open\tHRESULT\tThe control crashed\n");
  auto handler = Make();
  EXPECT_FALSE(handler->Connect());
  EXPECT_FALSE(handler->Connected());
  EXPECT_EQ(LogOf(handler), (std::vector<std::string>{"DeviceName=FP1", "[Connect]->Open(FP1)",
                                                       "ERROR - [Connect]:The control crashed"}));

  Script("Open\tHRESULT\tThe control crashed\nDeviceEnabled\ttrue\nDeviceEnabled\tHRESULT\tGone\n");
  auto second = Make();
  EXPECT_TRUE(second->Connect());
  EXPECT_FALSE(second->Disconnect());
  // An error raised leaves the handler connected.
  EXPECT_TRUE(second->Connected());
}

TEST_F(OposHandlerTest, DisconnectReleasesOnlyWhenDisablingHolds) {
  auto handler = Make();
  ASSERT_TRUE(handler->Connect());
  ClearJournal();
  Script("DeviceEnabled\ttrue\n");
  EXPECT_FALSE(handler->Disconnect());
  EXPECT_FALSE(handler->Connected());
  EXPECT_EQ(Journal(), (std::vector<std::string>{"DeviceEnabled=\tfalse", "DeviceEnabled?"}));
}

TEST_F(OposHandlerTest, SecondConnectDisconnectsFirst) {
  auto handler = Make();
  ASSERT_TRUE(handler->Connect());
  ClearJournal();
  EXPECT_TRUE(handler->Connect());
  EXPECT_EQ(Journal(), Concat(kDisconnectJournal, kConnectJournal));
}

TEST_F(OposHandlerTest, FiscalOperationsLogAndCallTheControl) {
  const Currency q15 = *Currency::Parse("1.5"), two = Currency::FromUnits(2), three = Currency::FromUnits(3);
  const struct {
    std::function<bool(kIOHandler_OPOS&)> run;
    std::string log;
    std::string journal;
  } cases[] = {
      {[](auto& h) { return h.BeginFiscalReceipt(); }, "[BeginFiscalReceipt]->BeginFiscalReceipt(true)",
       "BeginFiscalReceipt\ttrue"},
      {[](auto& h) { return h.EndFiscalReceipt(); }, "[EndFiscalReceipt]->EndFiscalReceipt(false)",
       "EndFiscalReceipt\tfalse"},
      {[](auto& h) { return h.BeginNonFiscal(); }, "[BeginNonFiscal]->BeginNonFiscal", "BeginNonFiscal"},
      {[](auto& h) { return h.EndNonFiscal(); }, "[EndNonFiscal]->EndNonFiscal", "EndNonFiscal"},
      {[](auto& h) { return h.PrintNormal("It's\tok"); }, "[PrintNormal]->PrintNormal(2,'It''s\\tok')",
       "PrintNormal\t2\tIt's\\tok"},
      {[&](auto& h) { return h.PrintRecItem("C1", "Bob's", q15, "kg", 1, two, three); },
       "[PrintRecItem]->PrintRecItem('Bob''s',3,1,1,2,'kg')", "PrintRecItem\tBob's\t3\t1500\t1\t2\tkg"},
      {[&](auto& h) { return h.PrintRecItemVoid("C1", "Tea", q15, "pc", 2, two, three); },
       "[PrintRecItemVoid]->PrintRecItemVoid('Tea',3,2,2,'pc')", "PrintRecItemVoid\tTea\t3\t1500\t2\t2\tpc"},
      {[&](auto& h) { return h.PrintRecRefund("C1", "Tea", q15, "pc", 2, two, *Currency::Parse("-0.5")); },
       "[PrintRecRefund]->PrintRecRefund('Tea',-0.5,2)", "PrintRecRefund\tTea\t-0.5\t2"},
      {[&](auto& h) { return h.PrintRecItemAdjustment(1, "Off", *Currency::Parse("0.25"), 3); },
       "[PrintRecItemAdjustment]->PrintRecItemAdjustment(1,'Off',0.25,3)", "PrintRecItemAdjustment\t1\tOff\t0.25\t3"},
      {[&](auto& h) { return h.PrintRecSubtotal(*Currency::Parse("12.5")); },
       "[PrintRecSubtotal]->PrintRecSubTotal(12.5)", "PrintRecSubtotal\t12.5"},
      {[&](auto& h) { return h.PrintRecSubtotalAdjustment(2, "Promo", two); },
       "[PrintRecSubtotalAdjustment]->PrintRecSubtotalAdjustment(2,'Promo',2)",
       "PrintRecSubtotalAdjustment\t2\tPromo\t2"},
      {[&](auto& h) { return h.PrintRecTotal(three, Currency::FromUnits(5), "Cash"); },
       "[PrintRecTotal]->PrintRecTotal(3,5,'Cash')", "PrintRecTotal\t3\t5\tCash"},
      {[&](auto& h) { return h.PrintRecNotPaid(two, "Ticket"); }, "[PrintRecNotPaid]->PrintRecNotPaid('Ticket',2)",
       "PrintRecNotPaid\tTicket\t2"},
      {[](auto& h) { return h.PrintRecMessage("Thanks"); }, "[PrintRecMessage]->PrintRecMessage('Thanks')",
       "PrintRecMessage\tThanks"},
      {[](auto& h) { return h.PrintRecTaxid("IT123"); }, "[PrintRecTaxid]->PrintRecTaxid('IT123')",
       "PrintRecTaxID\tIT123"},
      {[](auto& h) { return h.PrintXReport(); }, "[PrintXReport]->PrintXReport", "PrintXReport"},
      {[](auto& h) { return h.PrintZReport(); }, "[PrintZReport]->PrintZReport", "PrintZReport"},
      {[](auto& h) { return h.ResetPrinter(); }, "[ResetPrinter]->ResetPrinter", "ResetPrinter"},
      {[](auto& h) { return h.BeginTraining(); }, "[BeginTraining]->BeginTraining", "BeginTraining"},
      {[](auto& h) { return h.EndTraining(); }, "[EndTraining]->EndTraining", "EndTraining"},
      {[](auto& h) { return h.SetDate(EncodeDateTime({2024, 3, 5, 14, 7, 59, 0})); },
       "[SetDate]->SetDate('050320241407')", "SetDate\t050320241407"},
  };
  for (const auto& c : cases) {
    auto handler = Make();
    ASSERT_TRUE(handler->Connect());
    ClearJournal();
    EXPECT_TRUE(c.run(*handler)) << c.log;
    EXPECT_EQ(handler->ErrorCode(), 0) << c.log;
    EXPECT_EQ(Journal(), std::vector<std::string>{c.journal}) << c.log;
    const std::vector<std::string> log = LogOf(handler);
    ASSERT_EQ(log.size(), kConnectLog.size() + 1 + kDisconnectLog.size()) << c.log;
    EXPECT_EQ(log[kConnectLog.size()], c.log);
  }
}

TEST_F(OposHandlerTest, RefusalsAreDescribedLoggedAndRecordedUntilTheNextCall) {
  const struct {
    std::string script;
    std::string text;
  } cases[] = {
      {"PrintRecTotal\t114\t203\tPaper out", "[114] OPOS_E_EXTENDED [203] OPOS_EFPTR_REC_EMPTY - Paper out"},
      {"PrintRecTotal\t114\t224\tZ first", "[114] OPOS_E_EXTENDED [224] OPOS_EFPTR_DAY_END_REQUIRED - Z first"},
      {"PrintRecTotal\t114\t250\tOdd", "[114] OPOS_E_EXTENDED [250] UNKNOWN - Odd"},
      {"PrintRecTotal\t114\t0\tNo detail", "[114] OPOS_E_EXTENDED - No detail"},
      {"PrintRecTotal\t999\t0\tStrange", "[999] UNKNOWN - Strange"},
      {"PrintRecTotal\t101\t0\t", "[101] OPOS_E_CLOSED - "},
      {"PrintRecTotal\t115\t0\tOld", "[115] OPOS_E_DEPRECATED - Old"},
      {"PrintRecTotal\t100\t0\tBelow", "[100] UNKNOWN - Below"},
      // Only OPOS_E_EXTENDED has an extended code.
      {"PrintRecTotal\t111\t203\tBroken", "[111] OPOS_E_FAILURE - Broken"},
  };
  for (const auto& c : cases) {
    Script(c.script + "\n");
    auto handler = Make();
    ASSERT_TRUE(handler->Connect());
    EXPECT_FALSE(handler->PrintRecTotal(Currency::FromUnits(3), Currency::FromUnits(3), "Cash")) << c.script;
    EXPECT_TRUE(handler->ErrorFound());
    EXPECT_EQ(handler->ErrorCode(), std::stoi(c.script.substr(14, 3)));
    EXPECT_EQ(handler->ErrorMessage(), c.text);
    EXPECT_EQ(handler->DecodeError(handler->ErrorCode()), "");
    // The next call that goes through clears the record.
    EXPECT_TRUE(handler->PrintXReport());
    EXPECT_FALSE(handler->ErrorFound());
    EXPECT_EQ(handler->ErrorMessage(), "");
    const std::vector<std::string> log = LogOf(handler);
    ASSERT_GT(log.size(), kConnectLog.size() + 1);
    EXPECT_EQ(log[kConnectLog.size() + 1], "ERROR - " + c.text);
  }
  auto handler = Make();
  EXPECT_EQ(handler->DescribeResult(0, 203), "");
}

TEST_F(OposHandlerTest, ControlErrorsOfFiscalOperationsReachTheCaller) {
  Script("PrintZReport\tHRESULT\tPrinter jammed\nCoverOpen\tHRESULT\tNo cover\n");
  auto handler = Make();
  ASSERT_TRUE(handler->Connect());
  EXPECT_EQ(ErrorOf([&] { handler->PrintZReport(); }), "Printer jammed");
  bool open = false;
  EXPECT_EQ(ErrorOf([&] { handler->GetCoverOpen(open); }), "No cover");
}

TEST_F(OposHandlerTest, GetDateReadsDayMonthYearHourMinute) {
  Script("GetDate\t0\t0\t\t311220232359\n");
  auto handler = Make();
  ASSERT_TRUE(handler->Connect());
  TDateTime date = 0;
  EXPECT_TRUE(handler->GetDate(date));
  EXPECT_EQ(date, EncodeDateTime({2023, 12, 31, 23, 59, 0, 0}));

  // The built-in printer answers what SetDate set.
  ASSERT_TRUE(handler->SetDate(EncodeDateTime({2024, 2, 29, 8, 5, 0, 0})));
  EXPECT_TRUE(handler->GetDate(date));
  EXPECT_EQ(date, EncodeDateTime({2024, 2, 29, 8, 5, 0, 0}));

  const std::vector<std::string> log = LogOf(handler);
  const std::vector<std::string> expected = {"[GetDate]->GetDate", "[GetDate]->aDate=311220232359"};
  EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.begin() + 6), expected);
}

TEST_F(OposHandlerTest, GetDateFailureGivesNowAndBadTextsRaise) {
  Script("GetDate\t111\t0\tClock\n"
         "GetDate\t0\t0\t\t3x1220232359\n"
         "GetDate\t0\t0\t\t3112\n");
  auto handler = Make();
  ASSERT_TRUE(handler->Connect());
  TDateTime date = 0;
  const TDateTime before = Now();
  EXPECT_FALSE(handler->GetDate(date));
  // The two clocks read may round their milliseconds apart; "now" within a second is what counts.
  constexpr TDateTime kSecond = 1.0 / 86'400;
  EXPECT_GE(date, before - kSecond);
  EXPECT_LE(date, Now() + kSecond);
  EXPECT_EQ(handler->ErrorCode(), 111);
  EXPECT_EQ(ErrorOf([&] { handler->GetDate(date); }), "'3x' is not a valid integer value");
  EXPECT_EQ(ErrorOf([&] { handler->GetDate(date); }), "'' is not a valid integer value");
}

TEST_F(OposHandlerTest, GetDataAndDirectIOPassTheirOutputs) {
  Script("GetData\t0\t0\t\t7\tZ-COUNT 42\n"
         "GetData\t106\t0\tBad item\t7\tignored\n"
         "DirectIO\t0\t0\t\t99\tAnswer 'x'\n"
         "DirectIO\t111\t0\tNo\t5\tLeft\n");
  auto handler = Make();
  ASSERT_TRUE(handler->Connect());
  std::string output = "before";
  EXPECT_TRUE(handler->GetData(12, 3, output));
  EXPECT_EQ(output, "Z-COUNT 42");
  output = "before";
  EXPECT_FALSE(handler->GetData(12, 3, output));
  EXPECT_EQ(output, "");

  int32_t data = 4;
  std::string text = "ask";
  EXPECT_TRUE(handler->DirectIO(1000, data, text));
  EXPECT_EQ(data, 99);
  EXPECT_EQ(text, "Answer 'x'");
  EXPECT_FALSE(handler->DirectIO(1001, data, text));
  EXPECT_EQ(data, 5);
  EXPECT_EQ(text, "Left");

  const std::vector<std::string> log = LogOf(handler);
  const std::vector<std::string> expected = {
      "[GetData]->GetData(12,3,aOutput)",
      "[GetData]->aOutput=Z-COUNT 42",
      "[GetData]->GetData(12,3,aOutput)",
      "ERROR - [106] OPOS_E_ILLEGAL - Bad item",
      "[DirectIO]->DirectIO(1000,4,'ask')",
      "[DirectIO]->Output(Data:=99, Obj:='Answer ''x''')",
      "[DirectIO]->DirectIO(1001,99,'Answer ''x''')",
      "[DirectIO]->Output(Data:=5, Obj:='Left')",
      "ERROR - [111] OPOS_E_FAILURE - No",
  };
  ASSERT_GE(log.size(), 4 + expected.size());
  EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.begin() + 4 + static_cast<long>(expected.size())), expected);
  EXPECT_EQ(Journal()[4], "GetData\t12\t3\t");
}

TEST_F(OposHandlerTest, PropertySettersKeepTheirValues) {
  auto handler = Make();
  EXPECT_TRUE(handler->SetAdditionalTrailerLine("", true));
  EXPECT_TRUE(handler->SetAdditionalTrailerLine("A", false));
  EXPECT_TRUE(handler->SetAdditionalTrailerLine("B", false));
  EXPECT_TRUE(handler->SetPreLine("Pre 'line'"));
  EXPECT_TRUE(handler->SetFiscalReceiptType(4));
  EXPECT_EQ(Journal(), (std::vector<std::string>{
                           "AdditionalTrailer=\t",
                           "AdditionalTrailer?",
                           "AdditionalTrailer=\tA\\r\\n",
                           "AdditionalTrailer?",
                           "AdditionalTrailer=\tA\\r\\nB\\r\\n",
                           "PreLine=\tPre 'line'",
                           "FiscalReceiptType=\t4",
                       }));
  EXPECT_EQ(LogOf(handler), (std::vector<std::string>{
                                "[SetAdditionalTrailerLine]->AdditionalTrailer=''",
                                "[SetAdditionalTrailerLine]->AdditionalTrailer=+'A'",
                                "[SetAdditionalTrailerLine]->AdditionalTrailer=+'B'",
                                "[SetPreLine]->PreLine='Pre ''line'''",
                                "[SetFiscalReceiptType]->FiscalReceiptType=4",
                            }));
}

TEST_F(OposHandlerTest, StatusQueriesReadTheirPropertiesAndLogTheAnswer) {
  Script("CoverOpen\ttrue\nDayOpened\tfalse\nRecEmpty\ttrue\nRecNearEnd\ttrue\nTrainingModeActive\tfalse\n"
         "PrinterState\t3\nRemainingFiscalMemory\t1234\n");
  auto handler = Make();
  bool cover = false, day = true, empty = false, nearEnd = false, training = true;
  int32_t state = 0, memory = 0;
  EXPECT_TRUE(handler->GetCoverOpen(cover));
  EXPECT_TRUE(handler->GetDayOpened(day));
  EXPECT_TRUE(handler->GetRecEmpty(empty));
  EXPECT_TRUE(handler->GetRecNearEnd(nearEnd));
  EXPECT_TRUE(handler->GetTrainingModeActive(training));
  EXPECT_TRUE(handler->PrinterState(state));
  EXPECT_TRUE(handler->RemainingFiscalMemory(memory));
  EXPECT_TRUE(cover);
  EXPECT_FALSE(day);
  EXPECT_TRUE(empty);
  EXPECT_TRUE(nearEnd);
  EXPECT_FALSE(training);
  EXPECT_EQ(state, 3);
  EXPECT_EQ(memory, 1234);
  EXPECT_EQ(Journal(), (std::vector<std::string>{"CoverOpen?", "DayOpened?", "RecEmpty?", "RecNearEnd?",
                                                  "TrainingModeActive?", "PrinterState?", "RemainingFiscalMemory?"}));
  EXPECT_EQ(LogOf(handler), (std::vector<std::string>{
                                "[GetCoverOpen]->CoverOpen(aResult)",
                                "[GetCoverOpen]->CoverOpen=True",
                                "[GetDayOpened]->DayOpened(aResult)",
                                "[GetDayOpened]->aResult=False",
                                "[GetRecEmpty]->RecEmpty(aResult)",
                                "[GetRecEmpty]->aResult=True",
                                "[GetRecNearEmpty]->RecNearEmpty(aResult)",
                                "[GetRecNearEmpty]->aResult=True",
                                "[GetTrainingModeActive]->TrainingModeActive(aResult)",
                                "[GetTrainingModeActive]->aResult=False",
                                "[PrinterState]->PrinterState(aPrinterState)",
                                "[PrinterState]->aPrinterState=3",
                                "[RemainingFiscalMemory]->RemainingFiscalMemory(aRemainingFiscalMemory)",
                                "[RemainingFiscalMemory]->aRemainingFiscalMemory=1234",
                            }));
}

TEST_F(OposHandlerTest, SimulatedPrinterFollowsItsDay) {
  auto handler = Make();
  ASSERT_TRUE(handler->Connect());
  bool flag = false;
  ASSERT_TRUE(handler->PrintRecItem("", "Tea", Currency::FromUnits(1), "", 1, Currency::FromUnits(2),
                                    Currency::FromUnits(2)));
  handler->GetDayOpened(flag);
  EXPECT_TRUE(flag);
  ASSERT_TRUE(handler->PrintZReport());
  handler->GetDayOpened(flag);
  EXPECT_FALSE(flag);
  ASSERT_TRUE(handler->BeginTraining());
  handler->GetTrainingModeActive(flag);
  EXPECT_TRUE(flag);
  // After Disconnect the printer refuses work.
  ASSERT_TRUE(handler->Disconnect());
  EXPECT_FALSE(handler->PrintXReport());
  EXPECT_EQ(handler->ErrorMessage(), "[101] OPOS_E_CLOSED - Device is not open");
}

TEST_F(OposHandlerTest, StreamOperationsAreRefused) {
  auto handler = Make();
  EXPECT_EQ(ErrorOf([&] { handler->Write("x"); }), "Write Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->ReadUpTo({13}); }), "ReadUpto Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->ReadChars(1); }), "ReadChars Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->ReadAll(); }), "ReadAll Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->InputBufferContainsData(); }), "InputBufferContainsData Unsupported");
  handler->ClearBuffers();
  handler->SetParameter("a", "b");
  EXPECT_EQ(Journal(), std::vector<std::string>{});
}

TEST_F(OposHandlerTest, MissingControlFailsCreationWithTheClassIdentifier) {
  ScopedEnv refuse("OPOS_SIM_CREATE", "fail");
  const std::string message = ErrorOf([&] { Make(); });
  EXPECT_EQ(message, "Class not registered, ClassID: {CCB90072-B81E-11D2-AB74-0040054C3719}");
  EXPECT_EQ(Messages(LogFile()), (std::vector<std::string>{kStart, kStop}));
}

}  // namespace
