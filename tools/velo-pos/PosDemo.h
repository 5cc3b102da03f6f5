#pragma once
// velo-pos demo: a whole shop day against the terminal, each step shown with the command
// line that does the same.
#include <string>
#include <vector>

#include "velo-pos/PosSession.h"

struct tkDemoStep {
  std::string Title;
  std::string Command;  // velo-pos words, as a shell line
  bool ExpectSuccess = true;
};

// The day: open, card, wallet, declined, health-service and meal-voucher payments, a
// coupon ticket committed and one rolled back, totals, day close, close; then a device
// opened without a Connection element, which goes through the fiscal printer control.
std::vector<tkDemoStep> DemoSteps();

// Runs the day in aSession and ends with the device log's path. Gives kExitSuccess when
// every step came out as expected, kExitFailed otherwise.
int RunDemo(tkPosSession& aSession, tkPosPrinter& aPrinter, const std::string& aLibraryPath);
