// Outside Windows no provider component and no fiscal printer control can be registered:
// the product library puts the simulators in their place. Only the native library is
// built with this unit.
#include "drivers/Ivirpay.h"
#include "io/IOHandler_OPOS.h"
#include "platform/Automation.h"
#include "sim/FiscalPrinterSimulator.h"
#include "sim/ViroziFactory.h"

namespace {
[[maybe_unused]] const bool gSimulatorInstalled = (SetViroziComponentFactory(&CreateViroziSimulator), true);
[[maybe_unused]] const bool gFiscalPrinterInstalled =
    platform::RegisterAutomationClass(kOposFiscalPrinterClassId, &CreateFiscalPrinterSimulator);
}
