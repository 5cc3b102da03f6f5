// Every test program is a host of the library: its main thread gets a COM apartment, as a
// POS gives its calling thread (the library never initialises COM itself).
#include <gtest/gtest.h>

#include <memory>

#include "platform/Console.h"

namespace {

class tkHostComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { fApartment = std::make_unique<platform::HostComApartment>(); }
  void TearDown() override { fApartment.reset(); }

 private:
  std::unique_ptr<platform::HostComApartment> fApartment;
};

// GoogleTest owns registered environments.
[[maybe_unused]] ::testing::Environment* const gHostCom =
    ::testing::AddGlobalTestEnvironment(new tkHostComEnvironment);

}  // namespace
