#pragma once
// A fresh folder per test and small file helpers for the log tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace logtest {

namespace fs = std::filesystem;

inline std::string Utf8(const fs::path& aPath) {
  const std::u8string text = aPath.u8string();
  return std::string(text.begin(), text.end());
}

inline fs::path AsPath(const std::string& aUtf8) {
  return fs::path(std::u8string(aUtf8.begin(), aUtf8.end()));
}

inline std::string Join(const std::string& aFolder, const std::string& aName) {
  return aFolder + platform::kPathDelim + aName;
}

inline std::string ReadAll(const std::string& aPath) {
  std::ifstream in(AsPath(aPath), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The file's lines; every line must end with CR LF and no bare LF may appear.
inline std::vector<std::string> ReadLines(const std::string& aPath) {
  const std::string text = ReadAll(aPath);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "last line of " << aPath << " has no CR LF: " << text.substr(start);
      lines.push_back(text.substr(start));
      break;
    }
    std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find('\n'), std::string::npos) << "bare LF in " << line;
    lines.push_back(std::move(line));
    start = end + 2;
  }
  return lines;
}

// The message part of lines "stamp - message".
inline std::vector<std::string> Messages(const std::string& aPath) {
  std::vector<std::string> messages;
  for (const std::string& line : ReadLines(aPath)) {
    messages.push_back(line.size() >= 26 ? line.substr(26) : "<short line: " + line + ">");
  }
  return messages;
}

inline void WriteBytes(const std::string& aPath, const std::string& aBytes) {
  std::ofstream out(AsPath(aPath), std::ios::binary | std::ios::trunc);
  out << aBytes;
}

// "yyyy-mm-dd hh:mm:ss:zzz" of the local clock, to compare with written stamps.
inline std::string StampNow() {
  const DateTimeParts p = platform::LocalNow();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d:%03d", p.Year, p.Month, p.Day,
                p.Hour, p.Minute, p.Second, p.Millisecond);
  return text;
}

inline std::string DateNow() { return StampNow().substr(0, 10); }

inline bool WaitUntil(const std::function<bool()>& aDone,
                      std::chrono::milliseconds aLimit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + aLimit;
  while (!aDone()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    std::random_device random;
    fRoot = fs::temp_directory_path() / ("velo_log_" + name + "_" + std::to_string(random()));
    fs::create_directories(fRoot);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(fRoot, ignored);
  }
  // The test's folder, or a path inside it.
  std::string Folder() const { return Utf8(fRoot); }
  std::string Path(const std::string& aName) const { return Join(Folder(), aName); }
  std::vector<std::string> FileNamesIn(const std::string& aFolder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(AsPath(aFolder))) {
      names.push_back(Utf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path fRoot;
};

}  // namespace logtest
