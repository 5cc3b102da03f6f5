// The terminal simulator behind IDispatch, as an in-process COM server registered under
// the provider's class identifier. No type library: GetIDsOfNames knows the method names,
// and QueryInterface answers the provider's interface identifier with the same IDispatch,
// since Ivirpay is a dual interface and callers use it only through IDispatch.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <olectl.h>

#include <atomic>
#include <cstdlib>
#include <cwctype>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ComServerKit.h"
#include "core/Errors.h"
#include "core/Text.h"
#include "drivers/Ivirpay.h"
#include "sim/ViroziFactory.h"
#include "sim/ViroziSimulator.h"

namespace {

using comkit::BstrOf;
using comkit::GuidOf;
using comkit::TextOf;

// Parsed on first use, not while the loader holds its lock.
const GUID& ClassId() {
  static const GUID id = GuidOf(kViroziClassId);
  return id;
}
const GUID& InterfaceId() {
  static const GUID id = GuidOf(kViroziInterfaceId);
  return id;
}

// VIROZI_SIM_CREATE=nointerface: the object is created but denies the provider's
// interface, as an incompatible version of the component would (Windows tests only).
bool InterfaceRefusedByEnvironment() {
  const char* create = std::getenv("VIROZI_SIM_CREATE");
  return create != nullptr && std::string(create) == "nointerface";
}

// One argument as the simulator takes it.
struct tArg {
  int32_t Int = 0;
  std::string Text;
};
using tArgs = std::vector<tArg>;

// A method: its name, its DISPID (the position among the interface's own methods), its
// arguments before the call result ('i' a long by value, 's' a BSTR by reference) and the
// call into the simulator.
struct tMethod {
  const wchar_t* Name;
  DISPID Id;
  const char* Args;
  int32_t (*Run)(Ivirpay&, tArgs&);
};

const tMethod kMethods[] = {
    {L"Chiusura", 1, "is", [](Ivirpay& c, tArgs& a) { return c.Chiusura(a[0].Int, a[1].Text); }},
    {L"GetTotaliHost", 2, "is", [](Ivirpay& c, tArgs& a) { return c.GetTotaliHost(a[0].Int, a[1].Text); }},
    {L"Pagamento", 3, "iiis",
     [](Ivirpay& c, tArgs& a) { return c.Pagamento(a[0].Int, a[1].Int, a[2].Int, a[3].Text); }},
    {L"OpenTicketBC", 46, "isss",
     [](Ivirpay& c, tArgs& a) { return c.OpenTicketBC(a[0].Int, a[1].Text, a[2].Text, a[3].Text); }},
    {L"CloseTicketBC", 47, "isss",
     [](Ivirpay& c, tArgs& a) { return c.CloseTicketBC(a[0].Int, a[1].Text, a[2].Text, a[3].Text); }},
    {L"PaymentBPE", 54, "iss", [](Ivirpay& c, tArgs& a) { return c.PaymentBPE(a[0].Int, a[1].Text, a[2].Text); }},
    {L"DematerializzazioneBP", 56, "ss",
     [](Ivirpay& c, tArgs& a) { return c.DematerializzazioneBP(a[0].Text, a[1].Text); }},
    {L"ReverseTransactionDBP", 57, "ss",
     [](Ivirpay& c, tArgs& a) { return c.ReverseTransactionDBP(a[0].Text, a[1].Text); }},
    {L"CommitTransactionDBP", 58, "ss",
     [](Ivirpay& c, tArgs& a) { return c.CommitTransactionDBP(a[0].Text, a[1].Text); }},
    {L"RiallineamentoDBP", 59, "s", [](Ivirpay& c, tArgs& a) { return c.RiallineamentoDBP(a[0].Text); }},
    {L"ChiusuraBPE", 61, "s", [](Ivirpay& c, tArgs& a) { return c.ChiusuraBPE(a[0].Text); }},
    {L"TotaliBPE", 62, "s", [](Ivirpay& c, tArgs& a) { return c.TotaliBPE(a[0].Text); }},
    {L"PagamentoADV", 74, "iissss",
     [](Ivirpay& c, tArgs& a) {
       return c.PagamentoADV(a[0].Int, a[1].Int, a[2].Text, a[3].Text, a[4].Text, a[5].Text);
     }},
    {L"PaymentCeliachia", 79, "isssss",
     [](Ivirpay& c, tArgs& a) {
       return c.PaymentCeliachia(a[0].Int, a[1].Text, a[2].Text, a[3].Text, a[4].Text, a[5].Text);
     }},
};

HRESULT Raise(const std::string& aDescription, EXCEPINFO* aException) {
  return comkit::Raise(aDescription, aException, L"virozi_sim", InterfaceId());
}

// One component instance: a simulator, reached through IDispatch.
class tViroziObject final : public comkit::tDispatchObject {
 public:
  tViroziObject() : tDispatchObject(InterfaceId()) {}

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* aNames, UINT aCount, LCID, DISPID* aIds) override {
    if (aNames == nullptr || aIds == nullptr) return E_POINTER;
    HRESULT result = S_OK;
    for (UINT k = 0; k < aCount; ++k) {
      aIds[k] = DISPID_UNKNOWN;
      // Only the method itself has a name: no named arguments.
      if (k == 0) {
        for (const tMethod& method : kMethods)
          if (aNames[0] != nullptr && comkit::SameName(aNames[0], method.Name)) aIds[0] = method.Id;
      }
      if (aIds[k] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID aId, REFIID, LCID, WORD aFlags, DISPPARAMS* aParams, VARIANT* aResult,
                                   EXCEPINFO* aException, UINT* aBadArgument) override {
    const tMethod* method = nullptr;
    for (const tMethod& candidate : kMethods)
      if (candidate.Id == aId) method = &candidate;
    if (method == nullptr) return DISP_E_MEMBERNOTFOUND;
    if ((aFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (aParams == nullptr) return E_POINTER;
    if (aParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    const std::string kinds = method->Args;
    if (aParams->cArgs != kinds.size()) return DISP_E_BADPARAMCOUNT;

    // Arguments arrive last first.
    tArgs args(kinds.size());
    std::vector<BSTR*> texts(kinds.size(), nullptr);
    for (size_t k = 0; k < kinds.size(); ++k) {
      const UINT position = static_cast<UINT>(kinds.size() - 1 - k);
      VARIANTARG& variant = aParams->rgvarg[position];
      if (kinds[k] == 's') {
        if (variant.vt != (VT_BSTR | VT_BYREF) || variant.pbstrVal == nullptr) {
          if (aBadArgument != nullptr) *aBadArgument = position;
          return DISP_E_TYPEMISMATCH;
        }
        texts[k] = variant.pbstrVal;
        args[k].Text = TextOf(*variant.pbstrVal);
      } else {
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantChangeType(&value, &variant, 0, VT_I4))) {
          if (aBadArgument != nullptr) *aBadArgument = position;
          return DISP_E_TYPEMISMATCH;
        }
        args[k].Int = value.lVal;
      }
    }
    const tArgs received = args;

    int32_t callResult = 0;
    try {
      callResult = method->Run(fSimulator, args);
    } catch (const std::exception& e) {
      return Raise(e.what(), aException);
    } catch (...) {
      return Raise("", aException);
    }
    // The texts the simulator changed go back to the caller; the rest stay as they came.
    for (size_t k = 0; k < kinds.size(); ++k) {
      if (texts[k] == nullptr || args[k].Text == received[k].Text) continue;
      BSTR text = args[k].Text.empty() ? nullptr : BstrOf(args[k].Text);
      if (!args[k].Text.empty() && text == nullptr) return E_OUTOFMEMORY;
      SysFreeString(*texts[k]);
      *texts[k] = text;
    }
    if (aResult != nullptr) {
      VariantInit(aResult);
      aResult->vt = VT_I4;
      aResult->lVal = callResult;
    }
    return S_OK;
  }

 protected:
  bool InterfaceRefused() const override { return InterfaceRefusedByEnvironment(); }

 private:
  tViroziSimulator fSimulator;
};

HRESULT CreateObject(REFIID aId, void** aObject) {
  // The tests' stand-in for a component that is not installed.
  if (ViroziSimulatorCreationRefused()) return REGDB_E_CLASSNOTREG;
  Microsoft::WRL::ComPtr<tViroziObject> object;
  object.Attach(new (std::nothrow) tViroziObject());  // born with the one reference
  if (!object) return E_OUTOFMEMORY;
  return object->QueryInterface(aId, aObject);
}

comkit::tClassFactory gFactory(&CreateObject);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE aInstance, DWORD aReason, LPVOID) {
  if (aReason == DLL_PROCESS_ATTACH) comkit::Attach(aInstance);
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID aClassId, REFIID aId, LPVOID* aObject) {
  return comkit::GetClassObject(aClassId, ClassId(), gFactory, aId, aObject);
}

STDAPI DllCanUnloadNow() { return comkit::CanUnloadNow(); }

STDAPI DllRegisterServer() { return comkit::RegisterServer(kViroziClassId, L"VIROZI payment terminal simulator"); }

STDAPI DllUnregisterServer() { return comkit::UnregisterServer(kViroziClassId); }
