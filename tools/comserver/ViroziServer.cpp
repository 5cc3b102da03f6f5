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

#include "core/Errors.h"
#include "core/Text.h"
#include "drivers/Ivirpay.h"
#include "sim/ViroziFactory.h"
#include "sim/ViroziSimulator.h"

namespace {

std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};
HMODULE gModule = nullptr;

GUID GuidOf(const char* aText) {
  GUID guid{};
  const std::u16string wide = Utf8ToUtf16(aText);
  CLSIDFromString(reinterpret_cast<LPCOLESTR>(wide.c_str()), &guid);
  return guid;
}
// Parsed on first use, not while the loader holds its lock.
const GUID& ClassId() {
  static const GUID id = GuidOf(kViroziClassId);
  return id;
}
const GUID& InterfaceId() {
  static const GUID id = GuidOf(kViroziInterfaceId);
  return id;
}

std::string TextOf(BSTR aText) {
  if (aText == nullptr) return {};
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), SysStringLen(aText)));
}
BSTR BstrOf(const std::string& aText) {
  const std::u16string wide = Utf8ToUtf16(aText);
  // A BSTR's length is 32 bits of bytes; on 64-bit a longer text must not wrap around.
  if (wide.size() > std::numeric_limits<UINT>::max() / 2) return nullptr;
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
}

// VIROZI_SIM_CREATE=nointerface: the object is created but denies the provider's
// interface, as an incompatible version of the component would (Windows tests only).
bool InterfaceRefused() {
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

bool SameName(const wchar_t* aLeft, const wchar_t* aRight) {
  // Automation names are not case-sensitive.
  for (; *aLeft != 0 && *aRight != 0; ++aLeft, ++aRight)
    if (std::towlower(*aLeft) != std::towlower(*aRight)) return false;
  return *aLeft == *aRight;
}

// The failure of a call as automation reports it: the description in EXCEPINFO and, when
// there is one, in the thread's error object too.
HRESULT Raise(const std::string& aDescription, EXCEPINFO* aException) {
  if (aException != nullptr) {
    *aException = EXCEPINFO{};
    aException->scode = E_FAIL;
    aException->bstrSource = SysAllocString(L"virozi_sim");
    if (!aDescription.empty()) aException->bstrDescription = BstrOf(aDescription);
  }
  if (!aDescription.empty()) {
    Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
      const std::unique_ptr<OLECHAR, decltype(&SysFreeString)> description(BstrOf(aDescription), &SysFreeString);
      create->SetDescription(description.get());
      create->SetSource(const_cast<LPOLESTR>(L"virozi_sim"));
      create->SetGUID(InterfaceId());
      Microsoft::WRL::ComPtr<IErrorInfo> info;
      if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
  }
  return DISP_E_EXCEPTION;
}

// One component instance: a simulator, reached through IDispatch. COM objects own
// themselves: the last Release deletes them.
class tViroziObject final : public IDispatch, public ISupportErrorInfo {
 public:
  tViroziObject() { ++gObjects; }
  ~tViroziObject() { --gObjects; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID aId, void** aObject) override {
    if (aObject == nullptr) return E_POINTER;
    if (IsEqualIID(aId, InterfaceId()) && InterfaceRefused()) {
      *aObject = nullptr;
      return E_NOINTERFACE;
    }
    if (IsEqualIID(aId, IID_IUnknown) || IsEqualIID(aId, IID_IDispatch) || IsEqualIID(aId, InterfaceId())) {
      *aObject = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(aId, IID_ISupportErrorInfo)) {
      *aObject = static_cast<ISupportErrorInfo*>(this);
    } else {
      *aObject = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++fReferences; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --fReferences;
    if (left == 0) delete this;
    return left;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID aId) override {
    return IsEqualIID(aId, InterfaceId()) || IsEqualIID(aId, IID_IDispatch) ? S_OK : S_FALSE;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* aCount) override {
    if (aCount == nullptr) return E_POINTER;
    *aCount = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** aInfo) override {
    if (aInfo != nullptr) *aInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* aNames, UINT aCount, LCID, DISPID* aIds) override {
    if (aNames == nullptr || aIds == nullptr) return E_POINTER;
    HRESULT result = S_OK;
    for (UINT k = 0; k < aCount; ++k) {
      aIds[k] = DISPID_UNKNOWN;
      // Only the method itself has a name: no named arguments.
      if (k == 0) {
        for (const tMethod& method : kMethods)
          if (aNames[0] != nullptr && SameName(aNames[0], method.Name)) aIds[0] = method.Id;
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

 private:
  std::atomic<ULONG> fReferences{1};
  tViroziSimulator fSimulator;
};

class tClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID aId, void** aObject) override {
    if (aObject == nullptr) return E_POINTER;
    if (IsEqualIID(aId, IID_IUnknown) || IsEqualIID(aId, IID_IClassFactory)) {
      *aObject = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *aObject = nullptr;
    return E_NOINTERFACE;
  }
  // One factory for the life of the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* aOuter, REFIID aId, void** aObject) override {
    if (aObject == nullptr) return E_POINTER;
    *aObject = nullptr;
    if (aOuter != nullptr) return CLASS_E_NOAGGREGATION;
    // The tests' stand-in for a component that is not installed.
    if (ViroziSimulatorCreationRefused()) return REGDB_E_CLASSNOTREG;
    Microsoft::WRL::ComPtr<tViroziObject> object;
    object.Attach(new (std::nothrow) tViroziObject());  // born with the one reference
    if (!object) return E_OUTOFMEMORY;
    return object->QueryInterface(aId, aObject);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL aLock) override {
    if (aLock) ++gLocks;
    else --gLocks;
    return S_OK;
  }
};

tClassFactory gFactory;

std::wstring ClassKey() {
  const std::u16string id = Utf8ToUtf16(kViroziClassId);
  return L"CLSID\\" + std::wstring(id.begin(), id.end());
}

LONG SetValue(HKEY aKey, const wchar_t* aName, const std::wstring& aValue) {
  return RegSetValueExW(aKey, aName, 0, REG_SZ, reinterpret_cast<const BYTE*>(aValue.c_str()),
                        static_cast<DWORD>((aValue.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE aInstance, DWORD aReason, LPVOID) {
  if (aReason == DLL_PROCESS_ATTACH) {
    gModule = aInstance;
    DisableThreadLibraryCalls(aInstance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID aClassId, REFIID aId, LPVOID* aObject) {
  if (aObject == nullptr) return E_POINTER;
  *aObject = nullptr;
  if (!IsEqualCLSID(aClassId, ClassId())) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(aId, aObject);
}

STDAPI DllCanUnloadNow() { return gObjects == 0 && gLocks == 0 ? S_OK : S_FALSE; }

// HKEY_CLASSES_ROOT\CLSID\{class}\InprocServer32 = this file, ThreadingModel Both: the
// object lives in its caller's apartment, so single- and multi-threaded callers both get
// it directly.
STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(gModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  HKEY classKey = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, ClassKey().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &classKey,
                      nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  LONG failed = SetValue(classKey, nullptr, L"VIROZI payment terminal simulator");
  HKEY serverKey = nullptr;
  if (failed == ERROR_SUCCESS)
    failed = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
  if (failed == ERROR_SUCCESS) {
    failed = SetValue(serverKey, nullptr, std::wstring(path, length));
    if (failed == ERROR_SUCCESS) failed = SetValue(serverKey, L"ThreadingModel", L"Both");
    RegCloseKey(serverKey);
  }
  RegCloseKey(classKey);
  return failed == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
