#ifndef TABCUBE_REQUEST_REQUEST_H
#define TABCUBE_REQUEST_REQUEST_H

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "ColumnTests.h"

// A value written in a request: a number or a string.
struct RequestValue {
  bool isString = false;
  double number = 0.0;
  std::string text;
};

// One entry of an explicit category list.
struct CategorySpec {
  enum Kind {
    kValue,           // {"value": v}
    kRange,           // {"range": [low, high]}
    kLoRange,         // {"range": [null, high]}
    kHiRange,         // {"range": [low, null]}
    kAll,             // {"range": [null, null]}
    kMissing,         // {"missing": true}
    kOther,           // {"other": true}
    kSubtotal,        // {"subtotal": "label"}
    kHidingSubtotal,  // {"subtotal": "label", "hide": true}
    kMember           // {"variable": "name"}: a member of a dichotomy set
  };
  Kind kind = kValue;
  RequestValue low;   // the value, or the range's low end
  RequestValue high;  // the range's high end
  std::string label;  // subtotal label
  std::string member;
  std::string path;  // JSON path, for messages
};

// How one variable or set of a table shows its categories.
struct ElementOptions {
  bool totals = false;
  bool totalAfter = true;
  std::string totalLabel;  // empty: the default label
  bool includeMissing = false;
  bool includeEmpty = true;
  bool ascending = true;
  enum Sort { kNone = 0, kByValue = 1, kByLabel = 2, kByStatistic = 3 } sort = kByValue;
  int sortStatistic = 1;  // statistic code for kByStatistic
  std::string sortVariable;
  bool hasCategoryList = false;
  std::vector<CategorySpec> categories;
  std::string path;
};

// One statistic of a table.
struct StatisticSpec {
  int code = 0;
  std::string name;
  std::string variable;    // empty for statistics of the categories
  double parameter = 0.0;  // percentile cut point or median-interval level
  double lower = 0.0;
  double upper = 0.0;
  bool hasLower = false;  // the statistic compares values with lower
  bool hasUpper = false;  // the statistic compares values with upper
  int decimals = -1;      // decimals in text output; -1: the statistic's own
  std::string path;
};

// A multiple-response set.
struct SetSpec {
  std::string name;
  std::string label;
  bool isDichotomy = false;
  std::vector<std::string> variables;
  std::string missingVariable;  // category sets: whose missing values count
  bool countDuplicates = false;
  RequestValue countedValue;  // dichotomy sets
  bool labelFromValue = false;
  std::string path;
};

// One pairwise test of a table's columns: of proportions, or of the means
// of the listed variables.
struct PairwiseTestSpec {
  bool requested = false;
  significance::PairwiseSettings settings;
  significance::Base base = significance::Base::kUnweighted;
  std::vector<std::string> variables;  // means only
  std::string path;
};

// The significance tests a table asks for.
struct TestsSpec {
  PairwiseTestSpec proportions, means;
  bool chiSquare = false;
  std::string path;
  bool Any() const { return proportions.requested || means.requested || chiSquare; }
};

struct TableSpec {
  std::string title;
  // Each axis is a list of stacked groups; a group is a list of nested names.
  std::vector<std::vector<std::string>> rows, columns, layers;
  std::map<std::string, ElementOptions> options;
  std::vector<StatisticSpec> statistics;
  std::string statisticsVariable;  // the dimension whose categories the counts describe
  int labelOption = 0;
  bool pairwise = false;
  bool weighted = true;  // applies when the data have a weight variable
  std::string filter;    // the table's filter (Filter syntax); empty: none
  // Cells without cases: left absent, written as absent cells with blank
  // values (the CSV carries them too), or with counts and percentages of 0.
  enum EmptyCells { kAbsent, kBlank, kZero } emptyCells = kAbsent;
  bool statisticsOnRows = false;  // "statisticsOn": "rows" lists them down the text table
  TestsSpec tests;
  std::string path;
};

struct Request {
  std::string source;      // the request's file name, or what names it in messages
  std::string data;        // data file (CSV, or SQLite with "sqlite")
  std::string dictionary;  // optional dictionary file
  std::string sqlite;      // table or query when data is an SQLite database
  std::string weight;      // overrides the dictionary's weight variable
  std::string filter;      // the filter of every table (Filter syntax); empty: none
  std::vector<SetSpec> sets;
  std::vector<TableSpec> tables;
};

// Parses a table request (JSON text). Relative file names are resolved
// against baseDirectory. Throws InputError naming the source and JSON path.
Request ParseRequest(const std::string& text, const std::string& source,
                     const std::string& baseDirectory);
// The same from a parsed JSON document, for front ends that hold one.
Request ParseRequest(const nlohmann::json& document, const std::string& source,
                     const std::string& baseDirectory);
// Reads a request file; relative file names are resolved against its directory.
Request ReadRequest(const std::string& path);

#endif
