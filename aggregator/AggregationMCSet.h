#ifndef AGGREGATION_MC_SET_H
#define AGGREGATION_MC_SET_H

#include <string>
#include <vector>

#include "AggregationMRSet.h"
#include "TabcubeExport.h"

// AggregationMCSet: a multiple category set: every member's values are
// categories of one question. The user-missing variable is the member whose
// missing-value definition judges every member's value; it defaults to the
// first member once asked for. Owns its user-missing record.
class TABCUBE_EXPORT AggregationMCSet : public AggregationMRSet {
 public:
  AggregationMCSet(const std::vector<int>& indexList, const std::string& nameToken);
  AggregationMCSet(const AggregationMCSet& other);
  AggregationMCSet& operator=(const AggregationMCSet& other);
  ~AggregationMCSet() override;

  // The chosen variable; with none chosen, the first member (which is then
  // kept as the choice); -1 for a set without members.
  virtual int GetUserMissingVariable() const;
  // -1 clears the choice.
  // REQUIRES: any other value is a member of the set.
  virtual void SetUserMissingVariable(int variableIndex);

 private:
  int* _userMissingVariable;
};

#endif
