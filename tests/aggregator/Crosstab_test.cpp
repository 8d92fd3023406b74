// Crosstabs end to end: a host defines tables of categorical variables on
// rows, columns and layers, feeds cases through AggregationTable and reads
// every statistic of every cell through the dimensions' category lists and
// CubeAggregator::GetStatValues.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "ParsedCategory.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "TableMetadata.h"
#include "baseutil.h"
#include "casesource.h"
#include "support/TestValues.h"

namespace {

using testsupport::ReferencePath;
using testsupport::Split;

using Codes = TableEncryptionCodes;
using Categories = std::vector<const AggregationCategory*>;

const double kMissing = Codes::kMissingValue;
const char* const kTotalName = "T";

std::vector<AggregationStatistic> Stats(const std::vector<int>& codes, int variable = -1) {
  std::vector<AggregationStatistic> stats;
  for (int code : codes) {
    stats.emplace_back(variable, static_cast<Codes::StatisticCodes>(code));
  }
  return stats;
}

std::vector<int> CodeRange(int first, int last) {
  std::vector<int> codes;
  for (int code = first; code <= last; ++code) codes.push_back(code);
  return codes;
}

// The name of a category in test tables: its value, or "T" for the total.
std::string CategoryName(const AggregationCategory& category) {
  if (category.GetCatType() == AggregationCategory::kTotal) return kTotalName;
  std::ostringstream name;
  name << category.GetCatValue().num;
  return name.str();
}

// ---------------------------------------------------------------------------
// Against independent values (tests/reference/crosstab_reference.py).
//
// The data set has 6,000 weighted cases of a (codes 1-4, user-missing 9), b
// (codes 1-3, user-missing range 7-9), c (codes 1-2, user-missing 9), a scale
// variable x (0-30, user-missing -1) and a weight w; each of a, b, c and x
// also has system-missing cases. Every dimension shows a total after its
// categories; c includes its missing values, so its user-missing 9 is a
// category.
//
// t2 crosses rows a and columns b, t3 rows a, columns b and layers c. Each
// has a count cube (statistics of the categorical variable a) and a scale
// cube (statistics of x), read with listwise deletion.
//
// How each percentage's denominator is formed: a percentage of kind K in a
// cell is the cell's count (valid N, total N, sum of x) over the same
// quantity in the cell's percentage base, times 100. The base is the set of
// cases that agree with the cell on the dimensions kind K keeps:
//   row       the rows, the columns but the innermost, the layers
//             (t2: a; t3: a, c)
//   column    the rows but the innermost, the columns, the layers
//             (t2: b; t3: b, c)
//   table     nothing: the whole cube
//   subtable  the rows but the innermost, the columns but the innermost,
//             the layers (t2: nothing; t3: c)
//   layer     the layers (t2: nothing; t3: c)
//   layer-row the rows and the layers (t2: a; t3: a, c)
//   layer-col the columns and the layers (t2: b; t3: b, c)
// The script computes every base by grouping the cases on those dimensions
// alone, not from the engine's total cells. Counts and valid N include only
// cases whose every dimension forms a category (a missing value outside the
// categories puts a case in the total N of the totals it reaches and nowhere
// else); valid N also drops cases with any missing value. A zero denominator
// gives the missing value.
// ---------------------------------------------------------------------------

// Count cube: counts, the seven kinds of count, valid-N and total-N
// percentages (weighted and unweighted), total N and valid N.
std::vector<int> CountCodes() {
  std::vector<int> codes = CodeRange(1, 44);
  for (int code : {64, 65, 66, 67}) codes.push_back(code);
  return codes;
}

// Scale cube: mean, median and sum of x (weighted, unweighted) and the seven
// kinds of sum percentage.
std::vector<int> ScaleCodes() {
  std::vector<int> codes = {46, 47, 48, 49, 62, 63};
  for (int code : CodeRange(70, 83)) codes.push_back(code);
  return codes;
}

// The reference data set in a data source with its dictionary.
struct ReferenceData {
  ReferenceData() {
    a = data.AddVariable("a", 0);
    b = data.AddVariable("b", 0);
    c = data.AddVariable("c", 0);
    x = data.AddVariable("x", 0);
    w = data.AddVariable("w", 0);
    data.GetVariable(a).AddMissingValue(9);
    data.GetVariable(b).SetMissingRange(7, 9);
    data.GetVariable(c).AddMissingValue(9);
    data.GetVariable(x).AddMissingValue(-1);
    std::ifstream in(ReferencePath("crosstab_data.csv"));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "a,b,c,x,w");
    while (std::getline(in, line)) {
      const std::vector<std::string> fields = Split(line, ',');
      EXPECT_EQ(fields.size(), 5u) << line;
      const int row = data.AddCase();
      for (size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i].empty()) {
          data.SetValue(row, static_cast<int>(i), std::strtod(fields[i].c_str(), nullptr));
        }
      }
    }
  }
  QUOR_DataSource data;
  int a, b, c, x, w;
};

