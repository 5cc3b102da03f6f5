#pragma once
// The far end of a serial line for tests: a pseudo-terminal pair. The port under test
// opens the terminal side (DevicePath); the peer holds the other side and answers one
// text command with one text reply:
//   send <delay ms> <gap ms> <hex>  after the delay, the bytes, gap ms apart (0: at once)
//   recv <count> <timeout ms>       "data <hex>": up to count bytes received in that time
//   line                            "line <baud> <stop bits>" (a pseudo-terminal keeps no
//                                   data bits or parity: the kernel resets them to 8, none)
//   hangup                          closes the peer's side: the line goes dead
// Other replies are "ok", or "error <text>".
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class tkSerialPeer {
 public:
  tkSerialPeer();  // raises std::runtime_error when no pseudo-terminal can be had
  ~tkSerialPeer();
  tkSerialPeer(const tkSerialPeer&) = delete;
  tkSerialPeer& operator=(const tkSerialPeer&) = delete;

  const std::string& DevicePath() const { return fDevicePath; }
  // Takes the terminal as this process's controlling terminal, so that no other process
  // that opens it can (Wine's server would otherwise).
  bool TakeAsControllingTerminal();
  std::string Execute(const std::string& aCommand);

 private:
  void JoinSenders();

  int fMaster = -1;
  int fSlave = -1;  // held open so that the line stays up between the test's opens
  std::string fDevicePath;
  std::mutex fWriteLock;
  std::vector<std::thread> fSenders;
};
