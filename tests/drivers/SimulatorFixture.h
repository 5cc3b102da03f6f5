#pragma once
// Shared by the simulator tests: a fresh terminal per test, no steering left over from
// other tests, and scratch files for scripts and journals.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/ViroziSimulator.h"
#include "support/ScopedEnv.h"

namespace simtest {

// Fields of a reply, counted from 0 here (the driver counts from 1).
inline std::vector<std::string> Split(std::string_view aText, char aSeparator) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t end = aText.find(aSeparator, start);
    fields.emplace_back(aText.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

// A file name of its own in the temporary folder, removed afterwards. Other builds may
// run the same tests at the same time, hence the random part.
class ScratchFile {
 public:
  explicit ScratchFile(std::string_view aStem) {
    std::random_device random;
    fPath = std::filesystem::temp_directory_path() /
            ("velo-sim-" + std::to_string(random()) + "-" + std::string(aStem) + ".txt");
  }
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(fPath, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  std::string Path() const { return fPath.string(); }
  void Write(std::string_view aText, bool aAppend = false) const {
    std::ofstream out(fPath, std::ios::binary | (aAppend ? std::ios::app : std::ios::trunc));
    out << aText;
  }
  std::string Read() const {
    std::ifstream in(fPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path fPath;
};

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { tViroziSimulator::Reset(); }
  void TearDown() override { tViroziSimulator::Reset(); }

  ScopedEnv fScriptEnv{"VIROZI_SIM_SCRIPT", std::nullopt};
  ScopedEnv fJournalEnv{"VIROZI_SIM_JOURNAL", std::nullopt};
  ScopedEnv fCreateEnv{"VIROZI_SIM_CREATE", std::nullopt};
  tViroziSimulator fSim;
};

}  // namespace simtest
