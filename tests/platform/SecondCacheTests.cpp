// The process-wide cache of the local time of one second, which stamps every log line.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/SecondCache.h"

namespace {

// Parts that can be told from their second alone, so a torn read shows; aSecond >= 0.
DateTimeParts PartsOf(int64_t aSecond) {
  DateTimeParts parts;
  parts.Year = 2000 + static_cast<int>(aSecond % 97);
  parts.Month = 1 + static_cast<int>(aSecond % 12);
  parts.Day = 1 + static_cast<int>(aSecond % 28);
  parts.Hour = static_cast<int>(aSecond % 24);
  parts.Minute = static_cast<int>(aSecond % 60);
  parts.Second = static_cast<int>((aSecond / 7) % 60);
  return parts;
}

bool Same(const DateTimeParts& a, const DateTimeParts& b) {
  return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour && a.Minute == b.Minute &&
         a.Second == b.Second;
}

TEST(SecondCache, FindsOnlyTheSecondStoredLast) {
  platform::SecondCache cache;
  DateTimeParts parts;
  EXPECT_FALSE(cache.Find(0, parts)) << "an empty cache";
  cache.Store(1'738'314'902, PartsOf(1'738'314'902));
  parts.Millisecond = 7;
  ASSERT_TRUE(cache.Find(1'738'314'902, parts));
  EXPECT_TRUE(Same(parts, PartsOf(1'738'314'902)));
  EXPECT_EQ(parts.Millisecond, 7) << "milliseconds are the caller's";
  EXPECT_FALSE(cache.Find(1'738'314'903, parts));
  EXPECT_FALSE(cache.Find(1'738'314'902 - (int64_t{1} << 32), parts)) << "the whole second is the key";

  DateTimeParts odd = PartsOf(5);
  odd.Year = -3;
  odd.Day = 300;
  cache.Store(-5, odd);
  ASSERT_TRUE(cache.Find(-5, parts));
  EXPECT_EQ(parts.Year, 0) << "out-of-range fields are clamped, not wrapped into others";
  EXPECT_EQ(parts.Day, 255);
  EXPECT_EQ(parts.Month, odd.Month);
  EXPECT_EQ(parts.Hour, odd.Hour);
}

TEST(SecondCache, ConcurrentReadersNeverSeeAMixOfTwoSeconds) {
  // Few seconds, stored over and over: readers hit often while writers are at work.
  constexpr int64_t kSeconds = 4;
  platform::SecondCache cache;
  std::atomic<bool> stop{false};
  std::atomic<int64_t> hits{0};
  std::atomic<int64_t> torn{0};
  std::atomic<int64_t> stores{0};
  std::vector<std::thread> writers, readers;
  for (int t = 0; t < 2; ++t) {
    writers.emplace_back([&, t] {
      for (int64_t i = t; !stop.load(std::memory_order_relaxed); ++i) {
        cache.Store(i % kSeconds, PartsOf(i % kSeconds));
        stores.fetch_add(1, std::memory_order_release);
        // Short gaps between stores, so that reads both meet stores and fall between them.
        std::atomic<int> spin{0};
        while (spin.fetch_add(1, std::memory_order_relaxed) < 200) {
        }
      }
    });
  }
  for (int t = 0; t < 2; ++t) {
    readers.emplace_back([&] {
      DateTimeParts parts;
      // On a loaded machine the readers could otherwise finish before any writer ran.
      while (stores.load(std::memory_order_acquire) == 0) std::this_thread::yield();
      for (int64_t i = 0; i < 3'000'000; ++i) {
        const int64_t second = i % kSeconds;
        if (cache.Find(second, parts)) {
          hits.fetch_add(1, std::memory_order_relaxed);
          if (!Same(parts, PartsOf(second))) torn.fetch_add(1, std::memory_order_relaxed);
        }
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  stop = true;
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(hits.load(), 0) << "no read met a stored second: the test proved nothing";
  RecordProperty("hits", static_cast<int>(hits.load()));
}

}  // namespace
