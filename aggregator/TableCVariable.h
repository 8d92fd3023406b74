#ifndef TABLE_C_VARIABLE_H
#define TABLE_C_VARIABLE_H

#include <vector>

#include "TabcubeExport.h"
#include "TableDimension.h"

class AggregationVariable;
class ZarnCaseValueReader;

// PLACEHOLDER until the dimension classes land: binds to the iterator and
// names its variable, but numbers no values and builds no categories (every
// case gets no category). The real class replaces this file.
// TableCVariable: the dimension of one categorical variable. Owns its reader.
class TABCUBE_EXPORT TableCVariable : public TableDimension {
 public:
  static const int MAX_CATCELLS_SIZE = 3;

  explicit TableCVariable(int variableIndex);
  explicit TableCVariable(const AggregationVariable& variable);
  TableCVariable(const TableCVariable& other);
  ~TableCVariable() override;

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
  int _variableIndex;
  ZarnCaseValueReader* _reader = nullptr;
};

#endif
