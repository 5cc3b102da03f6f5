#include "ComServerKit.h"

#include <olectl.h>
#include <wrl/client.h>

#include <cwctype>
#include <limits>
#include <memory>

#include "core/Text.h"

namespace comkit {

std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};
HMODULE gModule = nullptr;

GUID GuidOf(const char* aText) {
  GUID guid{};
  const std::u16string wide = Utf8ToUtf16(aText);
  CLSIDFromString(reinterpret_cast<LPCOLESTR>(wide.c_str()), &guid);
  return guid;
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

bool SameName(const wchar_t* aLeft, const wchar_t* aRight) {
  for (; *aLeft != 0 && *aRight != 0; ++aLeft, ++aRight)
    if (std::towlower(*aLeft) != std::towlower(*aRight)) return false;
  return *aLeft == *aRight;
}

bool SameName(const wchar_t* aLeft, const char* aRight) {
  const std::u16string right = Utf8ToUtf16(aRight);
  return SameName(aLeft, reinterpret_cast<const wchar_t*>(right.c_str()));
}

HRESULT Raise(const std::string& aDescription, EXCEPINFO* aException, const wchar_t* aSource, REFIID aInterface) {
  if (aException != nullptr) {
    *aException = EXCEPINFO{};
    aException->scode = E_FAIL;
    aException->bstrSource = SysAllocString(aSource);
    if (!aDescription.empty()) aException->bstrDescription = BstrOf(aDescription);
  }
  if (!aDescription.empty()) {
    Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
      const std::unique_ptr<OLECHAR, decltype(&SysFreeString)> description(BstrOf(aDescription), &SysFreeString);
      create->SetDescription(description.get());
      create->SetSource(const_cast<LPOLESTR>(aSource));
      create->SetGUID(aInterface);
      Microsoft::WRL::ComPtr<IErrorInfo> info;
      if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
  }
  return DISP_E_EXCEPTION;
}

HRESULT STDMETHODCALLTYPE tDispatchObject::QueryInterface(REFIID aId, void** aObject) {
  if (aObject == nullptr) return E_POINTER;
  *aObject = nullptr;
  if (IsEqualIID(aId, fInterface) && InterfaceRefused()) return E_NOINTERFACE;
  if (IsEqualIID(aId, IID_IUnknown) || IsEqualIID(aId, IID_IDispatch) || IsEqualIID(aId, fInterface)) {
    *aObject = static_cast<IDispatch*>(this);
  } else if (IsEqualIID(aId, IID_ISupportErrorInfo)) {
    *aObject = static_cast<ISupportErrorInfo*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE tClassFactory::QueryInterface(REFIID aId, void** aObject) {
  if (aObject == nullptr) return E_POINTER;
  if (IsEqualIID(aId, IID_IUnknown) || IsEqualIID(aId, IID_IClassFactory)) {
    *aObject = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *aObject = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE tClassFactory::CreateInstance(IUnknown* aOuter, REFIID aId, void** aObject) {
  if (aObject == nullptr) return E_POINTER;
  *aObject = nullptr;
  if (aOuter != nullptr) return CLASS_E_NOAGGREGATION;
  return fCreate(aId, aObject);
}

HRESULT STDMETHODCALLTYPE tClassFactory::LockServer(BOOL aLock) {
  if (aLock) ++gLocks;
  else --gLocks;
  return S_OK;
}

void Attach(HINSTANCE aInstance) {
  gModule = aInstance;
  DisableThreadLibraryCalls(aInstance);
}

HRESULT GetClassObject(REFCLSID aClassId, const GUID& aOwn, tClassFactory& aFactory, REFIID aId, void** aObject) {
  if (aObject == nullptr) return E_POINTER;
  *aObject = nullptr;
  if (!IsEqualCLSID(aClassId, aOwn)) return CLASS_E_CLASSNOTAVAILABLE;
  return aFactory.QueryInterface(aId, aObject);
}

HRESULT CanUnloadNow() { return gObjects == 0 && gLocks == 0 ? S_OK : S_FALSE; }

namespace {

std::wstring ClassKey(const char* aClassId) {
  const std::u16string id = Utf8ToUtf16(aClassId);
  return L"CLSID\\" + std::wstring(id.begin(), id.end());
}

LONG SetValue(HKEY aKey, const wchar_t* aName, const std::wstring& aValue) {
  return RegSetValueExW(aKey, aName, 0, REG_SZ, reinterpret_cast<const BYTE*>(aValue.c_str()),
                        static_cast<DWORD>((aValue.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

HRESULT RegisterServer(const char* aClassId, const wchar_t* aDescription) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(gModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  HKEY classKey = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, ClassKey(aClassId).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &classKey,
                      nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  LONG failed = SetValue(classKey, nullptr, aDescription);
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

HRESULT UnregisterServer(const char* aClassId) {
  const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(aClassId).c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

}  // namespace comkit
