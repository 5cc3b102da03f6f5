#pragma once
// Another process for tests that need two: started from a program file with arguments,
// inheriting the environment; waited for with a time limit.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Raises std::runtime_error when the program cannot be started.
  ChildProcess(const std::string& aProgram, const std::vector<std::string>& aArguments);
  // Ends the process when it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit code, or nullopt when the process still runs after aLimit.
  std::optional<int> Wait(std::chrono::milliseconds aLimit);

 private:
  intptr_t fHandle = 0;  // process handle on Windows, pid elsewhere
  std::optional<int> fExitCode;
};
