// Random component replies for every method the driver calls: a component of the fuzzer's
// own stands in for the terminal and answers each call with a call result, a reply (now
// in the layout the driver splits, now any text) and now and then a failed call. A chain
// of payments on every channel, coupon steps, day closes and totals then runs against it.
// Beyond the shared checks: no component call ever receives a negative amount.
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "drivers/Ivirpay.h"
#include "core/Errors.h"

namespace {

FuzzedDataProvider* gData = nullptr;

std::string Field(FuzzedDataProvider& aData) {
  static constexpr const char* kFields[] = {"OK", "KO", "OX", "ok", "0", "1", "2", "3", "9", "100", "1234", "-250",
                                            "12,34", "12.34", "2147483648", "101", "107", "MV101", "S", "N", "1|2|500",
                                            "2|1|500|3|1000"};
  const size_t pick = aData.ConsumeIntegralInRange<size_t>(0, std::size(kFields));
  return pick == std::size(kFields) ? fuzz::HostileText(aData, 30) : kFields[pick];
}

class FuzzComponent : public Ivirpay {
 public:
  int32_t Pagamento(int32_t, int32_t aAmount, int32_t, std::string& aReply) override {
    return Answer(aAmount, aReply);
  }
  int32_t PagamentoADV(int32_t, int32_t aAmount, std::string& aText1, std::string&, std::string&,
                       std::string& aReply) override {
    Scribble(aText1);
    return Answer(aAmount, aReply);
  }
  int32_t PaymentCeliachia(int32_t aAmount, std::string& aText1, std::string& aText2, std::string&, std::string&,
                           std::string& aReply) override {
    Scribble(aText1);
    Scribble(aText2);
    return Answer(aAmount, aReply);
  }
  int32_t PaymentBPE(int32_t aAmount, std::string& aText, std::string& aReply) override {
    Scribble(aText);
    return Answer(aAmount, aReply);
  }
  int32_t RiallineamentoDBP(std::string& aReply) override { return Answer(0, aReply); }
  int32_t OpenTicketBC(int32_t, std::string& aReference, std::string& aDeviceCode, std::string& aReply) override {
    Scribble(aReference);
    Scribble(aDeviceCode);
    return Answer(0, aReply);
  }
  int32_t DematerializzazioneBP(std::string& aRequest, std::string& aReply) override {
    Scribble(aRequest);
    return Answer(0, aReply);
  }
  int32_t CommitTransactionDBP(std::string& aRequest, std::string& aReply) override {
    Scribble(aRequest);
    return Answer(0, aReply);
  }
  int32_t ReverseTransactionDBP(std::string& aRequest, std::string& aReply) override {
    Scribble(aRequest);
    return Answer(0, aReply);
  }
  int32_t CloseTicketBC(int32_t, std::string& aReference, std::string& aDeviceCode, std::string& aReply) override {
    Scribble(aReference);
    Scribble(aDeviceCode);
    return Answer(0, aReply);
  }
  int32_t Chiusura(int32_t, std::string& aReply) override { return Answer(0, aReply); }
  int32_t GetTotaliHost(int32_t, std::string& aReply) override { return Answer(0, aReply); }
  int32_t ChiusuraBPE(std::string& aReply) override { return Answer(0, aReply); }
  int32_t TotaliBPE(std::string& aReply) override { return Answer(0, aReply); }

 private:
  // The in/out texts come back changed now and then, as a component may change them.
  static void Scribble(std::string& aText) {
    if (gData != nullptr && gData->ConsumeIntegralInRange<int>(0, 3) == 0) aText = fuzz::HostileText(*gData, 20);
  }

