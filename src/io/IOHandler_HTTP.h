#pragma once
// Device reached through an HTTP service: Write posts the message and keeps the reply and
// its status; there is nothing to read.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/Connection.h"
#include "io/IOHandler_NoStream.h"
#include "platform/HttpClient.h"

class kIOHandler_HTTP : public kIOHandler_NoStream {
 public:
  // URL is the connection's URL, else its address followed by ":" and the port when the
  // port is positive. The handler's read time-out does not reach the client.
  kIOHandler_HTTP(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_HTTP() override;

  const char* ClassName() const override { return "kIOHandler_HTTP"; }
  platform::HttpClient& HttpClient() { return *fHttpClient; }

  // Banner and URL; opens nothing, each post connects as needed.
  bool Connect() override;
  bool GetConnected() override { return fHttpClient->Connected(); }
  bool Disconnect() override;
  // Posts aMessage as UTF-8. Never raises: a failure gives false, ResponseCode, the error
  // record and two "Post Error" lines.
  bool Write(const std::string& aMessage) override;
  // Reading: nothing to read (kIOHandler_NoStream).
  // Reason phrase of an HTTP status; "Unknown" for any other code.
  std::string DecodeError(int32_t aErrorCode) override;
  // A request header for every later post; a second call with the same name replaces it.
  void SetParameter(const std::string& aName, const std::string& aValue) override;

  const std::string& URL() const { return fURL; }
  void SetURL(std::string aValue) { fURL = std::move(aValue); }
  tkHTTPAuthType AuthType() const { return fAuthType; }
  void SetAuthType(tkHTTPAuthType aValue) { fAuthType = aValue; }
  const std::string& User() const { return fUser; }
  void SetUser(std::string aValue) { fUser = std::move(aValue); }
  const std::string& Password() const { return fPassword; }
  void SetPassword(std::string aValue) { fPassword = std::move(aValue); }
  const std::string& ContentType() const { return fContentType; }
  void SetContentType(std::string aValue) { fContentType = std::move(aValue); }
  const std::string& Response() const { return fResponse; }
  void SetResponse(std::string aValue) { fResponse = std::move(aValue); }
  int32_t ResponseCode() const { return fResponseCode; }
  void SetResponseCode(int32_t aValue) { fResponseCode = aValue; }

  // Status of a post that failed although its reply's status was a success.
  static constexpr int32_t kFailedAfterSuccess = 999;

 private:
  std::unique_ptr<platform::HttpClient> fHttpClient;
  std::string fContentType;
  std::string fURL;
  tkHTTPAuthType fAuthType = at_None;
  std::string fUser;
  std::string fPassword;
  std::string fResponse;
  int32_t fResponseCode = 0;
};
