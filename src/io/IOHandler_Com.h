#pragma once
// Device reached through a component object that its driver creates and calls itself:
// no channel at all, only the device's log and error record.
#include "io/IOHandler.h"

class kIOHandler_Com : public kIOHandler {
 public:
  kIOHandler_Com(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);

  const char* ClassName() const override { return "kIOHandler_Com"; }
  bool GetConnected() override { return true; }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  // Nothing is sent.
  bool Write(const std::string& aMessage) override { return false; }
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override { return {}; }
  std::string ReadChars(int32_t aCharsNum) override { return {}; }
  std::string ReadAll() override;                 // raises "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override { return {}; }
  bool InputBufferContainsData() override;        // raises "InputBufferContainsData Unsupported"
  void SetParameter(const std::string& aName, const std::string& aValue) override {}
};
