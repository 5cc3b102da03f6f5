// Request chains against the simulated terminal: a device is opened, then up to 24
// operations follow - payments on every channel and phase, day closes, totals, status,
// closing and reopening - with values that are now plausible, now hostile, and now and
// then a request whose bytes are mutated. Each answer and each log line is checked.
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace {

using fuzz::Operation;

constexpr const char* kAmounts[] = {"10.00", "0", "-1", "-0.001", "12.3456", "0.009", "21474836.47", "21474836.48",
                                    "1e3", "", "abc", "99999999999999"};
constexpr const char* kChannels[] = {"", "STD", "MVP", "NHS", "std", "X"};
constexpr const char* kPhases[] = {"", "NONE", "BEGIN", "DO", "COMMIT", "ROLLBACK", "begin"};
constexpr const char* kActions[] = {"", "PAY", "REFUND", "VOID", "X"};
constexpr const char* kAttributes[] = {"",           "satispay",   "JIFFY",      "bitcoin",   "satispay_qrcode",
                                       "tinaba",     "paypal",     "1070529001", "2010700002", "1030800003",
                                       "conad_mobile_wallet"};

template <size_t N>
std::string Pick(FuzzedDataProvider& aData, const char* const (&aChoices)[N]) {
  const size_t pick = aData.ConsumeIntegralInRange<size_t>(0, N);
  return pick == N ? fuzz::HostileText(aData, 40) : aChoices[pick];
}

std::string Child(const char* aName, const std::string& aText) {
  return std::string("<") + aName + ">" + fuzz::XmlText(aText) + "</" + aName + ">";
}

std::string PaymentBody(FuzzedDataProvider& aData) {
  std::string body = "<Payment>";
  body += Child("Amount", Pick(aData, kAmounts));
  body += Child("Currency", aData.ConsumeBool() ? "EUR" : fuzz::HostileText(aData, 12));
  body += Child("PaymentChannel", Pick(aData, kChannels));
  body += Child("Phase", Pick(aData, kPhases));
  body += Child("Action", Pick(aData, kActions));
  body += Child("Attributes", Pick(aData, kAttributes));
  body += Child("StoreCode", aData.ConsumeBool() ? "123" : fuzz::HostileText(aData, 20));
  body += Child("TillCode", aData.ConsumeBool() ? "45" : fuzz::HostileText(aData, 20));
  body += Child("Reference", fuzz::HostileText(aData, 40));
  body += Child("MerchantCode", aData.ConsumeBool() ? "01" : fuzz::HostileText(aData, 10));
  body += "</Payment>";
  return body;
}

std::string StoreBody(FuzzedDataProvider& aData, const char* aName) {
  return std::string("<") + aName + ">" + Child("StoreCode", fuzz::HostileText(aData, 20)) +
         Child("TillCode", fuzz::HostileText(aData, 20)) + Child("Reference", fuzz::HostileText(aData, 40)) + "</" +
         aName + ">";
}

// A few bytes of the request overwritten, inserted or cut.
void Mutate(FuzzedDataProvider& aData, std::string& aRequest) {
  const int edits = aData.ConsumeIntegralInRange<int>(1, 4);
  for (int i = 0; i < edits && !aRequest.empty(); ++i) {
    const size_t at = aData.ConsumeIntegralInRange<size_t>(0, aRequest.size() - 1);
    switch (aData.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: aRequest[at] = static_cast<char>(aData.ConsumeIntegral<uint8_t>()); break;
      case 1: aRequest.insert(at, 1, static_cast<char>(aData.ConsumeIntegral<uint8_t>())); break;
      default: aRequest.erase(at, aData.ConsumeIntegralInRange<size_t>(1, 8)); break;
    }
  }
}

int32_t Open(FuzzedDataProvider& aData, const std::string& aLogId) {
  std::string body;
  if (aData.ConsumeBool()) {
    body = "<Parameters>" + Child("HexLog", aData.ConsumeBool() ? "true" : "false") +
           Child("ConnectTimeout", aData.ConsumeBool() ? "3000" : fuzz::HostileText(aData, 8)) + "</Parameters>";
  }
  const fuzz::Answer answer = fuzz::Call(fuzz::kOpen, fuzz::Request(0, aLogId, body));
  return answer.Result == 0 ? std::atoi(fuzz::Element(answer.Output, "Handle").c_str()) : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  FuzzedDataProvider data(aData, aSize);
  const std::string logId = data.ConsumeBool() ? "chain" : fuzz::HostileText(data, 16);
  int32_t handle = Open(data, logId);
  const int steps = data.ConsumeIntegralInRange<int>(1, 24);
  for (int step = 0; step < steps && data.remaining_bytes() > 0; ++step) {
    const auto operation = static_cast<Operation>(data.ConsumeIntegralInRange<int>(0, fuzz::kOperationCount - 1));
    int32_t target = handle;
    if (data.ConsumeIntegralInRange<int>(0, 15) == 0) target = data.ConsumeIntegral<int32_t>();
    std::string body;
    switch (operation) {
      case fuzz::kPay:
      case fuzz::kVerifyTran: body = PaymentBody(data); break;
      case fuzz::kReprint: body = "<Reprint/>"; break;
      case fuzz::kDayClose: body = StoreBody(data, "DayClose"); break;
      case fuzz::kGetTotals: body = StoreBody(data, "GetTotals"); break;
      default: break;
    }
    if (operation == fuzz::kOpen) {
      handle = Open(data, logId);
      continue;
    }
    if (operation == fuzz::kVersion) {
      fuzz::Call(operation, data.ConsumeBool() ? "VELO_VIROZI_10" : fuzz::HostileText(data, 20));
      continue;
    }
    std::string request = fuzz::Request(target, logId, body);
    if (data.ConsumeIntegralInRange<int>(0, 7) == 0) Mutate(data, request);
    const fuzz::Answer answer = fuzz::Call(operation, request);
    if (operation == fuzz::kClose && target == handle && answer.Result == 0) handle = 0;
  }
  fuzz::EndRun();
  return 0;
}
