#include "device/DeviceHandler.h"

#include <optional>
#include <sstream>
#include <string_view>
#include <unordered_map>

#include "core/Errors.h"
#include "core/Text.h"
#include "device/krptUtil.h"
#include "io/IOHandler.h"
#include "io/IOHandlerFactory.h"

namespace {

// Whole number by the same rules as the document's integer values, except that the
// empty text is refused too.
int32_t StrToInt(const std::string& aText) {
  if (const std::optional<int32_t> value = ParseInt32(aText, krptUtil::kIntegerSyntax)) return *value;
  throw EMxError("'" + aText + "' is not a valid integer value");
}

}  // namespace

std::unique_ptr<pugi::xml_document> kDeviceHandler::Deserialize(const std::string& aXml) {
  auto document = std::make_unique<pugi::xml_document>();
  // The text is UTF-8 whatever its declaration says: it came from a UTF-16 string.
  const pugi::xml_parse_result parsed =
      document->load_buffer(aXml.data(), aXml.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    throw EMxError(std::string(parsed.description()) + " (offset " + std::to_string(parsed.offset) + ")");
  }
  const pugi::xml_node root = document->document_element();
  if (!root) throw EMxError("No document element found");

  fType = krptUtil::GetNodeValueAsString(root, "Type");
  fDriver = krptUtil::GetNodeValueAsString(root, "Driver");
  fMethod = krptUtil::GetNodeValueAsString(root, "Method");
  fDeviceHandle = krptUtil::GetNodeValueAsInteger(root, "Handle");
  fLogId = krptUtil::GetNodeValueAsString(root, "LogId");

  if (const pugi::xml_node connection = krptUtil::FindChildElement(root, "Connection")) ReadConnection(connection);

  if (const pugi::xml_node parameters = krptUtil::FindChildElement(root, "Parameters")) {
    // Elements only: text and comments between them name no parameter. A name given
    // again takes the value of its first element; each is read once and held once.
    std::unordered_map<std::string_view, std::shared_ptr<const std::string>> firstValues;
    for (pugi::xml_node p = parameters.first_child(); p; p = p.next_sibling()) {
      if (p.type() != pugi::node_element) continue;
      const std::string_view name = p.name();
      auto [first, added] = firstValues.try_emplace(name);
      if (added) first->second = std::make_shared<const std::string>(krptUtil::GetElementValueAsString(p));
      fParameters.push_back({LowerCase(name), first->second});
    }
  }

  if (ParameterExists("DeviceName")) fConnection.SetDeviceName(GetParameter("DeviceName"));
  if (ParameterExists("ConnectTimeout")) fConnection.SetConnectTimeOut(StrToInt(GetParameter("ConnectTimeout")));
  return document;
}

void kDeviceHandler::ReadConnection(pugi::xml_node aConnection) {
  kConnection& c = fConnection;
  c.SetConnectionType(kConnection::ConvertConnectionType(krptUtil::GetNodeValueAsString(aConnection, "Type")));
  c.SetConnectTimeOut(krptUtil::GetNodeValueAsInteger(aConnection, "ConnectTimeout"));
  c.SetReadTimeOut(krptUtil::GetNodeValueAsInteger(aConnection, "ReadTimeout"));

  const auto readNetwork = [&] {
    c.SetURL(krptUtil::GetNodeValueAsString(aConnection, "URL"));
    c.SetAuthType(kConnection::ConvertAuthType(krptUtil::GetNodeValueAsString(aConnection, "AuthType")));
    c.SetUser(krptUtil::GetNodeValueAsString(aConnection, "User"));
    c.SetPassword(krptUtil::GetNodeValueAsString(aConnection, "Password"));
  };

  switch (c.ConnectionType()) {
    case tkConnectionType::OPOS:
      c.SetDeviceName(krptUtil::GetNodeValueAsString(aConnection, "DeviceName"));
      break;
    case tkConnectionType::TCP:
    case tkConnectionType::HTTP:
      c.SetAddress(krptUtil::GetNodeValueAsString(aConnection, "Address"));
      c.SetPort(krptUtil::GetNodeValueAsInteger(aConnection, "Port"));
      readNetwork();
      break;
    case tkConnectionType::Serial:
      c.SetSerialPort(krptUtil::GetNodeValueAsString(aConnection, "SerialPort"));
      c.SetSpeed(krptUtil::GetNodeValueAsInteger(aConnection, "Speed"));
      c.SetDataBits(krptUtil::GetNodeValueAsInteger(aConnection, "DataBits"));
      c.SetParity(kConnection::ConvertParity(krptUtil::GetNodeValueAsString(aConnection, "Parity")));
      c.SetStopBits(krptUtil::GetNodeValueAsInteger(aConnection, "StopBits"));
      readNetwork();
      break;
    case tkConnectionType::DLL:
      c.SetLibraryName(krptUtil::GetNodeValueAsString(aConnection, "LibraryName"));
      break;
    case tkConnectionType::Spool:
      c.SetPrinterName(krptUtil::GetNodeValueAsString(aConnection, "PrinterName"));
      break;
    case tkConnectionType::Com:
      break;
  }
}

