// HTTP through WinHTTP. Authorization headers are composed here: Basic from the
// credentials, Digest from the server's challenge (WinHTTP's own Digest support does not
// answer under Wine). A challenge is kept and answered again on later posts, counting its
// uses, until the server sends a new one.
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <random>

#include "core/Text.h"
#include "platform/Library.h"
#include "platform/HttpAuth.h"
#include "platform/HttpClient.h"

namespace platform {

namespace {

std::wstring Wide(std::string_view aUtf8) {
  const std::u16string text = Utf8ToUtf16(aUtf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::wstring_view aText) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText.data()), aText.size()));
}

std::string WinHttpMessage(DWORD aError) {
  // WinHTTP's own codes have their texts in winhttp.dll; under Wine a failed transfer may
  // also report the socket's code.
  std::string text;
  if (aError >= WINHTTP_ERROR_BASE && aError <= WINHTTP_ERROR_LAST) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                       GetModuleHandleW(L"winhttp.dll"), aError, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length > 0 && buffer != nullptr) text = Narrow(std::wstring_view(buffer, length));
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  } else {
    text = SystemErrorMessage(aError);
  }
  if (text.empty()) {
    switch (aError) {
      case ERROR_WINHTTP_TIMEOUT:
      case WSAETIMEDOUT: text = "The operation timed out"; break;
      case ERROR_WINHTTP_NAME_NOT_RESOLVED: text = "The server name or address could not be resolved"; break;
      case ERROR_WINHTTP_CANNOT_CONNECT: text = "A connection with the server could not be established"; break;
      case ERROR_WINHTTP_CONNECTION_ERROR: text = "The connection with the server was reset or terminated"; break;
      case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: text = "The server returned an invalid or unrecognized response"; break;
      case ERROR_WINHTTP_INVALID_URL: text = "The URL is invalid"; break;
      case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: text = "The URL does not use a recognized protocol"; break;
      default: text = "Unknown error"; break;
    }
  }
  return "WinHTTP error " + std::to_string(aError) + ": " + text;
}

[[noreturn]] void Fail() { throw EHttpError(WinHttpMessage(GetLastError())); }

class tHandle {
 public:
  explicit tHandle(HINTERNET aHandle = nullptr) : fHandle(aHandle) {}
  ~tHandle() { Reset(); }
  tHandle(const tHandle&) = delete;
  tHandle& operator=(const tHandle&) = delete;
  void Reset(HINTERNET aHandle = nullptr) {
    if (fHandle != nullptr) WinHttpCloseHandle(fHandle);
    fHandle = aHandle;
  }
  HINTERNET Get() const { return fHandle; }

 private:
  HINTERNET fHandle;
};

std::string Md5Hex(std::string_view aData) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE value[16];
  DWORD size = sizeof value;
  const bool ok = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
                  CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
                  CryptHashData(hash, reinterpret_cast<const BYTE*>(aData.data()), static_cast<DWORD>(aData.size()),
                                0) &&
                  CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0);
  if (hash != 0) CryptDestroyHash(hash);
  if (provider != 0) CryptReleaseContext(provider, 0);
  if (!ok) throw EHttpError("MD5 is not available for Digest authentication");
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (BYTE b : value) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

std::string ClientNonce() {
  std::random_device random;
  char text[17];
  snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(random()), static_cast<unsigned>(random()));
  return text;
}

// One header of the reply as text; empty when it has none at that index.
std::wstring QueryHeader(HINTERNET aRequest, DWORD aInfo, DWORD* aIndex = WINHTTP_NO_HEADER_INDEX) {
  DWORD size = 0;
  WinHttpQueryHeaders(aRequest, aInfo, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, aIndex);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(aRequest, aInfo, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size, aIndex)) return {};
  value.resize(size / sizeof(wchar_t));
  return value;
}

class tWinHttpClient : public HttpClient {
 public:
  ~tWinHttpClient() override { Close(); }

  bool Connected() override { return fConnection.Get() != nullptr && fReplied; }

  void Close() override {
    fConnection.Reset();
    fSession.Reset();
    fReplied = false;
  }

 protected:
  void ForgetChallenge() override { fHaveChallenge = false; }

