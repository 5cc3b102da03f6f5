#pragma once
// An HTTP server on 127.0.0.1 for the HTTP transport tests: one request per connection,
// answered as its mode says (a fixed status, Basic or Digest credentials first, a reply
// that breaks off, or no reply at all). It checks Digest answers with the tests' own MD5
// and keeps every request it read. Every wait is bounded.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/Text.h"
#include "platform/Socket.h"
#include "support/Md5.h"

namespace iotest {

class tkHttpPeer {
 public:
  enum class tMode { Answer, Basic, Digest, BreakOff, Silent };
  struct tRequest {
    std::string Method, Target, Body;
    std::vector<std::pair<std::string, std::string>> Headers;
    // Values of every header of that name.
    std::vector<std::string> All(const std::string& aName) const {
      std::vector<std::string> values;
      for (const auto& [name, value] : Headers) {
        if (SameText(name, aName)) values.push_back(value);
      }
      return values;
    }
    std::string Header(const std::string& aName) const {
      const auto values = All(aName);
      return values.empty() ? std::string() : values.front();
    }
  };

  static constexpr const char* kRealm = "velo@127.0.0.1";
  static constexpr const char* kNonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
  static constexpr const char* kOpaque = "5ccc069c403ebaf9f0171e9517f40e41";

  explicit tkHttpPeer(tMode aMode, int aStatus = 200, std::string aReason = "OK", std::string aBody = "",
                      std::string aUser = "", std::string aPassword = "")
      : fMode(aMode), fStatus(aStatus), fReason(std::move(aReason)), fBody(std::move(aBody)),
        fUser(std::move(aUser)), fPassword(std::move(aPassword)), fThread([this] { Run(); }) {}
  ~tkHttpPeer() {
    fStop = true;
    fThread.join();
  }
  tkHttpPeer(const tkHttpPeer&) = delete;
  tkHttpPeer& operator=(const tkHttpPeer&) = delete;

  uint16_t Port() const { return fListener.Port(); }
  std::string Url(const std::string& aPath = "/pay") const {
    return "http://127.0.0.1:" + std::to_string(Port()) + aPath;
  }
  std::vector<tRequest> Requests() {
    std::lock_guard<std::mutex> lock(fMutex);
    return fRequests;
  }
  int Challenges() const { return fChallenges; }

  static std::string Base64(std::string_view aData) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int bits = 0;
    unsigned value = 0;
    for (unsigned char c : aData) {
      value = (value << 8) | c;
      bits += 8;
      while (bits >= 6) {
        bits -= 6;
        out.push_back(digits[(value >> bits) & 63]);
      }
    }
    if (bits > 0) out.push_back(digits[(value << (6 - bits)) & 63]);
    while (out.size() % 4 != 0) out.push_back('=');
    return out;
  }

 private:
  static constexpr int kLongestWaitMs = 10000;

