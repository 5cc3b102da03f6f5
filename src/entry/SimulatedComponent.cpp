// Outside Windows no provider component can be registered: the product library calls the
// terminal simulator in its place. Only the native library is built with this unit.
#include "drivers/Ivirpay.h"
#include "sim/ViroziFactory.h"

namespace {
[[maybe_unused]] const bool gSimulatorInstalled = (SetViroziComponentFactory(&CreateViroziSimulator), true);
}
