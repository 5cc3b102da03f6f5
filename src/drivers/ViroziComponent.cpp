// The provider's component as the platform reaches it: every method called by name.
#include <memory>
#include <string>
#include <utility>

#include "drivers/Ivirpay.h"
#include "platform/Automation.h"

namespace {

class ViroziAutomation : public Ivirpay {
 public:
  ViroziAutomation() : fObject(platform::CreateAutomationObject(kViroziClassId, kViroziInterfaceId)) {}

  int32_t Pagamento(int32_t aFlag1, int32_t aAmount, int32_t aFlag2, std::string& aReply) override {
    return fObject->Call("Pagamento", {aFlag1, aAmount, aFlag2, aReply});
  }
  int32_t PagamentoADV(int32_t aWalletType, int32_t aAmount, std::string& aText1, std::string& aText2,
                       std::string& aText3, std::string& aReply) override {
    return fObject->Call("PagamentoADV", {aWalletType, aAmount, aText1, aText2, aText3, aReply});
  }
  int32_t PaymentCeliachia(int32_t aAmount, std::string& aText1, std::string& aText2, std::string& aText3,
                           std::string& aText4, std::string& aReply) override {
    return fObject->Call("PaymentCeliachia", {aAmount, aText1, aText2, aText3, aText4, aReply});
  }
  int32_t PaymentBPE(int32_t aAmount, std::string& aText, std::string& aReply) override {
    return fObject->Call("PaymentBPE", {aAmount, aText, aReply});
  }
  int32_t RiallineamentoDBP(std::string& aReply) override { return fObject->Call("RiallineamentoDBP", {aReply}); }
  int32_t OpenTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                       std::string& aReply) override {
    return fObject->Call("OpenTicketBC", {aProgressive, aReceiptReference, aDeviceCode, aReply});
  }
  int32_t DematerializzazioneBP(std::string& aRequest, std::string& aReply) override {
    return fObject->Call("DematerializzazioneBP", {aRequest, aReply});
  }
  int32_t CommitTransactionDBP(std::string& aRequest, std::string& aReply) override {
    return fObject->Call("CommitTransactionDBP", {aRequest, aReply});
  }
  int32_t ReverseTransactionDBP(std::string& aRequest, std::string& aReply) override {
    return fObject->Call("ReverseTransactionDBP", {aRequest, aReply});
  }
  int32_t CloseTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                        std::string& aReply) override {
    return fObject->Call("CloseTicketBC", {aProgressive, aReceiptReference, aDeviceCode, aReply});
  }
  int32_t Chiusura(int32_t aFlag, std::string& aReply) override { return fObject->Call("Chiusura", {aFlag, aReply}); }
  int32_t GetTotaliHost(int32_t aFlag, std::string& aReply) override {
    return fObject->Call("GetTotaliHost", {aFlag, aReply});
  }
  int32_t ChiusuraBPE(std::string& aReply) override { return fObject->Call("ChiusuraBPE", {aReply}); }
  int32_t TotaliBPE(std::string& aReply) override { return fObject->Call("TotaliBPE", {aReply}); }

 private:
  std::unique_ptr<platform::AutomationObject> fObject;
};

ViroziComponentFactory& Factory() {
  static ViroziComponentFactory factory = nullptr;
  return factory;
}

}  // namespace

void SetViroziComponentFactory(ViroziComponentFactory aFactory) { Factory() = aFactory; }

std::unique_ptr<Ivirpay> CreateViroziComponent() {
  if (ViroziComponentFactory factory = Factory()) return factory();
  return std::make_unique<ViroziAutomation>();
}
