#include "io/IOHandler_Com.h"

#include "core/Errors.h"

kIOHandler_Com::kIOHandler_Com(const kConnection* aConnection, const std::string& aDirectory,
                               const std::string& aFileName)
    : kIOHandler(aConnection, aDirectory, aFileName) {}

std::string kIOHandler_Com::ReadAll() { throw EMxError("ReadAll Unsupported"); }

bool kIOHandler_Com::InputBufferContainsData() { throw EMxError("InputBufferContainsData Unsupported"); }
