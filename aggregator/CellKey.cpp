#include "CellKey.h"

#include <cstdint>
#include <cstdio>

#include "baseutil.h"

namespace {

constexpr int kPrimes[CellKey::kNumberOfPrimeFactors] = {
    3,   5,   7,   11,  13,  17,  19,  23,  29,  31,  37,  41,  43,  47,  53,  59,  61,
    67,  71,  73,  79,  83,  89,  97,  101, 103, 107, 109, 113, 127, 131, 137, 139, 149,
    151, 157, 163, 167, 173, 179, 181, 191, 193, 197, 199, 211, 223, 227, 229};

}  // namespace

const int CellKey::ADD_LOWER_BOUND;
const int CellKey::kNumberOfPrimeFactors;
const int* const CellKey::PRIME_FACTOR = kPrimes;

CellKey::CellKey(int n) : ar(nullptr), arLength(n), hashCode(0) {
  assert(n >= 0 && "n >= 0");
  AllocateCodes(n);
  for (int i = 0; i < n; ++i) ar[i] = 0;
  hashCode = cellKeyHash();
}

CellKey::CellKey(const CellKey& other)
    : ar(nullptr), arLength(other.arLength), hashCode(other.hashCode) {
  AllocateCodes(arLength);
  for (int i = 0; i < arLength; ++i) ar[i] = other.ar[i];
}

void CellKey::operator=(const CellKey& other) {
  if (ar == other.ar) return;
  if (arLength != other.arLength) {
    ReleaseCodes();
    AllocateCodes(other.arLength);
    arLength = other.arLength;
  }
  for (int i = 0; i < arLength; ++i) ar[i] = other.ar[i];
  hashCode = other.hashCode;
}

int CellKey::cellKeyHash() const {
  if (arLength < 1) return 0;
  // Unsigned arithmetic gives the required 32-bit wrap-around without the
  // undefined behaviour of signed overflow.
  std::uint32_t hash = 0;
  for (int i = 0; i < arLength; ++i) {
    const std::uint32_t term = static_cast<std::uint32_t>(ar[i]) + ADD_LOWER_BOUND;
    hash ^= term *
            static_cast<std::uint32_t>(kPrimes[static_cast<unsigned>(i) % kNumberOfPrimeFactors]);
  }
  return static_cast<int>(hash);
}

bool CellKey::operator<(const CellKey& other) const {
  if (arLength != other.arLength) return arLength < other.arLength;
  for (int i = 0; i < arLength; ++i) {
    if (ar[i] != other.ar[i]) return ar[i] < other.ar[i];
  }
  return false;
}

void CellKey::display() const {
  BP_Character text("\t Key: ");
  char buffer[256];
  for (int i = 0; i < arLength; ++i) {
    std::snprintf(buffer, sizeof buffer, "  %d", ar[i]);
    text += buffer;
  }
  BP_ToFront(1L, text);
}
