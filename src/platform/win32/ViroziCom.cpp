// The provider's component through COM: created by class identifier, every method called
// through IDispatch by name, so nothing here depends on the interface's vtable layout.
#include "platform/ViroziComponent.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/Errors.h"
#include "base/Text.h"
#include "drivers/Ivirpay.h"

namespace {

// Owns one interface pointer.
template <class T>
class tComRef {
 public:
  tComRef() = default;
  ~tComRef() { Reset(); }
  tComRef(const tComRef&) = delete;
  tComRef& operator=(const tComRef&) = delete;

  T** Out() {
    Reset();
    return &fPointer;
  }
  void Reset() {
    if (fPointer != nullptr) fPointer->Release();
    fPointer = nullptr;
  }
  T* operator->() const { return fPointer; }
  T* Get() const { return fPointer; }

 private:
  T* fPointer = nullptr;
};

// Owns one BSTR.
class tBstr {
 public:
  tBstr() = default;
  explicit tBstr(const std::string& aText) {
    if (aText.empty()) return;  // null is the empty string
    const std::u16string wide = Utf8ToUtf16(aText);
    // A BSTR's length is 32 bits of bytes; on 64-bit a longer text must not wrap around.
    if (wide.size() > std::numeric_limits<UINT>::max() / 2) throw std::bad_alloc();
    fText = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
    if (fText == nullptr) throw std::bad_alloc();
  }
  ~tBstr() { SysFreeString(fText); }
  tBstr(const tBstr&) = delete;
  tBstr& operator=(const tBstr&) = delete;

  BSTR* Out() { return &fText; }
  std::string Text() const { return TextOf(fText); }
  static std::string TextOf(BSTR aText) {
    if (aText == nullptr) return {};
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), SysStringLen(aText)));
  }

 private:
  BSTR fText = nullptr;
};

std::string TrimEnd(std::string aText) {
  while (!aText.empty() && (aText.back() == '\r' || aText.back() == '\n' || aText.back() == ' '))
    aText.pop_back();
  return aText;
}

std::string MessageText(DWORD aCode) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, aCode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer != nullptr)
    text = TrimEnd(Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length)));
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

// Windows' own texts for the COM failures a component call meets; Wine's message table
// lacks most of them.
const char* KnownComText(HRESULT aResult) {
  switch (aResult) {
    case REGDB_E_CLASSNOTREG: return "Class not registered";
    case CO_E_NOTINITIALIZED: return "CoInitialize has not been called.";
    case CO_E_SERVER_EXEC_FAILURE: return "Server execution failed";
    case CLASS_E_CLASSNOTAVAILABLE: return "ClassFactory cannot supply requested class";
    case CLASS_E_NOAGGREGATION: return "Class does not support aggregation (or class object is remote)";
    case E_NOINTERFACE: return "No such interface supported";
    case E_FAIL: return "Unspecified error";
    case E_UNEXPECTED: return "Catastrophic failure";
    case E_NOTIMPL: return "Not implemented";
    case E_POINTER: return "Invalid pointer";
    case DISP_E_UNKNOWNNAME: return "Unknown name.";
    case DISP_E_MEMBERNOTFOUND: return "Member not found.";
    case DISP_E_EXCEPTION: return "Exception occurred.";
    case DISP_E_BADPARAMCOUNT: return "Invalid number of parameters.";
    case DISP_E_TYPEMISMATCH: return "Type mismatch.";
    case DISP_E_PARAMNOTOPTIONAL: return "Parameter not optional.";
    case DISP_E_NONAMEDARGS: return "No named arguments.";
    default: return nullptr;
  }
}

// The system's text for aResult, or "COM error 0x........" when it has none.
std::string SystemText(HRESULT aResult) {
  std::string text = MessageText(static_cast<DWORD>(aResult));
  // A Windows error wrapped as an HRESULT has its text under the plain code.
  if (text.empty() && HRESULT_FACILITY(aResult) == FACILITY_WIN32) text = MessageText(HRESULT_CODE(aResult));
  if (text.empty() && KnownComText(aResult) != nullptr) text = KnownComText(aResult);
  if (text.empty()) {
    char code[32];
    std::snprintf(code, sizeof code, "COM error 0x%08lX", static_cast<unsigned long>(aResult));
    text = code;
  }
  return text;
}

