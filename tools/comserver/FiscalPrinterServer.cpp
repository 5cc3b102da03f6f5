// The simulated fiscal printer control behind IDispatch, as an in-process COM server
// registered under the OPOS Fiscal Printer class identifier. No type library:
// GetIDsOfNames knows the member names, and QueryInterface answers the control's dispatch
// interface identifier with the same IDispatch.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <atomic>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ComServerKit.h"
#include "io/IOHandler_OPOS.h"
#include "platform/Automation.h"
#include "sim/FiscalPrinterSimulator.h"

namespace {

using platform::AutomationArg;

const GUID& InterfaceId() {
  static const GUID id = comkit::GuidOf(kOposFiscalPrinterInterfaceId);
  return id;
}
const GUID& ClassId() {
  static const GUID id = comkit::GuidOf(kOposFiscalPrinterClassId);
  return id;
}

HRESULT Raise(const std::string& aDescription, EXCEPINFO* aException) {
  return comkit::Raise(aDescription, aException, L"opos_sim", InterfaceId());
}

// DISPIDs are the members' positions from 1.
const tOposMember* MemberOf(DISPID aId) {
  if (aId < 1 || static_cast<size_t>(aId) > kOposFiscalPrinterMemberCount) return nullptr;
  return &kOposFiscalPrinterMembers[aId - 1];
}

// A VARIANT converted to the type the member wants; false when it cannot be.
bool Convert(VARIANTARG& aVariant, char aType, AutomationArg& aArg, std::string& aText, int32_t& aNumber) {
  if (aType == 'S') {
    if (aVariant.vt != (VT_BSTR | VT_BYREF) || aVariant.pbstrVal == nullptr) return false;
    aText = comkit::TextOf(*aVariant.pbstrVal);
    aArg = AutomationArg(aText);
    return true;
  }
  if (aType == 'I') {
    if (aVariant.vt != (VT_I4 | VT_BYREF) || aVariant.plVal == nullptr) return false;
    aNumber = *aVariant.plVal;
    aArg = AutomationArg::IntRef(aNumber);
    return true;
  }
  const VARTYPE wanted = aType == 'i' ? VT_I4 : aType == 'b' ? VT_BOOL : aType == 'm' ? VT_CY : VT_BSTR;
  VARIANT value;
  VariantInit(&value);
  if (FAILED(VariantChangeType(&value, &aVariant, 0, wanted))) return false;
  switch (aType) {
    case 'i': aArg = AutomationArg(static_cast<int32_t>(value.lVal)); break;
    case 'b': aArg = AutomationArg::Bool(value.boolVal != VARIANT_FALSE); break;
    case 'm': aArg = AutomationArg::Money(Currency::FromRaw(value.cyVal.int64)); break;
    default: aArg = AutomationArg::Text(comkit::TextOf(value.bstrVal)); break;
  }
  VariantClear(&value);
  return true;
}

// One control instance: a simulator reached through IDispatch.
class tFiscalPrinterObject final : public comkit::tDispatchObject {
 public:
  explicit tFiscalPrinterObject(std::unique_ptr<platform::AutomationObject> aSimulator)
      : tDispatchObject(InterfaceId()), fSimulator(std::move(aSimulator)) {}

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* aNames, UINT aCount, LCID, DISPID* aIds) override {
    if (aNames == nullptr || aIds == nullptr) return E_POINTER;
    HRESULT result = S_OK;
    for (UINT k = 0; k < aCount; ++k) {
      aIds[k] = DISPID_UNKNOWN;
      // Only the member itself has a name: no named arguments.
      for (size_t m = 0; k == 0 && aNames[0] != nullptr && m < kOposFiscalPrinterMemberCount; ++m)
        if (comkit::SameName(aNames[0], kOposFiscalPrinterMembers[m].Name)) aIds[0] = static_cast<DISPID>(m + 1);
      if (aIds[k] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID aId, REFIID, LCID, WORD aFlags, DISPPARAMS* aParams, VARIANT* aResult,
                                   EXCEPINFO* aException, UINT* aBadArgument) override {
    const tOposMember* member = MemberOf(aId);
    if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
    if (aParams == nullptr) return E_POINTER;
    try {
      if (member->Property) return Property(*member, aFlags, *aParams, aResult, aBadArgument);
      if ((aFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
      if (aParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
      const std::string types = member->Types;
      if (aParams->cArgs != types.size()) return DISP_E_BADPARAMCOUNT;
      // Arguments arrive last first; by-reference ones go back when the call is done.
      std::vector<AutomationArg> args(types.size(), AutomationArg(0));
      std::vector<std::string> texts(types.size());
      std::vector<int32_t> numbers(types.size());
      for (size_t k = 0; k < types.size(); ++k) {
        const UINT position = static_cast<UINT>(types.size() - 1 - k);
        if (!Convert(aParams->rgvarg[position], types[k], args[k], texts[k], numbers[k])) {
          if (aBadArgument != nullptr) *aBadArgument = position;
          return DISP_E_TYPEMISMATCH;
        }
      }
      const int32_t code = fSimulator->CallWith(member->Name, args);
      for (size_t k = 0; k < types.size(); ++k) {
        VARIANTARG& variant = aParams->rgvarg[types.size() - 1 - k];
        if (types[k] == 'I') *variant.plVal = numbers[k];
        if (types[k] == 'S') {
          BSTR text = texts[k].empty() ? nullptr : comkit::BstrOf(texts[k]);
          if (!texts[k].empty() && text == nullptr) return E_OUTOFMEMORY;
          SysFreeString(*variant.pbstrVal);
          *variant.pbstrVal = text;
        }
      }
      if (aResult != nullptr) {
        VariantInit(aResult);
        aResult->vt = VT_I4;
        aResult->lVal = code;
      }
      return S_OK;
    } catch (const std::exception& e) {
      return Raise(e.what(), aException);
    } catch (...) {
      return Raise("", aException);
    }
  }

 private:
  HRESULT Property(const tOposMember& aMember, WORD aFlags, DISPPARAMS& aParams, VARIANT* aResult,
                   UINT* aBadArgument) {
    if ((aFlags & DISPATCH_PROPERTYPUT) != 0) {
      if (!aMember.Writable) return DISP_E_MEMBERNOTFOUND;
      if (aParams.cArgs != 1) return DISP_E_BADPARAMCOUNT;
      AutomationArg value(0);
      std::string text;
      int32_t number = 0;
      if (!Convert(aParams.rgvarg[0], aMember.Types[0], value, text, number)) {
        if (aBadArgument != nullptr) *aBadArgument = 0;
        return DISP_E_TYPEMISMATCH;
      }
      fSimulator->SetProperty(aMember.Name, value);
      return S_OK;
    }
    if ((aFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    if (aParams.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    const AutomationArg value = fSimulator->GetProperty(aMember.Name);
    if (aResult == nullptr) return S_OK;
    VariantInit(aResult);
    switch (aMember.Types[0]) {
      case 'b':
        aResult->vt = VT_BOOL;
        aResult->boolVal = value.AsBool() ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case 'i':
        aResult->vt = VT_I4;
        aResult->lVal = value.AsInt();
        break;
      default: {
        const std::string text = value.AsText();
        aResult->vt = VT_BSTR;
        aResult->bstrVal = text.empty() ? nullptr : comkit::BstrOf(text);
        if (!text.empty() && aResult->bstrVal == nullptr) return E_OUTOFMEMORY;
      }
    }
    return S_OK;
  }

  std::unique_ptr<platform::AutomationObject> fSimulator;
};

HRESULT CreateObject(REFIID aId, void** aObject) {
  // The tests' stand-in for a machine without a fiscal printer control.
  if (FiscalPrinterCreationRefused()) return REGDB_E_CLASSNOTREG;
  std::unique_ptr<platform::AutomationObject> simulator;
  try {
    simulator = CreateFiscalPrinterSimulator();
  } catch (...) {
    return E_FAIL;
  }
  Microsoft::WRL::ComPtr<tFiscalPrinterObject> object;
  object.Attach(new (std::nothrow) tFiscalPrinterObject(std::move(simulator)));  // born with the one reference
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

STDAPI DllRegisterServer() { return comkit::RegisterServer(kOposFiscalPrinterClassId, L"Simulated OPOS fiscal printer"); }

STDAPI DllUnregisterServer() { return comkit::UnregisterServer(kOposFiscalPrinterClassId); }
