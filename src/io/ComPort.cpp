#include "io/ComPort.h"

namespace {

constexpr uint32_t kPurgeAll = platform::kPurgeTxAbort | platform::kPurgeRxAbort | platform::kPurgeTxClear |
                               platform::kPurgeRxClear;
constexpr uint32_t kByteInterval = 100;  // milliseconds of silence that end a read

}  // namespace

TComPort::TComPort(uint32_t ncom, uint32_t baud, uint8_t data, TStopBits stop, TParity parity)
    : fComNumber(ncom), fBaudRate(baud), fDataBits(data), fStopBits(stop), fParity(parity) {}

TComPort::~TComPort() { Close(); }

void TComPort::Open() {
  if (!fComHandle.Open(fComNumber)) RaiseOpenError(fComHandle.LastError());
  try {
    SetLineParameters(fBaudRate, fDataBits, fStopBits, fParity);
  } catch (...) {
    // A port it could not set up stays free for the next attempt.
    fComHandle.Close();
    throw;
  }
  fIsOpen = true;
  fCurrentComTimeout = kNoTimeout;
}

void TComPort::Close() {
  if (fIsOpen) {
    // The handle is closed even when the purge fails: the port was opened without sharing,
    // and keeping it would lock everyone out of it until the process ends.
    fComHandle.Purge(kPurgeAll);
    fComHandle.Close();
  }
  fIsOpen = false;
}

void TComPort::RaiseOpenError(uint32_t aCode) const {
  const std::string port = "COM" + std::to_string(fComNumber);
  if (aCode == platform::kErrorFileNotFound) throw TComPortException(port + " is not a valid COM port.");
  throw TComPortException("Cannot open " + port + " (error #" + std::to_string(aCode) + ").");
}

void TComPort::SetLineParameters(uint32_t baud, uint8_t data, TStopBits stop, TParity pty) {
  platform::SerialLine line;
  if (!fComHandle.GetLine(line)) throw TComPortException("GetCommState failed!");
  line.BaudRate = baud;
  line.ByteSize = data;
  if (stop <= sbTwo) line.StopBits = stop;
  if (pty <= ptSpace) line.Parity = pty;
  if (!fComHandle.SetLine(line)) throw TComPortException("SetCommState failed!");
  fBaudRate = baud;
  fDataBits = data;
  fStopBits = stop;
  fParity = pty;
}

void TComPort::ApplyReadTimeout(uint32_t timeout) {
  platform::SerialTimeouts timeouts;
  if (!fComHandle.GetTimeouts(timeouts)) throw TComPortException("GetCommTimeouts failed.");
  timeouts.ReadInterval = kByteInterval;
  timeouts.ReadTotalMultiplier = 0;
  timeouts.ReadTotalConstant = timeout;
  if (!fComHandle.SetTimeouts(timeouts)) throw TComPortException("SetCommTimeouts failed.");
}

int32_t TComPort::Read(void* buffer, uint32_t nbytes, uint32_t timeout, uint32_t& ErrorCode) {
  if (!fIsOpen) throw TComPortException("Cannot read because COM port is not open.");
  if (timeout != 0 && timeout != fCurrentComTimeout) {
    ApplyReadTimeout(timeout);
    fCurrentComTimeout = timeout;
  }
  uint32_t read = 0;
  if (fComHandle.Read(buffer, nbytes, read)) return static_cast<int32_t>(read);
  uint32_t errors = 0;
  uint32_t pending = 0;
  fComHandle.ClearError(errors, pending);
  ErrorCode = errors;
  return -1;
}

int32_t TComPort::WriteBuffer(const void* aBuffer, uint32_t aCount) {
  if (!fIsOpen) throw TComPortException("Cannot write because COM port is not open.");
  uint32_t written = 0;
  if (!fComHandle.Write(aBuffer, aCount, written)) throw TComPortException("Write to com port failed.");
  return static_cast<int32_t>(written);
}

bool TComPort::WriteText(std::string_view S) {
  return WriteBuffer(S.data(), static_cast<uint32_t>(S.size())) == static_cast<int32_t>(S.size());
}

int32_t TComPort::GetBytesPending() {
  uint32_t errors = 0;
  uint32_t pending = 0;
  if (!fComHandle.ClearError(errors, pending)) return 0;
  return static_cast<int32_t>(pending);
}

void TComPort::ClearBuffers() {
  if (fIsOpen && !fComHandle.Purge(kPurgeAll)) throw TComPortException("PurgeComm failed!");
}

void TComPort::SetModemLine(const char* aName, uint32_t aFunction) {
  if (!fIsOpen) throw TComPortException(std::string(aName) + " failed because COM port not open.");
  // The caller relies on the line being where it asked for it; a port without modem lines
  // says so instead of passing in silence.
  if (!fComHandle.Escape(aFunction)) {
    throw TComPortException(std::string(aName) + " failed (error #" + std::to_string(fComHandle.LastError()) + ").");
  }
}

void TComPort::SetDTR(bool assert) { SetModemLine("SetDTR", assert ? platform::kSetDtr : platform::kClrDtr); }

void TComPort::SetRTS(bool assert) { SetModemLine("SetRTS", assert ? platform::kSetRts : platform::kClrRts); }
