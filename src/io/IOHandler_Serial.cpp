#include "io/IOHandler_Serial.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "core/Numbers.h"
#include "core/Text.h"
#include "io/Connection.h"
#include "platform/Platform.h"

namespace {

constexpr uint32_t kPassTimeout = 100;  // milliseconds per one-byte read

using Clock = std::chrono::steady_clock;

uint32_t PortNumber(const std::string& aSerialPort) {
  const std::string digits(MidCodePoints(aSerialPort, 3, 3));
  // Whole numbers as the platform's integer conversion reads them.
  const std::optional<int32_t> value = ParseInt32(digits, tkIntegerSyntax{.LeadingBlanks = true, .Hex = true});
  if (!value) throw EMxError("'" + digits + "' is not a valid integer value");
  return static_cast<uint32_t>(*value);
}

TParity PortParity(tkParity aParity) {
  switch (aParity) {
    case tkParity::None: return ptNone;
    case tkParity::Even: return ptEven;
    case tkParity::Odd: return ptOdd;
  }
  throw EMxError("Parity invalid");
}

TStopBits PortStopBits(int32_t aStopBits) {
  if (aStopBits == 1) return sbOne;
  if (aStopBits == 2) return sbTwo;
  throw EMxError("Stop Bits " + std::to_string(aStopBits) + " invalid");
}

const char* ParityLine(TParity aParity) {
  static constexpr const char* kLines[] = {"Parity=none", "Parity=odd", "Parity=even", "Parity=mark",
                                           "Parity=space"};
  return aParity <= ptSpace ? kLines[aParity] : "Parity=";
}

const char* StopBitsLine(TStopBits aStopBits) {
  static constexpr const char* kLines[] = {"StopBits=1", "StopBits=1.5", "StopBits=2"};
  return aStopBits <= sbTwo ? kLines[aStopBits] : "StopBits=";
}

int64_t ElapsedMs(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

// The character of byte code aByte, as text of the library.
std::string ByteChar(uint8_t aByte) { return Utf16ToUtf8(std::u16string(1, char16_t{aByte})); }

}  // namespace

kIOHandler_Serial::kIOHandler_Serial(const kConnection* aConnection, const std::string& aDirectory,
                                     const std::string& aFileName)
    : kIOHandler(aConnection, aDirectory, aFileName) {
  const kConnection settings = aConnection != nullptr ? *aConnection : kConnection();
  const uint32_t number = PortNumber(settings.SerialPort());
  const TParity parity = PortParity(settings.Parity());
  const TStopBits stopBits = PortStopBits(settings.StopBits());
  fComPort = std::make_unique<TComPort>(number, static_cast<uint32_t>(settings.Speed()),
                                        static_cast<uint8_t>(settings.DataBits() & 0xFF), stopBits, parity);
}

kIOHandler_Serial::~kIOHandler_Serial() = default;

bool kIOHandler_Serial::Connect() {
  kIOHandler::Connect();
  Debug(let_info, std::string("Serial Driver Version: ") + TComPort::DriverVersion());
  Debug(let_info, "SerialPort=COM" + std::to_string(fComPort->ComNumber()));
  Debug(let_info, "Speed=" + std::to_string(fComPort->BaudRate()));
  Debug(let_info, ParityLine(fComPort->Parity()));
  Debug(let_info, "DataBits=" + std::to_string(fComPort->DataBits()));
  Debug(let_info, StopBitsLine(fComPort->StopBits()));
  fComPort->Open();
  return fComPort->ComIsOpen();
}

bool kIOHandler_Serial::Disconnect() {
  fComPort->Close();
  return !fComPort->ComIsOpen();
}

bool kIOHandler_Serial::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write", aMessage);
  return fComPort->WriteText(platform::EncodeText(aMessage, platform::AnsiCodePage()));
}

std::string kIOHandler_Serial::ReadAll() { throw EMxError("ReadAll Unsupported"); }

bool kIOHandler_Serial::ReadByte(std::string& aResult, uint8_t& aByte, uint32_t& aError) {
  const Clock::time_point start = Clock::now();
  const int32_t read = fComPort->Read(&aByte, 1, kPassTimeout, aError);
  if (read == 1) {
    aResult += ByteChar(aByte);
    return true;
  }
  // A failed read returns at once; the pass still takes its time, so that a dead line is
  // neither polled in a busy loop nor logged thousands of times a second.
  if (read < 0) std::this_thread::sleep_until(start + std::chrono::milliseconds(kPassTimeout));
  return false;
}

void kIOHandler_Serial::LogRead(bool aTimedOut, const std::string& aResult) {
  if (aTimedOut) WriteLog(let_error, "Read Timeout", aResult);
  else WriteLog(let_info, "Read", aResult);
}

std::string kIOHandler_Serial::ReadChars(int32_t aCharsNum) {
  std::string result;
  int64_t count = 0;
  const Clock::time_point start = Clock::now();
  uint32_t error = 0;
  bool timedOut = false;
  // Nothing is read for a count of 0 or less: reading on would swallow input until the
  // time-out.
  while (count < aCharsNum && !timedOut) {
    uint8_t byte = 0;
    if (ReadByte(result, byte, error)) ++count;
    timedOut = count < aCharsNum && ElapsedMs(start) > ReadTimeout();
  }
  LogRead(timedOut, result);
  return result;
}

std::string kIOHandler_Serial::ReadUpTo(const std::vector<uint8_t>& aChars) {
  std::string list;
  std::string hex;
  for (uint8_t terminator : aChars) {
    list += ByteChar(terminator) + ",";
    hex += HexDump(ByteChar(terminator)) + ",";
  }
  if (!list.empty()) list.pop_back();
  if (!hex.empty()) hex.pop_back();
  Debug(let_info, HexLog() ? "Waiting for:" + list + " [" + hex + "]" : "Waiting for:" + list);

  std::string result;
  const Clock::time_point start = Clock::now();
  uint32_t error = 0;
  bool timedOut = false;
  while (true) {
    uint8_t byte = 0;
    const bool came = ReadByte(result, byte, error);
    // The error stays what the last failed read reported.
    if (error != 0) WriteLog(let_error, "Read Error", std::to_string(error));
    if (came) {
      if (std::find(aChars.begin(), aChars.end(), byte) != aChars.end()) break;
    } else if (ElapsedMs(start) > ReadTimeout()) {
      timedOut = true;
      break;
    }
  }
  LogRead(timedOut, result);
  return result;
}
