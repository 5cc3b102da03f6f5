#pragma once
// What the benchmark files share: the reporter that keeps each benchmark's median for the
// summaries, and the registration of each file's benchmarks.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Keeps the median of each benchmark (or its only run) for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& aRuns) override {
    ConsoleReporter::ReportRuns(aRuns);
    for (const Run& run : aRuns) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      const std::string& args = run.run_name.args;
      fMedians[run.run_name.function_name + (args.empty() ? "" : "/" + args)] = run;
    }
  }
  // Real time per iteration in the benchmark's unit; 0 when it did not run.
  double Time(const std::string& aName) const {
    const auto it = fMedians.find(aName);
    return it == fMedians.end() ? 0.0 : it->second.GetAdjustedRealTime();
  }
  double Counter(const std::string& aName, const std::string& aCounter) const {
    const auto it = fMedians.find(aName);
    if (it == fMedians.end()) return 0.0;
    const auto c = it->second.counters.find(aCounter);
    return c == it->second.counters.end() ? 0.0 : c->second.value;
  }

 private:
  std::map<std::string, Run> fMedians;
};

inline double Ratio(double aValue, double aReference) { return aReference > 0 ? aValue / aReference : 0.0; }

// aSmoke: a few seconds in all, to show that the benchmarks build and run.
void RegisterLogBenchmarks(bool aSmoke);
void PrintLogSummary(const SummaryReporter& aReporter);
void RegisterPayBenchmarks(bool aSmoke);
void PrintPaySummary(const SummaryReporter& aReporter);
