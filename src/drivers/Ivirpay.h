#pragma once
// The provider's payment component as the driver sees it: one operation per component
// method the driver uses. Each returns the call result (1: the call went through) and
// fills the texts passed by reference, as the component's [in, out] BSTRs. A failed call
// (a failed HRESULT) raises EMxError with the component's description.
#include <cstdint>
#include <memory>
#include <string>

inline constexpr char kViroziClassId[] = "{6F14EC5C-B289-4B3D-8351-44F0899062F7}";
inline constexpr char kViroziInterfaceId[] = "{9B706B8B-DE98-4C19-91FB-AD974184AAFE}";

class Ivirpay {
 public:
  virtual ~Ivirpay() = default;

  virtual int32_t Pagamento(int32_t aFlag1, int32_t aAmount, int32_t aFlag2, std::string& aReply) = 0;
  // The driver passes one empty text variable three times; the references may alias.
  virtual int32_t PagamentoADV(int32_t aWalletType, int32_t aAmount, std::string& aText1,
                               std::string& aText2, std::string& aText3, std::string& aReply) = 0;
  virtual int32_t PaymentCeliachia(int32_t aAmount, std::string& aText1, std::string& aText2,
                                   std::string& aText3, std::string& aText4, std::string& aReply) = 0;
  virtual int32_t PaymentBPE(int32_t aAmount, std::string& aText, std::string& aReply) = 0;
  virtual int32_t RiallineamentoDBP(std::string& aReply) = 0;
  virtual int32_t OpenTicketBC(int32_t aProgressive, std::string& aReceiptReference,
                               std::string& aDeviceCode, std::string& aReply) = 0;
  virtual int32_t DematerializzazioneBP(std::string& aRequest, std::string& aReply) = 0;
  virtual int32_t CommitTransactionDBP(std::string& aRequest, std::string& aReply) = 0;
  virtual int32_t ReverseTransactionDBP(std::string& aRequest, std::string& aReply) = 0;
  virtual int32_t CloseTicketBC(int32_t aProgressive, std::string& aReceiptReference,
                                std::string& aDeviceCode, std::string& aReply) = 0;
  virtual int32_t Chiusura(int32_t aFlag, std::string& aReply) = 0;
  virtual int32_t GetTotaliHost(int32_t aFlag, std::string& aReply) = 0;
  // These two receive the reply of the Chiusura / GetTotaliHost call just before.
  virtual int32_t ChiusuraBPE(std::string& aReply) = 0;
  virtual int32_t TotaliBPE(std::string& aReply) = 0;
};

// Creates one component instance through the factory in force: by default the registered
// component, called by method name. Raises EMxError with the system message +
// ", ClassID: " + the class identifier when the component cannot be created, "Interface
// not supported" when it lacks the interface.
std::unique_ptr<Ivirpay> CreateViroziComponent();

// Where no provider component can be registered (outside Windows) the program chooses
// what stands in for it; null restores the registered component.
using ViroziComponentFactory = std::unique_ptr<Ivirpay> (*)();
void SetViroziComponentFactory(ViroziComponentFactory aFactory);
