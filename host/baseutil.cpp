#include "baseutil.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace {

using OutputSink = std::function<void(long code, const std::string& line)>;

OutputSink& CurrentSink() {
  static OutputSink sink;
  return sink;
}

}  // namespace

BP_Character::BP_Character(const char* text) : _text(text != nullptr ? text : "") {}

BP_Character::~BP_Character() = default;

BP_Character& BP_Character::operator+=(const char* text) {
  if (text != nullptr) _text += text;
  return *this;
}

void BP_ToFront(const long& code, const BP_Character& text) {
  const OutputSink& sink = CurrentSink();
  if (sink) {
    sink(code, text.str());
    return;
  }
  std::fprintf(stderr, "%s\n", text.c_str());
}

void SetOutputSink(std::function<void(long code, const std::string& line)> sink) {
  CurrentSink() = std::move(sink);
}

ProcDSIterator::ProcDSIterator(const QUOR_DataSource& dataSource, int weightVariable)
    : ProcDSIterator(dataSource, weightVariable, 0, -1) {}

ProcDSIterator::ProcDSIterator(const QUOR_DataSource& dataSource, int weightVariable, int first,
                               int end)
    : QUOR_InputCaseIterator(dataSource, first, end),
      _weightVariable(weightVariable),
      _weightOffset(0),
      _weight(nullptr) {
  if (weightVariable < 0) return;  // unweighted: every case weighs 1.0
  _weight = &dataSource.GetVariable(weightVariable);
  if (_weight->GetType() != 0) {
    throw std::invalid_argument(std::string("ProcDSIterator: weight variable '") +
                                _weight->GetName() + "' is a string variable");
  }
  _weightOffset = dataSource.VariableOffset(weightVariable);
}

ProcDSIterator::~ProcDSIterator() = default;

double ProcDSIterator::Weight() const {
  if (_weight == nullptr) return 1.0;
  const OBS* row = CurrentRow();
  if (row == nullptr) return 0.0;
  const OBS* value = row + _weightOffset;
  // Missing, negative (and NaN, which IsMissing reports) weights count as zero.
  if (_weight->IsMissing(value) != 0 || !(value->num >= 0.0)) return 0.0;
  return value->num + 0.0;  // a weight of -0.0 reads as 0.0
}
