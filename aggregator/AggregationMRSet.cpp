#include "AggregationMRSet.h"

namespace {
// Every set reports this index: it names no single variable.
constexpr int kSetIndex = -100;
}  // namespace

AggregationMRSet::AggregationMRSet(const std::vector<int>& indexList, const std::string& nameToken)
    : AggregationVariable(kSetIndex, nameToken), _indexList(new std::vector<int>(indexList)) {}

AggregationMRSet::AggregationMRSet(const AggregationMRSet& other)
    : AggregationVariable(other), _indexList(new std::vector<int>(*other._indexList)) {}

AggregationMRSet& AggregationMRSet::operator=(const AggregationMRSet& other) {
  if (this != &other) {
    AggregationVariable::operator=(other);
    *_indexList = *other._indexList;
  }
  return *this;
}

AggregationMRSet::~AggregationMRSet() {
  delete _indexList;
}

std::vector<int>& AggregationMRSet::GetIndexList() const {
  return *_indexList;
}

int AggregationMRSet::GetIndexListCount() const {
  return static_cast<int>(_indexList->size());
}
