// The soak workload at a reduced size (the full 10 million cases run from
// examples/soak): every cell matches the generator's tallies, through leaves
// and case by case; case by case, once every cell exists further cases
// allocate nothing, so the heap in use stays where it was (through leaves a
// rare tuple of values may still bring a new leaf late in the run; the
// aggregator's allocation test covers leaves); the sanitizer build finds no
// leak when the table goes.

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <string>

#include "../../examples/soak/SoakTable.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

#if defined(__SANITIZE_ADDRESS__)
constexpr long kCases = 200000;  // the sanitizer build is many times slower
#else
constexpr long kCases = 1000000;
#endif

TEST(SoakTest, HeapStaysFlatOnceTheCellsExistAndEveryCellIsRight) {
  soak::SoakTable table(kCases, false);
  // By then every cell, base cell and frequency-table key exists.
  ASSERT_TRUE(table.Feed(kCases / 10));
  const size_t warm = HeapInUse();
  while (table.Feed(kCases / 10)) {
    if (table.Produced() == kCases) break;
  }
  const size_t end = HeapInUse();
  EXPECT_EQ(table.Produced(), kCases);
  EXPECT_LE(end, warm) << "the heap grew by " << end - warm << " bytes over "
                       << kCases - kCases / 10 << " cases";
  std::string report;
  EXPECT_EQ(table.Check(report), 0) << report;
}

TEST(SoakTest, EveryCellIsRightThroughLeavesReadMidway) {
  soak::SoakTable table(kCases);
  ASSERT_TRUE(table.Feed(kCases / 2));
  std::string report;
  EXPECT_EQ(table.Check(report), 0) << report;
  while (table.Feed(kCases / 10)) {
    if (table.Produced() == kCases) break;
  }
  EXPECT_EQ(table.Check(report), 0) << report;
}

}  // namespace
