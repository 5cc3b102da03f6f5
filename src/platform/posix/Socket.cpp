#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/Library.h"

namespace platform {

namespace {

[[noreturn]] void Fail(const std::string& aWhat, int aError) {
  throw EMxError(aWhat + ": " + SystemErrorMessage(static_cast<uint32_t>(aError)));
}

// poll that resumes after signals; the result as poll gives it.
int PollFor(int aHandle, short aEvents, int aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeout);
  for (;;) {
    pollfd entry{aHandle, aEvents, 0};
    int wait = aTimeout;
    if (aTimeout > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    const int result = poll(&entry, 1, wait);
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace

void TcpSocket::Close() {
  if (fHandle == kNone) return;
  ::close(static_cast<int>(fHandle));
  fHandle = kNone;
}

void TcpSocket::ShutdownSend() {
  if (fHandle != kNone) ::shutdown(static_cast<int>(fHandle), SHUT_WR);
}

bool TcpSocket::Connect(const std::string& aHost, uint16_t aPort, int aTimeout) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(aPort);
  if (const int error = getaddrinfo(aHost.c_str(), port.c_str(), &hints, &found); error != 0) {
    throw EMxError("Could not resolve host " + aHost + ": " + gai_strerror(error));
  }
  int lastError = 0;
  bool timedOut = false;
  for (addrinfo* a = found; a != nullptr && fHandle == kNone; a = a->ai_next) {
    const int handle = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (handle < 0) {
      lastError = errno;
      continue;
    }
    const int flags = fcntl(handle, F_GETFL);
    fcntl(handle, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (::connect(handle, a->ai_addr, a->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS) {
        const int ready = PollFor(handle, POLLOUT, aTimeout > 0 ? aTimeout : -1);
        if (ready == 0) {
          timedOut = true;
          error = ETIMEDOUT;
        } else if (ready < 0) {
          error = errno;
        } else {
          socklen_t size = sizeof error;
          if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        }
      }
    }
    if (error != 0) {
      ::close(handle);
      lastError = error;
      continue;
    }
    fcntl(handle, F_SETFL, flags);
    const int on = 1;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fHandle = handle;
  }
  freeaddrinfo(found);
  if (fHandle != kNone) return true;
  if (timedOut) return false;
  Fail("Could not connect to " + aHost + ":" + port, lastError);
}

void TcpSocket::SendAll(const void* aData, size_t aSize) {
  if (fHandle == kNone) throw EMxError("Not connected.");
  const char* data = static_cast<const char*>(aData);
  while (aSize > 0) {
    const ssize_t sent = ::send(static_cast<int>(fHandle), data, aSize, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      Fail("Send failed", errno);
    }
    data += sent;
    aSize -= static_cast<size_t>(sent);
  }
}

size_t TcpSocket::Receive(void* aBuffer, size_t aSize, int aTimeout) {
  if (fHandle == kNone) throw EMxError("Not connected.");
  const int ready = PollFor(static_cast<int>(fHandle), POLLIN, aTimeout < 0 ? -1 : aTimeout);
  if (ready < 0) Fail("Receive failed", errno);
  if (ready == 0) throw ESocketReadTimeout();
  for (;;) {
    const ssize_t count = ::recv(static_cast<int>(fHandle), aBuffer, aSize, 0);
    if (count >= 0) return static_cast<size_t>(count);
    if (errno != EINTR) Fail("Receive failed", errno);
  }
}

TcpListener::TcpListener(uint16_t aPort, int aBacklog) {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) Fail("Could not create a socket", errno);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(aPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(handle, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(handle, aBacklog) != 0 ||
      getsockname(handle, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    const int error = errno;
    ::close(handle);
    Fail("Could not listen on port " + std::to_string(aPort), error);
  }
  fHandle = handle;
  fPort = ntohs(address.sin_port);
}

TcpListener::~TcpListener() { ::close(static_cast<int>(fHandle)); }

TcpSocket TcpListener::Accept(int aTimeout) {
  if (PollFor(static_cast<int>(fHandle), POLLIN, aTimeout) <= 0) return TcpSocket();
  const int handle = ::accept4(static_cast<int>(fHandle), nullptr, nullptr, SOCK_CLOEXEC);
  return handle < 0 ? TcpSocket() : TcpSocket(handle);
}

}  // namespace platform
