#include "sim/FiscalPrinterSimulator.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "core/DateTime.h"
#include "core/Errors.h"
#include "core/Numbers.h"
#include "io/IOHandler_OPOS.h"
#include "platform/Host.h"
#include "sim/SimSteering.h"

using platform::AutomationArg;

const tOposMember kOposFiscalPrinterMembers[] = {
    {"Open", false, "s", false},
    {"ClaimDevice", false, "i", false},
    {"ReleaseDevice", false, "", false},
    {"Close", false, "", false},
    {"BeginFiscalReceipt", false, "b", false},
    {"EndFiscalReceipt", false, "b", false},
    {"BeginNonFiscal", false, "", false},
    {"EndNonFiscal", false, "", false},
    {"PrintNormal", false, "is", false},
    {"PrintRecItem", false, "smiims", false},
    {"PrintRecItemVoid", false, "smiims", false},
    {"PrintRecItemAdjustment", false, "ismi", false},
    {"PrintRecRefund", false, "smi", false},
    {"PrintRecNotPaid", false, "sm", false},
    {"PrintRecMessage", false, "s", false},
    {"PrintRecSubtotal", false, "m", false},
    {"PrintRecSubtotalAdjustment", false, "ism", false},
    {"PrintRecTotal", false, "mms", false},
    {"PrintRecTaxID", false, "s", false},
    {"PrintXReport", false, "", false},
    {"PrintZReport", false, "", false},
    {"ResetPrinter", false, "", false},
    {"BeginTraining", false, "", false},
    {"EndTraining", false, "", false},
    {"SetDate", false, "s", false},
    {"GetDate", false, "S", false},
    {"GetData", false, "iIS", false},
    {"DirectIO", false, "iIS", false},
    {"DeviceEnabled", true, "b", true},
    {"Claimed", true, "b", false},
    {"State", true, "i", false},
    {"ResultCode", true, "i", false},
    {"ResultCodeExtended", true, "i", false},
    {"ErrorString", true, "s", false},
    {"CoverOpen", true, "b", false},
    {"DayOpened", true, "b", false},
    {"RecEmpty", true, "b", false},
    {"RecNearEnd", true, "b", false},
    {"TrainingModeActive", true, "b", false},
    {"PrinterState", true, "i", false},
    {"RemainingFiscalMemory", true, "i", false},
    {"AdditionalTrailer", true, "s", true},
    {"PreLine", true, "s", true},
    {"FiscalReceiptType", true, "i", true},
};
const size_t kOposFiscalPrinterMemberCount = std::size(kOposFiscalPrinterMembers);

const tOposMember* FindOposMember(std::string_view aName) {
  // Automation names are not case-sensitive.
  for (const tOposMember& member : kOposFiscalPrinterMembers) {
    const std::string_view name = member.Name;
    if (name.size() != aName.size()) continue;
    bool same = true;
    for (size_t k = 0; same && k < name.size(); ++k)
      same = std::tolower(static_cast<unsigned char>(name[k])) == std::tolower(static_cast<unsigned char>(aName[k]));
    if (same) return &member;
  }
  return nullptr;
}

bool FiscalPrinterCreationRefused() {
  const char* create = std::getenv("OPOS_SIM_CREATE");
  return create != nullptr && std::string_view(create) == "fail";
}

