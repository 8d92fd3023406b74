#ifndef HOST_BASEUTIL_H
#define HOST_BASEUTIL_H

// The host's utility library: the weighted procedure iterator and the output
// of diagnostic lines.

#include <functional>
#include <string>

#include "casesource.h"

// A host string assembled from pieces.
class BP_Character {
 public:
  BP_Character(const char* text = "");  // NOLINT: built from C strings
  ~BP_Character();
  BP_Character& operator+=(const char* text);
  const char* c_str() const { return _text.c_str(); }
  const std::string& str() const { return _text; }

 private:
  std::string _text;
};

// Hands one line to the host's output; code is 1, 2 or 3.
void BP_ToFront(const long& code, const BP_Character& text);

// Replaces the output of BP_ToFront (the default writes each line to stderr).
// An empty function restores the default.
void SetOutputSink(std::function<void(long code, const std::string& line)> sink);

// The procedure's case iterator over a weighted data source. Weight() is the
// current case's value of the weight variable; a missing or negative weight
// gives 0.0, and so does asking with no current case. A weight variable of -1
// means unweighted (every case weighs 1.0). An unknown or string weight
// variable throws std::invalid_argument.
class ProcDSIterator : public QUOR_InputCaseIterator {
 public:
  ProcDSIterator(const QUOR_DataSource& dataSource, int weightVariable);
  // Over the cases first to end - 1 only (see QUOR_InputCaseIterator).
  ProcDSIterator(const QUOR_DataSource& dataSource, int weightVariable, int first, int end);
  ~ProcDSIterator() override;

  double Weight() const;
  int WeightVariable() const { return _weightVariable; }

 private:
  int _weightVariable;
  int _weightOffset;
  const QUOR_Variable* _weight;
};

#endif
