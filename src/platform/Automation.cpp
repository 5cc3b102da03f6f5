// The portable half of automation: what an argument or property value reads as.
#include "platform/Automation.h"

#include "core/Errors.h"

namespace platform {

namespace {
[[noreturn]] void Mismatch() { throw EMxError("Type mismatch."); }
}  // namespace

int32_t AutomationArg::AsInt() const {
  switch (Kind) {
    case tKind::Int:
      return static_cast<int32_t>(Value);
    case tKind::Bool:
      // Automation's true is -1.
      return Value != 0 ? -1 : 0;
    case tKind::IntRef:
      return *IntRefValue;
    default:
      Mismatch();
  }
}

bool AutomationArg::AsBool() const {
  switch (Kind) {
    case tKind::Int:
    case tKind::Bool:
      return Value != 0;
    case tKind::IntRef:
      return *IntRefValue != 0;
    default:
      Mismatch();
  }
}

std::string AutomationArg::AsText() const {
  switch (Kind) {
    case tKind::Text:
      return TextValue;
    case tKind::TextRef:
      return *TextRef;
    default:
      Mismatch();
  }
}

std::string AutomationArg::Describe() const {
  switch (Kind) {
    case tKind::Int:
      return std::to_string(Value);
    case tKind::Bool:
      return Value != 0 ? "true" : "false";
    case tKind::Money:
      return Currency::FromRaw(Value).ToString();
    case tKind::IntRef:
      return std::to_string(*IntRefValue);
    case tKind::Text:
    case tKind::TextRef:
      return AsText();
  }
  return {};
}

}  // namespace platform
