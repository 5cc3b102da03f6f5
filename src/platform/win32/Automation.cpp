// Components through COM: created by class identifier, every method called through
// IDispatch by name, so nothing here depends on an interface's vtable layout.
#include "platform/Automation.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <limits>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/Text.h"

namespace platform {

namespace {

using Microsoft::WRL::ComPtr;

// Owns one BSTR.
class OwnedBstr {
 public:
  OwnedBstr() = default;
  explicit OwnedBstr(const std::string& aText) {
    if (aText.empty()) return;  // null is the empty string
    const std::u16string wide = Utf8ToUtf16(aText);
    // A BSTR's length is 32 bits of bytes; on 64-bit a longer text must not wrap around.
    if (wide.size() > std::numeric_limits<UINT>::max() / 2) throw std::bad_alloc();
    fText = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
    if (fText == nullptr) throw std::bad_alloc();
  }
  ~OwnedBstr() { SysFreeString(fText); }
  OwnedBstr(OwnedBstr&& aOther) noexcept : fText(std::exchange(aOther.fText, nullptr)) {}
  OwnedBstr& operator=(OwnedBstr&& aOther) noexcept {
    std::swap(fText, aOther.fText);
    return *this;
  }

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
    const std::string description = OwnedBstr::TextOf(aException->bstrDescription);
    if (!description.empty()) return description;
    if (aResult == DISP_E_EXCEPTION && FAILED(aException->scode)) code = aException->scode;
  }
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    OwnedBstr description;
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

// Frees what a failed call left in its EXCEPINFO.
struct ExceptionInfo : EXCEPINFO {
  ExceptionInfo() : EXCEPINFO{} {}
  ~ExceptionInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
};

// Clears a VARIANT when it goes.
struct OwnedVariant : VARIANT {
  OwnedVariant() { VariantInit(this); }
  ~OwnedVariant() { VariantClear(this); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
};

class ComObject : public AutomationObject {
 public:
  ComObject(const char* aClassId, const char* aInterfaceId) {
    ComPtr<IUnknown> unknown;
    const GUID classId = GuidOf(aClassId);
    const HRESULT created = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                             IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf()));
    if (FAILED(created) || !unknown) throw EMxError(SystemText(created) + ", ClassID: " + aClassId);
    // The interface is a dual one: its pointer is an IDispatch.
    const GUID interfaceId = GuidOf(aInterfaceId);
    if (FAILED(unknown->QueryInterface(interfaceId, reinterpret_cast<void**>(fDispatch.GetAddressOf()))) ||
        !fDispatch)
      throw EMxError("Interface not supported");
  }

  int32_t CallWith(std::string_view aMethod, std::span<const AutomationArg> aArgs) override {
    const std::vector<AutomationArg> args(aArgs.begin(), aArgs.end());
    OwnedVariant result;
    Invoke(aMethod, DISPATCH_METHOD, args, &result);
    return IntOf(result);
  }

  AutomationArg GetProperty(std::string_view aName) override {
    OwnedVariant result;
    Invoke(aName, DISPATCH_PROPERTYGET, {}, &result);
    switch (result.vt) {
      case VT_BOOL:
        return AutomationArg::Bool(result.boolVal != VARIANT_FALSE);
      case VT_BSTR:
        return AutomationArg::Text(OwnedBstr::TextOf(result.bstrVal));
      case VT_CY:
        return AutomationArg::Money(Currency::FromRaw(result.cyVal.int64));
      default:
        return AutomationArg(IntOf(result));
    }
  }

  void SetProperty(std::string_view aName, const AutomationArg& aValue) override {
    Invoke(aName, DISPATCH_PROPERTYPUT, {aValue}, nullptr);
  }

 private:
  static int32_t IntOf(VARIANT& aValue) {
    if (aValue.vt == VT_I4) return aValue.lVal;
    OwnedVariant converted;
    const HRESULT changed = VariantChangeType(&converted, &aValue, 0, VT_I4);
    if (FAILED(changed)) throw EMxError(SystemText(changed));
    return converted.lVal;
  }

