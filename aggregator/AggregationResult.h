#ifndef AGGREGATION_RESULT_H
#define AGGREGATION_RESULT_H

#include "TabcubeExport.h"

// AggregationResult: the up to three numbers one statistic of one cell yields.
// Only a median confidence interval uses all three (lower limit, upper limit,
// attained level in percent); every other statistic sets Value1 only. Values
// not set are the missing value. Owns its private record; copying copies it.
class TABCUBE_EXPORT AggregationResult {
 public:
  AggregationResult();
  AggregationResult(double value1);  // NOLINT: converts implicitly, like a double
  AggregationResult(const AggregationResult& other);
  AggregationResult& operator=(const AggregationResult& other);
  ~AggregationResult();

  void SetValue1(double value);
  void SetValue2(double value);
  void SetValue3(double value);
  double GetValue1() const;
  double GetValue2() const;
  double GetValue3() const;

  operator double() const;  // NOLINT: Value1
  // Sets Value1 only; Value2 and Value3 keep what they held.
  void operator=(double value1);

 private:
  struct Record;
  Record* _record;
};

#endif
