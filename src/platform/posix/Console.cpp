#include "platform/Console.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

int DescriptorOf(StdStream aStream) {
  switch (aStream) {
    case StdStream::Input: return STDIN_FILENO;
    case StdStream::Output: return STDOUT_FILENO;
    case StdStream::Error: return STDERR_FILENO;
  }
  return -1;
}

}  // namespace

bool IsTerminal(StdStream aStream) { return isatty(DescriptorOf(aStream)) == 1; }

bool EnableTerminalColours(StdStream aStream) {
  if (!IsTerminal(aStream)) return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::strcmp(term, "dumb") != 0;
}

void UseByteExactStandardStreams() {}

HostComApartment::HostComApartment() = default;
HostComApartment::~HostComApartment() = default;

}  // namespace platform
