// Serial ports over termios, behaving as the Windows communications calls do: raw bytes,
// read time-outs counted by the port, line fields of a device-control block, Windows
// error codes.
#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <string>

namespace platform {

struct SerialPort::State {
  int Fd = -1;
  termios Block{};
  SerialTimeouts Timeouts;
  uint32_t Errors = 0;  // flags since the last ClearError
};

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kErrorInvalidFunction = 1, kErrorInvalidHandle = 6, kErrorGenFailure = 31,
                   kErrorInvalidParameter = 87, kErrorIoDevice = 1117;

uint32_t WindowsError(int aErrno) {
  switch (aErrno) {
    case ENOENT: case ENXIO: case ENODEV: case ENOTDIR: return kErrorFileNotFound;
    case EACCES: case EPERM: case EBUSY: case EWOULDBLOCK: return kErrorAccessDenied;
    case ENOTTY: return kErrorNotSupported;
    case EINVAL: return kErrorInvalidParameter;
    case EIO: return kErrorIoDevice;
    default: return kErrorGenFailure;
  }
}

struct BaudRate {
  uint32_t Rate;
  speed_t Speed;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
};

// Milliseconds left until aDeadline, for poll.
int MillisecondsUntil(Clock::time_point aDeadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(aDeadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// The deadline of a transfer of aCount bytes, or none when both parts are 0.
bool TotalDeadline(uint32_t aMultiplier, uint32_t aConstant, uint32_t aCount, Clock::time_point& aDeadline) {
  const uint64_t total = uint64_t{aMultiplier} * aCount + aConstant;
  if (total == 0) return false;
  aDeadline = Clock::now() + std::chrono::milliseconds(total);
  return true;
}

}  // namespace

SerialPort::SerialPort() : fState(std::make_unique<State>()) {}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::IsOpen() const { return fState->Fd != -1; }

bool SerialPort::Open(uint32_t aComNumber) {
  Close();
  std::string path;
  if (const char* named = std::getenv(("VELO_COM" + std::to_string(aComNumber)).c_str()); named && *named) {
    path = named;
  } else if (aComNumber > 0) {
    path = "/dev/ttyS" + std::to_string(aComNumber - 1);
  } else {
    fLastError = kErrorFileNotFound;
    return false;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd == -1) {
    fLastError = WindowsError(errno);
    return false;
  }
  // Opened without sharing, as Windows opens a port: a second opener gets "access denied".
  // The lock holds for root too, which TIOCEXCL alone would let through.
  termios block{};
  uint32_t error = 0;
  if (tcgetattr(fd, &block) == -1) {
    error = kErrorFileNotFound;  // no terminal, so no port
  } else if (flock(fd, LOCK_EX | LOCK_NB) == -1) {
    error = WindowsError(errno);
  } else {
    ioctl(fd, TIOCEXCL);
    // A Windows port passes bytes unchanged and reads only as its time-outs say.
    cfmakeraw(&block);
    block.c_cflag |= CLOCAL | CREAD;
    block.c_cc[VMIN] = 0;
    block.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &block) == -1) error = WindowsError(errno);
  }
  if (error != 0) {
    close(fd);
    fLastError = error;
    return false;
  }
  fState->Fd = fd;
  fState->Block = block;
  fState->Timeouts = {};
  fState->Errors = 0;
  return true;
}

bool SerialPort::Close() {
  if (!IsOpen()) return true;
  ioctl(fState->Fd, TIOCNXCL);  // the flag outlives this descriptor on a terminal held elsewhere
  const int result = close(fState->Fd);
  fState->Fd = -1;
  if (result == -1) fLastError = WindowsError(errno);
  return result == 0;
}

bool SerialPort::GetLine(SerialLine& aLine) {
  termios block{};
  if (tcgetattr(fState->Fd, &block) == -1) {
    fLastError = WindowsError(errno);
    return false;
  }
  fState->Block = block;
  const speed_t speed = cfgetospeed(&block);
  aLine.BaudRate = 0;
  for (const BaudRate& rate : kBaudRates) {
    if (rate.Speed == speed) aLine.BaudRate = rate.Rate;
  }
  switch (block.c_cflag & CSIZE) {
    case CS5: aLine.ByteSize = 5; break;
    case CS6: aLine.ByteSize = 6; break;
    case CS7: aLine.ByteSize = 7; break;
    default: aLine.ByteSize = 8; break;
  }
  const bool odd = (block.c_cflag & PARODD) != 0;
  if ((block.c_cflag & PARENB) == 0) aLine.Parity = 0;
  else if ((block.c_cflag & CMSPAR) != 0) aLine.Parity = odd ? 3 : 4;
  else aLine.Parity = odd ? 1 : 2;
  // Two stop bits on a 5-bit character are one and a half, as on a UART.
  if ((block.c_cflag & CSTOPB) == 0) aLine.StopBits = 0;
  else aLine.StopBits = aLine.ByteSize == 5 ? 1 : 2;
  return true;
}

