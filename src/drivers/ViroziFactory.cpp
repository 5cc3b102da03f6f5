#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "base/Errors.h"
#include "drivers/Ivirpay.h"
#include "drivers/ViroziSimulator.h"

// Both targets use the simulator until the COM binding to the provider's component exists.
// VIROZI_SIM_CREATE=fail stands for a component that is not installed: the text is what
// the system reports for REGDB_E_CLASSNOTREG.
std::unique_ptr<Ivirpay> CreateViroziComponent() {
  const char* create = std::getenv("VIROZI_SIM_CREATE");
  if (create != nullptr && std::string_view(create) == "fail")
    throw EMxError(std::string("Class not registered, ClassID: ") + kViroziClassId);
  return std::make_unique<tViroziSimulator>();
}