// The description of a failed call: what the component put in EXCEPINFO, else the thread's
// error object (cleared before the call, so it is this call's), else the system's text.
std::string FailureText(HRESULT aResult, EXCEPINFO* aException) {
  HRESULT code = aResult;
  if (aException != nullptr) {
    if (aException->pfnDeferredFillIn != nullptr) aException->pfnDeferredFillIn(aException);
    const std::string description = tBstr::TextOf(aException->bstrDescription);
    if (!description.empty()) return description;
    if (aResult == DISP_E_EXCEPTION && FAILED(aException->scode)) code = aException->scode;
  }
  tComRef<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) == S_OK && info.Get() != nullptr) {
    tBstr description;
    if (SUCCEEDED(info->GetDescription(description.Out()))) {
      std::string text = description.Text();
      if (!text.empty()) return text;
    }
  }
  return SystemText(code);
}

GUID GuidOf(const char* aText) {
  GUID guid{};
  const std::u16string wide = Utf8ToUtf16(aText);
  if (FAILED(CLSIDFromString(reinterpret_cast<LPCOLESTR>(wide.c_str()), &guid)))
    throw EMxError(std::string("Invalid class identifier ") + aText);
  return guid;
}

// One argument of a call: an integer by value or a text by reference ([in, out]).
struct tArg {
  tArg(int32_t aValue) : Value(aValue) {}
  tArg(std::string& aText) : Text(&aText) {}
  int32_t Value = 0;
  std::string* Text = nullptr;
};

