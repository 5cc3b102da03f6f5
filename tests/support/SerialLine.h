#pragma once
// The far end of a COM port for the serial tests (tools/serialpeer). Natively the test
// holds a pseudo-terminal itself and names it for the port number through VELO_COM<n>;
// under Wine a host program maps the prefix's COM<n> to one and is steered through files
// in a shared folder.
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "PeerText.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#else
#include "SerialPeer.h"
#include "support/ScopedEnv.h"
#endif

class tkSerialLine {
 public:
  tkSerialLine() : fComNumber(20 + std::random_device()() % 200) { Start(); }
  ~tkSerialLine() { Stop(); }
  tkSerialLine(const tkSerialLine&) = delete;
  tkSerialLine& operator=(const tkSerialLine&) = delete;

  uint32_t ComNumber() const { return fComNumber; }
  std::string PortName() const { return "COM" + std::to_string(fComNumber); }

  // The far end sends aBytes after aDelayMs, one byte every aGapMs (0: all at once); the
  // call returns at once.
  void Send(std::string_view aBytes, int aDelayMs = 0, int aGapMs = 0) {
    Expect("send " + std::to_string(aDelayMs) + " " + std::to_string(aGapMs) + " " + serialpeer::Hex(aBytes), "ok");
  }
  // What the far end received: up to aCount bytes within aTimeoutMs.
  std::string Receive(size_t aCount, int aTimeoutMs = 1000) {
    const std::string reply = Command("recv " + std::to_string(aCount) + " " + std::to_string(aTimeoutMs));
    if (reply.rfind("data ", 0) != 0) throw std::runtime_error("serial peer: " + reply);
    return serialpeer::Bytes(reply.substr(5));
  }
  // Baud rate and stop bits as the far end sees them, e.g. "19200 2". (A pseudo-terminal
  // always has 8 data bits and no parity.)
  std::string SpeedAndStopBits() {
    const std::string reply = Command("line");
    if (reply.rfind("line ", 0) != 0) throw std::runtime_error("serial peer: " + reply);
    return reply.substr(5);
  }
  // The far end goes away: the line is dead from now on.
  void Hangup() { Expect("hangup", "ok"); }

 private:
  void Expect(const std::string& aCommand, const std::string& aReply) {
    const std::string reply = Command(aCommand);
    if (reply != aReply) throw std::runtime_error("serial peer: " + aCommand + ": " + reply);
  }

  uint32_t fComNumber;

#ifdef _WIN32
  void Start() {
    // Test programs share the prefix and so its port numbers: a number in use is replaced.
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (StartPeer()) return;
      fComNumber = 20 + std::random_device()() % 200;
    }
    throw std::runtime_error("the serial peer found no free port number");
  }
  bool StartPeer() {
    namespace fs = std::filesystem;
    // Z: is the machine's root under Wine; the peer is a program of the machine.
    fFolder = fs::path("Z:\\tmp") / ("velo-serial-" + std::to_string(std::random_device()()));
    fs::create_directories(fFolder);
    std::string peer = VELO_SERIAL_PEER;
    const std::string unixFolder = "/tmp/" + fFolder.filename().string();
    std::wstring command = L"\"Z:" + fs::path(peer).make_preferred().wstring() + L"\" " +
                           std::to_wstring(fComNumber) + L" " + fs::path(unixFolder).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      throw std::runtime_error("cannot start the serial peer: error " + std::to_string(GetLastError()));
    }
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(fFolder / "ready")) {
      if (fs::exists(fFolder / "busy")) {
        std::error_code ignored;
        fs::remove_all(fFolder, ignored);
        return false;
      }
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the serial peer did not start");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  void Stop() {
    namespace fs = std::filesystem;
    try {
      WriteAtomically(fFolder / ("cmd-" + std::to_string(fNext)), "quit");
      // The peer removes the port mapping before it goes; wait for that so that the next
      // test's port is not mapped to a dead line.
      WaitForFile(fFolder / ("cmd-" + std::to_string(fNext)), 5000, false);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } catch (...) {
    }
    std::error_code ignored;
    fs::remove_all(fFolder, ignored);
  }
  static bool WaitForFile(const std::filesystem::path& aPath, int aTimeoutMs, bool aPresent = true) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
    while (std::filesystem::exists(aPath) != aPresent) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  static void WriteAtomically(const std::filesystem::path& aPath, const std::string& aText) {
    const std::filesystem::path temporary = aPath.string() + ".part";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << aText;
    }
    std::filesystem::rename(temporary, aPath);
  }
  std::string Command(const std::string& aCommand) {
    const unsigned k = fNext++;
    WriteAtomically(fFolder / ("cmd-" + std::to_string(k)), aCommand);
    const std::filesystem::path reply = fFolder / ("reply-" + std::to_string(k));
    if (!WaitForFile(reply, 10000)) throw std::runtime_error("serial peer: no reply to " + aCommand);
    std::ifstream in(reply, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path fFolder;
  unsigned fNext = 1;
#else
  void Start() {
    fPeer = std::make_unique<tkSerialPeer>();
    fEnv = std::make_unique<ScopedEnv>("VELO_COM" + std::to_string(fComNumber), fPeer->DevicePath());
  }
  void Stop() {}
  std::string Command(const std::string& aCommand) { return fPeer->Execute(aCommand); }

  std::unique_ptr<tkSerialPeer> fPeer;
  std::unique_ptr<ScopedEnv> fEnv;
#endif
};
