#pragma once
// A scripted stand-in for the provider's component, and a fixture that runs one VIROZI
// device over it with its real log. The test queues answers per method and reads back
// every call with its arguments and the log entries the device wrote.
#include <gtest/gtest.h>

#include <cctype>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"
#include "drivers/DriverLog.h"
#include "drivers/Payment_VIROZI.h"
#include "io/IOHandler.h"
#include "payment/PaymentHandler.h"

namespace drivertest {

struct tkFakeCall {
  std::string Method;
  std::vector<std::string> Args;  // every argument before the call result, the reply included
  bool operator==(const tkFakeCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& aStream, const tkFakeCall& aCall) {
  aStream << aCall.Method << "(";
  for (size_t i = 0; i < aCall.Args.size(); ++i) aStream << (i ? ", " : "") << '"' << aCall.Args[i] << '"';
  return aStream << ")";
}

// What the test and the component the device owns share.
class tkFakeTerminal {
 public:
  struct Answer {
    int32_t Result = 1;
    std::string Reply;
    std::string Raise;  // not empty: the call fails as a failed COM call, with this text
  };

  void Reply(const std::string& aMethod, std::string aReply, int32_t aResult = 1) {
    fAnswers[aMethod].push_back({aResult, std::move(aReply), {}});
  }
  void Raise(const std::string& aMethod, std::string aText) { fAnswers[aMethod].push_back({0, {}, std::move(aText)}); }

  // A method without a queued answer goes through with an empty reply.
  int32_t Serve(const char* aMethod, std::vector<std::string> aArgs, std::string& aReply) {
    fCalls.push_back({aMethod, std::move(aArgs)});
    Answer answer;
    auto it = fAnswers.find(aMethod);
    if (it != fAnswers.end() && !it->second.empty()) {
      answer = std::move(it->second.front());
      it->second.pop_front();
    }
    if (!answer.Raise.empty()) throw EMxError(answer.Raise);
    aReply = answer.Reply;
    return answer.Result;
  }

  std::vector<std::string> Methods() const {
    std::vector<std::string> methods;
    for (const tkFakeCall& call : fCalls) methods.push_back(call.Method);
    return methods;
  }

  std::vector<tkFakeCall> fCalls;
  std::map<std::string, std::deque<Answer>> fAnswers;
  bool fSpareTextsAliased = false;
};

// Texts that come back in the spare arguments must not matter to the driver.
constexpr char kSpareBack[] = "spare-text-back";

class tkFakeVirPay : public Ivirpay {
 public:
  explicit tkFakeVirPay(tkFakeTerminal& aTerminal) : fTerminal(aTerminal) {}

