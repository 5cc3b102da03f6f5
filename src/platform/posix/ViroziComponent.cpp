#include "platform/ViroziComponent.h"

#include "drivers/Ivirpay.h"
#include "drivers/ViroziFactory.h"

// No provider component exists outside Windows: the simulator stands in for it.
std::unique_ptr<Ivirpay> CreateViroziComponent() { return CreateViroziSimulator(); }

namespace platform {
bool ViroziComponentUsesCom() { return false; }
}  // namespace platform
