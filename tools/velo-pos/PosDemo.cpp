#include "velo-pos/PosDemo.h"

#include <stdexcept>

std::vector<tkDemoStep> DemoSteps() {
  // Coupon codes: issuer, face value in cents, serial; the terminal wants a commit for
  // codes ending in an odd digit.
  return {
      {"Driver version", "version"},
      {"Open the payment device", "open"},
      {"Card payment of 12.50 EUR", "pay --amount 12.50 --currency EUR"},
      {"Card payment of 23.40 EUR (the card asks for a signature)", "pay --amount 23.40 --currency EUR"},
      {"Wallet payment of 8.90 EUR with Satispay", "pay --amount 8.90 --currency EUR --attributes satispay"},
      {"Card payment of 7.13 EUR, declined by the terminal", "pay --amount 7.13 --currency EUR", false},
      {"Health-service payment of 25.60 EUR", "pay --channel NHS --amount 25.60 --currency EUR"},
      {"Meal vouchers in one step, 16.00 EUR", "pay --channel MVP --amount 16.00 --currency EUR"},
      {"Coupon ticket: begin",
       "pay --channel MVP --phase BEGIN --store 0042 --till 07 --merchant 01 --reference R0001"},
      {"Coupon ticket: first coupon (8.00, needs a commit)",
       "pay --channel MVP --phase DO --store 0042 --till 07 --merchant 01 --reference R0001 "
       "--coupon 1070800000123451 --currency EUR"},
      {"Coupon ticket: second coupon (5.29)",
       "pay --channel MVP --phase DO --store 0042 --till 07 --merchant 01 --reference R0001 "
       "--coupon 2080529000123452 --currency EUR"},
      {"Coupon ticket: commit", "pay --channel MVP --phase COMMIT --store 0042 --till 07 --merchant 01 --reference R0001"},
      {"Second coupon ticket: begin",
       "pay --channel MVP --phase BEGIN --store 0042 --till 07 --merchant 01 --reference R0002"},
      {"Second coupon ticket: a coupon (7.00)",
       "pay --channel MVP --phase DO --store 0042 --till 07 --merchant 01 --reference R0002 "
       "--coupon 1050700000123453 --currency EUR"},
      {"Second coupon ticket: rolled back, the customer pays otherwise",
       "pay --channel MVP --phase ROLLBACK --store 0042 --till 07 --merchant 01 --reference R0002 --currency EUR"},
      {"Totals of the day", "totals"},
      {"Day close", "dayclose"},
      {"Close the payment device", "close"},
      // A request without a Connection element reaches the fiscal printer control.
      {"Open a device without a Connection element (OPOS fiscal printer control)", "open --connection none"},
      {"Close that device", "close --connection none"},
  };
}

int RunDemo(tkPosSession& aSession, tkPosPrinter& aPrinter, const std::string& aLibraryPath) {
  aPrinter.Line("velo-pos demo: a shop day through the exports of " + aLibraryPath);
  aPrinter.Line("");
  const tkRequestReader noFiles = [](const std::string&) -> std::string {
    throw std::logic_error("the demo reads no request files");
  };
  int unexpected = 0;
  const std::vector<tkDemoStep> steps = DemoSteps();
  for (const tkDemoStep& step : steps) {
    const std::vector<tkPosOperation> operations = ParseOperations(SplitLine(step.Command), noFiles, false);
    for (const tkPosOperation& operation : operations) {
      if (aSession.Run(operation, step.Title, step.Command, &step.ExpectSuccess).Succeeded != step.ExpectSuccess) {
        ++unexpected;
      }
    }
  }
  if (unexpected == 0) {
    aPrinter.Line("The day is done: " + std::to_string(steps.size()) + " steps, each as expected.");
  } else {
    aPrinter.Problem(std::to_string(unexpected) + " of " + std::to_string(steps.size()) +
                     " steps did not come out as expected.");
  }
  if (aSession.LogFiles().empty()) {
    aPrinter.Problem("Device log: none was named (no operation reached a device)");
    return kExitFailed;
  }
  aSession.PrintLogFiles();
  return unexpected == 0 ? kExitSuccess : kExitFailed;
}
