#include "entry/PaymentRegistry.h"

#include <limits>
#include <new>

#include "app/Application.h"
#include "core/Errors.h"
#include "log/LogWriter.h"

// ---- kPaymentDeviceRegistry ----------------------------------------------------------

kPaymentDevice* kPaymentDeviceRegistry::Find(int32_t aHandle) const {
  auto it = fDevices.find(aHandle);
  return it == fDevices.end() ? nullptr : it->second.get();
}

kPaymentDevice& kPaymentDeviceRegistry::Add(std::unique_ptr<kPaymentDevice> aDevice) {
  // A handle past the last positive one would wrap to a negative number, which requests
  // use to ask for a new device.
  if (fLastDeviceHandle == std::numeric_limits<int32_t>::max()) {
    throw EMxError("No device handle left");
  }
  const int32_t handle = fLastDeviceHandle + 1;
  kPaymentDevice& device = *aDevice;
  fDevices.emplace(handle, std::move(aDevice));  // on failure aDevice still owns it
  fLastDeviceHandle = handle;
  device.SetHandle(handle);
  return device;
}

bool kPaymentDeviceRegistry::Remove(int32_t aHandle) {
  auto it = fDevices.find(aHandle);
  if (it == fDevices.end()) return false;
  // Out of the registry before it is destroyed.
  std::unique_ptr<kPaymentDevice> device = std::move(it->second);
  fDevices.erase(it);
  device.reset();
  return true;
}

void kPaymentDeviceRegistry::Clear() {
  while (!fDevices.empty()) Remove(fDevices.begin()->first);
}

std::vector<kPaymentDevice*> kPaymentDeviceRegistry::Devices() const {
  std::vector<kPaymentDevice*> devices;
  devices.reserve(fDevices.size());
  for (const auto& entry : fDevices) devices.push_back(entry.second.get());
  return devices;
}

// ---- the process's registry --------------------------------------------------------

namespace {

// Never destroyed by the runtime: unloading empties the registries explicitly, in its
// own order, and whatever runs after that still finds them (empty).
union DeviceStorage {
  DeviceStorage() : fDevices() {}
  ~DeviceStorage() {}
  kPaymentDeviceRegistry fDevices;
};

}  // namespace

kPaymentDeviceRegistry& PaymentDevices() {
  static DeviceStorage storage;
  return storage.fDevices;
}

void UnloadPaymentLibrary(bool aOtherThreadsRun) {
  // From here on no log starts a worker: the STOP lines and whatever is still queued are
  // written on this thread. On Windows no worker can be running at an unload, since each
  // holds a reference on the library, and at process exit the system has ended them.
  tMx_LogWriter::SetProcessWriting(aOtherThreadsRun ? lw_Synchronous : lw_ThreadsEnded);
  PaymentDevices().Clear();
  PaymentDrivers().Clear();
  tMx_Application::Shutdown(aOtherThreadsRun);
}