namespace {

constexpr int32_t kClosed = 101, kNotClaimed = 103, kDisabled = 105, kIllegal = 106;
constexpr int32_t kStateClosed = 1, kStateIdle = 2;  // OPOS_S_CLOSED, OPOS_S_IDLE

std::string CheckLine(std::string_view aName, const std::vector<std::string>& aFields) {
  const tOposMember* member = FindOposMember(aName);
  if (member == nullptr) return "unknown member '" + std::string(aName) + "'";
  if (aFields[0] == "HRESULT") return {};
  if (member->Property && member->Types[0] != 'i') {
    if (member->Types[0] == 'b' && aFields[0] != "true" && aFields[0] != "false")
      return "value '" + aFields[0] + "' is neither true, false nor HRESULT";
    return {};
  }
  for (size_t k = 0; k < aFields.size() && k < 2; ++k)
    if (!ParseInt32(aFields[k])) return "'" + aFields[k] + "' is neither a number nor HRESULT";
  return {};
}

// Script position and journal are the process's, as for a device shared by every caller.
struct Steering {
  std::mutex fLock;
  sim::tSimScript fScript{"OPOS_SIM_SCRIPT", &CheckLine};
};

Steering& Steer() {
  static Steering steering;
  return steering;
}

std::string Two(int aValue) { return (aValue < 10 ? "0" : "") + std::to_string(aValue); }

std::string DateTextNow() {
  const DateTimeParts now = DecodeDateTime(Now());
  return Two(now.Day) + Two(now.Month) + std::to_string(now.Year) + Two(now.Hour) + Two(now.Minute);
}

class tFiscalPrinterSimulator final : public platform::AutomationObject {
 public:
  int32_t CallWith(std::string_view aMethod, std::span<const AutomationArg> aArgs) override {
    const tOposMember& member = Member(aMethod, false);
    const std::string_view types = member.Types;
    if (aArgs.size() != types.size()) throw EMxError("Invalid number of parameters.");
    std::vector<std::string> journal;
    for (const AutomationArg& arg : aArgs) journal.push_back(arg.Describe());
    const std::vector<AutomationArg> args(aArgs.begin(), aArgs.end());
    for (size_t k = 0; k < args.size(); ++k) Expect(args[k], types[k]);

    std::optional<std::vector<std::string>> line;
    {
      Steering& steering = Steer();
      std::lock_guard lock(steering.fLock);
      sim::AppendJournal("OPOS_SIM_JOURNAL", member.Name, journal);
      line = steering.fScript.Take(member.Name);
    }
    if (line) return Scripted(member, *line, args);
    return BuiltIn(member.Name, args);
  }

  AutomationArg GetProperty(std::string_view aName) override {
    const tOposMember& member = Member(aName, true);
    std::optional<std::vector<std::string>> line;
    {
      Steering& steering = Steer();
      std::lock_guard lock(steering.fLock);
      sim::AppendJournal("OPOS_SIM_JOURNAL", std::string(member.Name) + "?", {});
      line = steering.fScript.Take(member.Name);
    }
    if (line) {
      if ((*line)[0] == "HRESULT") throw EMxError(line->size() > 1 ? (*line)[1] : std::string());
      return ValueOf(member, (*line)[0]);
    }
    const auto found = fProperties.find(member.Name);
    return found != fProperties.end() ? found->second : ValueOf(member, member.Types[0] == 's' ? "" : "0");
  }

  void SetProperty(std::string_view aName, const AutomationArg& aValue) override {
    const tOposMember& member = Member(aName, true);
    if (!member.Writable) throw EMxError("Member not found.");
    {
      Steering& steering = Steer();
      std::lock_guard lock(steering.fLock);
      sim::AppendJournal("OPOS_SIM_JOURNAL", std::string(member.Name) + "=", {aValue.Describe()});
    }
    const char type = member.Types[0];
    AutomationArg value = type == 'b'   ? AutomationArg::Bool(aValue.AsBool())
                          : type == 'i' ? AutomationArg(aValue.AsInt())
                                        : AutomationArg::Text(aValue.AsText());
    if (std::string_view(member.Name) == "DeviceEnabled" && value.AsBool() && !Flag("Claimed")) {
      Fail(kNotClaimed, "Device is not claimed");
      return;
    }
    fProperties.insert_or_assign(member.Name, value);
  }

 private:
  static const tOposMember& Member(std::string_view aName, bool aProperty) {
    const tOposMember* member = FindOposMember(aName);
    if (member == nullptr) throw EMxError("Unknown name.");
    if (member->Property != aProperty) throw EMxError("Member not found.");
    return *member;
  }

  static void Expect(const AutomationArg& aArg, char aType) {
    using K = AutomationArg::tKind;
    const K kind = aArg.Kind;
    const bool fits = (aType == 'i' && kind == K::Int) || (aType == 'b' && kind == K::Bool) ||
                      (aType == 'm' && kind == K::Money) || (aType == 's' && (kind == K::Text || kind == K::TextRef)) ||
                      (aType == 'I' && kind == K::IntRef) || (aType == 'S' && kind == K::TextRef);
    if (!fits) throw EMxError("Type mismatch.");
  }

