#ifndef ZARN_CASE_VALUE_READER_H
#define ZARN_CASE_VALUE_READER_H

#include "casesource.h"

// ZarnCaseValueReader: one variable's value in the case iterator's current
// case, plus whether that value counts as valid for the current case. The flag
// is written by whoever evaluates the reader for the case (TableMetadata for
// statistic readers, the dimension for its own readers) and read by the cell
// accumulators. Owns its CaseValue. Readers are never copied, only assigned.
class ZarnCaseValueReader {
 public:
  ZarnCaseValueReader(QUOR_InputCaseIterator& iterator, unsigned int index);
  ~ZarnCaseValueReader();
  ZarnCaseValueReader(const ZarnCaseValueReader&) = delete;
  // Takes over the source's variable binding and valid flag.
  ZarnCaseValueReader& operator=(const ZarnCaseValueReader& rhs);

  // The current value: one OBS for numbers, blank-padded cells for strings.
  const OBS* GetValue() const { return _caseValue->GetValue(); }
  // 0 numeric, otherwise the string width in bytes.
  int GetType() const { return _caseValue->GetType(); }
  // The variable's index in the data source.
  unsigned int GetIndex() const { return _caseValue->GetIndex(); }
  CaseValue* GetCaseValue() const { return _caseValue; }

  // The host's test: system-missing or user-missing.
  bool IsMissing() const { return _caseValue->IsMissing(); }
  // A numeric value equal to the system-missing value; strings never are.
  bool IsSysMissing() const {
    return _caseValue->GetType() == 0 && _caseValue->GetValue()->num == QUOR_SYSMIS;
  }

  bool IsValid() const { return _valid; }
  void SetValid(bool valid) { _valid = valid; }

 private:
  CaseValue* _caseValue;
  bool _valid = false;
};

#endif
