#pragma once
// TCP streams: a connected socket, a listener on the loopback address (for simulated
// peers), and the buffered client that the TCP transport reads byte by byte. Host names
// are UTF-8; time-outs are milliseconds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Errors.h"

namespace platform {

// A read waited its whole time-out and no data came.
class ESocketReadTimeout : public EMxError {
 public:
  ESocketReadTimeout() : EMxError("Read timed out.") {}
};

// A read found the connection closed by the peer, with nothing left to read.
class ESocketClosedGracefully : public EMxError {
 public:
  ESocketClosedGracefully() : EMxError("Connection closed gracefully.") {}
};

// A connected stream socket; closed by its destructor.
class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket() { Close(); }
  TcpSocket(TcpSocket&& aOther) noexcept : fHandle(aOther.fHandle) { aOther.fHandle = kNone; }
  TcpSocket& operator=(TcpSocket&& aOther) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Connects to aHost:aPort, waiting at most aTimeout (0 or less: the system's own
  // limit). False when the time-out passed first; raises EMxError when the host is
  // unknown, the peer refuses or the system fails otherwise.
  bool Connect(const std::string& aHost, uint16_t aPort, int aTimeout);
  bool IsOpen() const { return fHandle != kNone; }
  void Close();
  // Stops sending; the peer reads the end of the stream while this side can still read.
  void ShutdownSend();

  // Sends everything; raises EMxError when the connection fails.
  void SendAll(const void* aData, size_t aSize);
  // Waits at most aTimeout (less than 0: no limit) for data and takes what there is, up
  // to aSize bytes. 0 means the peer has closed. Raises ESocketReadTimeout when nothing
  // came in time and EMxError when the connection fails.
  size_t Receive(void* aBuffer, size_t aSize, int aTimeout);

 private:
  friend class TcpListener;
  static constexpr intptr_t kNone = -1;
  explicit TcpSocket(intptr_t aHandle) : fHandle(aHandle) {}
  intptr_t fHandle = kNone;
};

// A listening socket on 127.0.0.1.
class TcpListener {
 public:
  // Port 0 takes a free port. Raises EMxError when the port cannot be had.
  explicit TcpListener(uint16_t aPort = 0, int aBacklog = 8);
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  uint16_t Port() const { return fPort; }
  // Waits at most aTimeout for a connection; an unopened socket when none came.
  TcpSocket Accept(int aTimeout);

 private:
  intptr_t fHandle = -1;
  uint16_t fPort = 0;
};

// A TCP client with an input buffer: what arrives is kept until it is read, so a read
// that times out loses nothing. Reads wait at most the read time-out for each piece.
class TcpClient {
 public:
  // Until told otherwise a read waits at most this long, never for ever.
  static constexpr int kDefaultReadTimeout = 30000;

  const std::string& Host() const { return fHost; }
  void SetHost(std::string aHost) { fHost = std::move(aHost); }
  uint16_t Port() const { return fPort; }
  void SetPort(uint16_t aPort) { fPort = aPort; }
  int ConnectTimeout() const { return fConnectTimeout; }
  void SetConnectTimeout(int aValue) { fConnectTimeout = aValue; }
  int ReadTimeout() const { return fReadTimeout; }
  // Less than 0: no limit.
  void SetReadTimeout(int aValue) { fReadTimeout = aValue; }

  // Drops a connection held before. False when the connect time-out passed; raises
  // EMxError for the other failures.
  bool Connect();
  void Disconnect();
  // Open, and either data is waiting or the peer has not closed.
  bool Connected();

  size_t InputBufferSize() const { return fInput.size() - fInputStart; }
  void ClearInputBuffer();

  // Raise ESocketReadTimeout or ESocketClosedGracefully (after what was buffered has been
  // read), EMxError "Not connected." without a connection. A count that does not arrive
  // in full stays in the input buffer.
  uint8_t ReadByte();
  std::string ReadBytes(size_t aCount);

  void Write(std::string_view aBytes);

 private:
  // Waits for more input; false when the peer has closed.
  bool Fill(int aTimeout);

  std::string fHost;
  uint16_t fPort = 0;
  int fConnectTimeout = 0;
  int fReadTimeout = kDefaultReadTimeout;
  TcpSocket fSocket;
  bool fPeerClosed = false;
  std::string fInput;
  size_t fInputStart = 0;
};

}  // namespace platform
