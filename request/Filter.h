#ifndef TABCUBE_REQUEST_FILTER_H
#define TABCUBE_REQUEST_FILTER_H

#include <string>
#include <vector>

#include "casesource.h"

// Filter: a condition on a case's values that decides whether the case is
// aggregated. Parsed from text such as
//   age >= 18 and (region in (1, 2) or name = "x y") and not income is missing
// with the comparisons = (or ==), != (or <>), <, <=, >, >=, `in (v, ...)`,
// `between low and high` (both ends included) and `is [not] missing`,
// combined with and, or, not and parentheses (keywords in any case). Values
// are numbers or double-quoted strings (a doubled quote stands for one);
// `quoted names` allow any variable name. A comparison with a missing value
// (system-missing or one of the variable's missing values) is unknown, and
// and/or/not follow three-valued logic: a case is kept only when the whole
// condition is true. Owns its parsed form; Bind ties it to a data source's
// row layout, after which Keeps reads rows without allocating.
class Filter {
 public:
  // Parses the text; throws InputError "<where>: character <n>: <problem>".
  Filter(const std::string& text, const std::string& where);

  // Resolves the variables against the data source; throws InputError
  // "<where>: <problem>" for an unknown variable or a value of the wrong type.
  void Bind(const QUOR_DataSource& dataSource);
  // The names of the variables the condition compares.
  std::vector<std::string> VariableNames() const;

  // Whether the case (a row of the bound data source) meets the condition.
  bool Keeps(const OBS* row) const { return Evaluate(_root, row) == kTrue; }

  const std::string& Text() const { return _text; }

 private:
  enum Truth { kFalse, kTrue, kUnknown };
  enum Kind { kAnd, kOr, kNot, kCompare, kIn, kBetween, kIsMissing };
  enum Operator { kEqual, kNotEqual, kLess, kLessEqual, kGreater, kGreaterEqual };
  // A literal value: a number or a string (blank-padded to the variable's width once bound).
  struct Value {
    bool isString = false;
    double number = 0.0;
    std::string text;
    std::vector<OBS> cells;
  };
  struct Node {
    Kind kind = kCompare;
    int left = -1, right = -1;  // operands of and, or, not
    std::string name;           // the variable compared
    Operator op = kEqual;
    int firstValue = 0, valueCount = 0;  // into _values
    const QUOR_Variable* variable = nullptr;
    int offset = 0;  // the variable's cell offset in a row
  };

  class Parser;

  Truth Evaluate(int node, const OBS* row) const;
  bool Compare(const Node& node, Operator op, const OBS* cell, const Value& value) const;

  std::string _text;
  std::string _where;
  std::vector<Node> _nodes;
  std::vector<Value> _values;
  int _root = -1;
};

#endif
