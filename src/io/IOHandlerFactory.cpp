#include "io/IOHandlerFactory.h"

#include "core/Errors.h"
#include "io/Connection.h"
#include "io/IOHandler_Com.h"
#include "io/IOHandler_Dll.h"
#include "io/IOHandler_HTTP.h"
#include "io/IOHandler_OPOS.h"
#include "io/IOHandler_Serial.h"
#include "io/IOHandler_Spool.h"
#include "io/IOHandler_TCP.h"

std::unique_ptr<kIOHandler> CreateIOHandler(const kConnection& aConnection, const std::string& aLogDir,
                                            const std::string& aFileName) {
  switch (aConnection.ConnectionType()) {
    case tkConnectionType::Com:
      return std::make_unique<kIOHandler_Com>(&aConnection, aLogDir, aFileName);
    case tkConnectionType::DLL:
      return std::make_unique<kIOHandler_Dll>(&aConnection, aLogDir, aFileName);
    case tkConnectionType::OPOS:
      return std::make_unique<kIOHandler_OPOS>(&aConnection, aLogDir, aFileName);
    case tkConnectionType::Spool:
      return std::make_unique<kIOHandler_Spool>(&aConnection, aLogDir, aFileName);
    case tkConnectionType::Serial:
      return std::make_unique<kIOHandler_Serial>(&aConnection, aLogDir, aFileName);
    case tkConnectionType::TCP:
      return std::make_unique<kIOHandler_TCP>(&aConnection, aLogDir, aFileName);
    case tkConnectionType::HTTP:
      return std::make_unique<kIOHandler_HTTP>(&aConnection, aLogDir, aFileName);
  }
  throw EMxError("Connection Type " + std::to_string(static_cast<int>(aConnection.ConnectionType())) +
                 " is not valid");
}
