// Registers the test driver while the test variant of the library loads, as a provider
// driver registers itself; the product library has no such unit.
#include "testdriver/TestDriver.h"

namespace {
[[maybe_unused]] const bool gRegistered = (RegisterTestDriver(), true);
}
