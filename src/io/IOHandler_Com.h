#pragma once
// Device reached through a component object that its driver creates and calls itself:
// no channel at all, only the device's log and error record.
#include "io/IOHandler_NoStream.h"

class kIOHandler_Com : public kIOHandler_NoStream {
 public:
  kIOHandler_Com(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName)
      : kIOHandler_NoStream(aConnection, aDirectory, aFileName) {}

  const char* ClassName() const override { return "kIOHandler_Com"; }
};
