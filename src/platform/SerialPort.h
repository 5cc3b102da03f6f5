#pragma once
// A serial port through the system's communications calls: open by port number, the line
// fields of its device-control block, time-outs, reads and writes, queue purges, the error
// state and the modem control lines. Calls report failure by their result and leave a
// Windows error code in LastError(), on every system.
#include <cstdint>
#include <memory>

namespace platform {

// Parity and stop-bit values are those of the Windows device-control block.
struct SerialLine {
  uint32_t BaudRate = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// Milliseconds, as Windows keeps them: a read ends when its count is met, when the total
// (multiplier * count + constant) has passed, or when the interval passes between two
// bytes; all zero waits for the full count.
struct SerialTimeouts {
  uint32_t ReadInterval = 0;
  uint32_t ReadTotalMultiplier = 0;
  uint32_t ReadTotalConstant = 0;
  uint32_t WriteTotalMultiplier = 0;
  uint32_t WriteTotalConstant = 0;
};

// Purge flags and modem-line functions, with their Windows values.
inline constexpr uint32_t kPurgeTxAbort = 1, kPurgeRxAbort = 2, kPurgeTxClear = 4, kPurgeRxClear = 8;
inline constexpr uint32_t kSetRts = 3, kClrRts = 4, kSetDtr = 5, kClrDtr = 6;
// Error flag of ClearError for a failed transfer (Windows CE_IOE).
inline constexpr uint32_t kCommIOError = 0x0400;
// Windows error codes that callers tell apart.
inline constexpr uint32_t kErrorFileNotFound = 2, kErrorAccessDenied = 5, kErrorNotSupported = 50;

class SerialPort {
 public:
  SerialPort();
  ~SerialPort();  // closes the port
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens "\\.\COM<n>" for reading and writing without sharing. Natively the device is the
  // one the environment variable VELO_COM<n> names, else /dev/ttyS<n-1> as Wine maps it,
  // in raw mode and locked against a second opener (error 5 as on Windows).
  bool Open(uint32_t aComNumber);
  bool Close();
  bool IsOpen() const;

  // Reads the device-control block; SetLine writes back the block last read with the
  // line fields replaced, every other field as it was. A refused SetLine leaves the port
  // as it was read.
  bool GetLine(SerialLine& aLine);
  bool SetLine(const SerialLine& aLine);
  bool GetTimeouts(SerialTimeouts& aTimeouts);
  bool SetTimeouts(const SerialTimeouts& aTimeouts);

  // Success with fewer bytes (0 too) when a time-out ended the transfer.
  bool Read(void* aBuffer, uint32_t aCount, uint32_t& aRead);
  bool Write(const void* aBuffer, uint32_t aCount, uint32_t& aWritten);
  bool Purge(uint32_t aFlags);
  // Fetches and clears the error flags; aInQueue is the number of bytes waiting.
  bool ClearError(uint32_t& aErrors, uint32_t& aInQueue);
  bool Escape(uint32_t aFunction);

  uint32_t LastError() const { return fLastError; }

 private:
  struct State;
  std::unique_ptr<State> fState;
  uint32_t fLastError = 0;
};

}  // namespace platform
