// Log writer costs against spdlog's asynchronous logger writing the same lines to a file
// that it flushes after every line:
//   *Write     the cost of one Write on the caller's thread (the queue is drained after
//              the timed loop); the repetitions' median is the figure;
//   *PerCall   the same with every call timed alone: p50/p99 per call, clock reads included;
//   *Drain     lines per second from the first Write until the writer is destroyed, i.e.
//              until every line is in the file.
#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/details/thread_pool.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Bench.h"
#include "log/LogWriter.h"

namespace {

namespace fs = std::filesystem;

int64_t kLines = 200'000;
int kRepetitions = 7;
const std::string kMessage =
    "fVirPay.Pagamento: 1;0;1500;00000001;APPROVED;04;receipt follows;0";

fs::path BenchFolder() {
  static const fs::path folder = fs::temp_directory_path() / "velo_log_bench";
  return folder;
}

std::string FreshFolder() {
  fs::remove_all(BenchFolder());
  fs::create_directories(BenchFolder());
  return BenchFolder().string();
}

// ---- tMx_LogWriter ----------------------------------------------------------------------

void VeloWrite(benchmark::State& state) {
  const std::string folder = FreshFolder();
  auto writer = std::make_unique<tMx_LogWriter>("bench", folder, 0, true);
  for (auto _ : state) writer->Write(let_info, kMessage);
  writer.reset();  // drains, after the timed loop
}

void VeloPerCall(benchmark::State& state) {
  const std::string folder = FreshFolder();
  auto writer = std::make_unique<tMx_LogWriter>("bench", folder, 0, true);
  std::vector<int64_t> nanoseconds;
  nanoseconds.reserve(static_cast<size_t>(state.max_iterations));
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    writer->Write(let_info, kMessage);
    nanoseconds.push_back((std::chrono::steady_clock::now() - start).count());
  }
  writer.reset();
  std::sort(nanoseconds.begin(), nanoseconds.end());
  state.counters["p50_ns"] = static_cast<double>(nanoseconds[nanoseconds.size() / 2]);
  state.counters["p99_ns"] = static_cast<double>(nanoseconds[nanoseconds.size() * 99 / 100]);
}

// Rates are computed here from the wall clock: the library's rate counters divide by the
// caller's CPU time, which mostly waits during a drain.
void SetLineRate(benchmark::State& state, std::chrono::steady_clock::duration aElapsed) {
  const double seconds = std::chrono::duration<double>(aElapsed).count();
  state.counters["lines_per_s"] = seconds > 0 ? static_cast<double>(kLines) * state.iterations() / seconds : 0;
}

void VeloDrain(benchmark::State& state) {
  std::chrono::steady_clock::duration elapsed{};
  for (auto _ : state) {
    state.PauseTiming();
    const std::string folder = FreshFolder();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    {
      tMx_LogWriter writer("bench", folder, 0, true);
      for (int64_t i = 0; i < kLines; ++i) writer.Write(let_info, kMessage);
    }
    elapsed += std::chrono::steady_clock::now() - start;
  }
  SetLineRate(state, elapsed);
}

// ---- spdlog reference -------------------------------------------------------------------

struct SpdLogger {
  std::shared_ptr<spdlog::details::thread_pool> pool;
  std::shared_ptr<spdlog::async_logger> logger;

  explicit SpdLogger(size_t aQueueSize) {
    const std::string file = FreshFolder() + "/spdlog.log";
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(file);
    pool = std::make_shared<spdlog::details::thread_pool>(aQueueSize, 1);
    logger = std::make_shared<spdlog::async_logger>("bench", sink, pool,
                                                    spdlog::async_overflow_policy::block);
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%Y-%m-%d %H:%M:%S:%e - %v", spdlog::pattern_time_type::local, "\r\n"));
    logger->flush_on(spdlog::level::trace);
  }
  // The pool's destructor writes out its queue before its thread ends.
  void Finish() {
    logger.reset();
    pool.reset();
  }
};

