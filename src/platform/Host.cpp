#include "platform/Host.h"

#include <vector>

#include "core/Text.h"
#include "platform/Platform.h"

TDateTime Now() { return EncodeDateTime(platform::LocalNow()); }

namespace {

// Windows takes both separators; elsewhere only the platform's own.
size_t LastDelimiter(std::string_view aPath) {
  for (size_t i = aPath.size(); i > 0; --i)
    if (aPath[i - 1] == platform::kPathDelim || aPath[i - 1] == '/') return i - 1;
  return std::string_view::npos;
}

}  // namespace

std::string ExePathOf(std::string_view aExecutable) {
  const size_t delim = LastDelimiter(aExecutable);
  return delim == std::string_view::npos ? std::string() : std::string(aExecutable.substr(0, delim + 1));
}

std::string ExeNameOf(std::string_view aExecutable) {
  const size_t delim = LastDelimiter(aExecutable);
  std::string_view name = delim == std::string_view::npos ? aExecutable : aExecutable.substr(delim + 1);
  const size_t point = name.rfind('.');
  if (point != std::string_view::npos) name = name.substr(0, point);
  return std::string(name);
}

std::string GetExePath() { return ExePathOf(platform::ExecutablePath()); }

std::string GetExeName() { return ExeNameOf(platform::ExecutablePath()); }

std::string GetParamValue(std::span<const std::string> aParams, std::string_view aName, bool aWhole) {
  for (const std::string& param : aParams) {
    const bool matches =
        StartsWithText(param, aName) &&
        (param.size() == aName.size() || param[aName.size()] == ':' || param[aName.size()] == '=');
    if (!matches) continue;
    if (aWhole) return param;
    return param.size() > aName.size() ? param.substr(aName.size() + 1) : std::string();
  }
  return {};
}

std::string GetParamValue(std::string_view aName, bool aWhole) {
  const std::vector<std::string> args = platform::CommandLineArguments();
  if (args.empty()) return {};
  return GetParamValue(std::span<const std::string>(args).subspan(1), aName, aWhole);
}
