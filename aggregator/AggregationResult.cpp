#include "AggregationResult.h"

#include "TableEncryptionCodes.h"

struct AggregationResult::Record {
  double value1 = TableEncryptionCodes::kMissingValue;
  double value2 = TableEncryptionCodes::kMissingValue;
  double value3 = TableEncryptionCodes::kMissingValue;
};

AggregationResult::AggregationResult() : _record(new Record) {}

AggregationResult::AggregationResult(double value1) : _record(new Record) {
  _record->value1 = value1;
}

AggregationResult::AggregationResult(const AggregationResult& other)
    : _record(new Record(*other._record)) {}

AggregationResult& AggregationResult::operator=(const AggregationResult& other) {
  if (this != &other) *_record = *other._record;
  return *this;
}

AggregationResult::~AggregationResult() {
  delete _record;
}

void AggregationResult::SetValue1(double value) {
  _record->value1 = value;
}
void AggregationResult::SetValue2(double value) {
  _record->value2 = value;
}
void AggregationResult::SetValue3(double value) {
  _record->value3 = value;
}
double AggregationResult::GetValue1() const {
  return _record->value1;
}
double AggregationResult::GetValue2() const {
  return _record->value2;
}
double AggregationResult::GetValue3() const {
  return _record->value3;
}

AggregationResult::operator double() const {
  return _record->value1;
}

void AggregationResult::operator=(double value1) {
  _record->value1 = value1;
}
