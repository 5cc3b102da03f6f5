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
#include "support/ScratchFile.h"

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

using ScratchFile = tkScratchFile;

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
