#ifndef AGGREGATION_MD_SET_H
#define AGGREGATION_MD_SET_H

#include <string>
#include <vector>

#include "AggregationMRSet.h"
#include "TabcubeExport.h"
#include "casesource.h"

// AggregationMDSet: a multiple dichotomy set: each member is one category, and
// a member responds when its value equals the counted value. Owns its record
// of the counted value; the counted value itself stays the host's, which keeps
// it alive while the set and its dimension live (copies point to the same value).
class TABCUBE_EXPORT AggregationMDSet : public AggregationMRSet {
 public:
  // countedSize: the counted value's number of 8-byte units (1 for a number).
  AggregationMDSet(const std::vector<int>& indexList, const std::string& nameToken,
                   const OBS* countedValue, int countedSize, bool useLabelFromValue);
  AggregationMDSet(const AggregationMDSet& other);
  AggregationMDSet& operator=(const AggregationMDSet& other);
  ~AggregationMDSet() override;

  virtual const OBS* GetCountedOBS() const;
  virtual int GetCountedOBSSize() const;

  // Each member category takes the value label of the counted value in that
  // member variable.
  bool UseLabelFromValue() const;

 private:
  struct CountedValue {
    const OBS* value;
    int size;
    bool useLabelFromValue;
  };
  CountedValue* _counted;
};

#endif