  static int32_t Answer(int32_t aAmount, std::string& aReply) {
    if (aAmount < 0) fuzz::Fail("a component call received a negative amount", std::to_string(aAmount));
    if (gData == nullptr || gData->remaining_bytes() == 0) {
      aReply = "KO;no data";
      return 0;
    }
    FuzzedDataProvider& data = *gData;
    if (data.ConsumeIntegralInRange<int>(0, 15) == 0) throw EMxError(fuzz::HostileText(data, 40));
    const int32_t result = data.ConsumeBool() ? 1 : data.ConsumeIntegralInRange<int32_t>(-2, 3);
    if (data.ConsumeIntegralInRange<int>(0, 4) == 0) {
      aReply = fuzz::HostileText(data, 200);
    } else {
      static constexpr char kSeparators[] = {';', '-', '|'};
      const char separator = kSeparators[data.ConsumeIntegralInRange<size_t>(0, 2)];
      const int fields = data.ConsumeIntegralInRange<int>(0, 20);
      aReply.clear();
      for (int i = 0; i < fields; ++i) {
        if (i > 0) aReply += separator;
        aReply += Field(data);
      }
    }
    return result;
  }
};

std::unique_ptr<Ivirpay> CreateFuzzComponent() { return std::make_unique<FuzzComponent>(); }

std::string Payment(const char* aChannel, const char* aPhase, const std::string& aAttributes,
                    const std::string& aAmount) {
  return "<Payment><Amount>" + aAmount + "</Amount><Currency>EUR</Currency><PaymentChannel>" + aChannel +
         "</PaymentChannel><Phase>" + aPhase + "</Phase><Attributes>" + fuzz::XmlText(aAttributes) +
         "</Attributes><StoreCode>123</StoreCode><TillCode>45</TillCode><Reference>R1</Reference></Payment>";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetViroziComponentFactory(&CreateFuzzComponent);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  FuzzedDataProvider data(aData, aSize);
  gData = &data;
  const fuzz::Answer opened = fuzz::Call(fuzz::kOpen, fuzz::Request(0, "replies", ""));
  const int32_t handle = opened.Result == 0 ? std::atoi(fuzz::Element(opened.Output, "Handle").c_str()) : 0;
  static constexpr const char* kWallets[] = {"jiffy", "satispay", "bitcoin", "satispay_qrcode", "conad_mobile_wallet",
                                             "tinaba"};
  const int steps = data.ConsumeIntegralInRange<int>(1, 16);
  for (int step = 0; step < steps && data.remaining_bytes() > 0; ++step) {
    const std::string amount = data.ConsumeBool() ? "12.34" : (data.ConsumeBool() ? "-5" : "0");
    switch (data.ConsumeIntegralInRange<int>(0, 10)) {
      case 0: fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("STD", "", "", amount))); break;
      case 1: {
        const char* wallet = kWallets[data.ConsumeIntegralInRange<size_t>(0, std::size(kWallets) - 1)];
        fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("STD", "", wallet, amount)));
        break;
      }
      case 2: fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("NHS", "", "", amount))); break;
      case 3: fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("MVP", "", "", amount))); break;
      case 4: fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("MVP", "BEGIN", "", amount))); break;
      case 5: {
        const std::string coupon = data.ConsumeBool() ? "1070529001" : fuzz::HostileText(data, 16);
        fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("MVP", "DO", coupon, amount)));
        break;
      }
      case 6: fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("MVP", "COMMIT", "", amount))); break;
      case 7: {
        const std::string coupon = data.ConsumeBool() ? "" : "1070529001";
        fuzz::Call(fuzz::kPay, fuzz::Request(handle, "replies", Payment("MVP", "ROLLBACK", coupon, amount)));
        break;
      }
      case 8: fuzz::Call(fuzz::kDayClose, fuzz::Request(handle, "replies", "<DayClose/>")); break;
      case 9: fuzz::Call(fuzz::kGetTotals, fuzz::Request(handle, "replies", "<GetTotals/>")); break;
      default: fuzz::Call(fuzz::kGetStatus, fuzz::Request(handle, "replies", "")); break;
    }
  }
  gData = nullptr;
  fuzz::EndRun();
  return 0;
}
