#include "device/DeviceHandler.h"

#include <bit>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string_view>

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

// The first element of each name in a parameter list, found in one pass: an open-addressing
// table of the names met so far, at most two thirds full so that a search ends soon. It is
// one block of 16 bytes a slot, so that large lists stay linear in time and in memory.
class tkFirstOfName {
 public:
  explicit tkFirstOfName(size_t aElements) : fSlots(std::bit_ceil(aElements + aElements / 2 + 1)) {}
  // The place of aName among the distinct names met, aName counted as met. aName is an
  // element's name, ended by a zero byte, that stays where it is while the table is used.
  size_t Find(std::string_view aName) {
    const auto hash = static_cast<uint32_t>(std::hash<std::string_view>{}(aName));
    const size_t mask = fSlots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = fSlots[i];
      if (slot.fName == nullptr) {
        slot = {aName.data(), hash, fCount};
        return fCount++;
      }
      // The stored name's zero byte stops the comparison where it is the shorter.
      if (slot.fHash == hash && std::strncmp(slot.fName, aName.data(), aName.size()) == 0 &&
          slot.fName[aName.size()] == '\0') {
        return slot.fPlace;
      }
    }
  }

 private:
  struct Slot {
    const char* fName = nullptr;  // none while the slot is free
    uint32_t fHash = 0;
    uint32_t fPlace = 0;
  };
  std::vector<Slot> fSlots;
  uint32_t fCount = 0;
};

}  // namespace

std::unique_ptr<pugi::xml_document> kDeviceHandler::Deserialize(const std::string& aXml) {
  auto document = std::make_unique<pugi::xml_document>();
  // The text is UTF-8 whatever its declaration says: it came from a UTF-16 string. An
  // element's text is kept in the element, which halves the nodes of a typical request.
  const pugi::xml_parse_result parsed = document->load_buffer(
      aXml.data(), aXml.size(), pugi::parse_default | pugi::parse_embed_pcdata, pugi::encoding_utf8);
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
    size_t elements = 0;
    for (pugi::xml_node p = parameters.first_child(); p; p = p.next_sibling()) {
      elements += p.type() == pugi::node_element;
    }
    fParameters.reserve(fParameters.size() + elements);
    fValues.reserve(fValues.size() + elements);
    tkFirstOfName firstOfName(elements);
    const size_t ownValues = fValues.size();
    for (pugi::xml_node p = parameters.first_child(); p; p = p.next_sibling()) {
      if (p.type() != pugi::node_element) continue;
      const std::string_view name = p.name();
      const size_t value = ownValues + firstOfName.Find(name);
      if (value == fValues.size()) fValues.push_back(krptUtil::GetElementValueAsString(p));
      fParameters.push_back({LowerCase(name), static_cast<uint32_t>(value)});
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
  for (const ParameterLine& line : fParameters) krptUtil::AddNode(parameters, line.fName, ValueOf(line));

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
  for (const ParameterLine& line : fParameters) lines.push_back(line.fName + "=" + ValueOf(line));
  return lines;
}

std::string kDeviceHandler::GetParameter(std::string_view aName) const {
  const ParameterLine* line = FindParameter(aName);
  return line ? ValueOf(*line) : std::string();
}

bool kDeviceHandler::ParameterExists(std::string_view aName) const { return FindParameter(aName) != nullptr; }

bool kDeviceHandler::ValueShared(const ParameterLine& aLine) const {
  for (const ParameterLine& line : fParameters) {
    if (&line != &aLine && line.fValue == aLine.fValue) return true;
  }
  return false;
}

// aValue, which no line names any more, gives its place to the last value.
void kDeviceHandler::DropValue(uint32_t aValue) {
  const auto last = static_cast<uint32_t>(fValues.size() - 1);
  if (aValue != last) {
    fValues[aValue] = std::move(fValues[last]);
    for (ParameterLine& line : fParameters) {
      if (line.fValue == last) line.fValue = aValue;
    }
  }
  fValues.pop_back();
}

void kDeviceHandler::SetParameter(const std::string& aName, const std::string& aValue) {
  for (auto it = fParameters.begin(); it != fParameters.end(); ++it) {
    if (!SameText(it->fName, aName)) continue;
    const bool shared = ValueShared(*it);
    if (aValue.empty()) {
      const uint32_t value = it->fValue;
      fParameters.erase(it);
      if (!shared) DropValue(value);
    } else if (shared) {
      it->fValue = static_cast<uint32_t>(fValues.size());
      fValues.push_back(aValue);
    } else {
      fValues[it->fValue] = aValue;
    }
    return;
  }
  if (aValue.empty()) return;
  fParameters.push_back({aName, static_cast<uint32_t>(fValues.size())});
  fValues.push_back(aValue);
}

std::unique_ptr<kIOHandler> kDeviceHandler::CreateIOHandler(const std::string& aLogDir) const {
  std::unique_ptr<kIOHandler> handler = ::CreateIOHandler(fConnection, aLogDir, fDriver + "_" + fLogId);
  handler->SetHexLog(ParameterExists("HexLog") && LowerCase(GetParameter("HexLog")) == "true");
  return handler;
}
