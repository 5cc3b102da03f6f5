#include "io/Connection.h"

#include "core/Errors.h"
#include "core/Text.h"

tkConnectionType kConnection::ConvertConnectionType(std::string_view aString) {
  const std::string s = LowerCase(aString);
  if (s == "serial") return tkConnectionType::Serial;
  if (s == "http") return tkConnectionType::HTTP;
  if (s == "tcp") return tkConnectionType::TCP;
  if (s == "opos") return tkConnectionType::OPOS;
  if (s == "dll") return tkConnectionType::DLL;
  if (s == "com") return tkConnectionType::Com;
  if (s == "spool") return tkConnectionType::Spool;
  throw EMxError("Connection Type " + std::string(aString) + " is not valid");
}

std::string kConnection::ConnectionTypeToString(tkConnectionType aValue) {
  switch (aValue) {
    case tkConnectionType::OPOS: return "OPOS";
    case tkConnectionType::TCP: return "TCP";
    case tkConnectionType::HTTP: return "HTTP";
    case tkConnectionType::Serial: return "SERIAL";
    case tkConnectionType::DLL: return "DLL";
    case tkConnectionType::Com: return "COM";
    case tkConnectionType::Spool: return "SPOOL";
  }
  return {};
}

tkParity kConnection::ConvertParity(std::string_view aString) {
  const std::string s = LowerCase(aString);
  if (s == "none") return tkParity::None;
  if (s == "odd") return tkParity::Odd;
  if (s == "even") return tkParity::Even;
  throw EMxError("Connection Parity " + std::string(aString) + " is not valid");
}

std::string kConnection::ParityToString(tkParity aValue) {
  switch (aValue) {
    case tkParity::None: return "NONE";
    case tkParity::Even: return "EVEN";
    case tkParity::Odd: return "ODD";
  }
  return {};
}

tkHTTPAuthType kConnection::ConvertAuthType(std::string_view aString) {
  const std::string s = LowerCase(aString);
  if (s == "basic") return at_Basic;
  if (s == "digest") return at_Digest;
  if (s == "bearer") return at_Bearer;
  return at_None;
}

std::string kConnection::AuthTypeToString(tkHTTPAuthType aValue) {
  switch (aValue) {
    case at_None: return "NONE";
    case at_Basic: return "BASIC";
    case at_Digest: return "DIGEST";
    case at_Bearer: return "BEARER";
  }
  return {};
}
