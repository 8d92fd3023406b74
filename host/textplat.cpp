#include "textplat.h"

#include <cassert>
#include <cstring>

void QUORMBCopyToFixed_A(char* dest, int destWidth, const char* src, int srcLength) {
  assert(destWidth >= srcLength);
  if (srcLength > 0) std::memcpy(dest, src, static_cast<size_t>(srcLength));
  if (destWidth > srcLength)
    std::memset(dest + srcLength, ' ', static_cast<size_t>(destWidth - srcLength));
}

int QUORMBstrcoll_A(const char* first, const char* second) {
  return std::strcoll(first, second);
}
