#pragma once
// The process-wide registry of driver keys to driver classes. A driver adds itself here;
// the exports look keys up.
#include <map>
#include <string>
#include <string_view>

#include "payment/PaymentDevice.h"

class kPaymentDriverRegistry {
 public:
  // A key given again takes the new class.
  void Add(const std::string& aKey, const kPaymentClass& aClass);
  bool Remove(std::string_view aKey);
  // Exact, case-sensitive match; null when the key is not registered.
  const kPaymentClass* Find(std::string_view aKey) const;
  size_t Count() const { return fDrivers.size(); }
  void Clear() { fDrivers.clear(); }

 private:
  std::map<std::string, kPaymentClass, std::less<>> fDrivers;
};

kPaymentDriverRegistry& PaymentDrivers();
