#include "platform/Console.h"

#include <windows.h>
#include <objbase.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

HANDLE HandleOf(StdStream aStream) {
  switch (aStream) {
    case StdStream::Input: return GetStdHandle(STD_INPUT_HANDLE);
    case StdStream::Output: return GetStdHandle(STD_OUTPUT_HANDLE);
    case StdStream::Error: return GetStdHandle(STD_ERROR_HANDLE);
  }
  return INVALID_HANDLE_VALUE;
}

// The console's code pages belong to the window the program runs in: they go back to
// what they were when the program ends.
UINT gSavedOutputCodePage = 0;
UINT gSavedInputCodePage = 0;

void RestoreConsoleCodePages() {
  if (gSavedOutputCodePage != 0) SetConsoleOutputCP(gSavedOutputCodePage);
  if (gSavedInputCodePage != 0) SetConsoleCP(gSavedInputCodePage);
}

}  // namespace

// Only a console answers GetConsoleMode; files and pipes do not.
bool IsTerminal(StdStream aStream) {
  const HANDLE handle = HandleOf(aStream);
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

bool EnableTerminalColours(StdStream aStream) {
  if (aStream == StdStream::Input) return false;
  const HANDLE handle = HandleOf(aStream);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || GetConsoleMode(handle, &mode) == 0) return false;
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
  if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
  // Consoles older than Windows 10 refuse the mode: no colours there.
  return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void UseByteExactStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (gSavedOutputCodePage == 0 && gSavedInputCodePage == 0) {
    gSavedOutputCodePage = GetConsoleOutputCP();
    gSavedInputCodePage = GetConsoleCP();
    std::atexit(RestoreConsoleCodePages);
  }
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

HostComApartment::HostComApartment() {
  // A thread already in another apartment answers RPC_E_CHANGED_MODE: it is usable as it
  // is, and must not be uninitialised by us.
  const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  fInitialised = SUCCEEDED(result);
}

HostComApartment::~HostComApartment() {
  if (fInitialised) CoUninitialize();
}

}  // namespace platform
