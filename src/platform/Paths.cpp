#include "platform/Platform.h"

namespace platform {

std::string JoinPath(std::string_view aFolder, std::string_view aName) {
  std::string path(aFolder);
  if (!path.empty() && !IsPathDelimiter(path.back())) path += kPathDelim;
  return path.append(aName);
}

}  // namespace platform
