#pragma once
// Components called by method name: COM automation (IDispatch) on Windows. Every text
// here is UTF-8.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// One argument of a call: an integer by value, or a text by reference ([in, out]).
struct AutomationArg {
  AutomationArg(int32_t aValue) : Value(aValue) {}
  AutomationArg(std::string& aText) : Text(&aText) {}
  int32_t Value = 0;
  std::string* Text = nullptr;
};

class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  // Calls the method by name and gives its result as an integer. Each text argument gets
  // a string of its own even when the caller passes one variable several times; the
  // results go back in argument order, so the last one wins. A failed call raises EMxError
  // with the component's description.
  virtual int32_t Call(std::string_view aMethod, std::initializer_list<AutomationArg> aArgs) = 0;
};

// True when components are created and called through COM, so the calling thread must
// have COM initialised.
bool AutomationUsesCom();

// Creates the component of class aClassId and takes its interface aInterfaceId (both in
// "{...}" form). Raises EMxError with the system's text + ", ClassID: " + aClassId when
// it cannot be created, "Interface not supported" when it lacks the interface.
std::unique_ptr<AutomationObject> CreateAutomationObject(const char* aClassId, const char* aInterfaceId);

}  // namespace platform
