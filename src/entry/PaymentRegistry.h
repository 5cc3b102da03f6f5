#pragma once
// The process-wide registry of device handles to the open devices that it owns. The
// drivers' registry is payment/PaymentDrivers.h.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "payment/PaymentDevice.h"
#include "payment/PaymentDrivers.h"

class kPaymentDeviceRegistry {
 public:
  // The first device gets the handle after aLastDeviceHandle.
  explicit kPaymentDeviceRegistry(int32_t aLastDeviceHandle = 0) : fLastDeviceHandle(aLastDeviceHandle) {}
  ~kPaymentDeviceRegistry() { Clear(); }
  kPaymentDeviceRegistry(const kPaymentDeviceRegistry&) = delete;
  kPaymentDeviceRegistry& operator=(const kPaymentDeviceRegistry&) = delete;

  // Null when no open device has the handle.
  kPaymentDevice* Find(int32_t aHandle) const;
  // Gives aDevice the next handle (1, 2, 3 ..., never reused) and keeps it. When that
  // fails the device is destroyed and the last handle stays as it was.
  kPaymentDevice& Add(std::unique_ptr<kPaymentDevice> aDevice);
  // Destroys the device; false when the handle is not open.
  bool Remove(int32_t aHandle);
  // Destroys every device, in handle order.
  void Clear();
  size_t Count() const { return fDevices.size(); }
  std::vector<kPaymentDevice*> Devices() const;
  int32_t LastDeviceHandle() const { return fLastDeviceHandle; }

 private:
  std::map<int32_t, std::unique_ptr<kPaymentDevice>> fDevices;
  int32_t fLastDeviceHandle = 0;
};

kPaymentDeviceRegistry& PaymentDevices();

// Library unload: destroys every device (their logs written out), then forgets the
// drivers, then destroys the application object. Every log line from then on is written on
// the thread that queues it. aOtherThreadsRun false: the system has ended the other
// threads (process exit on Windows), so nothing waits for a log worker but briefly.
void UnloadPaymentLibrary(bool aOtherThreadsRun);
