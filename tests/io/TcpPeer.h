#pragma once
// A peer on 127.0.0.1 for the transport tests: it accepts one connection on a free port,
// plays its script (pauses and bytes), then closes or waits for the client to close, and
// keeps what it received. Every wait is bounded, so a test that goes wrong still ends.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"

namespace iotest {

// A port on which nothing listens: a listener's, after it is gone.
inline uint16_t UnusedPort() { return platform::TcpListener().Port(); }

class tkTcpPeer {
 public:
  struct tStep {
    int PauseMs;
    std::string Bytes;
  };
  enum class tEnd { Close, Hold };

  explicit tkTcpPeer(std::vector<tStep> aScript, tEnd aEnd = tEnd::Hold)
      : fScript(std::move(aScript)), fEnd(aEnd), fThread([this] {
          try {
            Run();
          } catch (...) {
            // A client gone early ends the script; the test judges what it got.
          }
        }) {}
  ~tkTcpPeer() {
    fStop = true;
    fThread.join();
  }
  tkTcpPeer(const tkTcpPeer&) = delete;
  tkTcpPeer& operator=(const tkTcpPeer&) = delete;

  uint16_t Port() const { return fListener.Port(); }

  // What the peer has received so far, waiting up to aWaitMs for at least aCount bytes.
  std::string Received(size_t aCount = 0, int aWaitMs = 2000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aWaitMs);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fReceived.size() >= aCount || std::chrono::steady_clock::now() >= deadline) return fReceived;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  static constexpr int kLongestWaitMs = 10000;

  void Run() {
    platform::TcpSocket socket;
    for (int waited = 0; !socket.IsOpen() && !fStop && waited < kLongestWaitMs; waited += 50) {
      socket = fListener.Accept(50);
    }
    if (!socket.IsOpen()) return;
    for (const tStep& step : fScript) {
      Collect(socket, step.PauseMs);
      if (!step.Bytes.empty()) socket.SendAll(step.Bytes.data(), step.Bytes.size());
    }
    if (fEnd == tEnd::Close) {
      socket.ShutdownSend();
      Collect(socket, 100);
      return;
    }
    for (int waited = 0; !fStop && waited < kLongestWaitMs && Collect(socket, 50); waited += 50) {
    }
  }

  // Takes what arrives during aMs; false once the client has closed.
  bool Collect(platform::TcpSocket& aSocket, int aMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(aMs);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0) return true;
      char buffer[512];
      try {
        const size_t count = aSocket.Receive(buffer, sizeof buffer, static_cast<int>(left));
        if (count == 0) return false;
        std::lock_guard<std::mutex> lock(fMutex);
        fReceived.append(buffer, count);
      } catch (const platform::ESocketReadTimeout&) {
        return true;
      } catch (const EMxError&) {
        return false;
      }
    }
  }

  platform::TcpListener fListener;
  std::vector<tStep> fScript;
  tEnd fEnd;
  std::atomic<bool> fStop{false};
  std::mutex fMutex;
  std::string fReceived;
  std::thread fThread;  // last: starts once everything above exists
};

}  // namespace iotest
