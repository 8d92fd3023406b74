#ifndef TABLE_MD_SET_H
#define TABLE_MD_SET_H

#include <vector>

#include "TabcubeExport.h"
#include "TableDimension.h"

class AggregationMDSet;
class ZarnCaseValueReader;

// PLACEHOLDER until the dimension classes land: binds one reader per member
// and names its members, but encodes no responses and builds no categories
// (every case gets no category). The real class replaces this file.
// TableMDSet: the dimension of a multiple-response set. Owns its readers.
class TABCUBE_EXPORT TableMDSet : public TableDimension {
 public:
  explicit TableMDSet(const AggregationMDSet& set);
  TableMDSet(const TableMDSet& other);
  ~TableMDSet() override;

  void SetIterator(QUOR_InputCaseIterator& iterator) override;
  bool EncodeValue() override;
  const std::vector<AggregationCategory*>& GetCategoryPointers() override;
  std::vector<int> VariableIndex() override;
  std::vector<ZarnCaseValueReader*> GetCaseValues() override;
  using TableDimension::GetCategoryEncoding;
  int GetCategoryEncoding(const OBS* value) const override;
  int GetNumberOfValues() const override;
  void ResetDimension() override;

 private:
  std::vector<int> _members;
  std::vector<ZarnCaseValueReader*> _readers;
};

#endif
