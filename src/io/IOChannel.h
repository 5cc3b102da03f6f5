#pragma once
// What a transport does with its channel: the operations a driver calls to talk to its
// device. kIOHandler adds the device's log and error record around them.
#include <cstdint>
#include <string>
#include <vector>

class kIOChannel {
 public:
  virtual ~kIOChannel() = default;

  virtual bool GetConnected() = 0;
  virtual bool Disconnect() = 0;
  virtual void ClearBuffers() = 0;
  virtual bool Write(const std::string& aMessage) = 0;
  virtual std::string ReadUpTo(const std::vector<uint8_t>& aChars) = 0;
  virtual std::string ReadChars(int32_t aCharsNum) = 0;
  virtual std::string ReadAll() = 0;
  virtual std::string DecodeError(int32_t aErrorCode) = 0;
  virtual bool InputBufferContainsData() = 0;
  virtual void SetParameter(const std::string& aName, const std::string& aValue) = 0;
};
