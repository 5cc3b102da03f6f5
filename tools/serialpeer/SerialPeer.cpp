#include "SerialPeer.h"

#include "PeerText.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace {

using serialpeer::Bytes;
using serialpeer::Hex;

struct Rate {
  speed_t speed;
  unsigned baud;
};
constexpr Rate kRates[] = {{B50, 50},       {B110, 110},     {B300, 300},     {B1200, 1200},   {B2400, 2400},
                           {B4800, 4800},   {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600},
                           {B115200, 115200}, {B230400, 230400}};

}  // namespace

tkSerialPeer::tkSerialPeer() {
  fMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fMaster == -1 || grantpt(fMaster) != 0 || unlockpt(fMaster) != 0) {
    throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(errno));
  }
  char name[128] = {};
  if (ptsname_r(fMaster, name, sizeof(name)) != 0) throw std::runtime_error("ptsname failed");
  fDevicePath = name;
  fSlave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fSlave == -1) throw std::runtime_error("cannot open " + fDevicePath);
  // Raw until the port under test sets the line, so that nothing is echoed or translated.
  termios block{};
  tcgetattr(fSlave, &block);
  cfmakeraw(&block);
  tcsetattr(fSlave, TCSANOW, &block);
}

tkSerialPeer::~tkSerialPeer() {
  JoinSenders();
  if (fSlave != -1) close(fSlave);
  if (fMaster != -1) close(fMaster);
}

bool tkSerialPeer::TakeAsControllingTerminal() {
  setsid();
  return ioctl(fSlave, TIOCSCTTY, 0) == 0;
}

void tkSerialPeer::JoinSenders() {
  for (std::thread& sender : fSenders) sender.join();
  fSenders.clear();
}

std::string tkSerialPeer::Execute(const std::string& aCommand) {
  std::istringstream in(aCommand);
  std::string verb;
  in >> verb;
  if (verb == "send") {
    int delay = 0, gap = 0;
    std::string hex;
    in >> delay >> gap >> hex;
    if (fMaster == -1) return "error line is down";
    fSenders.emplace_back([this, delay, gap, bytes = Bytes(hex)] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      const size_t piece = gap > 0 ? 1 : bytes.size();
      for (size_t i = 0; i < bytes.size(); i += piece) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gap));
        std::lock_guard<std::mutex> lock(fWriteLock);
        if (fMaster == -1 || write(fMaster, bytes.data() + i, piece) != static_cast<ssize_t>(piece)) return;
      }
    });
    return "ok";
  }
  if (verb == "recv") {
    size_t count = 0;
    int timeout = 0;
    in >> count >> timeout;
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    while (received.size() < count && fMaster != -1) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd p{fMaster, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buffer[256];
      const ssize_t n = read(fMaster, buffer, std::min(sizeof(buffer), count - received.size()));
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
    return "data " + Hex(received);
  }
  if (verb == "line") {
    // The master side reads the terminal's settings, as the port under test left them.
    termios block{};
    if (fMaster == -1 || tcgetattr(fMaster, &block) != 0) return "error no line settings";
    unsigned baud = 0;
    for (const Rate& r : kRates) {
      if (r.speed == cfgetospeed(&block)) baud = r.baud;
    }
    return "line " + std::to_string(baud) + ((block.c_cflag & CSTOPB) ? " 2" : " 1");
  }
  if (verb == "hangup") {
    JoinSenders();
    std::lock_guard<std::mutex> lock(fWriteLock);
    if (fMaster != -1) close(fMaster);
    fMaster = -1;
    return "ok";
  }
  return "error unknown command " + verb;
}
