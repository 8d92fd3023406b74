// Replaces the program's operator new and delete by malloc and free with a
// running count, so that tests can check that a path allocates nothing. Not
// done under AddressSanitizer, which supplies its own operator new.

#include <cstdlib>
#include <new>

#include "aggregator/AllocationCounter.h"

#if defined(__SANITIZE_ADDRESS__)

namespace tabcube_test {
long Allocations() {
  return 0;
}
bool CountsAllocations() {
  return false;
}
}  // namespace tabcube_test

#else

namespace {
long gAllocations = 0;
}  // namespace

namespace tabcube_test {
long Allocations() {
  return gAllocations;
}
bool CountsAllocations() {
  return true;
}
}  // namespace tabcube_test

void* operator new(std::size_t size) {
  ++gAllocations;
  void* memory = std::malloc(size ? size : 1);
  if (!memory) throw std::bad_alloc();
  return memory;
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

#endif
