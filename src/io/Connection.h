#pragma once
// Connection settings of a device as its configuration document gives them, and the
// texts of the channel type, parity and HTTP authentication scheme.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// Members without a prefix are scoped: tkParity and tkPaymentPhase both have a None.
enum class tkConnectionType : uint8_t { OPOS = 0, TCP = 1, HTTP = 2, Serial = 3, DLL = 4, Com = 5, Spool = 6 };
enum class tkParity : uint8_t { None = 0, Even = 1, Odd = 2 };
enum tkHTTPAuthType : uint8_t { at_None = 0, at_Basic = 1, at_Digest = 2, at_Bearer = 3 };

class kConnection {
 public:
  static constexpr int32_t kDefaultTimeout = 1000;  // milliseconds

  // Case-insensitive. Raises EMxError "Connection Type <text> is not valid".
  static tkConnectionType ConvertConnectionType(std::string_view aString);
  // "OPOS", "TCP", "HTTP", "SERIAL", "DLL", "COM", "SPOOL".
  static std::string ConnectionTypeToString(tkConnectionType aValue);
  // Case-insensitive. Raises EMxError "Connection Parity <text> is not valid".
  static tkParity ConvertParity(std::string_view aString);
  static std::string ParityToString(tkParity aValue);
  // Case-insensitive; an unknown scheme is at_None, never an error.
  static tkHTTPAuthType ConvertAuthType(std::string_view aString);
  static std::string AuthTypeToString(tkHTTPAuthType aValue);

  tkConnectionType ConnectionType() const { return fConnectionType; }
  void SetConnectionType(tkConnectionType aValue) { fConnectionType = aValue; }
  const std::string& Address() const { return fAddress; }
  void SetAddress(std::string aValue) { fAddress = std::move(aValue); }
  int32_t Port() const { return fPort; }
  void SetPort(int32_t aValue) { fPort = aValue; }
  const std::string& URL() const { return fURL; }
  void SetURL(std::string aValue) { fURL = std::move(aValue); }
  tkHTTPAuthType AuthType() const { return fAuthType; }
  void SetAuthType(tkHTTPAuthType aValue) { fAuthType = aValue; }
  const std::string& User() const { return fUser; }
  void SetUser(std::string aValue) { fUser = std::move(aValue); }
  const std::string& Password() const { return fPassword; }
  void SetPassword(std::string aValue) { fPassword = std::move(aValue); }
  const std::string& SerialPort() const { return fSerialPort; }
  void SetSerialPort(std::string aValue) { fSerialPort = std::move(aValue); }
  int32_t Speed() const { return fSpeed; }
  void SetSpeed(int32_t aValue) { fSpeed = aValue; }
  int32_t DataBits() const { return fDataBits; }
  void SetDataBits(int32_t aValue) { fDataBits = aValue; }
  tkParity Parity() const { return fParity; }
  void SetParity(tkParity aValue) { fParity = aValue; }
  int32_t StopBits() const { return fStopBits; }
  void SetStopBits(int32_t aValue) { fStopBits = aValue; }
  const std::string& DeviceName() const { return fDeviceName; }
  void SetDeviceName(std::string aValue) { fDeviceName = std::move(aValue); }
  const std::string& LibraryName() const { return fLibraryName; }
  void SetLibraryName(std::string aValue) { fLibraryName = std::move(aValue); }
  const std::string& PrinterName() const { return fPrinterName; }
  void SetPrinterName(std::string aValue) { fPrinterName = std::move(aValue); }

  // Writing 0 or a negative value keeps the timeout in force.
  int32_t ConnectTimeOut() const { return fConnectTimeout; }
  void SetConnectTimeOut(int32_t aValue) { if (aValue > 0) fConnectTimeout = aValue; }
  int32_t ReadTimeOut() const { return fReadTimeout; }
  void SetReadTimeOut(int32_t aValue) { if (aValue > 0) fReadTimeout = aValue; }

 private:
  std::string fAddress;
  int32_t fPort = 0;
  std::string fURL;
  tkHTTPAuthType fAuthType = at_None;
  std::string fUser;
  std::string fPassword;
  std::string fSerialPort;
  int32_t fSpeed = 0;
  int32_t fDataBits = 0;
  tkParity fParity = tkParity::None;
  int32_t fStopBits = 0;
  std::string fDeviceName;
  std::string fLibraryName;
  std::string fPrinterName;
  tkConnectionType fConnectionType = tkConnectionType::OPOS;
  int32_t fConnectTimeout = kDefaultTimeout;
  int32_t fReadTimeout = kDefaultTimeout;
};
