#pragma once
// A stand-in for an OPOS fiscal printer control, used where no control is registered (the
// native build, the tests, the demonstration): the same methods and properties, called by
// name. Plain portable C++: the Windows COM server wraps the same class.
//
// Built-in printer: Open any device name, ClaimDevice, then DeviceEnabled := true; every
// printing method needs all three and otherwise answers 101 OPOS_E_CLOSED, 103
// OPOS_E_NOTCLAIMED or 105 OPOS_E_DISABLED with an error string. Setting DeviceEnabled on
// a device that is not claimed leaves it false. Items open the fiscal day (DayOpened) and
// PrintZReport closes it; BeginTraining/EndTraining switch TrainingModeActive; SetDate
// sets the clock that GetDate reads ("ddmmyyyyhhnn", the local time before any SetDate);
// DirectIO and GetData give back what they got and an empty text. Properties keep what
// is written to them.
//
// Steering, through the environment (read at each call):
//
//   OPOS_SIM_JOURNAL=<file>
//     Every method call appends "Method<TAB>arg<TAB>arg..." (integers in decimal, booleans
//     true/false, amounts as decimals with '.', texts escaped as the terminal simulator's
//     journal); every property write "Name=<TAB>value"; every property read "Name?".
//
//   OPOS_SIM_SCRIPT=<file>
//     "Method<TAB>ResultCode[<TAB>ExtendedCode[<TAB>ErrorString[<TAB>Output...]]]": the
//     method's next call answers ResultCode, and ResultCodeExtended and ErrorString read
//     the given values (0 and empty when left out). Outputs fill the by-reference
//     arguments: GetDate's date text, GetData's data, DirectIO's number and text.
//     "Property<TAB>Value": the property's next read gives Value (true/false or a number
//     for flags and numbers). ResultCode or Value HRESULT: the call or read fails as a
//     failed COM call does, with the next field as description. A scripted call changes
//     no printer state. Lines are taken as in the terminal simulator's script.
//
//   OPOS_SIM_CREATE=fail
//     Creation fails as for an unregistered class.
#include <memory>
#include <string>
#include <string_view>

#include "platform/Automation.h"

// A member of the control: its name, whether it is a property, and for a method its
// arguments ('i' integer, 'b' boolean, 'm' amount, 's' text, 'I' integer by reference,
// 'S' text by reference), for a property its type ('i', 'b' or 's') and whether it can be
// written.
struct tOposMember {
  const char* Name;
  bool Property;
  const char* Types;
  bool Writable;
};
extern const tOposMember kOposFiscalPrinterMembers[];
extern const size_t kOposFiscalPrinterMemberCount;
const tOposMember* FindOposMember(std::string_view aName);

// True when OPOS_SIM_CREATE=fail asks creation to fail.
bool FiscalPrinterCreationRefused();

// A simulated control; raises EMxError "Class not registered, ClassID: " + the class
// identifier when creation is refused.
std::unique_ptr<platform::AutomationObject> CreateFiscalPrinterSimulator();
