#ifndef TESTS_ALLOCATION_COUNTER_H
#define TESTS_ALLOCATION_COUNTER_H

// A count of every operator new made by the test program, for tests that check
// that a hot path allocates nothing. The sanitizer build keeps its own
// operator new, and then nothing is counted.
namespace tabcube_test {

// Allocations made so far (only meaningful when CountsAllocations()).
long Allocations();
bool CountsAllocations();

}  // namespace tabcube_test

#endif
