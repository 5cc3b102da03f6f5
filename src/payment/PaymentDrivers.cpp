#include "payment/PaymentDrivers.h"

void kPaymentDriverRegistry::Add(const std::string& aKey, const kPaymentClass& aClass) {
  fDrivers.insert_or_assign(aKey, aClass);
}

bool kPaymentDriverRegistry::Remove(std::string_view aKey) {
  auto it = fDrivers.find(aKey);
  if (it == fDrivers.end()) return false;
  fDrivers.erase(it);
  return true;
}

const kPaymentClass* kPaymentDriverRegistry::Find(std::string_view aKey) const {
  auto it = fDrivers.find(aKey);
  return it == fDrivers.end() ? nullptr : &it->second;
}

namespace {

// Never destroyed by the runtime: unloading empties the registry explicitly, in its own
// order, and whatever runs after that still finds it (empty).
union DriverStorage {
  DriverStorage() : fDrivers() {}
  ~DriverStorage() {}
  kPaymentDriverRegistry fDrivers;
};

}  // namespace

kPaymentDriverRegistry& PaymentDrivers() {
  static DriverStorage storage;
  return storage.fDrivers;
}
