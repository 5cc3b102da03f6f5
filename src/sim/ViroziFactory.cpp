#include "sim/ViroziFactory.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "sim/ViroziSimulator.h"

bool ViroziSimulatorCreationRefused() {
  const char* create = std::getenv("VIROZI_SIM_CREATE");
  return create != nullptr && std::string_view(create) == "fail";
}

std::unique_ptr<Ivirpay> CreateViroziSimulator() {
  if (ViroziSimulatorCreationRefused())
    throw EMxError(std::string("Class not registered, ClassID: ") + kViroziClassId);
  return std::make_unique<tViroziSimulator>();
}
