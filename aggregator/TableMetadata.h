#ifndef TABLE_METADATA_H
#define TABLE_METADATA_H

#include <cassert>
#include <cstddef>
#include <map>
#include <memory>
#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"
#include "ZarnCaseValueReader.h"
#include "casesource.h"

class AggregationStatistic;
class CubeAggregator;
class ProcDSIterator;
class TableDimension;

// TableMetadata: the per-table state every cube of a table shares: the
// encoded dimensions (one per distinct variable or set, in adoption order),
// the readers of the statistic variables with a valid count per reader, the
// current case weight, the listwise flag, the category-label option and the
// sorting aggregators that must see every case. EncodeCase runs once per case
// before any cube sees it.
// Owns its dimensions and readers; points to (does not own) the case iterator
// and the sorting aggregators (each belongs to its dimension).
// Invariants: one valid count per reader; the reader index maps each reader's
// variable index to its position; no two dimensions compare equal.
class TABCUBE_EXPORT TableMetadata {
 public:
  TableMetadata(QUOR_InputCaseIterator& iterator, bool listwise);
  // Also adopts one categorical-variable dimension per distinct index.
  TableMetadata(std::vector<int>& variables, QUOR_InputCaseIterator& iterator, bool listwise);
  // Shares the source's dimensions, readers and sorting aggregators: the host
  // that copies decides which of the two is cleared (Clear) and which one
  // destroys the shared objects. While the two share them, neither Clear,
  // ClearDeep nor the destructor of one destroys what the other still holds;
  // the last holder destroys them.
  TableMetadata(const TableMetadata& other);
  TableMetadata& operator=(const TableMetadata&) = delete;
  ~TableMetadata();

  // Returns the equal dimension already held, or adopts the candidate
  // (binding it to the case iterator) and returns it. When the result is not
  // the candidate, the caller destroys the candidate.
  TableDimension* AddDimension(TableDimension* dimension);
  // No range check.
  TableDimension* GetDimension(int i) const { return _dimensions[static_cast<size_t>(i)]; }
  int NumberOfDimensions() const { return static_cast<int>(_dimensions.size()); }

  QUOR_InputCaseIterator& GetIterator() const { return _iterator; }
  bool GetListwise() const { return _listwise; }
  std::vector<ZarnCaseValueReader*>& GetCaseReaders() { return _caseValues; }
  // Unweighted number of encoded cases in which each reader's value was valid.
  const std::vector<double>& GetValidCount() const { return _validCount; }
  // The current case weight; aggregators keep this reference.
  const double& GetCaseWeight() const { return _caseWeight; }
  TableEncryptionCodes::CLabelOption GetClabelOption() const { return _cLabelOption; }
  // Whether cubes keep cases in leaves until results are read (the default)
  // or walk every case's cells at once.
  bool GetLeafAggregation() const { return _leafAggregation; }
  void SetLeafAggregation(bool on) { _leafAggregation = on; }
  const std::vector<CubeAggregator*>& GetSortAggregators() const { return _sortAggregators; }
  // Adds another part's valid counts (a part of the same definition).
  // REQUIRES: one count per reader ("counts.size() == GetValidCount().size()").
  void AddValidCounts(const std::vector<double>& counts) {
    assert(counts.size() == _validCount.size() && "counts.size() == GetValidCount().size()");
    for (size_t i = 0; i < counts.size(); ++i) _validCount[i] += counts[i];
  }
  void SetClabelOption(TableEncryptionCodes::CLabelOption option) { _cLabelOption = option; }

  // REQUIRES: 0 <= pos < number of readers.
  unsigned int GetCaseReaderVarIndex(int pos) const {
    assert(pos >= 0 && pos < (int)_caseValues.size() &&
           "pos >=0 && pos < (int) _caseValues.size()");
    return _caseValues[static_cast<size_t>(pos)]->GetIndex();
  }

  // The reader position of each statistic's variable, creating readers for
  // variables not seen before; statistics on one variable share a reader.
  std::vector<int> GetCaseIndex(const std::vector<AggregationStatistic>& stats);
  // Null is ignored.
  void AddSortAggregator(CubeAggregator* aggregator);

  // Encodes the current case in every dimension, then updates the readers'
  // validity, the valid counts and the case weight and feeds the sorting
  // aggregators. False (and nothing updated after encoding) when the table
  // has dimensions and every one of them refused the case.
  bool EncodeCase();

  // Back to the start of aggregation: dimensions reset, valid counts 0.0;
  // readers and their positions stay.
  void ResetMetadata();
  // Forgets the dimensions without destroying them; destroys the readers.
  void Clear();
  // Destroys the dimensions (with their sorting aggregators) and the readers.
  void ClearDeep();

 private:
  // True while a copy (or the source of this copy) still holds the same
  // dimensions and readers.
  bool SharesObjects() const { return _sharing.use_count() > 1; }
  // Empties the reader lists, destroying the readers unless they are shared.
  void ReleaseReaders();

  std::vector<TableDimension*> _dimensions;
  QUOR_InputCaseIterator& _iterator;
  ProcDSIterator* _weightedIterator;
  bool _listwise;
  std::vector<ZarnCaseValueReader*> _caseValues;
  std::vector<double> _validCount;
  std::map<int, int> _readerIndex;
  double _caseWeight = 1.0;
  TableEncryptionCodes::CLabelOption _cLabelOption = TableEncryptionCodes::kDefault;
  bool _leafAggregation = true;
  std::vector<CubeAggregator*> _sortAggregators;
  // One token per metadata and its copies; its use count tells sharing.
  std::shared_ptr<const int> _sharing;
};

#endif
