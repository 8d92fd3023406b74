#ifndef TESTS_SUPPORT_DIMENSIONCASES_H
#define TESTS_SUPPORT_DIMENSIONCASES_H

// What a dimension makes of each case of a data set: its category cells with
// their response counts, its total count, its EncodeValue result and its
// valid flag.

#include <vector>

#include "TableDimension.h"
#include "casesource.h"

namespace testsupport {

struct CaseCells {
  std::vector<int> codes;
  std::vector<int> counts;
  int responses;
  bool result;
  bool valid;
};

// The cells of the current case.
inline CaseCells ReadCells(const TableDimension& dim, bool result) {
  CaseCells out{{}, {}, dim.GetTotalCount(), result, dim.IsValueValid()};
  int current = 0;
  out.codes.push_back(dim.FirstCategoryCell(current));
  out.counts.push_back(dim.GetCellCount(current));
  while (!dim.IsCurrentCellLast(current)) {
    out.codes.push_back(dim.NextCategoryCell(current));
    out.counts.push_back(dim.GetCellCount(current));
  }
  return out;
}

// Binds the dimension and encodes every case from the first. The dimension
// keeps pointing to the iterator, which must outlive it.
inline std::vector<CaseCells> EncodeAll(TableDimension& dim, QUOR_InputCaseIterator& iterator) {
  dim.SetIterator(iterator);
  iterator.Rewind();
  std::vector<CaseCells> out;
  while (iterator.Next()) {
    const bool result = dim.EncodeValue();
    out.push_back(ReadCells(dim, result));
  }
  return out;
}

}  // namespace testsupport

#endif  // TESTS_SUPPORT_DIMENSIONCASES_H