  void Run() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongestWaitMs * 3);
    while (!fStop && std::chrono::steady_clock::now() < end) {
      platform::TcpSocket socket = fListener.Accept(50);
      if (!socket.IsOpen()) continue;
      try {
        Serve(socket);
      } catch (const EMxError&) {
        // The client went away; the next connection is served all the same.
      }
    }
  }

  // Reads one request: false when the client closed or sent something else.
  static bool Read(platform::TcpSocket& aSocket, tRequest& aRequest) {
    std::string data;
    size_t headerEnd;
    char buffer[1024];
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
      const size_t count = aSocket.Receive(buffer, sizeof buffer, 3000);
      if (count == 0) return false;
      data.append(buffer, count);
    }
    size_t lineEnd = data.find("\r\n");
    const std::string requestLine = data.substr(0, lineEnd);
    const size_t space1 = requestLine.find(' ');
    const size_t space2 = requestLine.find(' ', space1 + 1);
    aRequest.Method = requestLine.substr(0, space1);
    aRequest.Target = requestLine.substr(space1 + 1, space2 - space1 - 1);
    size_t length = 0;
    while (lineEnd < headerEnd) {
      const size_t next = data.find("\r\n", lineEnd + 2);
      const std::string line = data.substr(lineEnd + 2, next - lineEnd - 2);
      const size_t colon = line.find(':');
      std::string value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      aRequest.Headers.emplace_back(line.substr(0, colon), value);
      if (SameText(line.substr(0, colon), "Content-Length")) length = std::strtoul(value.c_str(), nullptr, 10);
      lineEnd = next;
    }
    aRequest.Body = data.substr(headerEnd + 4);
    while (aRequest.Body.size() < length) {
      const size_t count = aSocket.Receive(buffer, sizeof buffer, 3000);
      if (count == 0) return false;
      aRequest.Body.append(buffer, count);
    }
    return true;
  }

  static void Send(platform::TcpSocket& aSocket, int aStatus, const std::string& aReason,
                   const std::string& aHeaders, const std::string& aBody) {
    const std::string reply = "HTTP/1.1 " + std::to_string(aStatus) + " " + aReason +
                              "\r\nConnection: close\r\nContent-Type: text/plain; charset=utf-8\r\n" + aHeaders +
                              "Content-Length: " + std::to_string(aBody.size()) + "\r\n\r\n" + aBody;
    aSocket.SendAll(reply.data(), reply.size());
  }

  // name=value pairs of a Digest Authorization value, quotes removed.
  static std::string Param(const std::string& aValue, const std::string& aName) {
    size_t pos = aValue.find(' ');
    while (pos != std::string::npos && pos < aValue.size()) {
      while (pos < aValue.size() && (aValue[pos] == ' ' || aValue[pos] == ',')) ++pos;
      const size_t eq = aValue.find('=', pos);
      if (eq == std::string::npos) break;
      const std::string name = aValue.substr(pos, eq - pos);
      std::string value;
      pos = eq + 1;
      if (pos < aValue.size() && aValue[pos] == '"') {
        const size_t close = aValue.find('"', pos + 1);
        value = aValue.substr(pos + 1, close - pos - 1);
        pos = close + 1;
      } else {
        const size_t comma = aValue.find(',', pos);
        value = aValue.substr(pos, comma == std::string::npos ? comma : comma - pos);
        pos = comma;
      }
      if (SameText(name, aName)) return value;
    }
    return {};
  }

  bool DigestAccepted(const tRequest& aRequest) const {
    const std::string value = aRequest.Header("Authorization");
    if (!StartsWithText(value, "Digest ")) return false;
    using testmd5::Md5Hex;
    const std::string ha1 = Md5Hex(fUser + ":" + kRealm + ":" + fPassword);
    const std::string ha2 = Md5Hex(aRequest.Method + ":" + Param(value, "uri"));
    const std::string expected = Md5Hex(ha1 + ":" + kNonce + ":" + Param(value, "nc") + ":" +
                                        Param(value, "cnonce") + ":auth:" + ha2);
    return Param(value, "username") == fUser && Param(value, "realm") == kRealm &&
           Param(value, "nonce") == kNonce && Param(value, "uri") == aRequest.Target &&
           Param(value, "qop") == "auth" && Param(value, "opaque") == kOpaque && !Param(value, "cnonce").empty() &&
           Param(value, "response") == expected;
  }

  void Serve(platform::TcpSocket& aSocket) {
    tRequest request;
    if (!Read(aSocket, request)) return;
    {
      std::lock_guard<std::mutex> lock(fMutex);
      fRequests.push_back(request);
    }
    switch (fMode) {
      case tMode::Answer:
        return Send(aSocket, fStatus, fReason, "", fBody);
      case tMode::Basic:
        if (request.Header("Authorization") == "Basic " + Base64(fUser + ":" + fPassword)) {
          return Send(aSocket, fStatus, fReason, "", fBody);
        }
        ++fChallenges;
        return Send(aSocket, 401, "Unauthorized", "WWW-Authenticate: Basic realm=\"velo\"\r\n", "no");
      case tMode::Digest:
        if (DigestAccepted(request)) return Send(aSocket, fStatus, fReason, "", fBody);
        ++fChallenges;
        return Send(aSocket, 401, "Unauthorized",
                    std::string("WWW-Authenticate: Digest realm=\"") + kRealm + "\", qop=\"auth,auth-int\", nonce=\"" +
                        kNonce + "\", opaque=\"" + kOpaque + "\"\r\n",
                    "no");
      case tMode::BreakOff: {
        const std::string reply =
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 100\r\n\r\nonly part of it";
        return aSocket.SendAll(reply.data(), reply.size());
      }
      case tMode::Silent: {
        char buffer[64];
        for (int waited = 0; !fStop && waited < kLongestWaitMs; waited += 50) {
          try {
            if (aSocket.Receive(buffer, sizeof buffer, 50) == 0) return;
          } catch (const platform::ESocketReadTimeout&) {
          }
        }
        return;
      }
    }
  }

  tMode fMode;
  int fStatus;
  std::string fReason, fBody, fUser, fPassword;
  platform::TcpListener fListener;
  std::atomic<bool> fStop{false};
  std::atomic<int> fChallenges{0};
  std::mutex fMutex;
  std::vector<tRequest> fRequests;
  std::thread fThread;  // last: starts once everything above exists
};

}  // namespace iotest