std::string kDeviceHandler::Serialize() const {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "utf-8";
  pugi::xml_node root = document.append_child("ReceiptPrinterManager");
  root.append_attribute("Version") = "1.0";

  krptUtil::AddNode(root, "Type", fType);
  krptUtil::AddNode(root, "Driver", fDriver);
  krptUtil::AddNode(root, "Method", fMethod);
  krptUtil::AddNode(root, "LogId", fLogId);
  if (LowerCase(fMethod) != "open") krptUtil::AddNode(root, "Handle", std::to_string(fDeviceHandle));

  const kConnection& c = fConnection;
  pugi::xml_node connection = krptUtil::AddNode(root, "Connection", "");
  krptUtil::AddNode(connection, "Type", kConnection::ConnectionTypeToString(c.ConnectionType()));
  krptUtil::AddNode(connection, "ConnectTimeout", std::to_string(c.ConnectTimeOut()));
  krptUtil::AddNode(connection, "ReadTimeout", std::to_string(c.ReadTimeOut()));
  krptUtil::AddNode(connection, "Address", c.Address());
  krptUtil::AddNode(connection, "Port", std::to_string(c.Port()));
  krptUtil::AddNode(connection, "URL", c.URL());
  krptUtil::AddNode(connection, "AuthType", kConnection::AuthTypeToString(c.AuthType()));
  krptUtil::AddNode(connection, "User", c.User());
  krptUtil::AddNode(connection, "Password", c.Password());
  krptUtil::AddNode(connection, "SerialPort", c.SerialPort());
  krptUtil::AddNode(connection, "Speed", std::to_string(c.Speed()));
  krptUtil::AddNode(connection, "DataBits", std::to_string(c.DataBits()));
  krptUtil::AddNode(connection, "Parity", kConnection::ParityToString(c.Parity()));
  krptUtil::AddNode(connection, "StopBits", std::to_string(c.StopBits()));
  krptUtil::AddNode(connection, "DeviceName", c.DeviceName());
  krptUtil::AddNode(connection, "LibraryName", c.LibraryName());
  krptUtil::AddNode(connection, "PrinterName", c.PrinterName());

  pugi::xml_node parameters = krptUtil::AddNode(root, "Parameters", "");
  for (const ParameterLine& line : fParameters) krptUtil::AddNode(parameters, line.fName, *line.fValue);

  std::ostringstream out;
  document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

const kDeviceHandler::ParameterLine* kDeviceHandler::FindParameter(std::string_view aName) const {
  for (const ParameterLine& line : fParameters) {
    if (SameText(line.fName, aName)) return &line;
  }
  return nullptr;
}

std::vector<std::string> kDeviceHandler::Parameters() const {
  std::vector<std::string> lines;
  lines.reserve(fParameters.size());
  for (const ParameterLine& line : fParameters) lines.push_back(line.fName + "=" + *line.fValue);
  return lines;
}

std::string kDeviceHandler::GetParameter(std::string_view aName) const {
  const ParameterLine* line = FindParameter(aName);
  return line ? *line->fValue : std::string();
}

bool kDeviceHandler::ParameterExists(std::string_view aName) const { return FindParameter(aName) != nullptr; }

void kDeviceHandler::SetParameter(const std::string& aName, const std::string& aValue) {
  for (auto it = fParameters.begin(); it != fParameters.end(); ++it) {
    if (!SameText(it->fName, aName)) continue;
    if (aValue.empty()) {
      fParameters.erase(it);
    } else {
      it->fValue = std::make_shared<const std::string>(aValue);
    }
    return;
  }
  if (!aValue.empty()) fParameters.push_back({aName, std::make_shared<const std::string>(aValue)});
}

std::unique_ptr<kIOHandler> kDeviceHandler::CreateIOHandler(const std::string& aLogDir) const {
  std::unique_ptr<kIOHandler> handler = ::CreateIOHandler(fConnection, aLogDir, fDriver + "_" + fLogId);
  handler->SetHexLog(ParameterExists("HexLog") && LowerCase(GetParameter("HexLog")) == "true");
  return handler;
}