  static AutomationArg ValueOf(const tOposMember& aMember, const std::string& aText) {
    switch (aMember.Types[0]) {
      case 'b':
        return AutomationArg::Bool(aText == "true");
      case 'i':
        return AutomationArg(ParseInt32(aText).value_or(0));
      default:
        return AutomationArg::Text(aText);
    }
  }

  bool Flag(const char* aName) const {
    const auto found = fProperties.find(aName);
    return found != fProperties.end() && found->second.AsBool();
  }
  void SetFlag(const char* aName, bool aValue) { fProperties.insert_or_assign(aName, AutomationArg::Bool(aValue)); }

  int32_t Fail(int32_t aCode, const std::string& aText) {
    fProperties.insert_or_assign("ResultCode", AutomationArg(aCode));
    fProperties.insert_or_assign("ResultCodeExtended", AutomationArg(0));
    fProperties.insert_or_assign("ErrorString", AutomationArg::Text(aText));
    return aCode;
  }
  int32_t Succeed() { return Fail(0, ""); }

  int32_t Scripted(const tOposMember& aMember, const std::vector<std::string>& aLine,
                   const std::vector<AutomationArg>& aArgs) {
    if (aLine[0] == "HRESULT") throw EMxError(aLine.size() > 1 ? aLine[1] : std::string());
    const int32_t code = *ParseInt32(aLine[0]);
    Fail(code, aLine.size() > 2 ? aLine[2] : std::string());
    fProperties.insert_or_assign("ResultCodeExtended",
                                 AutomationArg(aLine.size() > 1 ? ParseInt32(aLine[1]).value_or(0) : 0));
    // The outputs go to the by-reference arguments in order.
    size_t output = 3;
    for (size_t k = 0; k < aArgs.size() && output < aLine.size(); ++k) {
      if (aArgs[k].Kind == AutomationArg::tKind::IntRef) {
        *aArgs[k].IntRefValue = ParseInt32(aLine[output++]).value_or(0);
      } else if (aMember.Types[k] == 'S') {
        *aArgs[k].TextRef = aLine[output++];
      }
    }
    return code;
  }

  int32_t BuiltIn(std::string_view aMethod, const std::vector<AutomationArg>& aArgs) {
    const bool open = Flag("Opened");
    if (aMethod == "Open") {
      if (open) return Fail(kIllegal, "Device is already open");
      SetFlag("Opened", true);
      fProperties.insert_or_assign("State", AutomationArg(kStateIdle));
      return Succeed();
    }
    if (!open) return Fail(kClosed, "Device is not open");
    if (aMethod == "Close") {
      fProperties.erase("Opened");
      SetFlag("Claimed", false);
      SetFlag("DeviceEnabled", false);
      fProperties.insert_or_assign("State", AutomationArg(kStateClosed));
      return Succeed();
    }
    if (aMethod == "ClaimDevice") {
      SetFlag("Claimed", true);
      return Succeed();
    }
    if (!Flag("Claimed")) return Fail(kNotClaimed, "Device is not claimed");
    if (aMethod == "ReleaseDevice") {
      SetFlag("Claimed", false);
      SetFlag("DeviceEnabled", false);
      return Succeed();
    }
    if (!Flag("DeviceEnabled")) return Fail(kDisabled, "Device is not enabled");
    if (aMethod == "PrintRecItem") SetFlag("DayOpened", true);
    if (aMethod == "PrintZReport") SetFlag("DayOpened", false);
    if (aMethod == "BeginTraining") SetFlag("TrainingModeActive", true);
    if (aMethod == "EndTraining") SetFlag("TrainingModeActive", false);
    if (aMethod == "SetDate") fDate = aArgs[0].AsText();
    if (aMethod == "GetDate") *aArgs[0].TextRef = fDate.empty() ? DateTextNow() : fDate;
    if (aMethod == "GetData" || aMethod == "DirectIO") aArgs[2].TextRef->clear();
    return Succeed();
  }

  std::map<std::string, AutomationArg, std::less<>> fProperties;
  std::string fDate;
};

}  // namespace

std::unique_ptr<platform::AutomationObject> CreateFiscalPrinterSimulator() {
  if (FiscalPrinterCreationRefused())
    throw EMxError(std::string("Class not registered, ClassID: ") + kOposFiscalPrinterClassId);
  return std::make_unique<tFiscalPrinterSimulator>();
}
