#ifndef HOST_KEYINDEX_H
#define HOST_KEYINDEX_H

// The host's value index: numbers the distinct values met in the data. Keys
// are values (one double, or blank-padded string cells); each entry carries a
// fixed number of doubles that the caller fills.

#include <vector>

#include "casesource.h"

class ObsVecMap {
 public:
  // The key description of values of the listed variables: one key component
  // whose width is the widest of their types (0 when all are numeric), so
  // values of narrower string members are compared blank-padded to it.
  static std::vector<short> MakeKeySpec(const QUOR_DataSource& dataSource,
                                        const std::vector<int>& variables);

  ObsVecMap(const std::vector<short>& keySpec, unsigned int count);
  ~ObsVecMap();
  ObsVecMap(const ObsVecMap&) = delete;
  ObsVecMap& operator=(const ObsVecMap&) = delete;

  // Adds the key (if new) and returns its entry's doubles.
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
// (-0.0 equals 0.0); with width > 0 the order of the first width bytes,
// zero exactly for identical bytes.
int ObsLexCompare(const OBS& a, const OBS& b, int width);

#endif
