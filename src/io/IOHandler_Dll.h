#pragma once
// Device that is a vendor library: loaded with the handler, unloaded with it; the driver
// calls the library's functions through GetAddress.
#include "io/IOHandler.h"

class kIOHandler_Dll : public kIOHandler {
 public:
  // Loads the connection's LibraryName with the system's search order. Raises EMxError
  // "Unable to Load Library <name>. <system text> [<code>]"; the log then ends with STOP.
  kIOHandler_Dll(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_Dll() override;

  const char* ClassName() const override { return "kIOHandler_Dll"; }
  bool GetConnected() override { return true; }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  // Nothing is sent; the driver calls the library itself.
  bool Write(const std::string& aMessage) override { return true; }
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override { return {}; }
  std::string ReadChars(int32_t aCharsNum) override { return {}; }
  std::string ReadAll() override;                 // raises "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override { return {}; }
  bool InputBufferContainsData() override;        // raises "InputBufferContainsData Unsupported"
  void SetParameter(const std::string& aName, const std::string& aValue) override {}

  // Address of the library's exported function. Raises EMxError
  // "Unable to get address for procedure <name>" when it has none.
  void* GetAddress(const std::string& aProcName) const;

 private:
  void* fLibraryHandle = nullptr;
};
