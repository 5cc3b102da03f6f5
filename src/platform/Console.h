#pragma once
// The standard streams of a command-line host: terminal detection, colours, byte-exact
// output, and the COM apartment a POS host gives its calling thread.

namespace platform {

enum class StdStream { Input, Output, Error };

// True when the stream is an interactive terminal (a console window on Windows), not a
// file or a pipe.
bool IsTerminal(StdStream aStream);

// Readies a terminal stream for ANSI colour sequences (Windows consoles must have them
// switched on). False when the stream is no terminal or cannot show them.
bool EnableTerminalColours(StdStream aStream);

// The standard streams pass bytes through unchanged (no line-end translation) and a
// console shows UTF-8 text.
void UseByteExactStandardStreams();

// The calling thread's COM apartment for as long as the object lives: the library never
// initialises COM, the host that calls it does. Nothing to do outside Windows.
class HostComApartment {
 public:
  HostComApartment();
  ~HostComApartment();
  HostComApartment(const HostComApartment&) = delete;
  HostComApartment& operator=(const HostComApartment&) = delete;

 private:
  bool fInitialised = false;
};

}  // namespace platform
