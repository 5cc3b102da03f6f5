// Winsock. Started on first use, from the calling thread, never while the library loads;
// it stays started until the process ends.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "core/Text.h"
#include "platform/Library.h"
#include "platform/Socket.h"

namespace platform {

namespace {

void StartWinsock() {
  static std::once_flag once;
  static int result = 0;
  std::call_once(once, [] {
    WSADATA data;
    result = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (result != 0) throw EMxError("Winsock could not be started: " + SystemErrorMessage(static_cast<uint32_t>(result)));
}

SOCKET Handle(intptr_t aHandle) { return static_cast<SOCKET>(aHandle); }

[[noreturn]] void Fail(const std::string& aWhat, int aError) {
  throw EMxError(aWhat + ": " + SystemErrorMessage(static_cast<uint32_t>(aError)));
}

// select on one socket; the result as select gives it.
int WaitFor(SOCKET aSocket, bool aWrite, int aTimeout) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(aSocket, &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(aSocket, &errors);
  timeval time{aTimeout / 1000, (aTimeout % 1000) * 1000};
  // A failed connect shows in the error set.
  return select(0, aWrite ? nullptr : &set, aWrite ? &set : nullptr, aWrite ? &errors : nullptr,
                aTimeout < 0 ? nullptr : &time);
}

}  // namespace

void TcpSocket::Close() {
  if (fHandle == kNone) return;
  closesocket(Handle(fHandle));
  fHandle = kNone;
}

void TcpSocket::ShutdownSend() {
  if (fHandle != kNone) shutdown(Handle(fHandle), SD_SEND);
}

bool TcpSocket::Connect(const std::string& aHost, uint16_t aPort, int aTimeout) {
  Close();
  StartWinsock();
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* found = nullptr;
  const std::u16string host = Utf8ToUtf16(aHost);
  const std::u16string port = Utf8ToUtf16(std::to_string(aPort));
  if (const int error = GetAddrInfoW(reinterpret_cast<const wchar_t*>(host.c_str()),
                                     reinterpret_cast<const wchar_t*>(port.c_str()), &hints, &found);
      error != 0) {
    throw EMxError("Could not resolve host " + aHost + ": " + SystemErrorMessage(static_cast<uint32_t>(error)));
  }
  int lastError = 0;
  bool timedOut = false;
  for (ADDRINFOW* a = found; a != nullptr && fHandle == kNone; a = a->ai_next) {
    const SOCKET handle = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (handle == INVALID_SOCKET) {
      lastError = WSAGetLastError();
      continue;
    }
    u_long nonBlocking = 1;
    ioctlsocket(handle, FIONBIO, &nonBlocking);
    int error = 0;
    if (connect(handle, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) {
        const int ready = WaitFor(handle, true, aTimeout > 0 ? aTimeout : -1);
        if (ready == 0) {
          timedOut = true;
          error = WSAETIMEDOUT;
        } else if (ready == SOCKET_ERROR) {
          error = WSAGetLastError();
        } else {
          int size = sizeof error;
          if (getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
            error = WSAGetLastError();
          }
        }
      }
    }
    if (error != 0) {
      closesocket(handle);
      lastError = error;
      continue;
    }
    nonBlocking = 0;
    ioctlsocket(handle, FIONBIO, &nonBlocking);
    const BOOL on = TRUE;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    fHandle = static_cast<intptr_t>(handle);
  }
  FreeAddrInfoW(found);
  if (fHandle != kNone) return true;
  if (timedOut) return false;
  Fail("Could not connect to " + aHost + ":" + std::to_string(aPort), lastError);
}

void TcpSocket::SendAll(const void* aData, size_t aSize) {
  if (fHandle == kNone) throw EMxError("Not connected.");
  const char* data = static_cast<const char*>(aData);
  while (aSize > 0) {
    const int piece = aSize > 0x10000000 ? 0x10000000 : static_cast<int>(aSize);
    const int sent = send(Handle(fHandle), data, piece, 0);
    if (sent == SOCKET_ERROR) Fail("Send failed", WSAGetLastError());
    data += sent;
    aSize -= static_cast<size_t>(sent);
  }
}

size_t TcpSocket::Receive(void* aBuffer, size_t aSize, int aTimeout) {
  if (fHandle == kNone) throw EMxError("Not connected.");
  const int ready = WaitFor(Handle(fHandle), false, aTimeout < 0 ? -1 : aTimeout);
  if (ready == SOCKET_ERROR) Fail("Receive failed", WSAGetLastError());
  if (ready == 0) throw ESocketReadTimeout();
  const int piece = aSize > 0x10000000 ? 0x10000000 : static_cast<int>(aSize);
  const int count = recv(Handle(fHandle), static_cast<char*>(aBuffer), piece, 0);
  if (count == SOCKET_ERROR) Fail("Receive failed", WSAGetLastError());
  return static_cast<size_t>(count);
}

TcpListener::TcpListener(uint16_t aPort, int aBacklog) {
  StartWinsock();
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle == INVALID_SOCKET) Fail("Could not create a socket", WSAGetLastError());
  // Never share the port with another listener.
  const BOOL on = TRUE;
  setsockopt(handle, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(aPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(handle, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(handle, aBacklog) != 0 ||
      getsockname(handle, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    const int error = WSAGetLastError();
    closesocket(handle);
    Fail("Could not listen on port " + std::to_string(aPort), error);
  }
  fHandle = static_cast<intptr_t>(handle);
  fPort = ntohs(address.sin_port);
}

TcpListener::~TcpListener() { closesocket(Handle(fHandle)); }

TcpSocket TcpListener::Accept(int aTimeout) {
  if (WaitFor(Handle(fHandle), false, aTimeout) <= 0) return TcpSocket();
  const SOCKET handle = accept(Handle(fHandle), nullptr, nullptr);
  return handle == INVALID_SOCKET ? TcpSocket() : TcpSocket(static_cast<intptr_t>(handle));
}

}  // namespace platform
