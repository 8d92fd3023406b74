#ifndef AGGREGATION_MR_SET_H
#define AGGREGATION_MR_SET_H

#include <string>
#include <vector>

#include "AggregationVariable.h"
#include "TabcubeExport.h"

// AggregationMRSet: the host's description of a multiple-response set: a
// variable description whose index is always -100, plus the data-source
// indices of its member variables in set order. The set is identified by its
// name token. Owns its member list; copies get their own list. Only its two
// forms (AggregationMCSet, AggregationMDSet) are created.
class TABCUBE_EXPORT AggregationMRSet : public AggregationVariable {
 public:
  AggregationMRSet(const AggregationMRSet& other);
  AggregationMRSet& operator=(const AggregationMRSet& other);
  ~AggregationMRSet() override;

  // The member list; the set's own list, so changes are seen by the set.
  virtual std::vector<int>& GetIndexList() const;
  virtual int GetIndexListCount() const;

 protected:
  AggregationMRSet(const std::vector<int>& indexList, const std::string& nameToken);

 private:
  std::vector<int>* _indexList;
};

#endif