bool SerialPort::SetLine(const SerialLine& aLine) {
  termios block = fState->Block;
  const BaudRate* rate = nullptr;
  for (const BaudRate& r : kBaudRates) {
    if (r.Rate == aLine.BaudRate) rate = &r;
  }
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  static constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
  // Windows refuses 1.5 stop bits with more than 5 data bits and 2 with 5.
  const bool fiveBits = aLine.ByteSize == 5;
  if (rate == nullptr || aLine.ByteSize < 5 || aLine.ByteSize > 8 || aLine.Parity > 4 || aLine.StopBits > 2 ||
      (aLine.StopBits == 1) != (fiveBits && aLine.StopBits != 0)) {
    fLastError = kErrorInvalidParameter;
    return false;
  }
  cfsetispeed(&block, rate->Speed);
  cfsetospeed(&block, rate->Speed);
  block.c_cflag = (block.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) | kSizes[aLine.ByteSize - 5] |
                  kParities[aLine.Parity] | (aLine.StopBits != 0 ? CSTOPB : 0);
  block.c_iflag = (block.c_iflag & ~INPCK) | (aLine.Parity != 0 ? INPCK : 0);
  if (tcsetattr(fState->Fd, TCSANOW, &block) == -1) {
    fLastError = WindowsError(errno);
    return false;
  }
  fState->Block = block;
  return true;
}

bool SerialPort::GetTimeouts(SerialTimeouts& aTimeouts) {
  if (!IsOpen()) {
    fLastError = kErrorInvalidHandle;
    return false;
  }
  aTimeouts = fState->Timeouts;
  return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& aTimeouts) {
  if (!IsOpen()) {
    fLastError = kErrorInvalidHandle;
    return false;
  }
  fState->Timeouts = aTimeouts;
  return true;
}

bool SerialPort::Read(void* aBuffer, uint32_t aCount, uint32_t& aRead) {
  aRead = 0;
  const SerialTimeouts& t = fState->Timeouts;
  constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();
  // Interval "infinite" with no total: return at once with what has arrived.
  const bool immediate = t.ReadInterval == kMax && t.ReadTotalMultiplier == 0 && t.ReadTotalConstant == 0;
  Clock::time_point deadline;
  const bool total = !immediate && TotalDeadline(t.ReadTotalMultiplier, t.ReadTotalConstant, aCount, deadline);
  const bool interval = t.ReadInterval != 0 && t.ReadInterval != kMax;
  Clock::time_point lastByte;
  auto* bytes = static_cast<unsigned char*>(aBuffer);
  while (aRead < aCount) {
    int wait = -1;
    if (immediate) wait = 0;
    if (total) wait = MillisecondsUntil(deadline);
    if (interval && aRead > 0) {
      const int gap = MillisecondsUntil(lastByte + std::chrono::milliseconds(t.ReadInterval));
      if (wait == -1 || gap < wait) wait = gap;
    }
    pollfd p{fState->Fd, POLLIN, 0};
    const int ready = poll(&p, 1, wait);
    if (ready == -1) {
      if (errno == EINTR) continue;
      fLastError = WindowsError(errno);
      return false;
    }
    if (ready == 0) break;
    const ssize_t n = read(fState->Fd, bytes + aRead, aCount - aRead);
    if (n > 0) {
      aRead += static_cast<uint32_t>(n);
      lastByte = Clock::now();
      continue;
    }
    if (n == -1 && (errno == EAGAIN || errno == EINTR)) continue;
    // Readable yet nothing to read: the device has gone (a pty whose other side closed).
    fState->Errors |= kCommIOError;
    fLastError = n == 0 ? kErrorIoDevice : WindowsError(errno);
    return false;
  }
  return true;
}

bool SerialPort::Write(const void* aBuffer, uint32_t aCount, uint32_t& aWritten) {
  aWritten = 0;
  Clock::time_point deadline;
  const bool total = TotalDeadline(fState->Timeouts.WriteTotalMultiplier, fState->Timeouts.WriteTotalConstant,
                                   aCount, deadline);
  const auto* bytes = static_cast<const unsigned char*>(aBuffer);
  while (aWritten < aCount) {
    const ssize_t n = write(fState->Fd, bytes + aWritten, aCount - aWritten);
    if (n > 0) {
      aWritten += static_cast<uint32_t>(n);
      continue;
    }
    if (n == -1 && errno != EAGAIN && errno != EINTR) {
      fState->Errors |= kCommIOError;
      fLastError = WindowsError(errno);
      return false;
    }
    pollfd p{fState->Fd, POLLOUT, 0};
    if (poll(&p, 1, total ? MillisecondsUntil(deadline) : -1) == 0) break;  // write time-out
  }
  return true;
}

bool SerialPort::Purge(uint32_t aFlags) {
  const bool input = (aFlags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
  const bool output = (aFlags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
  if (!input && !output) return true;
  if (tcflush(fState->Fd, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) == -1) {
    fLastError = WindowsError(errno);
    return false;
  }
  return true;
}

bool SerialPort::ClearError(uint32_t& aErrors, uint32_t& aInQueue) {
  if (!IsOpen()) {
    fLastError = kErrorInvalidHandle;
    return false;
  }
  int pending = 0;
  if (ioctl(fState->Fd, FIONREAD, &pending) == -1) pending = 0;
  aErrors = fState->Errors;
  aInQueue = static_cast<uint32_t>(pending);
  fState->Errors = 0;
  return true;
}

bool SerialPort::Escape(uint32_t aFunction) {
  int line = 0;
  unsigned long request = 0;
  switch (aFunction) {
    case kSetRts: line = TIOCM_RTS; request = TIOCMBIS; break;
    case kClrRts: line = TIOCM_RTS; request = TIOCMBIC; break;
    case kSetDtr: line = TIOCM_DTR; request = TIOCMBIS; break;
    case kClrDtr: line = TIOCM_DTR; request = TIOCMBIC; break;
    default: fLastError = kErrorInvalidFunction; return false;
  }
  if (ioctl(fState->Fd, request, &line) == -1) {
    // A pseudo-terminal has no modem lines: "not supported", as Wine reports it.
    fLastError = errno == EINVAL ? kErrorNotSupported : WindowsError(errno);
    return false;
  }
  return true;
}

}  // namespace platform
