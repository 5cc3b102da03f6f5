// Serial ports through the communications API.
#include "platform/SerialPort.h"

#include <windows.h>

#include <string>

namespace platform {

struct SerialPort::State {
  HANDLE Handle = INVALID_HANDLE_VALUE;
  DCB Block{};
};

SerialPort::SerialPort() : fState(std::make_unique<State>()) {}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::IsOpen() const { return fState->Handle != INVALID_HANDLE_VALUE; }

namespace {

bool Done(BOOL aResult, uint32_t& aLastError) {
  if (!aResult) aLastError = GetLastError();
  return aResult != FALSE;
}

}  // namespace

bool SerialPort::Open(uint32_t aComNumber) {
  Close();
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(aComNumber);
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    fLastError = GetLastError();
    return false;
  }
  fState->Handle = handle;
  return true;
}

bool SerialPort::Close() {
  if (!IsOpen()) return true;
  const BOOL closed = CloseHandle(fState->Handle);
  fState->Handle = INVALID_HANDLE_VALUE;
  return Done(closed, fLastError);
}

bool SerialPort::GetLine(SerialLine& aLine) {
  DCB block{};
  block.DCBlength = sizeof(block);
  if (!Done(GetCommState(fState->Handle, &block), fLastError)) return false;
  fState->Block = block;
  aLine.BaudRate = block.BaudRate;
  aLine.ByteSize = block.ByteSize;
  aLine.Parity = block.Parity;
  aLine.StopBits = block.StopBits;
  return true;
}

bool SerialPort::SetLine(const SerialLine& aLine) {
  DCB block = fState->Block;
  block.DCBlength = sizeof(block);
  block.BaudRate = aLine.BaudRate;
  block.ByteSize = aLine.ByteSize;
  block.Parity = aLine.Parity;
  block.StopBits = aLine.StopBits;
  if (!Done(SetCommState(fState->Handle, &block), fLastError)) {
    // SetCommState applies the block field by field and may stop half-way (the baud
    // rate taken, the byte size refused): put back the block as it was read.
    SetCommState(fState->Handle, &fState->Block);
    return false;
  }
  fState->Block = block;
  return true;
}

bool SerialPort::GetTimeouts(SerialTimeouts& aTimeouts) {
  COMMTIMEOUTS t{};
  if (!Done(GetCommTimeouts(fState->Handle, &t), fLastError)) return false;
  aTimeouts = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
               t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
  return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& aTimeouts) {
  COMMTIMEOUTS t{aTimeouts.ReadInterval, aTimeouts.ReadTotalMultiplier, aTimeouts.ReadTotalConstant,
                 aTimeouts.WriteTotalMultiplier, aTimeouts.WriteTotalConstant};
  return Done(SetCommTimeouts(fState->Handle, &t), fLastError);
}

bool SerialPort::Read(void* aBuffer, uint32_t aCount, uint32_t& aRead) {
  DWORD read = 0;
  const bool done = Done(ReadFile(fState->Handle, aBuffer, aCount, &read, nullptr), fLastError);
  aRead = read;
  return done;
}

bool SerialPort::Write(const void* aBuffer, uint32_t aCount, uint32_t& aWritten) {
  DWORD written = 0;
  const bool done = Done(WriteFile(fState->Handle, aBuffer, aCount, &written, nullptr), fLastError);
  aWritten = written;
  return done;
}

bool SerialPort::Purge(uint32_t aFlags) { return Done(PurgeComm(fState->Handle, aFlags), fLastError); }

bool SerialPort::ClearError(uint32_t& aErrors, uint32_t& aInQueue) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!Done(ClearCommError(fState->Handle, &errors, &status), fLastError)) return false;
  aErrors = errors;
  aInQueue = status.cbInQue;
  return true;
}

bool SerialPort::Escape(uint32_t aFunction) {
  return Done(EscapeCommFunction(fState->Handle, aFunction), fLastError);
}

}  // namespace platform
