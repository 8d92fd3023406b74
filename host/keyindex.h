#ifndef HOST_KEYINDEX_H
#define HOST_KEYINDEX_H

// The host's value index: numbers the distinct values met in the data. Keys
// are values (one double, or blank-padded string cells); each entry carries a
// fixed number of doubles that the caller fills.

#include <vector>

#include "casesource.h"

// A hash index from value keys to a fixed number of doubles per entry.
// Expected O(1) Insert and Contains (open addressing over a flat slot array),
// O(n log n) Sort. Entries live in chunks that never move: the OBS* it hands
// out stay valid until Clear or destruction. Clear keeps the memory for reuse.
// Keys are equal exactly when ObsLexCompare finds them equal, component by
// component: numbers by value (-0.0 and 0.0 are one key, all NaNs one key),
// strings by their first width bytes.
class ObsVecMap {
 public:
  // The key description of values of the listed variables: one key component
  // whose width is the widest of their types (0 when all are numeric), so
  // values of narrower string members are compared blank-padded to it.
  static std::vector<short> MakeKeySpec(const QUOR_DataSource& dataSource,
                                        const std::vector<int>& variables);

  // REQUIRES: a non-empty key description of widths >= 0.
  ObsVecMap(const std::vector<short>& keySpec, unsigned int count);
  ~ObsVecMap();
  ObsVecMap(const ObsVecMap&) = delete;
  ObsVecMap& operator=(const ObsVecMap&) = delete;

  // Adds the key (if new, with its doubles 0.0) and returns its entry's doubles.
  OBS* Insert(const OBS* key);
  // The entry's doubles, null when the key is absent.
  OBS* Contains(const OBS* key) const;
  unsigned int Size() const;
  void Clear();
  // The stored elements in ascending key order; read them with Key and Value.
  std::vector<OBS*> Sort() const;
  OBS* Key(OBS* element);
  OBS* Value(OBS* element);

 private:
  struct Impl;
  Impl* _impl;
};

// Three-way order of two values: with width 0 the order of the two doubles
// (-0.0 equals 0.0; NaNs equal one another and order after every number, so
// the order is total); with width > 0 the order of the first width bytes as
// unsigned bytes, read across consecutive cells, zero exactly for identical
// bytes. REQUIRES: width >= 0.
int ObsLexCompare(const OBS& a, const OBS& b, int width);

#endif
