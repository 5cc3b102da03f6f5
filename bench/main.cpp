// Every benchmark in one program, so that each figure and its reference run side by side
// on the same machine and the summaries compare them.
//   --velo_smoke   a short run of everything: shows that it builds and runs, measures nothing.
#include <cstring>

#include "Bench.h"

int main(int argc, char** argv) {
  bool smoke = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--velo_smoke") == 0) {
      smoke = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
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
