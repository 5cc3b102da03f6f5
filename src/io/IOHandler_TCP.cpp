#include "io/IOHandler_TCP.h"

#include <chrono>

#include "core/Text.h"
#include "io/Connection.h"
#include "platform/Platform.h"

namespace {

constexpr int kEightBit = 0;
constexpr int kUsAscii = 20127;

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

std::string AsText(const std::string& aBytes) { return platform::DecodeText(aBytes, kEightBit); }
std::string AsAscii(const std::string& aBytes) { return platform::DecodeText(aBytes, kUsAscii); }
std::vector<uint8_t> AsByteArray(const std::string& aBytes) { return {aBytes.begin(), aBytes.end()}; }

bool Contains(const std::vector<uint8_t>& aChars, uint8_t aByte) {
  for (uint8_t c : aChars) {
    if (c == aByte) return true;
  }
  return false;
}

}  // namespace

kIOHandler_TCP::kIOHandler_TCP(const kConnection* aConnection, const std::string& aDirectory,
                               const std::string& aFileName)
    : kIOHandler(aConnection, aDirectory, aFileName) {
  if (aConnection != nullptr) {
    fTCPClient.SetHost(aConnection->Address());
    fTCPClient.SetPort(static_cast<uint16_t>(aConnection->Port() & 0xFFFF));
  }
  fTCPClient.SetConnectTimeout(ConnectTimeout());
  // ReadBytes reads with the client's time-out as it stands.
  if (ReadTimeout() > 0) fTCPClient.SetReadTimeout(ReadTimeout());
}

kIOHandler_TCP::~kIOHandler_TCP() = default;

bool kIOHandler_TCP::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "Host=" + fTCPClient.Host());
  Debug(let_info, "Port=" + std::to_string(fTCPClient.Port()));
  try {
    if (!fTCPClient.Connected()) fTCPClient.Connect();
    const bool connected = fTCPClient.Connected();
    if (!connected) WriteLog(let_error, "Connect Timeout", "");
    return connected;
  } catch (const std::exception& e) {
    WriteLog(let_error, "Connect Error", e.what());
    return false;
  }
}

bool kIOHandler_TCP::GetConnected() {
  try {
    return fTCPClient.Connected();
  } catch (...) {
    return false;
  }
}

bool kIOHandler_TCP::Disconnect() {
  if (GetConnected()) fTCPClient.Disconnect();
  return !GetConnected();
}

bool kIOHandler_TCP::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write", aMessage);
  fTCPClient.Write(platform::EncodeText(aMessage, CodePage()));
  return true;
}

std::string kIOHandler_TCP::ReadBytesUntil(const std::vector<uint8_t>& aChars, bool aRaise) {
  fTCPClient.SetReadTimeout(ReadTimeout());
  std::string list;
  std::string hex;
  for (uint8_t c : aChars) {
    const std::string character = AsText(std::string(1, static_cast<char>(c)));
    list += character + ",";
    hex += HexDump(character) + ",";
  }
  if (!list.empty()) list.pop_back();
  if (!hex.empty()) hex.pop_back();
  Debug(let_info, HexLog() ? "Waiting for:" + list + " [" + hex + "]" : "Waiting for:" + list);

  std::string bytes;
  const Clock::time_point start = Clock::now();
  try {
    for (;;) {
      const uint8_t byte = fTCPClient.ReadByte();
      bytes.push_back(static_cast<char>(byte));
      // Only the total counts: each read may wait the whole time-out once more.
      if (MillisecondsSince(start) > ReadTimeout()) {
        WriteLog(let_error, "Read Timeout", aRaise ? AsAscii(bytes) : AsText(bytes));
        break;
      }
      if (Contains(aChars, byte)) {
        WriteLog(let_info, "Read", aRaise ? AsAscii(bytes) : AsText(bytes));
        break;
      }
    }
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadUpTo Unexpected error", e.what());
    if (aRaise) throw;
  }
  return bytes;
}

std::string kIOHandler_TCP::ReadUpTo(const std::vector<uint8_t>& aChars) {
  return AsText(ReadBytesUntil(aChars, false));
}

std::vector<uint8_t> kIOHandler_TCP::ReadBytesUpTo(const std::vector<uint8_t>& aChars) {
  return AsByteArray(ReadBytesUntil(aChars, true));
}

std::string kIOHandler_TCP::ReadChars(int32_t aCharsNum) {
  std::string result;
  try {
    fTCPClient.SetReadTimeout(ReadTimeout());
    // A count that does not come in time stays in the input buffer for the next read.
    result = AsText(fTCPClient.ReadBytes(aCharsNum > 0 ? static_cast<size_t>(aCharsNum) : 0));
    if (CodePointCount(result) < static_cast<size_t>(aCharsNum > 0 ? aCharsNum : 0)) {
      WriteLog(let_error, "Read Timeout", result);
    } else {
      WriteLog(let_info, "Read", result);
    }
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadChars Unexpected error", e.what());
    result.clear();
  }
  return result;
}

std::string kIOHandler_TCP::ReadUntilClosed(bool aLogElapsed) {
  fTCPClient.SetReadTimeout(ReadTimeout());
  std::string bytes;
  const Clock::time_point start = Clock::now();
  // Byte arrays show as US-ASCII in the log, texts as their characters.
  const auto shown = [&] { return aLogElapsed ? AsAscii(bytes) : AsText(bytes); };
  try {
    for (;;) {
      bytes.push_back(static_cast<char>(fTCPClient.ReadByte()));
      if (MillisecondsSince(start) > ReadTimeout()) {
        WriteLog(let_error, "Read Timeout", shown());
        break;
      }
    }
  } catch (const platform::ESocketClosedGracefully&) {
    WriteLog(let_info, "Read", shown());
  } catch (const std::exception& e) {
    if (aLogElapsed) WriteLog(let_error, "lTimeoutExpired", std::to_string(MillisecondsSince(start)));
    WriteLog(let_error, "ReadAll Unexpected error", e.what());
  }
  return bytes;
}

std::string kIOHandler_TCP::ReadAll() { return AsText(ReadUntilClosed(false)); }

std::vector<uint8_t> kIOHandler_TCP::ReadAllBytes() { return AsByteArray(ReadUntilClosed(true)); }

bool kIOHandler_TCP::WriteBytes(const std::vector<uint8_t>& aBytes) {
  const std::string bytes(aBytes.begin(), aBytes.end());
  WriteLog(let_info, "Write", AsAscii(bytes));
  fTCPClient.Write(bytes);
  return true;
}

std::vector<uint8_t> kIOHandler_TCP::ReadBytes(int32_t aCount) {
  return AsByteArray(fTCPClient.ReadBytes(aCount > 0 ? static_cast<size_t>(aCount) : 0));
}
