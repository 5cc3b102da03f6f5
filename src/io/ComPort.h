#pragma once
// A small serial-port driver: opens "COM" + number, sets baud rate, data bits, parity and
// stop bits, reads with a time-out, writes text, purges the queues and sets the modem
// control lines. Its failures are TComPortException with fixed messages.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "platform/SerialPort.h"

// Ordinals are the device-control block's values.
enum TParity : uint8_t { ptNone = 0, ptOdd = 1, ptEven = 2, ptMark = 3, ptSpace = 4 };
enum TStopBits : uint8_t { sbOne = 0, sbOneHalf = 1, sbTwo = 2 };

class TComPortException : public EMxError {
 public:
  using EMxError::EMxError;
};

class TComPort {
 public:
  static constexpr uint32_t kNoTimeout = 0xFFFFFFFF;

  explicit TComPort(uint32_t ncom, uint32_t baud = 9600, uint8_t data = 8, TStopBits stop = sbOne,
                    TParity parity = ptNone);
  ~TComPort();  // closes the port
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // Raises "COM<n> is not a valid COM port." when there is no such port, "Cannot open
  // COM<n> (error #<code>)." for any other refusal, and the line-setting messages.
  void Open();
  // Purges both queues, then closes; the port counts as closed afterwards in every case.
  void Close();
  // Up to nbytes within timeout milliseconds (0: the time-outs in force); the count read,
  // 0 when the time-out passed in silence, or -1 with the port's error flags in ErrorCode.
  int32_t Read(void* buffer, uint32_t nbytes, uint32_t timeout, uint32_t& ErrorCode);
  // True when every byte went out.
  bool WriteText(std::string_view S);
  // Stores the settings only once the port has taken them. A stop above 2 or a parity
  // above 4 leaves that field as the port has it.
  void SetLineParameters(uint32_t baud, uint8_t data, TStopBits stop, TParity pty);
  // Bytes waiting in the input queue; 0 when that cannot be read.
  int32_t GetBytesPending();
  // Raises "PurgeComm failed!" when the purge fails; nothing on a closed port.
  void ClearBuffers();
  // Raise (true) or lower a modem line; raise when the port is closed or refuses.
  void SetDTR(bool assert);
  void SetRTS(bool assert);

  uint32_t ComNumber() const { return fComNumber; }
  uint32_t BaudRate() const { return fBaudRate; }
  uint8_t DataBits() const { return fDataBits; }
  TStopBits StopBits() const { return fStopBits; }
  TParity Parity() const { return fParity; }
  bool ComIsOpen() const { return fIsOpen; }
  static const char* DriverVersion() { return "1.0"; }

 private:
  int32_t WriteBuffer(const void* aBuffer, uint32_t aCount);
  void ApplyReadTimeout(uint32_t timeout);
  [[noreturn]] void RaiseOpenError(uint32_t aCode) const;
  void SetModemLine(const char* aName, uint32_t aFunction);

  uint32_t fComNumber;
  uint32_t fBaudRate;
  uint8_t fDataBits;
  TStopBits fStopBits;
  TParity fParity;
  platform::SerialPort fComHandle;
  bool fIsOpen = false;
  uint32_t fCurrentComTimeout = kNoTimeout;
};
