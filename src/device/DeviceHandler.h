#pragma once
// The device part of a request document: driver, handle, log identifier, connection and
// free parameters; creates the device's I/O handler with its log.
#include <pugixml.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/Connection.h"

class kIOHandler;

class kDeviceHandler {
 public:
  kDeviceHandler() = default;
  virtual ~kDeviceHandler() = default;
  kDeviceHandler(const kDeviceHandler&) = delete;
  kDeviceHandler& operator=(const kDeviceHandler&) = delete;

  // Parses aXml (UTF-8) and reads the device part into this object, adding parameters to
  // those already held. Gives the parsed document for the operation part. Raises EMxError
  // for text that is not a document and for any bad value.
  std::unique_ptr<pugi::xml_document> Deserialize(const std::string& aXml);
  // The device part as a complete document.
  std::string Serialize() const;

  // Names compare case-insensitively; the first line of a name wins.
  std::string GetParameter(std::string_view aName) const;
  bool ParameterExists(std::string_view aName) const;
  // A non-empty value replaces the first line of that name or appends one; an empty value
  // deletes the first line of that name.
  void SetParameter(const std::string& aName, const std::string& aValue);

  // The I/O handler of the connection type, logging into aLogDir under the name
  // Driver + "_" + LogId (made safe for a file name). Connection types whose transport
  // this build lacks raise EMxError "Connection Type <TYPE> is not supported".
  std::unique_ptr<kIOHandler> CreateIOHandler(const std::string& aLogDir) const;

  const std::string& Type() const { return fType; }
  void SetType(std::string aValue) { fType = std::move(aValue); }
  const std::string& Driver() const { return fDriver; }
  void SetDriver(std::string aValue) { fDriver = std::move(aValue); }
  const std::string& Method() const { return fMethod; }
  void SetMethod(std::string aValue) { fMethod = std::move(aValue); }
  kConnection& Connection() { return fConnection; }
  const kConnection& Connection() const { return fConnection; }
  int32_t DeviceHandle() const { return fDeviceHandle; }
  void SetDeviceHandle(int32_t aValue) { fDeviceHandle = aValue; }
  const std::string& LogId() const { return fLogId; }
  void SetLogId(std::string aValue) { fLogId = std::move(aValue); }
  // Lines "name=value" in insertion order.
  std::vector<std::string> Parameters() const;

 private:
  void ReadConnection(pugi::xml_node aConnection);

  std::string fType;
  std::string fDriver;
  std::string fMethod;
  kConnection fConnection;
  int32_t fDeviceHandle = 0;
  // One line of the parameter list. Lines of a repeated name share one value, so a large
  // value named many times is held once; every value is some line's.
  struct ParameterLine {
    std::string fName;
    uint32_t fValue;  // index into fValues
  };
  const ParameterLine* FindParameter(std::string_view aName) const;
  const std::string& ValueOf(const ParameterLine& aLine) const { return fValues[aLine.fValue]; }
  bool ValueShared(const ParameterLine& aLine) const;
  void DropValue(uint32_t aValue);

  std::vector<ParameterLine> fParameters;
  std::vector<std::string> fValues;
  std::string fLogId;
};
