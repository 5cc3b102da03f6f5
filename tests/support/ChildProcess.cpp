#include "support/ChildProcess.h"

#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#ifdef _WIN32

namespace {

// One argument quoted as the C runtime splits a command line.
std::wstring Quoted(const std::string& aArgument) {
  std::wstring wide(aArgument.begin(), aArgument.end());
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : wide) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

ChildProcess::ChildProcess(const std::string& aProgram, const std::vector<std::string>& aArguments) {
  std::wstring commandLine = Quoted(aProgram);
  for (const std::string& argument : aArguments) commandLine += L" " + Quoted(argument);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    throw std::runtime_error("cannot start " + aProgram);
  }
  CloseHandle(process.hThread);
  fHandle = reinterpret_cast<intptr_t>(process.hProcess);
}

ChildProcess::~ChildProcess() {
  HANDLE process = reinterpret_cast<HANDLE>(fHandle);
  if (!fExitCode) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds aLimit) {
  if (fExitCode) return fExitCode;
  HANDLE process = reinterpret_cast<HANDLE>(fHandle);
  if (WaitForSingleObject(process, static_cast<DWORD>(aLimit.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  fExitCode = static_cast<int>(code);
  return fExitCode;
}

#else

ChildProcess::ChildProcess(const std::string& aProgram, const std::vector<std::string>& aArguments) {
  std::vector<std::string> all{aProgram};
  all.insert(all.end(), aArguments.begin(), aArguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, aProgram.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start " + aProgram);
  }
  fHandle = pid;
}

ChildProcess::~ChildProcess() {
  if (fExitCode) return;
  kill(static_cast<pid_t>(fHandle), SIGKILL);
  waitpid(static_cast<pid_t>(fHandle), nullptr, 0);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds aLimit) {
  if (fExitCode) return fExitCode;
  const auto end = std::chrono::steady_clock::now() + aLimit;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(static_cast<pid_t>(fHandle), &status, WNOHANG);
    if (done == static_cast<pid_t>(fHandle)) {
      fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return fExitCode;
    }
    if (done < 0 || std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

#endif