  int32_t Pagamento(int32_t aFlag1, int32_t aAmount, int32_t aFlag2, std::string& aReply) override {
    return fTerminal.Serve("Pagamento", {S(aFlag1), S(aAmount), S(aFlag2), aReply}, aReply);
  }
  int32_t PagamentoADV(int32_t aWalletType, int32_t aAmount, std::string& aText1, std::string& aText2,
                       std::string& aText3, std::string& aReply) override {
    fTerminal.fSpareTextsAliased = &aText1 == &aText2 && &aText2 == &aText3;
    const int32_t result =
        fTerminal.Serve("PagamentoADV", {S(aWalletType), S(aAmount), aText1, aText2, aText3, aReply}, aReply);
    aText1 = kSpareBack;
    return result;
  }
  int32_t PaymentCeliachia(int32_t aAmount, std::string& aText1, std::string& aText2, std::string& aText3,
                           std::string& aText4, std::string& aReply) override {
    const int32_t result =
        fTerminal.Serve("PaymentCeliachia", {S(aAmount), aText1, aText2, aText3, aText4, aReply}, aReply);
    aText1 = aText2 = aText3 = aText4 = kSpareBack;
    return result;
  }
  int32_t PaymentBPE(int32_t aAmount, std::string& aText, std::string& aReply) override {
    const int32_t result = fTerminal.Serve("PaymentBPE", {S(aAmount), aText, aReply}, aReply);
    aText = kSpareBack;
    return result;
  }
  int32_t RiallineamentoDBP(std::string& aReply) override {
    return fTerminal.Serve("RiallineamentoDBP", {aReply}, aReply);
  }
  int32_t OpenTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                       std::string& aReply) override {
    const int32_t result =
        fTerminal.Serve("OpenTicketBC", {S(aProgressive), aReceiptReference, aDeviceCode, aReply}, aReply);
    aReceiptReference = aDeviceCode = kSpareBack;
    return result;
  }
  int32_t DematerializzazioneBP(std::string& aRequest, std::string& aReply) override {
    return fTerminal.Serve("DematerializzazioneBP", {aRequest, aReply}, aReply);
  }
  int32_t CommitTransactionDBP(std::string& aRequest, std::string& aReply) override {
    return fTerminal.Serve("CommitTransactionDBP", {aRequest, aReply}, aReply);
  }
  int32_t ReverseTransactionDBP(std::string& aRequest, std::string& aReply) override {
    return fTerminal.Serve("ReverseTransactionDBP", {aRequest, aReply}, aReply);
  }
  int32_t CloseTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                        std::string& aReply) override {
    const int32_t result =
        fTerminal.Serve("CloseTicketBC", {S(aProgressive), aReceiptReference, aDeviceCode, aReply}, aReply);
    aReceiptReference = aDeviceCode = kSpareBack;
    return result;
  }
  int32_t Chiusura(int32_t aFlag, std::string& aReply) override {
    return fTerminal.Serve("Chiusura", {S(aFlag), aReply}, aReply);
  }
  int32_t GetTotaliHost(int32_t aFlag, std::string& aReply) override {
    return fTerminal.Serve("GetTotaliHost", {S(aFlag), aReply}, aReply);
  }
  int32_t ChiusuraBPE(std::string& aReply) override { return fTerminal.Serve("ChiusuraBPE", {aReply}, aReply); }
  int32_t TotaliBPE(std::string& aReply) override { return fTerminal.Serve("TotaliBPE", {aReply}, aReply); }

 private:
  static std::string S(int32_t aValue) { return std::to_string(aValue); }
  tkFakeTerminal& fTerminal;
};


// One VIROZI device over the fake component, logging as LogId = the test's name.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fLogId = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    // What an earlier run may have left in today's log goes first.
    OpenDevice();
    fDevice.reset();
    RemoveLog();
    OpenDevice();
  }
  void TearDown() override {
    fDevice.reset();
    RemoveLog();
  }

  std::string RequestXml(std::string_view aBody) const {
    return "<Request><Driver>VELO_VIROZI_10</Driver><LogId>" + fLogId +
           "</LogId><Connection><Type>COM</Type></Connection>" + std::string(aBody) + "</Request>";
  }
  std::unique_ptr<kPaymentHandler> Handler(std::string_view aBody, tkPaymentHandlerDocumentType aType) const {
    auto handler = std::make_unique<kPaymentHandler>();
    handler->Deserialize(RequestXml(aBody), {aType});
    return handler;
  }

  void OpenDevice() {
    fDevice = std::make_unique<kPayment_VIROZI>(*Handler("", dt_Open), std::make_unique<tkFakeVirPay>(fTerminal));
    fLogName = fDevice->IOHandler().GetLogFileName();
  }

  // PAY with the children of the payment part.
  _int_PAY_result Pay(std::string_view aChildren) {
    return fDevice->Pub_Pay(*Handler("<Payment>" + std::string(aChildren) + "</Payment>", dt_Pay));
  }
  // The error text a PAY raises; "<no error>" when it raises nothing.
  std::string PayError(std::string_view aChildren) {
    try {
      Pay(aChildren);
    } catch (const EMxError& e) {
      return e.what();
    }
    return "<no error>";
  }
  _int_DAYCLOSE_result DayClose() { return fDevice->Pub_DayClose(*Handler("<DayClose/>", dt_DayClose)); }
  _int_GETTOTALS_result GetTotals() { return fDevice->Pub_GetTotals(*Handler("<GetTotals/>", dt_GetTotals)); }

  // Closes the device (its log is written out) and gives the driver's log entries.
  std::vector<std::string> CloseAndReadDriverLog() {
    fDevice.reset();
    return DriverEntries(LogEntries(ReadWholeFile(fLogName)));
  }

  void RemoveLog() const {
    if (fLogName.empty()) return;
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(fLogName), error);
  }

  std::string fLogId;
  std::string fLogName;
  tkFakeTerminal fTerminal;
  std::unique_ptr<kPayment_VIROZI> fDevice;
};

}  // namespace drivertest