struct ExpectedValue {
  int statistic;
  std::string value;
};

// Expected values by "table/cube" and cell name ("a,b" or "a,b,c").
using Expected = std::map<std::string, std::map<std::string, std::vector<ExpectedValue>>>;

Expected ReadExpected() {
  Expected expected;
  std::ifstream in(ReferencePath("crosstab_expected.tsv"));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "table\tcube\tstatistic\tcell\tvalue");
  while (std::getline(in, line)) {
    const std::vector<std::string> f = Split(line, '\t');
    EXPECT_EQ(f.size(), 5u) << line;
    expected[f[0] + "/" + f[1]][f[3]].push_back({std::atoi(f[2].c_str()), f[4]});
  }
  return expected;
}

// How close a statistic must come to the reference, relative to its size.
// Counts, N's and medians are exact: the weights are multiples of 0.5, so
// every sum of weights is exact in binary, and a median is a data value or
// the mean of two. Percentages divide two exact numbers and multiply by 100
// as the script does, so they agree to the last bit; a relative 1e-14 leaves
// room for nothing more. Means and sums come from running (Welford) updates
// against the script's plain sums: a relative 1e-11 is well above their
// rounding over 6,000 cases.
double Tolerance(int code) {
  if (code == 46 || code == 47 || code == 62 || code == 63 || (code >= 70 && code <= 83)) {
    return 1e-11;
  }
  if (code >= 3 && code <= 44) return 1e-14;
  return 0.0;
}

void ExpectValue(double actual, const std::string& expectedText, int code,
                 const std::string& context) {
  if (expectedText == "MISSING") {
    EXPECT_EQ(actual, kMissing) << context;
    return;
  }
  const double expected = std::strtod(expectedText.c_str(), nullptr);
  const double tolerance = Tolerance(code) * std::max(1.0, std::fabs(expected));
  EXPECT_NEAR(actual, expected, tolerance) << context;
}

// Walks every combination of the dimensions' categories, dimension 0 first.
void ForEachCell(const std::vector<AggregationVariable*>& vars,
                 const std::function<void(const Categories&, const std::string&)>& visit) {
  std::vector<std::vector<const AggregationCategory*>> lists;
  for (AggregationVariable* var : vars) {
    const auto& categories = var->GetTableDimension()->GetCategoryPointers();
    lists.emplace_back(categories.begin(), categories.end());
  }
  std::vector<size_t> at(vars.size(), 0);
  while (true) {
    Categories cell;
    std::string name;
    for (size_t d = 0; d < vars.size(); ++d) {
      cell.push_back(lists[d][at[d]]);
      name += (d ? "," : "") + CategoryName(*lists[d][at[d]]);
    }
    visit(cell, name);
    size_t d = 0;
    while (d < vars.size() && ++at[d] == lists[d].size()) at[d++] = 0;
    if (d == vars.size()) break;
  }
}

