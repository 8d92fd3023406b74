#ifndef CELL_KEY_H
#define CELL_KEY_H

#include <cassert>

#include "TabcubeExport.h"

// CellKey: the name of one cell of a cube, one signed category code per cube
// dimension in dimension order, with a stored hash code. Owns its code array.
// The stored hash is only as fresh as the last construction, copy, assignment
// or UpdateHashCode: callers that rewrite codes through operator[] must call
// UpdateHashCode before the key is used for a lookup or an insertion.
// Keys of up to kInlineCodes codes (the usual cube) keep their codes inside
// the object, so that a key is one allocation and one cache line.
class TABCUBE_EXPORT CellKey {
 public:
  // Added to every code before it is hashed: minus the lowest subtotal code,
  // so that the term of every valid code is non-negative.
  static const int ADD_LOWER_BOUND = 10001;
  // The 49 odd primes from 3 to 229; dimension i is weighted by entry i mod 49.
  static const int* const PRIME_FACTOR;
  static const int kNumberOfPrimeFactors = 49;
  static const int kInlineCodes = 4;

  // The empty key: no codes, hash code 0.
  CellKey() : ar(nullptr), arLength(0), hashCode(0) {}
  // A key of n codes, all 0, hashed as such; the caller sets every code and
  // calls UpdateHashCode before the key is used.
  // REQUIRES: n >= 0.
  explicit CellKey(int n);
  // Copies the codes and the stored hash code (not recomputed).
  CellKey(const CellKey& other);
  // No effect when both keys share one array (self-assignment); otherwise the
  // array is reallocated when the lengths differ, then codes and hash copied.
  void operator=(const CellKey& other);
  ~CellKey() { ReleaseCodes(); }

  // REQUIRES: 0 <= i && i < arLength.
  int& operator[](int i) {
    assert(0 <= i && i < arLength);
    return ar[i];
  }
  const int& operator[](int i) const {
    assert(0 <= i && i < arLength);
    return ar[i];
  }

  int length() const { return arLength; }
  int hashcode() const { return hashCode; }
  void UpdateHashCode() { hashCode = cellKeyHash(); }

  // Equal stored hash codes, equal lengths and equal codes, tested in that
  // order so that most unequal keys are rejected on the hash alone.
  bool operator==(const CellKey& other) const {
    if (hashCode != other.hashCode || arLength != other.arLength) return false;
    for (int i = 0; i < arLength; ++i) {
      if (ar[i] != other.ar[i]) return false;
    }
    return true;
  }
  bool operator!=(const CellKey& other) const { return !(*this == other); }

  // Strict ordering: a shorter key first; keys of one length by their codes
  // from the first dimension on. The stored hash takes no part.
  bool operator<(const CellKey& other) const;

  // Outputs "\t Key: " and each code as "  %d" on one line (output code 1).
  void display() const;

 private:
  // The hash of the current codes: the exclusive-or over dimensions i of
  // (code i + ADD_LOWER_BOUND) * PRIME_FACTOR[i mod 49], in 32-bit
  // wrap-around arithmetic; 0 for the empty key.
  int cellKeyHash() const;
  // Points ar at storage for n codes (the inline codes when they suffice).
  void AllocateCodes(int n) { ar = n <= 0 ? nullptr : n <= kInlineCodes ? _inline : new int[n]; }
  void ReleaseCodes() {
    if (ar != _inline) delete[] ar;
  }

  int* ar;
  int arLength;
  int hashCode;
  int _inline[kInlineCodes];
};

#endif
