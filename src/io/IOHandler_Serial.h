#pragma once
// Device on a serial line: the port comes from the connection's settings, is opened by
// Connect and read byte by byte up to a terminator or a character count, within the
// handler's read time-out.
#include <memory>

#include "io/ComPort.h"
#include "io/IOHandler.h"

class kIOHandler_Serial : public kIOHandler {
 public:
  // The port number is what follows "COM" (up to three characters). Raises "Parity
  // invalid", "Stop Bits <n> invalid" or the integer conversion error; the port stays
  // closed until Connect.
  kIOHandler_Serial(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_Serial() override;

  const char* ClassName() const override { return "kIOHandler_Serial"; }
  bool GetConnected() override { return fComPort->ComIsOpen(); }
  // Logs the line settings, then opens the port; its errors reach the caller.
  bool Connect() override;
  bool Disconnect() override;
  void ClearBuffers() override { fComPort->ClearBuffers(); }
  // Sent in the system's ANSI code page; true when every byte went out.
  bool Write(const std::string& aMessage) override;
  // Up to and including the first byte that is one of aChars. The read time-out counts
  // only while the line is silent: a reply that keeps coming is read to its end.
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override;
  // Exactly aCharsNum characters, or what came before the read time-out.
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;  // raises "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override { return {}; }
  bool InputBufferContainsData() override { return fComPort->GetBytesPending() > 0; }
  void SetParameter(const std::string& aName, const std::string& aValue) override {}

  TComPort& ComPort() { return *fComPort; }

 private:
  // One byte within 100 ms, as a character of that code; false when none came.
  bool ReadByte(std::string& aResult, uint8_t& aByte, uint32_t& aError);
  void LogRead(bool aTimedOut, const std::string& aResult);

  std::unique_ptr<TComPort> fComPort;
};
