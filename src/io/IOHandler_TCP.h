#pragma once
// Device reached over a TCP connection: text goes out in the 8-bit encoding or the
// handler's code page, replies are read byte by byte up to a terminator, a count, the
// peer's close or the read time-out. Every transfer is logged.
#include <cstdint>
#include <string>
#include <vector>

#include "io/IOHandler.h"
#include "platform/Socket.h"

class kIOHandler_TCP : public kIOHandler {
 public:
  // The client gets the connection's address and port (its low 16 bits) and the connect
  // time-out; nothing is connected yet.
  kIOHandler_TCP(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_TCP() override;

  const char* ClassName() const override { return "kIOHandler_TCP"; }
  platform::TcpClient& TCPClient() { return fTCPClient; }

  // Banner, host and port, then connects unless connected. Failures are logged and give
  // false; nothing is raised.
  bool Connect() override;
  bool GetConnected() override;
  bool Disconnect() override;
  void ClearBuffers() override { fTCPClient.ClearInputBuffer(); }
  // Raises the client's errors; true otherwise.
  bool Write(const std::string& aMessage) override;
  // The reads never raise: what came before a time-out or a close is the result, and the
  // log tells which.
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override;
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;
  std::string DecodeError(int32_t aErrorCode) override { return {}; }
  bool InputBufferContainsData() override { return fTCPClient.InputBufferSize() > 0; }
  void SetParameter(const std::string& aName, const std::string& aValue) override {}

  // Byte arrays for binary protocols; logged as US-ASCII text.
  bool WriteBytes(const std::vector<uint8_t>& aBytes);
  // Exactly aCount bytes within the client's read time-out; not logged, errors raised.
  std::vector<uint8_t> ReadBytes(int32_t aCount);
  // As ReadUpTo, but an error is raised again after it has been logged.
  std::vector<uint8_t> ReadBytesUpTo(const std::vector<uint8_t>& aChars);
  // As ReadAll; also logs the milliseconds waited when a read fails.
  std::vector<uint8_t> ReadAllBytes();

 private:
  // Shared by the text and byte reads: the bytes received, the log lines written.
  std::string ReadBytesUntil(const std::vector<uint8_t>& aChars, bool aRaise);
  std::string ReadUntilClosed(bool aLogElapsed);

  platform::TcpClient fTCPClient;
};