TEST(CrosstabReferenceTest, TwoAndThreeWayTablesMatchIndependentValues) {
  ReferenceData ref;
  ASSERT_EQ(ref.data.NumberOfCases(), 6000);
  ProcDSIterator iterator(ref.data, ref.w);

  AggregationVariable a(ref.a, "a"), b(ref.b, "b"), c(ref.c, "c");
  for (AggregationVariable* var : {&a, &b, &c}) var->SetIsTotalNo(false);
  c.SetIsMissingExclude(false);

  AggregationTable table(iterator, true, false);
  const std::vector<int> countCodes = CountCodes();
  const std::vector<int> scaleCodes = ScaleCodes();
  struct CubeDefinition {
    std::string name;
    std::vector<AggregationVariable*> vars;
    bool scale;
  };
  const std::vector<CubeDefinition> definitions = {{"t2/count", {&a, &b}, false},
                                                   {"t2/scale", {&a, &b}, true},
                                                   {"t3/count", {&a, &b, &c}, false},
                                                   {"t3/scale", {&a, &b, &c}, true}};
  for (const CubeDefinition& definition : definitions) {
    AggregationCube* cube = table.CreateCube();
    for (size_t d = 0; d < definition.vars.size(); ++d) {
      cube->AddCategoricalVariable(definition.vars[d], static_cast<Codes::DimensionPosition>(d));
    }
    cube->CreateCubeAggregator();
    if (definition.scale) {
      cube->AddScaleStatistics(Stats(scaleCodes, ref.x));
    } else {
      cube->AddCategoryStatistics(Stats(countCodes), &a);
    }
  }
  // One dimension per variable, shared by the cubes that cross it.
  EXPECT_EQ(table.GetTableMetaData()->NumberOfDimensions(), 3);

  while (iterator.Next()) table.AddNewCase();

  // Category lists: the categories met, ascending, then the total; c also
  // lists its user-missing 9.
  auto names = [](AggregationVariable& var) {
    std::vector<std::string> out;
    for (const AggregationCategory* category : var.GetTableDimension()->GetCategoryPointers()) {
      out.push_back(CategoryName(*category));
    }
    return out;
  };
  EXPECT_EQ(names(a), (std::vector<std::string>{"1", "2", "3", "4", "T"}));
  EXPECT_EQ(names(b), (std::vector<std::string>{"1", "2", "3", "T"}));
  EXPECT_EQ(names(c), (std::vector<std::string>{"1", "2", "9", "T"}));

  const Expected expected = ReadExpected();
  const std::vector<CubeAggregator*> aggregators = table.GetCubeAggregators();
  ASSERT_EQ(aggregators.size(), definitions.size());
  size_t compared = 0;
  for (size_t k = 0; k < definitions.size(); ++k) {
    const CubeDefinition& definition = definitions[k];
    const std::vector<int>& codes = definition.scale ? scaleCodes : countCodes;
    const auto cube = expected.find(definition.name);
    ASSERT_NE(cube, expected.end()) << definition.name;
    size_t cells = 0;
    ForEachCell(definition.vars, [&](const Categories& cell, const std::string& name) {
      const auto found = cube->second.find(name);
      StatValues* values = aggregators[k]->GetStatValues(cell, -1);
      // A cell exists exactly when some case reached it.
      ASSERT_EQ(values != nullptr, found != cube->second.end()) << definition.name << " " << name;
      if (!values) return;
      ++cells;
      ASSERT_EQ(values->NumOfValues(), static_cast<int>(codes.size()));
      for (const ExpectedValue& e : found->second) {
        const size_t index =
            static_cast<size_t>(std::find(codes.begin(), codes.end(), e.statistic) - codes.begin());
        ASSERT_LT(index, codes.size());
        const double actual = values->GetStatValue(static_cast<int>(index)).GetValue1();
        ExpectValue(
            actual, e.value, e.statistic,
            definition.name + " cell " + name + " statistic " + std::to_string(e.statistic));
        ++compared;
      }
    });
    EXPECT_EQ(cells, cube->second.size()) << definition.name;
  }
  EXPECT_EQ(compared, 6800u);
}

// Label or value of each category, in list order.
std::vector<std::string> Listed(AggregationVariable& var) {
  std::vector<std::string> out;
  for (const AggregationCategory* category : var.GetTableDimension()->GetCategoryPointers()) {
    out.push_back(category->GetCatType() == AggregationCategory::kValue &&
                          category->GetCatLabel().empty()
                      ? CategoryName(*category)
                      : category->GetCatLabel());
  }
  return out;
}

// Ordering by a statistic of another dimension reads each category's value
// at that dimension's total: cases missing there count only in total N.
TEST(CrosstabCategoriesTest, OrderByACountAtAnotherDimensionsTotal) {
  for (bool byOther : {false, true}) {
    QUOR_DataSource data;
    const int v = data.AddVariable("v", 0);
    const int g = data.AddVariable("g", 0);
    // v = 1 three times, always with g system-missing; v = 2 twice with g = 1.
    const double rows[][2] = {
        {1, std::nan("")}, {1, std::nan("")}, {1, std::nan("")}, {2, 1}, {2, 1}};
    for (const auto& r : rows) {
      const int c = data.AddCase();
      data.SetValue(c, v, r[0]);
      data.SetValue(c, g, r[1]);
    }
    AggregationVariable vVar(v, "v"), gVar(g, "g");
    vVar.SetSortKey(Codes::kStatisticSort);
    vVar.SetIsOrderA(false);
    QUOR_InputCaseIterator iterator(data);
    AggregationTable table(iterator, false, false);
    AggregationCube* cube = table.CreateCube();
    cube->AddCategoricalVariable(&vVar, Codes::kRowPosition);
    cube->AddCategoricalVariable(&gVar, Codes::kColumnPosition);
    cube->CreateCubeAggregator();
    cube->AddCategoryStatistics(Stats({Codes::kCount}), &vVar);
    vVar.GetTableDimension()->SetSortByDimensionStats(*table.GetTableMetaData(),
                                                      byOther ? gVar.GetTableDimension() : nullptr,
                                                      AggregationStatistic(Codes::kCount));
    while (iterator.Next()) table.AddNewCase();
    // Descending counts: by v itself 1 (3 cases), 2 (2); at g's total, 1 has
    // no counted case (0) and 2 has two.
    EXPECT_EQ(Listed(vVar),
              byOther ? std::vector<std::string>({"2", "1"}) : std::vector<std::string>({"1", "2"}))
        << "by other " << byOther;
    // g computes its total for the sort but shows none.
    EXPECT_EQ(Listed(gVar), std::vector<std::string>{"1"});
  }
}

}  // namespace
