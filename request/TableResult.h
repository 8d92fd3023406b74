#ifndef TABCUBE_REQUEST_TABLE_RESULT_H
#define TABCUBE_REQUEST_TABLE_RESULT_H

#include <array>
#include <string>
#include <utility>
#include <vector>

// The finished numbers of one cube of a requested table, ready for output.
// Plain data: the writers need nothing from the engine.

// The axis a dimension lies on.
enum class Axis { kRow, kColumn, kLayer };
// "row", "column" or "layer", as the outputs and requests write it.
const char* AxisName(Axis axis);

// What a category of a dimension stands for, in the engine's order.
enum class CategoryType {
  kNone,            // placeholder of a dimension without categories
  kValue,           // one value of the variable or set
  kSubtotal,        // a subtotal shown with the categories it sums
  kHidingSubtotal,  // a subtotal whose summed categories are hidden
  kTotal,           // the total
  kVariable,        // a member variable of a dichotomy set
  kCompute          // a computed category
};
// "none", "value", "subtotal", "hsubtotal", "total", "variable" or "compute",
// as the outputs write it.
const char* CategoryTypeName(CategoryType type);

struct CategoryResult {
  std::string label;
  CategoryType type = CategoryType::kNone;
  bool isString = false;
  double number = 0.0;  // the value of a numeric category
  std::string text;     // the value of a string category (trailing blanks removed)
  int code = 0;         // the engine's category code
  bool empty = false;   // the category has no cases
  std::string letter;   // a compared column's letter in significance tests, else empty
};

struct DimensionResult {
  std::string name;
  std::string label;
  Axis axis = Axis::kRow;
  std::vector<CategoryResult> categories;
};

struct StatisticResult {
  std::string name;
  std::string variable;  // empty for statistics of the categories
  bool hasParameter = false;
  double parameter = 0.0;
  bool isInterval = false;  // a median confidence interval: three values
  bool hasLower = false;    // a counting statistic's limits, when it compares with them
  bool hasUpper = false;
  double lower = 0.0;
  double upper = 0.0;
  int decimals = -1;  // decimals the request asks for in text; -1: the statistic's own
};

// What a pairwise test compares.
enum class TestKind { kProportions, kMeans };
// "proportions" or "means", as the outputs write it.
const char* TestKindName(TestKind kind);

// One pairwise test of a table: of column proportions, or of the column
// means of one variable.
struct TestResult {
  TestKind kind = TestKind::kProportions;
  std::string variable;  // means only
  std::string base;      // unweighted, weighted or effective
  double alpha = 0.05;
  bool approximate = false;  // the columns are a set: a case may fall in several
};

// The outcome of one pairwise test in one cell of a compared column:
// adjusted p-values keyed by the other column's letter, the letters of the
// columns this cell is significantly higher than, and whether the column's
// base was below the minimum (it then takes part in no comparison).
struct CellTestResult {
  bool tested = false;  // the cell is in a compared column
  bool smallBase = false;
  std::vector<std::pair<std::string, double>> pValues;
  std::vector<std::string> higherThan;
};

// Pearson's chi-square of one subtable, named by the categories of its outer
// columns and layers (dimension name and category label).
struct ChiSquareResult {
  std::vector<std::pair<std::string, std::string>> layers, columns;
  std::vector<int> outer;  // index of the category of each outer dimension, in order
  bool tested = false;
  double statistic = 0.0, df = 0.0, p = 1.0, minExpected = 0.0;
  bool approximate = false;  // a set on the rows or columns
};

// Missing numbers are NaN here; writers print them as blanks or null. A
// value that overflowed is an infinity.
struct CellResult {
  std::vector<int> categories;  // index into each dimension's categories
  bool present = false;         // the cell has cases (a cell without any keeps NaN, or 0 for
                                // counts and percentages when the table asks for zeros)
  std::vector<std::array<double, 3>> values;  // per statistic
  std::vector<CellTestResult> tests;          // per test of the cube, when any
};

struct CubeResult {
  std::string title;
  std::vector<DimensionResult> dimensions;
  std::vector<StatisticResult> statistics;
  std::vector<CellResult> cells;  // every combination, first dimension slowest
  bool weighted = false;
  std::string weightVariable;
  long casesRead = 0;
  long casesExcludedByWeight = 0;
  // Cases the filters (the request's and the table's) left out; the cases
  // aggregated are casesRead - casesFilteredOut - casesExcludedByWeight.
  long casesFilteredOut = 0;
  bool filtered = false;  // the request or the table has a filter
  // Cases left out for a missing value, per dimension variable that excludes
  // missing values (a case may count for several), and by listwise deletion
  // (missing any scale variable of the table; -1 when it does not apply).
  std::vector<std::pair<std::string, long>> casesMissingByDimension;
  long casesDeletedListwise = -1;
  bool showEmptyCells = false;    // cells without cases are written too (CSV, text)
  bool statisticsOnRows = false;  // the text table lists the statistics down, not across
  std::string filter;             // the filters' text, joined by " and "
  std::vector<TestResult> tests;
  std::vector<ChiSquareResult> chiSquare;  // one per subtable, when asked for
  bool chiSquareRequested = false;
};

#endif
