#pragma once
// Base of the handlers without a stream to read: those whose driver reaches the device
// itself (a component, a library), where the channel is always there, takes nothing and
// gives nothing, and request-and-reply transports (HTTP), which replace what they serve.
// The stream operations none of them can serve raise "<operation> Unsupported".
#include "io/IOHandler.h"

class kIOHandler_NoStream : public kIOHandler {
 public:
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

 protected:
  using kIOHandler::kIOHandler;
};