  // One IDispatch::Invoke; the by-reference arguments get what the component left in them.
  void Invoke(std::string_view aName, WORD aFlags, const std::vector<AutomationArg>& aArgs, VARIANT* aResult) {
    const DISPID id = DispIdOf(aName);
    std::vector<OwnedBstr> texts(aArgs.size());
    std::vector<LONG> numbers(aArgs.size());
    std::vector<VARIANTARG> variants(aArgs.size());
    for (size_t k = 0; k < aArgs.size(); ++k) {
      const AutomationArg& arg = aArgs[k];
      VARIANTARG& variant = variants[aArgs.size() - 1 - k];  // IDispatch takes them last first
      VariantInit(&variant);
      switch (arg.Kind) {
        case AutomationArg::tKind::Int:
          variant.vt = VT_I4;
          variant.lVal = static_cast<LONG>(arg.Value);
          break;
        case AutomationArg::tKind::Bool:
          variant.vt = VT_BOOL;
          variant.boolVal = arg.Value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        case AutomationArg::tKind::Money:
          variant.vt = VT_CY;
          variant.cyVal.int64 = arg.Value;
          break;
        case AutomationArg::tKind::Text:
          texts[k] = OwnedBstr(arg.TextValue);
          variant.vt = VT_BSTR;
          variant.bstrVal = *texts[k].Out();
          break;
        case AutomationArg::tKind::IntRef:
          numbers[k] = *arg.IntRefValue;
          variant.vt = VT_I4 | VT_BYREF;
          variant.plVal = &numbers[k];
          break;
        case AutomationArg::tKind::TextRef:
          texts[k] = OwnedBstr(*arg.TextRef);
          variant.vt = VT_BSTR | VT_BYREF;
          variant.pbstrVal = texts[k].Out();
          break;
      }
    }
    // A property is written through the one named argument the protocol defines.
    DISPID putId = DISPID_PROPERTYPUT;
    const bool put = aFlags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{variants.data(), put ? &putId : nullptr, static_cast<UINT>(variants.size()), put ? 1u : 0u};
    ExceptionInfo exception;
    UINT badArgument = 0;
    // An error object left from an earlier failure must not pass for this call's.
    SetErrorInfo(0, nullptr);
    const HRESULT invoked =
        fDispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, aFlags, &params, aResult, &exception, &badArgument);
    if (FAILED(invoked)) throw EMxError(FailureText(invoked, invoked == DISP_E_EXCEPTION ? &exception : nullptr));
    for (size_t k = 0; k < aArgs.size(); ++k) {
      if (aArgs[k].Kind == AutomationArg::tKind::TextRef) *aArgs[k].TextRef = texts[k].Text();
      if (aArgs[k].Kind == AutomationArg::tKind::IntRef) *aArgs[k].IntRefValue = numbers[k];
    }
  }

  DISPID DispIdOf(std::string_view aName) {
    const auto found = fDispIds.find(aName);
    if (found != fDispIds.end()) return found->second;
    DISPID id = DISPID_UNKNOWN;
    std::u16string wide = Utf8ToUtf16(aName);
    LPOLESTR name = reinterpret_cast<LPOLESTR>(wide.data());
    SetErrorInfo(0, nullptr);
    const HRESULT result = fDispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(result)) throw EMxError(FailureText(result, nullptr));
    fDispIds.emplace(std::string(aName), id);
    return id;
  }

  ComPtr<IDispatch> fDispatch;
  std::map<std::string, DISPID, std::less<>> fDispIds;
};

}  // namespace

bool AutomationUsesCom() { return true; }

std::unique_ptr<AutomationObject> CreateAutomationObject(const char* aClassId, const char* aInterfaceId) {
  return std::make_unique<ComObject>(aClassId, aInterfaceId);
}

bool RegisterAutomationClass(const char*, AutomationFactory) { return false; }

}  // namespace platform
