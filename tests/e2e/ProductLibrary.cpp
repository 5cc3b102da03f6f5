#include "e2e/ProductLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/Text.h"
#include "core/Utils.h"
#include "platform/Host.h"
#include "platform/Library.h"
#include "platform/Module.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

bool UnloadAndWait(tkProductLibrary& aLibrary) {
  const tkUnloadResult result = aLibrary.Unload();
  EXPECT_TRUE(result.Gone) << aLibrary.Path() << " still loaded long after its last release";
  return result.Deferred;
}

std::string Request(std::string_view aDriver, int32_t aHandle, std::string_view aLogId, std::string_view aBody) {
  std::string xml = "<Request><Driver>";
  xml += aDriver;
  xml += "</Driver>";
  if (aHandle != 0) xml += "<Handle>" + std::to_string(aHandle) + "</Handle>";
  xml += "<LogId>";
  xml += aLogId;
  xml += "</LogId><Connection><Type>COM</Type></Connection>";
  xml += aBody;
  xml += "</Request>";
  return xml;
}

std::string PaymentLogFolder() {
  return GetExePath() + "LogFiles" + platform::kPathDelim + "Payment" + platform::kPathDelim;
}

namespace {

std::vector<fs::path> DeviceLogs(std::string_view aDriver, std::string_view aLogId) {
  std::vector<fs::path> logs;
  const std::string prefix = std::string(aDriver) + "_" + std::string(aLogId) + "_";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(PaymentLogFolder()), error)) {
    const std::string name = entry.path().filename().string();
    // The daily name: prefix + yyyymmdd + ".log".
    if (name.size() == prefix.size() + 12 && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - 4, 4, ".log") == 0) {
      logs.push_back(entry.path());
    }
  }
  return logs;
}

}  // namespace

std::string ReadDeviceLogs(std::string_view aDriver, std::string_view aLogId) {
  std::string text;
  for (const fs::path& log : DeviceLogs(aDriver, aLogId)) {
    std::ifstream file(log, std::ios::binary);
    text.append(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return text;
}

void RemoveDeviceLogs(std::string_view aDriver, std::string_view aLogId) {
  for (const fs::path& log : DeviceLogs(aDriver, aLogId)) {
    std::error_code error;
    fs::remove(log, error);
  }
}
