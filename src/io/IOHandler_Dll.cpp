#include "io/IOHandler_Dll.h"

#include "core/Errors.h"
#include "io/Connection.h"
#include "platform/Library.h"

kIOHandler_Dll::kIOHandler_Dll(const kConnection* aConnection, const std::string& aDirectory,
                               const std::string& aFileName)
    : kIOHandler_NoStream(aConnection, aDirectory, aFileName) {
  const std::string name = aConnection != nullptr ? aConnection->LibraryName() : std::string();
  WriteLog(let_info, "kIOHandler_Dll.Create", "Loading DLL " + name);
  uint32_t code = 0;
  std::string text;
  fLibraryHandle = platform::LoadDeviceLibrary(name, code, text);
  if (fLibraryHandle == nullptr) {
    throw EMxError("Unable to Load Library " + name + ". " + text + " [" + std::to_string(code) + "]");
  }
  WriteLog(let_info, "kIOHandler_Dll.Create", "DLL Loaded successfully");
}

kIOHandler_Dll::~kIOHandler_Dll() {
  if (fLibraryHandle == nullptr) return;
  try {
    WriteLog(let_info, "kIOHandler_Dll.Destroy", "Unloading DLL");
    platform::FreeLibraryFile(fLibraryHandle);
    fLibraryHandle = nullptr;
    WriteLog(let_info, "kIOHandler_Dll.Destroy", "DLL Unloaded Successfully");
  } catch (...) {
    // Logging failures never keep a device from closing.
  }
  if (fLibraryHandle != nullptr) platform::FreeLibraryFile(fLibraryHandle);
}

void* kIOHandler_Dll::GetAddress(const std::string& aProcName) const {
  void* address = platform::LibraryProcAddress(fLibraryHandle, aProcName);
  if (address == nullptr) throw EMxError("Unable to get address for procedure " + aProcName);
  return address;
}
