#ifndef TABCUBE_REQUEST_DICTIONARY_H
#define TABCUBE_REQUEST_DICTIONARY_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One variable of the data as the dictionary (or type inference) describes it.
struct VariableSpec {
  std::string name;
  bool isString = false;
  int width = 0;  // string width in bytes; 0 for numbers
  std::string label;
  // Value labels in dictionary order; numbers in numericValue, strings in stringValue.
  struct ValueLabel {
    double numericValue = 0.0;
    std::string stringValue;
    std::string label;
  };
  std::vector<ValueLabel> valueLabels;
  std::vector<double> missingNumbers;
  std::vector<std::string> missingStrings;
  bool hasMissingRange = false;
  double missingLow = 0.0;
  double missingHigh = 0.0;
  // Why type inference made the variable a string: the first field that is
  // not a number, as "line <n>: \"<token>\"" (empty when it was not inferred).
  std::string inferredStringAt;
};

// The data's dictionary: its variables in column order and the weight variable
// (empty when the data are unweighted).
struct Dictionary {
  std::vector<VariableSpec> variables;
  std::string weight;

  // Index of the named variable, -1 when there is none.
  int Find(const std::string& name) const;
};

// Reads a dictionary file (JSON): {"variables": [{"name", "type": "numeric" |
// "string", "width", "label", "valueLabels": [[value, label], ...], "missing":
// {"values": [...], "range": null | [low, high]}}, ...], "weight": name | null}.
// Throws InputError naming the file and the JSON path of any problem.
Dictionary ReadDictionary(const std::string& path);

// Parses the same format from text; `source` names it in error messages.
Dictionary ParseDictionary(const std::string& text, const std::string& source);

// Infers a dictionary from a CSV file's header and values: a column is numeric
// when every non-empty field parses as a number, otherwise a string as wide as
// its longest value. Reads the whole file once (streaming).
Dictionary InferDictionary(const std::string& csvPath);
// The same from the header and the first `records` records (all when
// negative); wholeFile tells whether they were all the file held.
Dictionary InferDictionaryFromStart(const std::string& csvPath, long records, bool& wholeFile);

// Parses a whole field as a finite double (surrounding blanks allowed).
bool ParseNumber(std::string_view text, double& value);

#endif
