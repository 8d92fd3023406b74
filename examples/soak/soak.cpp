// Soak program: streams generated cases (10 million by default) through a
// table of three dimensions with totals, percentages and scale statistics
// (see SoakTable.h), reporting the process's resident memory as it goes, and
// checks every cell against the generator's own tallies at the end. Not run
// in CI; run.sh next to it builds the release library and runs it.
//
// Usage: soak [CASES] [REPORT_EVERY]   (defaults 10000000 and 1000000)
// Exit status 0 when every cell is right, 1 otherwise.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "SoakTable.h"

namespace {

// Peak resident memory of the process so far, in MiB.
double PeakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Current resident memory, in MiB.
double ResidentMiB() {
  long pages = 0, resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
         (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  const long cases = argc > 1 ? std::atol(argv[1]) : 10000000L;
  const long every = argc > 2 ? std::atol(argv[2]) : 1000000L;
  if (cases <= 0 || every <= 0) {
    std::fprintf(stderr, "usage: soak [CASES] [REPORT_EVERY]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::printf("%12s %14s %14s %10s\n", "cases", "peak RSS MiB", "RSS MiB", "seconds");
  std::printf("%12d %14.1f %14.1f %10.1f\n", 0, PeakResidentMiB(), ResidentMiB(), 0.0);
  soak::SoakTable table(cases);
  while (table.Feed(every)) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%12ld %14.1f %14.1f %10.1f\n", table.Produced(), PeakResidentMiB(), ResidentMiB(),
                seconds);
    std::fflush(stdout);
    if (table.Produced() == cases) break;
  }
  std::string report;
  const int differences = table.Check(report);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%ld cases in %.1f s (%.0f cases/s); %s\n", table.Produced(), seconds,
              static_cast<double>(table.Produced()) / seconds,
              differences ? "cells differ from the tallies:" : "every cell matches the tallies");
  std::fputs(report.c_str(), stdout);
  return differences ? 1 : 0;
}
