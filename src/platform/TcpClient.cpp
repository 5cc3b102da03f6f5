#include "platform/Socket.h"

namespace {

constexpr size_t kReceiveChunk = 4096;

}  // namespace

namespace platform {

TcpSocket& TcpSocket::operator=(TcpSocket&& aOther) noexcept {
  if (this != &aOther) {
    Close();
    fHandle = aOther.fHandle;
    aOther.fHandle = kNone;
  }
  return *this;
}

bool TcpClient::Connect() {
  Disconnect();
  TcpSocket socket;
  if (!socket.Connect(fHost, fPort, fConnectTimeout)) return false;
  fSocket = std::move(socket);
  return true;
}

void TcpClient::Disconnect() {
  fSocket.Close();
  fPeerClosed = false;
  ClearInputBuffer();
}

bool TcpClient::Connected() {
  if (!fSocket.IsOpen()) return false;
  if (InputBufferSize() > 0) return true;
  if (fPeerClosed) return false;
  try {
    // A close that has arrived unnoticed shows as a read of nothing.
    return Fill(0) || InputBufferSize() > 0;
  } catch (const ESocketReadTimeout&) {
    return true;
  } catch (const EMxError&) {
    return false;
  }
}

void TcpClient::ClearInputBuffer() {
  fInput.clear();
  fInputStart = 0;
}

bool TcpClient::Fill(int aTimeout) {
  if (!fSocket.IsOpen()) throw EMxError("Not connected.");
  if (fPeerClosed) return false;
  if (fInputStart > 0 && fInputStart == fInput.size()) ClearInputBuffer();
  const size_t old = fInput.size();
  fInput.resize(old + kReceiveChunk);
  size_t count = 0;
  try {
    count = fSocket.Receive(fInput.data() + old, kReceiveChunk, aTimeout);
  } catch (...) {
    fInput.resize(old);
    throw;
  }
  fInput.resize(old + count);
  if (count == 0) fPeerClosed = true;
  return count > 0;
}

uint8_t TcpClient::ReadByte() {
  if (InputBufferSize() == 0 && !Fill(fReadTimeout)) throw ESocketClosedGracefully();
  return static_cast<uint8_t>(fInput[fInputStart++]);
}

std::string TcpClient::ReadBytes(size_t aCount) {
  while (InputBufferSize() < aCount) {
    if (!Fill(fReadTimeout)) throw ESocketClosedGracefully();
  }
  std::string bytes = fInput.substr(fInputStart, aCount);
  fInputStart += aCount;
  return bytes;
}

void TcpClient::Write(std::string_view aBytes) {
  if (!fSocket.IsOpen()) throw EMxError("Not connected.");
  fSocket.SendAll(aBytes.data(), aBytes.size());
}

}  // namespace platform
