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

#include "sim/ViroziSimulator.h"
#include "support/ScopedEnv.h"
#include "support/ScratchFile.h"
#include "support/SplitFields.h"

namespace simtest {

using ::Split;

using ScratchFile = tkScratchFile;

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { tViroziSimulator::Reset(); }
  void TearDown() override { tViroziSimulator::Reset(); }

  ScopedEnv fScriptEnv{"VIROZI_SIM_SCRIPT", std::nullopt};
  ScopedEnv fJournalEnv{"VIROZI_SIM_JOURNAL", std::nullopt};
  ScopedEnv fCreateEnv{"VIROZI_SIM_CREATE", std::nullopt};
  ScopedEnv fDelayEnv{"VIROZI_SIM_DELAY", std::nullopt};
  ScopedEnv fHangEnv{"VIROZI_SIM_HANG", std::nullopt};
  tViroziSimulator fSim;
};

}  // namespace simtest
