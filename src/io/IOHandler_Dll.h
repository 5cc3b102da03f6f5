#pragma once
// Device that is a vendor library: loaded with the handler, unloaded with it; the driver
// calls the library's functions through GetAddress.
#include "io/IOHandler_NoStream.h"

class kIOHandler_Dll : public kIOHandler_NoStream {
 public:
  // Loads the connection's LibraryName with the system's search order. Raises EMxError
  // "Unable to Load Library <name>. <system text> [<code>]"; the log then ends with STOP.
  kIOHandler_Dll(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_Dll() override;

  const char* ClassName() const override { return "kIOHandler_Dll"; }
  // Nothing is sent, yet the write counts as done: the driver calls the library itself.
  bool Write(const std::string& aMessage) override { return true; }

  // Address of the library's exported function. Raises EMxError
  // "Unable to get address for procedure <name>" when it has none.
  void* GetAddress(const std::string& aProcName) const;

 private:
  void* fLibraryHandle = nullptr;
};
