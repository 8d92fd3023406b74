#ifndef TABLE_MC_SET_H
#define TABLE_MC_SET_H

#include <vector>

#include "TabcubeExport.h"
#include "TableDimension.h"

class AggregationMCSet;
class ZarnCaseValueReader;

// PLACEHOLDER until the dimension classes land: binds one reader per member
// and names its members, but encodes no responses and builds no categories
// (every case gets no category). The real class replaces this file.
// TableMCSet: the dimension of a multiple-response set. Owns its readers.
class TABCUBE_EXPORT TableMCSet : public TableDimension {
 public:
  static const unsigned int OBSSize = 8;
  explicit TableMCSet(const AggregationMCSet& set);
  TableMCSet(const TableMCSet& other);
  ~TableMCSet() override;

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
