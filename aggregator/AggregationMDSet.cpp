#include "AggregationMDSet.h"

AggregationMDSet::AggregationMDSet(const std::vector<int>& indexList, const std::string& nameToken,
                                   const OBS* countedValue, int countedSize, bool useLabelFromValue)
    : AggregationMRSet(indexList, nameToken),
      _counted(new CountedValue{countedValue, countedSize, useLabelFromValue}) {}

AggregationMDSet::AggregationMDSet(const AggregationMDSet& other)
    : AggregationMRSet(other), _counted(new CountedValue(*other._counted)) {}

AggregationMDSet& AggregationMDSet::operator=(const AggregationMDSet& other) {
  if (this != &other) {
    AggregationMRSet::operator=(other);
    *_counted = *other._counted;
  }
  return *this;
}

AggregationMDSet::~AggregationMDSet() {
  delete _counted;
}

const OBS* AggregationMDSet::GetCountedOBS() const {
  return _counted->value;
}

int AggregationMDSet::GetCountedOBSSize() const {
  return _counted->size;
}

bool AggregationMDSet::UseLabelFromValue() const {
  return _counted->useLabelFromValue;
}
