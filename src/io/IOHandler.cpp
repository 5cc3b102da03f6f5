#include "io/IOHandler.h"

#include "io/Connection.h"

namespace {

constexpr const char* kConnectBanner = "*************************************************************";

}  // namespace

kIOHandler::kIOHandler(const kConnection* aConnection, const std::string& aDirectory,
                       const std::string& aFileName)
    : fLog(aDirectory, aFileName) {
  if (aConnection != nullptr) {
    fReadTimeout = aConnection->ReadTimeOut();
    fConnectTimeout = aConnection->ConnectTimeOut();
  }
}

kIOHandler::~kIOHandler() = default;

bool kIOHandler::Connect() {
  Debug(let_info, kConnectBanner);
  Debug(let_info, ClassName());
  Debug(let_info, fVersion);
  Debug(let_info, "ConnectTimeout=" + std::to_string(fConnectTimeout));
  Debug(let_info, "ReadTimeout=" + std::to_string(fReadTimeout));
  return true;
}

void kIOHandler::SetCustomError(int32_t aErrorCode, std::string aErrorMessage) {
  fErrorFound = true;
  fErrorCode = aErrorCode;
  fErrorMessage = std::move(aErrorMessage);
}

void kIOHandler::ResetCustomError() {
  fErrorFound = false;
  fErrorCode = 0;
  fErrorMessage.clear();
}

void kIOHandler::SetTemporaryReadTimeout(int32_t aNewTimeout) {
  Debug(let_info, "Set Read Timeout to " + std::to_string(aNewTimeout) + "ms from " +
                      std::to_string(fReadTimeout) + " ms");
  if (aNewTimeout > 0) {
    fTemporaryReadTimeout = fReadTimeout;
    fReadTimeout = aNewTimeout;
  }
}

void kIOHandler::ResetTemporaryReadTimeout() {
  Debug(let_info, "Reset Timeout to " + std::to_string(fTemporaryReadTimeout) + " ms");
  if (fTemporaryReadTimeout != 0) fReadTimeout = fTemporaryReadTimeout;
}
