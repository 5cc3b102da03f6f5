#pragma once
// Components called by method and property name: COM automation (IDispatch) on Windows.
// Every text here is UTF-8.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/Currency.h"

namespace platform {

// One argument of a call or one property value: an integer, a boolean, an amount or a
// text by value, or an integer or a text by reference ([in, out]). A plain int32_t and a
// std::string variable keep their old meaning (integer by value, text by reference); the
// other kinds are spelled out, so a bool never slips in as an integer.
struct AutomationArg {
  enum class tKind { Int, Bool, Money, Text, IntRef, TextRef };

  AutomationArg(int32_t aValue) : Kind(tKind::Int), Value(aValue) {}
  AutomationArg(std::string& aText) : Kind(tKind::TextRef), TextRef(&aText) {}
  AutomationArg(bool) = delete;

  static AutomationArg Bool(bool aValue) { return AutomationArg(tKind::Bool, aValue ? 1 : 0); }
  static AutomationArg Money(Currency aValue) { return AutomationArg(tKind::Money, aValue.Raw()); }
  static AutomationArg Text(std::string_view aText) {
    AutomationArg arg(tKind::Text, 0);
    arg.TextValue = aText;
    return arg;
  }
  static AutomationArg IntRef(int32_t& aValue) {
    AutomationArg arg(tKind::IntRef, 0);
    arg.IntRefValue = &aValue;
    return arg;
  }

  // The value read as each kind; raises EMxError "Type mismatch." where it cannot be.
  int32_t AsInt() const;
  bool AsBool() const;
  std::string AsText() const;
  // The text as it goes into a log or a journal: integers in decimal, booleans as "true"
  // or "false", amounts as Currency writes them, texts as they are.
  std::string Describe() const;

  tKind Kind;
  int64_t Value = 0;  // Int, Bool (0 or 1), Money (ten-thousandths)
  std::string TextValue;
  int32_t* IntRefValue = nullptr;
  std::string* TextRef = nullptr;

 private:
  AutomationArg(tKind aKind, int64_t aValue) : Kind(aKind), Value(aValue) {}
};

class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  // Calls the method by name and gives its result as an integer. Each text argument gets
  // a string of its own even when the caller passes one variable several times; the
  // results go back in argument order, so the last one wins. A failed call raises EMxError
  // with the component's description.
  int32_t Call(std::string_view aMethod, std::initializer_list<AutomationArg> aArgs) {
    return CallWith(aMethod, std::span<const AutomationArg>(aArgs.begin(), aArgs.size()));
  }
  // The same with arguments counted at run time (a server passing on what it received).
  virtual int32_t CallWith(std::string_view aMethod, std::span<const AutomationArg> aArgs) = 0;
  // Reads and writes a property by name; failures raise as for Call.
  virtual AutomationArg GetProperty(std::string_view aName) = 0;
  virtual void SetProperty(std::string_view aName, const AutomationArg& aValue) = 0;

  bool GetBool(std::string_view aName) { return GetProperty(aName).AsBool(); }
  int32_t GetInt(std::string_view aName) { return GetProperty(aName).AsInt(); }
  std::string GetText(std::string_view aName) { return GetProperty(aName).AsText(); }
};

// True when components are created and called through COM, so the calling thread must
// have COM initialised.
bool AutomationUsesCom();

// Creates the component of class aClassId and takes its interface aInterfaceId (both in
// "{...}" form). Raises EMxError with the system's text + ", ClassID: " + aClassId when
// it cannot be created, "Interface not supported" when it lacks the interface.
std::unique_ptr<AutomationObject> CreateAutomationObject(const char* aClassId, const char* aInterfaceId);

// Outside Windows there is no class registry: a program puts the implementation of a
// class here (the native library its simulators), and CreateAutomationObject creates it
// from there. On Windows COM's own registration is the only one: this returns false and
// changes nothing. A factory may raise, as a failing class factory does.
using AutomationFactory = std::unique_ptr<AutomationObject> (*)();
bool RegisterAutomationClass(const char* aClassId, AutomationFactory aFactory);

}  // namespace platform