  void Send(const std::string& aUrl, std::string_view aBody, const std::string& aContentType,
            tReply& aReply) override {
    fReplied = false;
    const std::wstring url = Wide(aUrl.find("://") == std::string::npos ? "http://" + aUrl : aUrl);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) Fail();
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty() || path[0] != L'/') path.insert(0, 1, L'/');
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    Open(host, parts.nPort);
    for (int attempt = 0;; ++attempt) {
      tHandle request(WinHttpOpenRequest(fConnection.Get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
      if (request.Get() == nullptr) Fail();
      // Never the Windows logon.
      DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
      WinHttpSetOption(request.Get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &policy, sizeof policy);
      // The wait for the reply's head has a limit of its own (90 s unless set).
      DWORD replyTimeout = ReplyTimeout() > 0 ? static_cast<DWORD>(ReplyTimeout()) : INFINITE;
      WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &replyTimeout, sizeof replyTimeout);

      const bool answered = Authentication() == tAuth::Digest && fHaveChallenge;
      std::wstring headers = RequestHeaders(aContentType, Narrow(path));
      if (!WinHttpSendRequest(request.Get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                              const_cast<char*>(aBody.data()), static_cast<DWORD>(aBody.size()),
                              static_cast<DWORD>(aBody.size()), 0) ||
          !WinHttpReceiveResponse(request.Get(), nullptr)) {
        Fail();
      }
      DWORD status = 0;
      DWORD size = sizeof status;
      if (!WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        Fail();
      }
      aReply.Status = static_cast<int>(status);
      aReply.StatusLine = Narrow(QueryHeader(request.Get(), WINHTTP_QUERY_VERSION)) + " " + std::to_string(status) +
                          " " + Narrow(QueryHeader(request.Get(), WINHTTP_QUERY_STATUS_TEXT));
      aReply.ContentType = Narrow(QueryHeader(request.Get(), WINHTTP_QUERY_CONTENT_TYPE));
      if (status == HTTP_STATUS_DENIED && Authentication() == tAuth::Digest && attempt == 0 &&
          TakeChallenge(request.Get(), answered)) {
        continue;
      }
      ReadBody(request.Get(), aReply);
      fReplied = true;
      return;
    }
  }

 private:
  void Open(const std::wstring& aHost, INTERNET_PORT aPort) {
    if (fSession.Get() == nullptr) {
      fSession.Reset(WinHttpOpen(L"VELO", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0));
      if (fSession.Get() == nullptr) Fail();
    }
    const int connect = ConnectTimeout() > 0 ? ConnectTimeout() : 60000;
    const int reply = ReplyTimeout() > 0 ? ReplyTimeout() : 0;
    WinHttpSetTimeouts(fSession.Get(), 0, connect, reply, reply);
    if (fConnection.Get() == nullptr || aHost != fHost || aPort != fPort) {
      fConnection.Reset(WinHttpConnect(fSession.Get(), aHost.c_str(), aPort, 0));
      if (fConnection.Get() == nullptr) Fail();
      fHost = aHost;
      fPort = aPort;
    }
  }

  std::wstring RequestHeaders(const std::string& aContentType, const std::string& aUri) {
    std::string text;
    if (FindHeader("Content-Type") == nullptr && !aContentType.empty()) {
      text += "Content-Type: " + aContentType + "\r\n";
    }
    for (const auto& [name, value] : Headers()) text += name + ": " + value + "\r\n";
    if (Authentication() == tAuth::Basic) {
      text += "Authorization: " + BasicAuthorization(User(), Password()) + "\r\n";
    } else if (Authentication() == tAuth::Digest && fHaveChallenge) {
      text += "Authorization: " +
              DigestAuthorization(fChallenge, User(), Password(), "POST", aUri, ++fNonceCount, ClientNonce(), Md5Hex) +
              "\r\n";
    }
    return Wide(text);
  }

  // Takes the Digest challenge of a 401 reply. False when there is none, or when the
  // answer just sent was refused for its credentials, not for an old nonce.
  bool TakeChallenge(HINTERNET aRequest, bool aAnswered) {
    for (DWORD index = 0;;) {
      const DWORD before = index;
      const std::wstring value = QueryHeader(aRequest, WINHTTP_QUERY_WWW_AUTHENTICATE, &index);
      if (value.empty() || index == before) return false;
      tDigestChallenge challenge;
      if (!ParseDigestChallenge(Narrow(value), challenge)) continue;
      if (aAnswered && !challenge.Stale && challenge.Nonce == fChallenge.Nonce) return false;
      fChallenge = std::move(challenge);
      fHaveChallenge = true;
      fNonceCount = 0;
      return true;
    }
  }

  static void ReadBody(HINTERNET aRequest, tReply& aReply) {
    aReply.Body.clear();
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(aRequest, &available)) Fail();
      if (available == 0) break;
      const size_t old = aReply.Body.size();
      aReply.Body.resize(old + available);
      DWORD read = 0;
      if (!WinHttpReadData(aRequest, aReply.Body.data() + old, available, &read)) Fail();
      aReply.Body.resize(old + read);
      if (read == 0) break;
    }
    const std::wstring length = QueryHeader(aRequest, WINHTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty() && std::wcstoull(length.c_str(), nullptr, 10) > aReply.Body.size()) {
      throw EHttpError("The connection closed before the whole reply arrived");
    }
  }

  tHandle fSession;
  tHandle fConnection;
  std::wstring fHost;
  INTERNET_PORT fPort = 0;
  bool fReplied = false;
  bool fHaveChallenge = false;
  tDigestChallenge fChallenge;
  uint32_t fNonceCount = 0;
};

}  // namespace

std::unique_ptr<HttpClient> HttpClient::Create() { return std::make_unique<tWinHttpClient>(); }

}  // namespace platform
