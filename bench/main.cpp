// Every benchmark in one program, so that each figure and its reference run side by side
// on the same machine and the summaries compare them.
//   --velo_smoke   a short run of everything: shows that it builds and runs, measures nothing.
#include <cstring>
#include <vector>

#include "Bench.h"

int main(int argc, char** argv) {
  bool smoke = false;
  // The repetitions of every benchmark run in a shuffled order, so that a figure and its
  // reference meet the same spells of load on a shared machine. A later flag overrides it.
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args{argv[0], interleave};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--velo_smoke") == 0) {
      smoke = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterPayBenchmarks(smoke);
  RegisterLogBenchmarks(smoke);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintPaySummary(reporter);
  PrintLogSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
