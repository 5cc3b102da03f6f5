#include <unistd.h>

#include <fstream>
#include <iterator>

#include "platform/Platform.h"

namespace platform {

std::string ExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    // A full buffer may have cut the path: grow and read again.
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> CommandLineArguments() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  if (!file) return {};
  const std::string data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  // Arguments are each terminated by a zero byte.
  std::vector<std::string> args;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\0', start);
    if (end == std::string::npos) end = data.size();
    args.emplace_back(data, start, end - start);
    start = end + 1;
  }
  return args;
}

}  // namespace platform
