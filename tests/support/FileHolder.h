#pragma once
// Another process that holds a file for a while, the way another program would: natively
// with the advisory lock that every log writer takes (the util-linux flock command), on
// Windows by this test program started again, opening the file without sharing it.
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace testsupport {

inline constexpr char kHoldFileSwitch[] = "--velo-hold-file";

// In the started copy (Windows): holds the file named after the switch for the given
// milliseconds, creates the marker file once it holds it, and ends the process. Call it
// before anything else in the program; it returns at once when the switch is absent.
inline void RunFileHolderIfAsked() {
#ifdef _WIN32
  const std::vector<std::string> args = platform::CommandLineArguments();
  if (args.size() != 5 || args[1] != kHoldFileSwitch) return;
  auto wide = [](const std::string& aUtf8) { return std::filesystem::path(std::u8string(aUtf8.begin(), aUtf8.end())).wstring(); };
  const HANDLE file = CreateFileW(wide(args[2]).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) ExitProcess(2);
  const HANDLE marker = CreateFileW(wide(args[4]).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  Sleep(static_cast<DWORD>(std::stoul(args[3])));
  CloseHandle(file);
  ExitProcess(0);
#endif
}

// Starts the other process and returns once it holds aPath; it lets go aMilliseconds later.
inline void HoldFileInOtherProcess(const std::string& aPath, int aMilliseconds) {
  namespace fs = std::filesystem;
  const std::string marker = aPath + ".held";
  std::error_code ignored;
  fs::remove(fs::path(std::u8string(marker.begin(), marker.end())), ignored);
#ifdef _WIN32
  std::wstring command = L"\"" + fs::path(platform::ExecutablePath()).wstring() + L"\" " +
                         fs::path(kHoldFileSwitch).wstring() + L" \"" +
                         fs::path(std::u8string(aPath.begin(), aPath.end())).wstring() + L"\" " +
                         std::to_wstring(aMilliseconds) + L" \"" +
                         fs::path(std::u8string(marker.begin(), marker.end())).wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    throw std::runtime_error("cannot start the holding process: error " + std::to_string(GetLastError()));
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
#else
  const std::string command = "flock '" + aPath + "' sh -c 'touch \"$0\"; sleep " +
                              std::to_string(aMilliseconds / 1000.0) + "' '" + marker + "' >/dev/null 2>&1 &";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot start flock");
#endif
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(fs::path(std::u8string(marker.begin(), marker.end())))) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the holding process did not start");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace testsupport
