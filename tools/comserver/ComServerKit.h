#pragma once
// What the simulators' in-process COM servers share: texts and GUIDs, failures as
// automation reports them, the module's object count, one class factory per server and
// the registration under HKEY_CLASSES_ROOT.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <string>

namespace comkit {

GUID GuidOf(const char* aText);
std::string TextOf(BSTR aText);
// Null when the text cannot be allocated (or is too long for a BSTR).
BSTR BstrOf(const std::string& aText);
// Automation names are not case-sensitive.
bool SameName(const wchar_t* aLeft, const char* aRight);
bool SameName(const wchar_t* aLeft, const wchar_t* aRight);

// The failure of a call as automation reports it: the description in EXCEPINFO and, when
// there is one, in the thread's error object too. Returns DISP_E_EXCEPTION.
HRESULT Raise(const std::string& aDescription, EXCEPINFO* aException, const wchar_t* aSource, REFIID aInterface);

// Live objects and server locks of the module, for DllCanUnloadNow.
extern std::atomic<long> gObjects;
extern std::atomic<long> gLocks;
extern HMODULE gModule;

// A dual interface's object without a type library, used only through IDispatch: it
// answers aInterface with its IDispatch, supports error information and owns itself (the
// last Release deletes it). Servers add GetIDsOfNames and Invoke.
class tDispatchObject : public IDispatch, public ISupportErrorInfo {
 public:
  explicit tDispatchObject(const GUID& aInterface) : fInterface(aInterface) { ++gObjects; }
  virtual ~tDispatchObject() { --gObjects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID aId, void** aObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++fReferences; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --fReferences;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID aId) override {
    return IsEqualIID(aId, fInterface) || IsEqualIID(aId, IID_IDispatch) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* aCount) override {
    if (aCount == nullptr) return E_POINTER;
    *aCount = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** aInfo) override {
    if (aInfo != nullptr) *aInfo = nullptr;
    return DISP_E_BADINDEX;
  }

 protected:
  // True to deny aInterface, as an incompatible version of a component would.
  virtual bool InterfaceRefused() const { return false; }

 private:
  const GUID fInterface;
  std::atomic<ULONG> fReferences{1};
};

// The one class factory of a server: aCreate makes a new object (null when out of
// memory) or fails with an HRESULT of its own.
class tClassFactory final : public IClassFactory {
 public:
  using tCreate = HRESULT (*)(REFIID aId, void** aObject);
  explicit tClassFactory(tCreate aCreate) : fCreate(aCreate) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID aId, void** aObject) override;
  // One factory for the life of the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* aOuter, REFIID aId, void** aObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL aLock) override;

 private:
  tCreate fCreate;
};

// The module's entry points: DllMain's attach, DllGetClassObject for the one class aOwn,
// DllCanUnloadNow.
void Attach(HINSTANCE aInstance);
HRESULT GetClassObject(REFCLSID aClassId, const GUID& aOwn, tClassFactory& aFactory, REFIID aId, void** aObject);
HRESULT CanUnloadNow();

// HKEY_CLASSES_ROOT\CLSID\{class}\InprocServer32 = this module, ThreadingModel Both: the
// object lives in its caller's apartment, so single- and multi-threaded callers both get
// it directly.
HRESULT RegisterServer(const char* aClassId, const wchar_t* aDescription);
HRESULT UnregisterServer(const char* aClassId);

}  // namespace comkit
