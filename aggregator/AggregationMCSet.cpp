#include "AggregationMCSet.h"

#include <algorithm>
#include <cassert>

AggregationMCSet::AggregationMCSet(const std::vector<int>& indexList, const std::string& nameToken)
    : AggregationMRSet(indexList, nameToken), _userMissingVariable(new int(-1)) {}

AggregationMCSet::AggregationMCSet(const AggregationMCSet& other)
    : AggregationMRSet(other), _userMissingVariable(new int(*other._userMissingVariable)) {}

AggregationMCSet& AggregationMCSet::operator=(const AggregationMCSet& other) {
  if (this != &other) {
    AggregationMRSet::operator=(other);
    *_userMissingVariable = *other._userMissingVariable;
  }
  return *this;
}

AggregationMCSet::~AggregationMCSet() {
  delete _userMissingVariable;
}

int AggregationMCSet::GetUserMissingVariable() const {
  if (*_userMissingVariable == -1 && GetIndexListCount() > 0) {
    *_userMissingVariable = GetIndexList().front();
  }
  return *_userMissingVariable;
}

void AggregationMCSet::SetUserMissingVariable(int variableIndex) {
  if (variableIndex != -1) {
    [[maybe_unused]] const std::vector<int>& members = GetIndexList();
    assert(std::find(members.begin(), members.end(), variableIndex) != members.end() &&
           "Missing Value Variable must be present in the set.");
  }
  *_userMissingVariable = variableIndex;
}
