#pragma once
// The one place that knows every transport: a new connection type gets its handler here.
#include <memory>
#include <string>

class kConnection;
class kIOHandler;

// The I/O handler of aConnection's type, logging into aLogDir under aFileName (made safe
// for a file name). A value outside the connection types raises EMxError
// "Connection Type <n> is not valid".
std::unique_ptr<kIOHandler> CreateIOHandler(const kConnection& aConnection, const std::string& aLogDir,
                                            const std::string& aFileName);
