#include "io/IOHandler_NoStream.h"

#include "core/Errors.h"

std::string kIOHandler_NoStream::ReadAll() { throw EMxError("ReadAll Unsupported"); }

bool kIOHandler_NoStream::InputBufferContainsData() { throw EMxError("InputBufferContainsData Unsupported"); }
