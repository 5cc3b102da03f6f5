#include "platform/Automation.h"

#include <map>
#include <mutex>
#include <string>

#include "core/Errors.h"

namespace platform {

namespace {

struct ClassTable {
  std::mutex fLock;
  std::map<std::string, AutomationFactory, std::less<>> fFactories;
};

ClassTable& Classes() {
  static ClassTable table;
  return table;
}

}  // namespace

bool AutomationUsesCom() { return false; }

bool RegisterAutomationClass(const char* aClassId, AutomationFactory aFactory) {
  ClassTable& table = Classes();
  std::lock_guard lock(table.fLock);
  table.fFactories[aClassId] = aFactory;
  return true;
}

// A class nobody registered fails with the text Windows gives for it.
std::unique_ptr<AutomationObject> CreateAutomationObject(const char* aClassId, const char*) {
  AutomationFactory factory = nullptr;
  {
    ClassTable& table = Classes();
    std::lock_guard lock(table.fLock);
    const auto found = table.fFactories.find(std::string_view(aClassId));
    if (found != table.fFactories.end()) factory = found->second;
  }
  if (factory == nullptr) throw EMxError(std::string("Class not registered, ClassID: ") + aClassId);
  return factory();
}

}  // namespace platform
