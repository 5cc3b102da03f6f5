#pragma once
// The local date and time of the latest whole second that any thread converted. Turning a
// clock reading into local time walks the zone rules (and takes a process-wide lock, or
// under Wine asks the server); log lines are stamped many times a second, so the clocks
// convert once per second and add the milliseconds. Process-wide rather than per thread:
// a thread-local copy inside a library outlives the library's unloading in every thread
// that ever stamped a line.
#include <atomic>
#include <cstdint>
#include <limits>

#include "core/DateTime.h"

namespace platform {

// Readers never wait: a reader that meets a writer at work, or finds another second,
// misses and converts the time itself.
class SecondCache {
 public:
  // aParts (the milliseconds left as they are) when aSecond is the second cached.
  bool Find(int64_t aSecond, DateTimeParts& aParts) const {
    const uint32_t before = fSequence.load(std::memory_order_acquire);
    if (before & 1) return false;
    const int64_t second = fSecond.load(std::memory_order_relaxed);
    const uint64_t packed = fPacked.load(std::memory_order_relaxed);
    // A read that writes (nothing) cannot be moved before the loads above; unlike a fence
    // it is also understood by the thread sanitizer.
    if (fSequence.fetch_add(0, std::memory_order_acq_rel) != before ||
        second != aSecond) {
      return false;
    }
    aParts.Year = static_cast<int>(packed >> 40);
    aParts.Month = static_cast<int>((packed >> 32) & 0xFF);
    aParts.Day = static_cast<int>((packed >> 24) & 0xFF);
    aParts.Hour = static_cast<int>((packed >> 16) & 0xFF);
    aParts.Minute = static_cast<int>((packed >> 8) & 0xFF);
    aParts.Second = static_cast<int>(packed & 0xFF);
    return true;
  }

  // Caches aParts (milliseconds ignored) as the time of aSecond. Another thread storing at
  // the same moment wins; this one then leaves the cache alone.
  void Store(int64_t aSecond, const DateTimeParts& aParts) {
    uint32_t sequence = fSequence.load(std::memory_order_relaxed);
    // Acquire: the stores below cannot be moved before the odd sequence number.
    if ((sequence & 1) || !fSequence.compare_exchange_strong(sequence, sequence + 1, std::memory_order_acquire,
                                                             std::memory_order_relaxed)) {
      return;
    }
    fSecond.store(aSecond, std::memory_order_relaxed);
    fPacked.store(Pack(aParts), std::memory_order_relaxed);
    fSequence.store(sequence + 2, std::memory_order_release);
  }

 private:
  static uint64_t Field(int aValue, int aMax) {
    return static_cast<uint64_t>(aValue < 0 ? 0 : (aValue > aMax ? aMax : aValue));
  }
  static uint64_t Pack(const DateTimeParts& aParts) {
    return Field(aParts.Year, 0xFFFF) << 40 | Field(aParts.Month, 0xFF) << 32 | Field(aParts.Day, 0xFF) << 24 |
           Field(aParts.Hour, 0xFF) << 16 | Field(aParts.Minute, 0xFF) << 8 | Field(aParts.Second, 0xFF);
  }

  mutable std::atomic<uint32_t> fSequence{0};  // odd while a writer changes the fields below
  std::atomic<int64_t> fSecond{std::numeric_limits<int64_t>::min()};
  std::atomic<uint64_t> fPacked{0};
};

}  // namespace platform
