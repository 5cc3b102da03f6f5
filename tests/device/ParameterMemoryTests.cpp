// What reading a request's parameters costs in memory. The program's allocations made on
// the test's own thread are counted while a scope asks for it; pugixml allocates through
// the same counter then.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#ifdef _WIN32
#include <malloc.h>
#define VELO_USABLE_SIZE _msize
#else
#include <malloc.h>
#define VELO_USABLE_SIZE malloc_usable_size
#endif

#include "device/DeviceHandler.h"

// The counting operator new below hands out malloc's memory and its delete frees it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

thread_local bool tCounting = false;
thread_local long long tLive = 0;
thread_local long long tPeak = 0;

void* CountedAlloc(size_t aSize) {
  void* p = std::malloc(aSize == 0 ? 1 : aSize);
  if (p != nullptr && tCounting) {
    tLive += static_cast<long long>(VELO_USABLE_SIZE(p));
    tPeak = std::max(tPeak, tLive);
  }
  return p;
}

void CountedFree(void* aPointer) {
  if (aPointer == nullptr) return;
  if (tCounting) tLive -= static_cast<long long>(VELO_USABLE_SIZE(aPointer));
  std::free(aPointer);
}

// The most memory that aStep held at once beyond what was held before it.
template <class TStep>
long long PeakBytesOf(TStep&& aStep) {
  const pugi::allocation_function allocate = pugi::get_memory_allocation_function();
  const pugi::deallocation_function deallocate = pugi::get_memory_deallocation_function();
  pugi::set_memory_management_functions(CountedAlloc, CountedFree);
  tLive = tPeak = 0;
  tCounting = true;
  aStep();
  tCounting = false;
  pugi::set_memory_management_functions(allocate, deallocate);
  return tPeak;
}

// A large value whose parameter name is given again and again: every line of that name
// carries the first element's text, yet the text is held once.
TEST(DeviceHandlerMemory, RepeatedParameterNameHoldsItsValueOnce) {
  const std::string value(100 * 1024, 'v');
  std::string xml = "<Request><Parameters><Big>" + value + "</Big>";
  for (int i = 0; i < 1000; ++i) xml += "<Big/>";
  xml += "</Parameters></Request>";

  kDeviceHandler handler;
  std::unique_ptr<pugi::xml_document> document;
  const long long peak = PeakBytesOf([&] { document = handler.Deserialize(xml); });
  // A copy per line would be a hundred megabytes.
  EXPECT_LT(peak, 6 * static_cast<long long>(xml.size())) << "request of " << xml.size() << " bytes";
  EXPECT_EQ(handler.GetParameter("big"), value);
  const std::vector<std::string> lines = handler.Parameters();
  EXPECT_EQ(lines.size(), 1001u);
}

// Changing the first line of a repeated name leaves the others their own text.
TEST(DeviceHandlerMemory, SharedValueChangesForOneLineOnly) {
  kDeviceHandler handler;
  handler.Deserialize("<Request><Parameters><A>1</A><A/><A/></Parameters></Request>");
  handler.SetParameter("a", "2");
  EXPECT_EQ(handler.Parameters(), (std::vector<std::string>{"a=2", "a=1", "a=1"}));
  // Deleting lines one by one: the shared text stays until its last line goes.
  handler.SetParameter("a", "");
  EXPECT_EQ(handler.Parameters(), (std::vector<std::string>{"a=1", "a=1"}));
  handler.SetParameter("a", "");
  EXPECT_EQ(handler.GetParameter("a"), "1");
  handler.SetParameter("b", "3");
  handler.SetParameter("a", "");
  EXPECT_EQ(handler.Parameters(), (std::vector<std::string>{"b=3"}));
}

}  // namespace

void* operator new(size_t aSize) {
  void* p = CountedAlloc(aSize);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t aSize) {
  void* p = CountedAlloc(aSize);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(size_t aSize, const std::nothrow_t&) noexcept { return CountedAlloc(aSize); }
void* operator new[](size_t aSize, const std::nothrow_t&) noexcept { return CountedAlloc(aSize); }
void operator delete(void* aPointer) noexcept { CountedFree(aPointer); }
void operator delete[](void* aPointer) noexcept { CountedFree(aPointer); }
void operator delete(void* aPointer, size_t) noexcept { CountedFree(aPointer); }
void operator delete[](void* aPointer, size_t) noexcept { CountedFree(aPointer); }
void operator delete(void* aPointer, const std::nothrow_t&) noexcept { CountedFree(aPointer); }
void operator delete[](void* aPointer, const std::nothrow_t&) noexcept { CountedFree(aPointer); }
