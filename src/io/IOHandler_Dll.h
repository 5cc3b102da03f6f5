#pragma once
// Device that is a vendor library: loaded with the handler, unloaded with it; the driver
// calls the library's functions through GetAddress.
#include "io/IOHandler_NoStream.h"

class kIOHandler_Dll : public kIOHandler_NoStream {
 public:
  // Loads the connection's LibraryName: a plain file name from the host's folder or the
  // system's library path, or an absolute path; only a regular file. Raises EMxError
  // "Unable to Load Library <name>. <reason> [<code>]"; the log then ends with STOP.
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