// A queue that holds every line, so the caller never waits for the disk either.
constexpr size_t kSpdQueue = 1 << 18;

void SpdlogWrite(benchmark::State& state) {
  SpdLogger log(kSpdQueue);
  for (auto _ : state) log.logger->info(kMessage);
  log.Finish();
}

void SpdlogPerCall(benchmark::State& state) {
  SpdLogger log(kSpdQueue);
  std::vector<int64_t> nanoseconds;
  nanoseconds.reserve(static_cast<size_t>(state.max_iterations));
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    log.logger->info(kMessage);
    nanoseconds.push_back((std::chrono::steady_clock::now() - start).count());
  }
  log.Finish();
  std::sort(nanoseconds.begin(), nanoseconds.end());
  state.counters["p50_ns"] = static_cast<double>(nanoseconds[nanoseconds.size() / 2]);
  state.counters["p99_ns"] = static_cast<double>(nanoseconds[nanoseconds.size() * 99 / 100]);
}

void SpdlogDrain(benchmark::State& state) {
  std::chrono::steady_clock::duration elapsed{};
  for (auto _ : state) {
    state.PauseTiming();
    SpdLogger log(8192);  // spdlog's default queue
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < kLines; ++i) log.logger->info(kMessage);
    log.Finish();
    elapsed += std::chrono::steady_clock::now() - start;
  }
  SetLineRate(state, elapsed);
}

void Configure(benchmark::internal::Benchmark* aBenchmark, bool aPerLine) {
  aBenchmark->Repetitions(kRepetitions);
  aBenchmark->UseRealTime()->Unit(aPerLine ? benchmark::kNanosecond : benchmark::kMillisecond);
  aBenchmark->Iterations(aPerLine ? kLines : 1);
}

}  // namespace

void RegisterLogBenchmarks(bool aSmoke) {
  if (aSmoke) {
    kLines = 2'000;
    kRepetitions = 1;
  }
  Configure(benchmark::RegisterBenchmark("VeloWrite", VeloWrite), true);
  Configure(benchmark::RegisterBenchmark("SpdlogWrite", SpdlogWrite), true);
  Configure(benchmark::RegisterBenchmark("VeloPerCall", VeloPerCall), true);
  Configure(benchmark::RegisterBenchmark("SpdlogPerCall", SpdlogPerCall), true);
  Configure(benchmark::RegisterBenchmark("VeloDrain", VeloDrain), false);
  Configure(benchmark::RegisterBenchmark("SpdlogDrain", SpdlogDrain), false);
}

void PrintLogSummary(const SummaryReporter& aReporter) {
  fs::remove_all(BenchFolder());
  const auto perCall = [&](const char* aName) { return aReporter.Time(aName); };
  const auto counter = [&](const char* aName, const char* aCounter) { return aReporter.Counter(aName, aCounter); };
  std::printf("\nLog writer (medians of %d repetitions, %lld lines each)\n", kRepetitions,
              static_cast<long long>(kLines));
  std::printf("  Write on the caller's thread: velo %.0f ns, spdlog %.0f ns (velo/spdlog %.2f; target <= 1.00)\n",
              perCall("VeloWrite"), perCall("SpdlogWrite"), Ratio(perCall("VeloWrite"), perCall("SpdlogWrite")));
  std::printf("  Per call p50: velo %.0f ns, spdlog %.0f ns; p99: velo %.0f ns, spdlog %.0f ns\n",
              counter("VeloPerCall", "p50_ns"), counter("SpdlogPerCall", "p50_ns"),
              counter("VeloPerCall", "p99_ns"), counter("SpdlogPerCall", "p99_ns"));
  const double velo = counter("VeloDrain", "lines_per_s");
  const double spd = counter("SpdlogDrain", "lines_per_s");
  std::printf("  Drain to disk: velo %.0f lines/s, spdlog %.0f lines/s (velo/spdlog %.2f; target >= 2.00)\n",
              velo, spd, Ratio(velo, spd));
}