class tViroziCom : public Ivirpay {
 public:
  tViroziCom() {
    tComRef<IUnknown> unknown;
    const GUID classId = GuidOf(kViroziClassId);
    const HRESULT created = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                             IID_IUnknown, reinterpret_cast<void**>(unknown.Out()));
    if (FAILED(created) || unknown.Get() == nullptr)
      throw EMxError(SystemText(created) + ", ClassID: " + kViroziClassId);
    // Ivirpay is a dual interface: its pointer is an IDispatch.
    const GUID interfaceId = GuidOf(kViroziInterfaceId);
    if (FAILED(unknown->QueryInterface(interfaceId, reinterpret_cast<void**>(fDispatch.Out()))) ||
        fDispatch.Get() == nullptr)
      throw EMxError("Interface not supported");
  }

  int32_t Pagamento(int32_t aFlag1, int32_t aAmount, int32_t aFlag2, std::string& aReply) override {
    return Call(L"Pagamento", {aFlag1, aAmount, aFlag2, aReply});
  }
  int32_t PagamentoADV(int32_t aWalletType, int32_t aAmount, std::string& aText1, std::string& aText2,
                       std::string& aText3, std::string& aReply) override {
    return Call(L"PagamentoADV", {aWalletType, aAmount, aText1, aText2, aText3, aReply});
  }
  int32_t PaymentCeliachia(int32_t aAmount, std::string& aText1, std::string& aText2, std::string& aText3,
                           std::string& aText4, std::string& aReply) override {
    return Call(L"PaymentCeliachia", {aAmount, aText1, aText2, aText3, aText4, aReply});
  }
  int32_t PaymentBPE(int32_t aAmount, std::string& aText, std::string& aReply) override {
    return Call(L"PaymentBPE", {aAmount, aText, aReply});
  }
  int32_t RiallineamentoDBP(std::string& aReply) override { return Call(L"RiallineamentoDBP", {aReply}); }
  int32_t OpenTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                       std::string& aReply) override {
    return Call(L"OpenTicketBC", {aProgressive, aReceiptReference, aDeviceCode, aReply});
  }
  int32_t DematerializzazioneBP(std::string& aRequest, std::string& aReply) override {
    return Call(L"DematerializzazioneBP", {aRequest, aReply});
  }
  int32_t CommitTransactionDBP(std::string& aRequest, std::string& aReply) override {
    return Call(L"CommitTransactionDBP", {aRequest, aReply});
  }
  int32_t ReverseTransactionDBP(std::string& aRequest, std::string& aReply) override {
    return Call(L"ReverseTransactionDBP", {aRequest, aReply});
  }
  int32_t CloseTicketBC(int32_t aProgressive, std::string& aReceiptReference, std::string& aDeviceCode,
                        std::string& aReply) override {
    return Call(L"CloseTicketBC", {aProgressive, aReceiptReference, aDeviceCode, aReply});
  }
  int32_t Chiusura(int32_t aFlag, std::string& aReply) override { return Call(L"Chiusura", {aFlag, aReply}); }
  int32_t GetTotaliHost(int32_t aFlag, std::string& aReply) override {
    return Call(L"GetTotaliHost", {aFlag, aReply});
  }
  int32_t ChiusuraBPE(std::string& aReply) override { return Call(L"ChiusuraBPE", {aReply}); }
  int32_t TotaliBPE(std::string& aReply) override { return Call(L"TotaliBPE", {aReply}); }

 private:
  DISPID DispIdOf(const wchar_t* aName) {
    const auto found = fDispIds.find(aName);
    if (found != fDispIds.end()) return found->second;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(aName);
    SetErrorInfo(0, nullptr);
    const HRESULT result = fDispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(result)) throw EMxError(FailureText(result, nullptr));
    fDispIds.emplace(aName, id);
    return id;
  }

  int32_t Call(const wchar_t* aMethod, std::initializer_list<tArg> aArgs) {
    const DISPID id = DispIdOf(aMethod);
    const std::vector<tArg> args(aArgs);
    // Each text gets a string of its own even when the caller passes one variable several
    // times; the results go back in argument order, so the last one wins, as it would
    // when the component wrote them one after the other.
    std::vector<std::unique_ptr<tBstr>> texts(args.size());
    std::vector<VARIANTARG> variants(args.size());
    for (size_t k = 0; k < args.size(); ++k) {
      VARIANTARG& variant = variants[args.size() - 1 - k];  // IDispatch takes them last first
      VariantInit(&variant);
      if (args[k].Text != nullptr) {
        texts[k] = std::make_unique<tBstr>(*args[k].Text);
        variant.vt = VT_BSTR | VT_BYREF;
        variant.pbstrVal = texts[k]->Out();
      } else {
        variant.vt = VT_I4;
        variant.lVal = args[k].Value;
      }
    }
    DISPPARAMS params{variants.data(), nullptr, static_cast<UINT>(variants.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT badArgument = 0;
    // An error object left from an earlier failure must not pass for this call's.
    SetErrorInfo(0, nullptr);
    const HRESULT invoked =
        fDispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, &badArgument);
    if (FAILED(invoked)) {
      std::string text = FailureText(invoked, invoked == DISP_E_EXCEPTION ? &exception : nullptr);
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
      VariantClear(&result);
      throw EMxError(text);
    }
    int32_t callResult = 0;
    if (result.vt == VT_I4) {
      callResult = result.lVal;
    } else {
      VARIANT converted;
      VariantInit(&converted);
      const HRESULT changed = VariantChangeType(&converted, &result, 0, VT_I4);
      VariantClear(&result);
      if (FAILED(changed)) throw EMxError(SystemText(changed));
      callResult = converted.lVal;
    }
    VariantClear(&result);
    for (size_t k = 0; k < args.size(); ++k)
      if (args[k].Text != nullptr) *args[k].Text = texts[k]->Text();
    return callResult;
  }

  tComRef<IDispatch> fDispatch;
  std::map<std::wstring, DISPID> fDispIds;
};

}  // namespace

std::unique_ptr<Ivirpay> CreateViroziComponent() { return std::make_unique<tViroziCom>(); }

namespace platform {
bool ViroziComponentUsesCom() { return true; }
}  // namespace platform
