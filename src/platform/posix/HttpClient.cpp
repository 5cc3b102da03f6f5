// HTTP through libcurl. One easy handle per client keeps the connection and a Digest
// challenge between posts; closing drops both.
#include <curl/curl.h>

#include <chrono>
#include <mutex>

#include "core/Text.h"
#include "platform/HttpClient.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Passwords this short would mask ordinary words of a message.
constexpr size_t kShortestMaskedPassword = 4;

struct tTransfer {
  HttpClient::tReply* Reply = nullptr;
  int ReplyTimeout = 0;
  Clock::time_point LastProgress;
  curl_off_t Seen = -1;
  bool Expired = false;
};

size_t OnBody(char* aData, size_t aSize, size_t aCount, void* aTransfer) {
  static_cast<tTransfer*>(aTransfer)->Reply->Body.append(aData, aSize * aCount);
  return aSize * aCount;
}

size_t OnHeader(char* aData, size_t aSize, size_t aCount, void* aTransfer) {
  const size_t size = aSize * aCount;
  HttpClient::tReply& reply = *static_cast<tTransfer*>(aTransfer)->Reply;
  std::string line(aData, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (StartsWithText(line, "HTTP/")) {
    // Each reply of an exchange (a challenge, then the answer) starts afresh.
    reply.StatusLine = line;
    reply.ContentType.clear();
    reply.Body.clear();
  } else if (StartsWithText(line, "Content-Type:")) {
    reply.ContentType = line.substr(13);
  }
  return size;
}

int OnProgress(void* aTransfer, curl_off_t, curl_off_t aReceived, curl_off_t, curl_off_t aSent) {
  auto& transfer = *static_cast<tTransfer*>(aTransfer);
  const Clock::time_point now = Clock::now();
  if (aReceived + aSent != transfer.Seen) {
    transfer.Seen = aReceived + aSent;
    transfer.LastProgress = now;
    return 0;
  }
  if (transfer.ReplyTimeout > 0 && now - transfer.LastProgress > std::chrono::milliseconds(transfer.ReplyTimeout)) {
    transfer.Expired = true;
    return 1;
  }
  return 0;
}

class tCurlHttpClient : public HttpClient {
 public:
  tCurlHttpClient() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  }
  ~tCurlHttpClient() override { Close(); }

  bool Connected() override {
    if (fCurl == nullptr) return false;
    curl_socket_t socket = CURL_SOCKET_BAD;
    return curl_easy_getinfo(fCurl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD;
  }

  void Close() override {
    if (fCurl != nullptr) curl_easy_cleanup(fCurl);
    fCurl = nullptr;
  }

 protected:
  void ForgetChallenge() override { Close(); }

  void Send(const std::string& aUrl, std::string_view aBody, const std::string& aContentType,
            tReply& aReply) override {
    if (fCurl == nullptr) fCurl = curl_easy_init();
    if (fCurl == nullptr) throw EHttpError("The HTTP client could not be created");
    // Options are set anew on the same handle, never reset: a reset would drop the Digest
    // challenge that later posts answer without asking.
    CURL* curl = fCurl;

    curl_slist* headers = nullptr;
    const auto add = [&](const std::string& aName, const std::string& aValue) {
      // "Name;" is how curl sends a header with an empty value.
      const std::string line = aValue.empty() ? aName + ";" : aName + ": " + aValue;
      headers = curl_slist_append(headers, line.c_str());
    };
    if (FindHeader("Content-Type") == nullptr && !aContentType.empty()) add("Content-Type", aContentType);
    for (const auto& [name, value] : Headers()) add(name, value);
    // Small bodies go at once rather than after a "100 Continue".
    if (FindHeader("Expect") == nullptr) headers = curl_slist_append(headers, "Expect:");

    tTransfer transfer;
    transfer.Reply = &aReply;
    transfer.ReplyTimeout = ReplyTimeout();
    transfer.LastProgress = Clock::now();
    char error[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(curl, CURLOPT_URL, aUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, aBody.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(aBody.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeout() > 0 ? ConnectTimeout() : 0));
    switch (Authentication()) {
      case tAuth::None:
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(curl, CURLOPT_PASSWORD, nullptr);
        break;
      case tAuth::Basic:
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, User().c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, Password().c_str());
        break;
      case tAuth::Digest:
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
        curl_easy_setopt(curl, CURLOPT_USERNAME, User().c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, Password().c_str());
        break;
    }

    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_slist_free_all(headers);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    aReply.Status = status > 0 ? static_cast<int>(status) : kNoReply;
    if (result == CURLE_OK) return;

    std::string message;
    if (transfer.Expired) {
      message = "No reply within " + std::to_string(ReplyTimeout()) + " ms";
    } else {
      message = error[0] != '\0' ? error : curl_easy_strerror(result);
    }
    if (Password().size() >= kShortestMaskedPassword) message = StringReplaceAll(message, Password(), "***");
    throw EHttpError(message);
  }

 private:
  CURL* fCurl = nullptr;
};

}  // namespace

std::unique_ptr<HttpClient> HttpClient::Create() { return std::make_unique<tCurlHttpClient>(); }

}  // namespace platform
