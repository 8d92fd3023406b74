#ifndef AGGREGATION_VARIABLE_H
#define AGGREGATION_VARIABLE_H

#include <string>
#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

class ParsedCategory;
class TableDimension;

// AggregationVariable: the host's description of one categorical variable of
// a table as the syntax gave it: its data-source index and name, its explicit
// category list, and how its categories are ordered, totalled and filtered.
// The host creates and owns it. It points to (does not own) the parsed
// categories and the table dimension that AggregationCube::AddCategoricalVariable
// stores in it. Copies share those pointers; every other field is copied.
// Multiple-response sets derive from it (AggregationMRSet).
class TABCUBE_EXPORT AggregationVariable {
 public:
  // Index -1, empty name.
  AggregationVariable();
  AggregationVariable(int index, const std::string& nameToken);
  AggregationVariable(const AggregationVariable& other);
  AggregationVariable& operator=(const AggregationVariable& other);
  virtual ~AggregationVariable();

  virtual int GetIndex() const;
  virtual void SetIndex(int index);
  virtual const std::string& GetNameToken() const;
  virtual void SetNameToken(const std::string& nameToken);
  virtual const std::string& GetLabel() const;
  virtual void SetLabel(const std::string& label);
  virtual TableDimension* GetTableDimension() const;
  virtual void SetTableDimension(TableDimension* dimension);
  virtual const std::vector<ParsedCategory*>& GetParsedCategories() const;
  // Replaces the list by the given pointers; the categories stay the host's.
  virtual void SetParsedCategories(const std::vector<ParsedCategory*>& parsedCategories);
  virtual bool GetIsOrderA() const;
  virtual void SetIsOrderA(bool isOrderA);
  virtual bool GetIsMissingExclude() const;
  virtual void SetIsMissingExclude(bool isMissingExclude);
  virtual bool GetIsTotalPositionAfter() const;
  virtual void SetIsTotalPositionAfter(bool isTotalPositionAfter);
  virtual bool GetIsEmptyInclude() const;
  virtual void SetIsEmptyInclude(bool isEmptyInclude);
  virtual std::string GetTotalLabel() const;
  virtual void SetTotalLabel(const std::string& label);
  virtual bool GetIsTotalLabelDefault() const;
  virtual void SetIsTotalLabelDefault(bool isDefault);
  virtual TableEncryptionCodes::SortKey GetSortKey() const;
  // Meaningful only after SetSortInfo (kNoStatistic and -1 before).
  virtual TableEncryptionCodes::StatisticCodes GetSortStatistic() const;
  virtual int GetSortVariableIndex() const;
  virtual void SetSortInfo(TableEncryptionCodes::StatisticCodes statistic, int variableIndex);
  virtual void SetSortKey(TableEncryptionCodes::SortKey sortKey);

  bool GetIsTotalNo() const;
  void SetIsTotalNo(bool isTotalNo);

 private:
  struct Impl;
  Impl* _impl;
};

#endif
