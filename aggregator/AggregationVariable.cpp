#include "AggregationVariable.h"

// The variable's settings; defaults are those of a variable the syntax said
// nothing about.
struct AggregationVariable::Impl {
  int index = -1;
  std::string nameToken;
  std::string label;
  TableDimension* tableDimension = nullptr;
  std::vector<ParsedCategory*> parsedCategories;
  bool isOrderA = true;
  TableEncryptionCodes::SortKey sortKey = TableEncryptionCodes::kValueSort;
  TableEncryptionCodes::StatisticCodes sortStatistic = TableEncryptionCodes::kNoStatistic;
  int sortVariableIndex = -1;
  bool isMissingExclude = true;
  bool isTotalNo = true;
  std::string totalLabel = "Total";
  bool isTotalLabelDefault = true;
  bool isTotalPositionAfter = true;
  bool isEmptyInclude = true;
};

AggregationVariable::AggregationVariable() : _impl(new Impl) {}

AggregationVariable::AggregationVariable(int index, const std::string& nameToken)
    : _impl(new Impl) {
  _impl->index = index;
  _impl->nameToken = nameToken;
}

AggregationVariable::AggregationVariable(const AggregationVariable& other)
    : _impl(new Impl(*other._impl)) {}

AggregationVariable& AggregationVariable::operator=(const AggregationVariable& other) {
  if (this != &other) *_impl = *other._impl;
  return *this;
}

AggregationVariable::~AggregationVariable() {
  delete _impl;
}

int AggregationVariable::GetIndex() const {
  return _impl->index;
}
void AggregationVariable::SetIndex(int index) {
  _impl->index = index;
}

const std::string& AggregationVariable::GetNameToken() const {
  return _impl->nameToken;
}
void AggregationVariable::SetNameToken(const std::string& nameToken) {
  _impl->nameToken = nameToken;
}

const std::string& AggregationVariable::GetLabel() const {
  return _impl->label;
}
void AggregationVariable::SetLabel(const std::string& label) {
  _impl->label = label;
}

TableDimension* AggregationVariable::GetTableDimension() const {
  return _impl->tableDimension;
}
void AggregationVariable::SetTableDimension(TableDimension* dimension) {
  _impl->tableDimension = dimension;
}

const std::vector<ParsedCategory*>& AggregationVariable::GetParsedCategories() const {
  return _impl->parsedCategories;
}
void AggregationVariable::SetParsedCategories(
    const std::vector<ParsedCategory*>& parsedCategories) {
  _impl->parsedCategories.clear();
  _impl->parsedCategories.insert(_impl->parsedCategories.end(), parsedCategories.begin(),
                                 parsedCategories.end());
}

bool AggregationVariable::GetIsOrderA() const {
  return _impl->isOrderA;
}
void AggregationVariable::SetIsOrderA(bool isOrderA) {
  _impl->isOrderA = isOrderA;
}

bool AggregationVariable::GetIsMissingExclude() const {
  return _impl->isMissingExclude;
}
void AggregationVariable::SetIsMissingExclude(bool isMissingExclude) {
  _impl->isMissingExclude = isMissingExclude;
}

bool AggregationVariable::GetIsTotalPositionAfter() const {
  return _impl->isTotalPositionAfter;
}
void AggregationVariable::SetIsTotalPositionAfter(bool isTotalPositionAfter) {
  _impl->isTotalPositionAfter = isTotalPositionAfter;
}

bool AggregationVariable::GetIsEmptyInclude() const {
  return _impl->isEmptyInclude;
}
void AggregationVariable::SetIsEmptyInclude(bool isEmptyInclude) {
  _impl->isEmptyInclude = isEmptyInclude;
}

std::string AggregationVariable::GetTotalLabel() const {
  return _impl->totalLabel;
}
void AggregationVariable::SetTotalLabel(const std::string& label) {
  _impl->totalLabel = label;
}

bool AggregationVariable::GetIsTotalLabelDefault() const {
  return _impl->isTotalLabelDefault;
}
void AggregationVariable::SetIsTotalLabelDefault(bool isDefault) {
  _impl->isTotalLabelDefault = isDefault;
}

TableEncryptionCodes::SortKey AggregationVariable::GetSortKey() const {
  return _impl->sortKey;
}
TableEncryptionCodes::StatisticCodes AggregationVariable::GetSortStatistic() const {
  return _impl->sortStatistic;
}
int AggregationVariable::GetSortVariableIndex() const {
  return _impl->sortVariableIndex;
}
void AggregationVariable::SetSortInfo(TableEncryptionCodes::StatisticCodes statistic,
                                      int variableIndex) {
  _impl->sortStatistic = statistic;
  _impl->sortVariableIndex = variableIndex;
}
void AggregationVariable::SetSortKey(TableEncryptionCodes::SortKey sortKey) {
  _impl->sortKey = sortKey;
}

bool AggregationVariable::GetIsTotalNo() const {
  return _impl->isTotalNo;
}
void AggregationVariable::SetIsTotalNo(bool isTotalNo) {
  _impl->isTotalNo = isTotalNo;
}
