// Randomized invariants of the engine through its public API: random tables
// (one to three dimensions per axis, categorical variables of both value
// types, multiple category and multiple dichotomy sets, totals, subtotals
// shown and hiding, explicit lists, missing values included or excluded) over
// random weighted data (weights 0 and fractional included). For every table:
//
// - every total and subtotal cell is the sum of the member cells it covers
//   (counts, valid N, sums, responses); a multiple-response set's total
//   counts cases, which a direct model of the data supplies;
// - every cell's count and responses, and every scale cell's statistics
//   (mean, variance, standard deviation, minimum, maximum, sum, median, valid
//   N), equal a direct computation from the raw values;
// - every percentage family sums to 100 over its base when the family's
//   members are the whole of the base;
// - with every weight 1, the model holds and the table equals the same
//   table read unweighted;
// - each dimension lists exactly the categories a direct model of its
//   options and explicit list gives, in the model's order;
// - feeding, ResetAggregator and feeding again gives identical results;
// - feeding the cases in reverse order gives the same statistics per
//   category (the category codes may differ);
// - aggregating case by case or through leaves, in one table or in parts
//   merged in memory or through the serialized state, gives the same results.
//
// Each invariant is a test of its own over the same series of tables, built
// once per process and shared; a test stops at the first table that breaks
// its invariant, and every failure names its seed. Seeds are fixed so that
// failures reproduce; TABCUBE_SEED picks another series and TABCUBE_SEEDS the
// number of tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationResult.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "ParsedCategory.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "baseutil.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;
constexpr double kMissing = Codes::kMissingValue;

// ---------------------------------------------------------------------------
// Data: the variables of every random data set, in data-source order.

// c0, c1, c2, c3: categorical, values 1..K, user-missing 9 for c0 and c1;
// s0: string (width 3), "a", "bb", "ccc", blank, user-missing "zz";
// m0, m1, m2: multiple category set members, values 1..4, 9 (m0 user-missing 9,
// m1 user-missing 4); d0..d3: multiple dichotomy set members, 0, 1;
// x: scale, positive multiples of 0.25, user-missing -1; y: scale, positive
// multiples of 0.5; w: weight, 0, 0.25, 0.5, 1, 1.5, 2, 2.75.
enum Variable { kC0, kC1, kC2, kC3, kS0, kM0, kM1, kM2, kD0, kD1, kD2, kD3, kX, kY, kW };
constexpr int kVariables = kW + 1;
constexpr int kStringWidth = 3;

struct Case {
  std::array<double, kVariables> number{};
  std::string text;  // kS0
};

bool UserMissing(int variable, double value) {
  return ((variable == kC0 || variable == kC1 || variable == kM0) && value == 9.0) ||
         (variable == kM1 && value == 4.0) || (variable == kX && value == -1.0);
}

// The host's test: system-missing or one of the variable's missing values.
bool IsMissing(int variable, const Case& c) {
  if (variable == kS0) return c.text == "zz";
  const double value = c.number[variable];
  return value == QUOR_SYSMIS || UserMissing(variable, value);
}

std::vector<Case> RandomCases(std::mt19937& rng, int count) {
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::array<int, 4> levels;
  for (int& k : levels) k = uniform(1, 4);
  static const double kWeights[] = {0.0, 0.25, 0.5, 1.0, 1.5, 2.0, 2.75};
  static const char* const kTexts[] = {"a", "bb", "ccc", "", "zz"};
  std::vector<Case> cases(static_cast<size_t>(count));
  // System-missing once in outOf + 1 draws, then the missing value (if any)
  // once, else a value lo..hi times step.
  auto draw = [&](int outOf, int lo, int hi, double step, std::optional<double> missing) {
    const int d = uniform(0, outOf);
    return d == 0 ? QUOR_SYSMIS : d == 1 && missing ? *missing : uniform(lo, hi) * step;
  };
  for (Case& c : cases) {
    auto& n = c.number;
    for (int v = kC0; v <= kC3; ++v) n[v] = draw(19, 1, levels[v], 1.0, 9.0);
    c.text = kTexts[uniform(0, 4)];
    for (int v = kM0; v <= kM2; ++v) n[v] = draw(9, 1, 4, 1.0, 9.0);
    for (int v = kD0; v <= kD3; ++v) n[v] = draw(9, 0, 1, 1.0, std::nullopt);
    n[kX] = draw(15, 1, 200, 0.25, -1.0);
    n[kY] = draw(9, 1, 40, 0.5, std::nullopt);
    n[kW] = kWeights[uniform(0, 6)];
  }
  return cases;
}

// The value labels of c0..c3 and m0..m2 (7 is never met; 7 and 9 share a
// label, so a label sort meets a tie) and of s0 ("dd" is never met).
const std::vector<std::pair<double, const char*>> kNumberLabels = {
    {1.0, "one"}, {7.0, "high"}, {9.0, "high"}};
const std::vector<std::pair<std::string, const char*>> kTextLabels = {{"a", "Alpha"},
                                                                      {"dd", "Delta (never met)"}};

// Fills a data source with the cases in the given order.
void FillDataSource(QUOR_DataSource& data, const std::vector<Case>& cases, bool reverse) {
  static const char* const kNames[] = {"c0", "c1", "c2", "c3", "s0", "m0", "m1", "m2",
                                       "d0", "d1", "d2", "d3", "x",  "y",  "w"};
  for (int v = 0; v < kVariables; ++v) {
    const int index = data.AddVariable(kNames[v], v == kS0 ? kStringWidth : 0);
    QUOR_Variable& variable = data.GetVariable(index);
    if (v == kS0) {
      variable.AddMissingValue("zz");
      for (const auto& [text, label] : kTextLabels) variable.AddValueLabel(text, label);
    }
    for (double value : {9.0, 4.0, -1.0})
      if (UserMissing(v, value)) variable.AddMissingValue(value);
    if (v <= kC3 || (v >= kM0 && v <= kM2))
      for (const auto& [value, label] : kNumberLabels) variable.AddValueLabel(value, label);
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[reverse ? cases.size() - 1 - i : i];
    const int row = data.AddCase();
    for (int v = 0; v < kVariables; ++v) {
      if (v == kS0)
        data.SetValue(row, v, c.text);
      else
        data.SetValue(row, v, c.number[v]);
    }
  }
}

// ---------------------------------------------------------------------------
// Table specifications: plain choices, built into engine objects any number
// of times.

struct EntrySpec {
  ParsedCategory::ParsedCatType type = ParsedCategory::kValue;
  double low = 0.0, high = 0.0;  // kValue (low), kRange
  std::string text{};            // string kValue
  int member = -1;               // kVariable
  int subtotal = 0;              // the subtotal code of its group, or of the subtotal itself
};

struct ElementSpec {
  enum Kind { kNumeric, kString, kCategorySet, kDichotomySet } kind = kNumeric;
  int variable = -1;         // kNumeric, kString
  std::vector<int> members;  // sets
  int missingVariable = -1;  // category set
  bool countDuplicates = false;
  bool totals = false, totalAfter = true, includeMissing = false, ascending = true,
       includeEmpty = true, byLabel = false;
  bool hasList = false;
  std::vector<EntrySpec> list;
  std::string name;
};

struct CubeSpec {
  std::vector<int> elements;  // into TableSpec::elements
  std::vector<Codes::DimensionPosition> positions;
  bool scale = false;
  int statisticsElement = -1;  // position within elements (categorical cubes)
  bool totalN = false;
};

struct TableSpec {
  std::vector<ElementSpec> elements;
  std::vector<CubeSpec> cubes;
  bool pairwise = false;
};

bool IsSubtotal(const EntrySpec& entry) {
  return entry.type == ParsedCategory::kSubtotal || entry.type == ParsedCategory::kHSubtotal;
}

// Groups the entries of an explicit list under its subtotals: a subtotal
// sums the entries since the previous subtotal when totals follow their
// categories, those up to the next subtotal otherwise.

void GroupUnderSubtotals(std::vector<EntrySpec>& list, bool totalAfter) {
  // Walking away from where subtotals stand, each entry takes the code of the
  // subtotal last met (0 before any).
  int code = 0;
  auto visit = [&](EntrySpec& entry) {
    if (IsSubtotal(entry))
      code = entry.subtotal;
    else
      entry.subtotal = code;
  };
  if (totalAfter)
    std::for_each(list.rbegin(), list.rend(), visit);
  else
    std::for_each(list.begin(), list.end(), visit);
}

ElementSpec RandomElement(std::mt19937& rng, ElementSpec::Kind kind, int variable) {
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  ElementSpec e;
  e.kind = kind;
  e.variable = variable;
  e.totals = uniform(0, 3) != 0;
  e.totalAfter = uniform(0, 3) != 0;
  e.includeMissing = uniform(0, 2) == 0;
  e.ascending = uniform(0, 3) != 0;
  e.includeEmpty = uniform(0, 1) == 0;
  e.byLabel = uniform(0, 3) == 0;
  int nextSubtotal = Codes::kMaxSubtotal;
  auto maybeSubtotal = [&]() {
    if (uniform(0, 2) != 0) return;
    e.list.push_back({uniform(0, 1) ? ParsedCategory::kSubtotal : ParsedCategory::kHSubtotal, 0, 0,
                      "", -1, nextSubtotal--});
  };
  // Some of the candidates in random order, with subtotals between.
  auto someOf = [&](std::vector<EntrySpec> candidates, int fewest, int most) {
    e.hasList = true;
    std::shuffle(candidates.begin(), candidates.end(), rng);
    candidates.resize(static_cast<size_t>(uniform(fewest, most)));
    for (const EntrySpec& entry : candidates) {
      e.list.push_back(entry);
      maybeSubtotal();
    }
  };
  auto insertAnywhere = [&](const EntrySpec& entry) {
    e.list.insert(e.list.begin() + uniform(0, static_cast<int>(e.list.size())), entry);
  };
  if (kind == ElementSpec::kCategorySet) {
    e.members = {kM0, kM1, kM2};
    e.missingVariable = uniform(0, 2) == 0 ? kM1 : kM0;
    e.countDuplicates = uniform(0, 1) == 0;
  }
  if (kind == ElementSpec::kString) {
    e.name = "s0";
    if (uniform(0, 2) == 0) {
      const auto text = [](const char* t) { return EntrySpec{ParsedCategory::kValue, 0, 0, t}; };
      someOf({text("a"), text("bb"), text("ccc"), text("zz"), text("dd")}, 1, 3);
      if (uniform(0, 1) == 0) e.list.push_back({ParsedCategory::kOtherNM});
    }
  } else if (kind == ElementSpec::kDichotomySet) {
    e.members = {kD0, kD1, kD2, kD3};
    e.name = "md";
    if (uniform(0, 2) == 0) {
      std::vector<EntrySpec> members;
      for (int member : e.members) members.push_back({ParsedCategory::kVariable, 0, 0, "", member});
      someOf(members, 2, 4);
    }
  } else {
    e.name = kind == ElementSpec::kCategorySet ? "mc" : "c" + std::to_string(variable);
    if (uniform(0, 2) == 0) {
      // Some values (7 is never met, 9 is user-missing), perhaps a range,
      // the missing values and the other values, with subtotals between.
      std::vector<EntrySpec> values;
      for (double value : {1, 2, 3, 4, 7, 9}) values.push_back({ParsedCategory::kValue, value});
      someOf(values, 1, 4);
      if (uniform(0, 2) == 0) {
        const double low = uniform(1, 3);
        insertAnywhere({ParsedCategory::kRange, low, low + uniform(0, 2)});
      }
      for (ParsedCategory::ParsedCatType type :
           {ParsedCategory::kMissing, ParsedCategory::kOtherNM}) {
        if (uniform(0, 2) != 0) continue;
        insertAnywhere({type});
        maybeSubtotal();
      }
    }
  }
  GroupUnderSubtotals(e.list, e.totalAfter);
  return e;
}

bool IsSet(const ElementSpec& e) {
  return e.kind == ElementSpec::kCategorySet || e.kind == ElementSpec::kDichotomySet;
}

TableSpec RandomTableSpec(std::mt19937& rng) {
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  TableSpec table;
  table.pairwise = uniform(0, 1) == 0;
  for (int v = kC0; v <= kC3; ++v)
    table.elements.push_back(RandomElement(rng, ElementSpec::kNumeric, v));
  table.elements.push_back(RandomElement(rng, ElementSpec::kString, kS0));
  table.elements.push_back(RandomElement(rng, ElementSpec::kCategorySet, -1));
  table.elements.push_back(RandomElement(rng, ElementSpec::kDichotomySet, -1));
  const int cubes = uniform(1, 3);
  for (int k = 0; k < cubes; ++k) {
    CubeSpec cube;
    cube.scale = uniform(0, 2) == 0;
    cube.totalN = uniform(0, 1) == 0;
    // One to three dimensions per axis present; rows always, at most five in all.
    std::vector<int> pool(table.elements.size());
    std::iota(pool.begin(), pool.end(), 0);
    std::shuffle(pool.begin(), pool.end(), rng);
    const int perAxis[3] = {uniform(1, 3), uniform(0, 3), uniform(0, 2)};
    size_t next = 0;
    for (int axis = 0; axis < 3; ++axis)
      for (int i = 0; i < perAxis[axis] && next < pool.size() && cube.elements.size() < 5; ++i) {
        cube.elements.push_back(pool[next++]);
        cube.positions.push_back(static_cast<Codes::DimensionPosition>(axis));
      }
    // The statistics dimension: a set when the cube has one (half the time), else any.
    cube.statisticsElement = uniform(0, static_cast<int>(cube.elements.size()) - 1);
    for (size_t i = 0; i < cube.elements.size(); ++i)
      if (IsSet(table.elements[cube.elements[i]]) && uniform(0, 1) == 0)
        cube.statisticsElement = static_cast<int>(i);
    table.cubes.push_back(cube);
  }
  return table;
}

// ---------------------------------------------------------------------------
// The statistics each kind of cube requests.

struct StatisticSpec {
  Codes::StatisticCodes code;
  int variable;  // -1 for statistics of the categories
};

std::vector<StatisticSpec> Statistics(const TableSpec& table, const CubeSpec& cube) {
  std::vector<StatisticSpec> stats;
  auto add = [&](std::initializer_list<int> codes, int variable) {
    for (int code : codes) stats.push_back({static_cast<Codes::StatisticCodes>(code), variable});
  };
  // Every base type of each percentage family, weighted then unweighted.
  auto addFamilies = [&](std::initializer_list<int> families, int variable) {
    for (int t = 0; t < 7; ++t)
      for (int family : families) add({family + 2 * t, family + 2 * t + 1}, variable);
  };
  if (cube.scale) {
    add({Codes::kCount, Codes::kUCount}, -1);
    add({Codes::kMean, Codes::kUMean, Codes::kSum, Codes::kUSum, Codes::kVariance,
         Codes::kUVariance, Codes::kStdDev, Codes::kUStdDev, Codes::kMinimum, Codes::kMaximum,
         Codes::kMedian, Codes::kUMedian, Codes::kValidN, Codes::kUValidN},
        kX);
    add({Codes::kMean, Codes::kUMean, Codes::kValidN}, kY);
    addFamilies({Codes::kRowSumPct}, kX);
    return stats;
  }
  add({Codes::kCount, Codes::kUCount, Codes::kValidN, Codes::kUValidN}, -1);
  if (cube.totalN) add({Codes::kTotalN, Codes::kUTotalN}, -1);
  addFamilies({Codes::kRowPct, Codes::kRowValidNPct, Codes::kRowTotalNPct}, -1);
  const ElementSpec& statistics =
      table.elements[cube.elements[static_cast<size_t>(cube.statisticsElement)]];
  if (IsSet(statistics)) {
    add({Codes::kResponses, Codes::kUResponses}, -1);
    addFamilies(
        {Codes::kRowResponsesPct, Codes::kRowResponsesCountPct, Codes::kRowCountResponsesPct}, -1);
  }
  return stats;
}

int IndexOf(const std::vector<StatisticSpec>& stats, int code, int variable) {
  for (size_t i = 0; i < stats.size(); ++i)
    if (stats[i].code == code && stats[i].variable == variable) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------
// Built tables and what they read back.

// A category as the tests know it: by what it stands for, not by its code.
std::string NumberIdentity(double value) {
  std::ostringstream id;
  id.precision(17);
  id << "v" << value;
  return id.str();
}

std::string Identity(const AggregationCategory& category) {
  const AggregationCategory::CategoryType type = category.GetCatType();
  const int width = category.GetValueType();
  if (type == AggregationCategory::kValue && width == 0)
    return NumberIdentity(category.GetCatValue().num);
  if (type == AggregationCategory::kValue) {
    std::string text(category.GetCatValue().str, static_cast<size_t>(width));
    return "s" + text.erase(text.find_last_not_of(' ') + 1);
  }
  if (type == AggregationCategory::kVariable) return "m" + std::to_string(category.GetVarIndex());
  if (type == AggregationCategory::kSubtotal || type == AggregationCategory::kHSubtotal)
    return "t" + std::to_string(category.GetCatEncoding());
  return type == AggregationCategory::kTotal ? "T" : "?" + std::to_string(static_cast<int>(type));
}

struct CategoryInfo {
  std::string id;
  AggregationCategory::CategoryType type;
  bool hidden;   // kept for computation only (members of a hiding subtotal)
  int encoding;  // the category's code; a read outlives the table's categories
};

struct CubeRead {
  std::vector<std::vector<CategoryInfo>> dimensions;
  // Per cell (category indices per dimension, first dimension slowest):
  // present, then three values per statistic.
  std::map<std::vector<int>, std::vector<double>> cells;
  bool skipped = false;
};

// Cubes with more cells than this are not read cell by cell.
constexpr size_t kMaxCells = 6000;

using Values = std::vector<double>;

// How a table takes its cases: through leaves or case by case, and which
// contiguous part of them (end -1: to the last case).
struct Feeding {
  bool leaves = true;
  int first = 0;
  int end = -1;
};

// One built engine table over one data source.
class BuiltTable {
 public:
  BuiltTable(const TableSpec& spec, const std::vector<Case>& cases, bool reverse, bool weighted,
             Feeding feeding = Feeding())
      : _spec(spec) {
    FillDataSource(_data, cases, reverse);
    // The engine weights cases read through the procedure's weighted
    // iterator; a plain iterator gives every case the weight 1.
    if (weighted)
      _iterator = std::make_unique<ProcDSIterator>(_data, kW, feeding.first, feeding.end);
    else
      _iterator = std::make_unique<QUOR_InputCaseIterator>(_data, feeding.first, feeding.end);
    _table = std::make_unique<AggregationTable>(*_iterator, weighted, spec.pairwise);
    _table->SetLeafAggregation(feeding.leaves);
    for (const ElementSpec& e : spec.elements) _variables.push_back(MakeVariable(e));
    for (const CubeSpec& cubeSpec : spec.cubes) {
      AggregationCube* cube = _table->CreateCube();
      for (size_t i = 0; i < cubeSpec.elements.size(); ++i)
        cube->AddCategoricalVariable(_variables[cubeSpec.elements[i]].get(), cubeSpec.positions[i]);
      cube->CreateCubeAggregator();
      std::vector<AggregationStatistic> stats;
      for (const StatisticSpec& s : Statistics(spec, cubeSpec))
        stats.emplace_back(s.variable, s.code);
      if (cubeSpec.scale)
        cube->AddScaleStatistics(stats);
      else
        cube->AddCategoryStatistics(
            stats, _variables[cubeSpec.elements[cubeSpec.statisticsElement]].get());
    }
    for (size_t i = 0; i < spec.elements.size(); ++i) {
      TableDimension* dimension = _variables[i]->GetTableDimension();
      if (spec.elements[i].countDuplicates && dimension) dimension->SetComputingCounts(true);
    }
  }

  void Feed() {
    _iterator->Rewind();
    while (_iterator->Next()) _table->AddNewCase();
  }

  AggregationTable& Table() { return *_table; }

  std::vector<CubeRead> Read() {
    std::vector<CubeRead> reads;
    const std::vector<CubeAggregator*> aggregators = _table->GetCubeAggregators();
    for (size_t k = 0; k < _spec.cubes.size(); ++k) {
      const CubeSpec& cubeSpec = _spec.cubes[k];
      CubeRead read;
      std::vector<std::vector<const AggregationCategory*>> categories;  // as listed
      for (int element : cubeSpec.elements) {
        TableDimension* dimension = _variables[element]->GetTableDimension();
        read.dimensions.emplace_back();
        categories.emplace_back();
        auto list = [&](const AggregationCategory* c, bool hidden) {
          read.dimensions.back().push_back(
              {Identity(*c), c->GetCatType(), hidden, c->GetCatEncoding()});
          categories.back().push_back(c);
        };
        for (const AggregationCategory* c : dimension->GetCategoryPointers())
          if (c->GetCatType() != AggregationCategory::kDummy) list(c, false);
        for (const AggregationCategory* c : dimension->GetPcomputeRequiredCats()) list(c, true);
      }
      const int nStats = static_cast<int>(Statistics(_spec, cubeSpec).size());
      size_t cells = 1;
      for (const auto& list : read.dimensions) cells *= list.size();
      // Too many to read every one (or none): the cube is left unchecked.
      read.skipped = cells > kMaxCells;
      std::vector<int> at(cells == 0 || read.skipped ? 0 : read.dimensions.size(), 0);
      while (!at.empty()) {
        std::vector<const AggregationCategory*> key;
        for (size_t d = 0; d < at.size(); ++d) key.push_back(categories[d][at[d]]);
        Values& values = read.cells[at] = Values(1 + 3 * static_cast<size_t>(nStats), kMissing);
        StatValues* cell = aggregators[k]->GetStatValues(key, -1);
        values[0] = cell ? 1.0 : 0.0;
        EXPECT_EQ(cell ? cell->NumOfValues() : nStats, nStats);
        for (int i = 0; cell && i < nStats; ++i) {
          const AggregationResult r = cell->GetStatValue(i);
          values[1 + 3 * static_cast<size_t>(i)] = r.GetValue1();
          values[2 + 3 * static_cast<size_t>(i)] = r.GetValue2();
          values[3 + 3 * static_cast<size_t>(i)] = r.GetValue3();
        }
        size_t d = at.size();
        while (d > 0 && ++at[d - 1] == static_cast<int>(read.dimensions[d - 1].size())) at[--d] = 0;
        if (d == 0) break;
      }
      reads.push_back(std::move(read));
    }
    return reads;
  }

 private:
  std::unique_ptr<AggregationVariable> MakeVariable(const ElementSpec& e) {
    std::unique_ptr<AggregationVariable> variable;
    if (e.kind == ElementSpec::kCategorySet) {
      auto set = std::make_unique<AggregationMCSet>(e.members, e.name);
      set->SetUserMissingVariable(e.missingVariable);
      variable = std::move(set);
    } else if (e.kind == ElementSpec::kDichotomySet) {
      _counted.num = 1.0;
      variable = std::make_unique<AggregationMDSet>(e.members, e.name, &_counted, 1, false);
    } else {
      variable = std::make_unique<AggregationVariable>(e.variable, e.name);
    }
    variable->SetIsTotalNo(!e.totals);
    variable->SetIsTotalPositionAfter(e.totalAfter);
    variable->SetIsMissingExclude(!e.includeMissing);
    variable->SetIsOrderA(e.ascending);
    variable->SetIsEmptyInclude(e.includeEmpty);
    if (e.byLabel) variable->SetSortKey(Codes::kLabelSort);
    if (!e.hasList) return variable;
    std::vector<ParsedCategory*> list;
    for (const EntrySpec& entry : e.list) {
      _parsed.push_back(Parse(e, entry));
      list.push_back(_parsed.back().get());
    }
    variable->SetParsedCategories(list);
    return variable;
  }

  static std::unique_ptr<ParsedCategory> Parse(const ElementSpec& e, const EntrySpec& entry) {
    OBS low, high;
    if (IsSubtotal(entry))
      return std::make_unique<ParsedCategory>("sub" + std::to_string(-entry.subtotal), false,
                                              entry.subtotal,
                                              entry.type == ParsedCategory::kSubtotal);
    const bool text = entry.type == ParsedCategory::kValue && e.kind == ElementSpec::kString;
    if (text) {
      std::memset(low.str, ' ', sizeof low.str);
      std::memcpy(low.str, entry.text.data(), entry.text.size());
    } else {
      low.num = entry.low;
      high.num = entry.high;
    }
    auto parsed = entry.type == ParsedCategory::kValue
                      ? std::make_unique<ParsedCategory>(low, text ? kStringWidth : 0)
                  : entry.type == ParsedCategory::kRange
                      ? std::make_unique<ParsedCategory>(low, high, 0)
                      : std::make_unique<ParsedCategory>(entry.type);
    if (entry.type == ParsedCategory::kVariable) parsed->SetVarIndex(entry.member);
    parsed->SetSubtotalEncoding(entry.subtotal);
    return parsed;
  }

  const TableSpec& _spec;
  OBS _counted;
  // Declared before the table, which points at them.
  std::vector<std::unique_ptr<ParsedCategory>> _parsed;
  std::vector<std::unique_ptr<AggregationVariable>> _variables;
  QUOR_DataSource _data;
  std::unique_ptr<QUOR_InputCaseIterator> _iterator;
  std::unique_ptr<AggregationTable> _table;
};

// ---------------------------------------------------------------------------
// A direct model of where each case goes.

// The categories one case reaches in one dimension.
struct Reach {
  bool valid = false;                     // the dimension's valid flag for the case
  std::map<std::string, int> categories;  // identity -> responses behind it
  int responses = 0;                      // the case has a category here when it gives any
};

// The explicit list entry that admits a value: the last entry containing it,
// else the other entry for a non-missing value; -1 when none.
int AdmittingEntry(const ElementSpec& e, double number, const std::string& text, bool missing) {
  for (int i = static_cast<int>(e.list.size()) - 1; i >= 0; --i) {
    const EntrySpec& entry = e.list[i];
    if (entry.type == ParsedCategory::kValue &&
        (e.kind == ElementSpec::kString ? entry.text == text : entry.low == number))
      return i;
    if (entry.type == ParsedCategory::kRange && entry.low <= number && number <= entry.high)
      return i;
    if (entry.type == ParsedCategory::kMissing && missing) return i;
  }
  for (size_t i = 0; i < e.list.size(); ++i)
    if (e.list[i].type == ParsedCategory::kOtherNM && !missing) return static_cast<int>(i);
  return -1;
}

// The explicit list entry of a category of an element, -1 when none.
int EntryOf(const ElementSpec& e, const std::string& identity) {
  if (!e.hasList) return -1;
  if (e.kind == ElementSpec::kDichotomySet) {
    for (size_t i = 0; i < e.list.size(); ++i)
      if (e.list[i].type == ParsedCategory::kVariable &&
          identity == "m" + std::to_string(e.list[i].member))
        return static_cast<int>(i);
    return -1;
  }
  // A value is missing by the variable's own missing values, or for a
  // category set by its missing-value variable's.
  if (identity[0] == 's') return AdmittingEntry(e, 0.0, identity.substr(1), identity == "szz");
  const double value = std::strtod(identity.c_str() + 1, nullptr);
  return AdmittingEntry(
      e, value, "",
      UserMissing(e.kind == ElementSpec::kCategorySet ? e.missingVariable : e.variable, value));
}

// The subtotal code of a value or member category (0: none).
int SubtotalOf(const ElementSpec& e, const std::string& identity) {
  const int entry = EntryOf(e, identity);
  return entry < 0 ? 0 : e.list[entry].subtotal;
}

// Whether a category belongs to the group of a hiding subtotal.
bool HiddenBySubtotal(const ElementSpec& e, const std::string& identity) {
  const int code = SubtotalOf(e, identity);
  return std::any_of(e.list.begin(), e.list.end(), [&](const EntrySpec& entry) {
    return entry.type == ParsedCategory::kHSubtotal && entry.subtotal == code;
  });
}

Reach ReachOf(const ElementSpec& e, const Case& c) {
  Reach reach;
  const bool includeMissing = e.includeMissing || e.hasList;
  auto addCategory = [&](const std::string& id, int subtotal) {
    if (reach.categories.count(id) != 0 && !e.countDuplicates) return;
    reach.categories[id] += 1;
    if (subtotal <= Codes::kMaxSubtotal) reach.categories["t" + std::to_string(subtotal)] += 1;
    reach.responses += 1;
  };
  // Adds the category of a value unless its explicit list admits it nowhere.
  auto addAdmitted = [&](const std::string& id, double number, bool missing) {
    const int entry = e.hasList ? AdmittingEntry(e, number, c.text, missing) : -2;
    if (entry != -1) addCategory(id, entry < 0 ? 0 : e.list[entry].subtotal);
    return entry != -1;
  };
  if (e.kind == ElementSpec::kNumeric || e.kind == ElementSpec::kString) {
    const bool missing = IsMissing(e.variable, c);
    const double number = c.number[e.variable];
    reach.valid = !missing;
    if (!missing || (includeMissing && (e.kind == ElementSpec::kString || number != QUOR_SYSMIS)))
      addAdmitted(e.kind == ElementSpec::kString ? "s" + c.text : NumberIdentity(number), number,
                  missing);
  }
  for (int member : e.kind == ElementSpec::kCategorySet ? e.members : std::vector<int>()) {
    const double value = c.number[member];
    const bool valid = value != QUOR_SYSMIS && !UserMissing(e.missingVariable, value);
    if (!valid && !(includeMissing && value != QUOR_SYSMIS)) continue;
    if (addAdmitted(NumberIdentity(value), value, !valid) && valid) reach.valid = true;
  }
  for (int member : e.kind == ElementSpec::kDichotomySet ? e.members : std::vector<int>()) {
    const std::string id = "m" + std::to_string(member);
    const int entry = EntryOf(e, id);
    if (c.number[member] != 1.0 || (e.hasList && entry < 0)) continue;
    reach.valid = true;
    addCategory(id, entry < 0 ? 0 : e.list[entry].subtotal);
  }
  if (reach.responses > 0 && e.totals) reach.categories["T"] = reach.responses;
  return reach;
}

// What the model expects in one cell.
struct ModelCell {
  double weight = 0.0, cases = 0.0, validWeight = 0.0, validCases = 0.0;
  double responses = 0.0, unweightedResponses = 0.0;
  std::vector<std::pair<double, double>> x, y;  // (value, weight) of the valid values
};

using CellIdentity = std::vector<std::string>;

// Every cell a case is counted in, with the model's sums. Scale cubes drop
// the cases with an invalid statistics variable when deletion is listwise.
std::map<CellIdentity, ModelCell> Model(const TableSpec& table, const CubeSpec& cube,
                                        const std::vector<Case>& cases) {
  std::map<CellIdentity, ModelCell> model;
  const size_t n = cube.elements.size();
  for (const Case& c : cases) {
    std::vector<Reach> reaches;
    bool counted = true, allValid = true;
    for (int element : cube.elements) {
      reaches.push_back(ReachOf(table.elements[element], c));
      counted = counted && reaches.back().responses > 0;
      allValid = allValid && reaches.back().valid;
    }
    if (!counted) continue;
    const bool xValid = !IsMissing(kX, c), yValid = !IsMissing(kY, c);
    if (cube.scale && !table.pairwise && (!xValid || !yValid)) continue;
    const double w = c.number[kW];
    // Every combination of the reached categories.
    std::vector<std::map<std::string, int>::const_iterator> at;
    for (const Reach& r : reaches) at.push_back(r.categories.begin());
    for (;;) {
      CellIdentity id;
      double responses = 1.0;
      for (size_t d = 0; d < n; ++d) {
        id.push_back(at[d]->first);
        if (static_cast<int>(d) == cube.statisticsElement) responses = at[d]->second;
      }
      ModelCell& cell = model[id];
      cell.weight += w;
      cell.cases += 1.0;
      cell.validWeight += allValid ? w : 0.0;
      cell.validCases += allValid ? 1.0 : 0.0;
      cell.responses += w * responses;
      cell.unweightedResponses += responses;
      if (xValid) cell.x.emplace_back(c.number[kX], w);
      if (yValid) cell.y.emplace_back(c.number[kY], w);
      size_t d = n;
      for (; d > 0 && ++at[d - 1] == reaches[d - 1].categories.end(); --d)
        at[d - 1] = reaches[d - 1].categories.begin();
      if (d == 0) break;
    }
  }
  return model;
}

// ---------------------------------------------------------------------------
// Direct statistics of a list of (value, weight).

double WeightOf(const std::vector<std::pair<double, double>>& values, bool weighted) {
  double w = 0.0;
  for (const auto& v : values) w += weighted ? v.second : 1.0;
  return w;
}

double MeanOf(const std::vector<std::pair<double, double>>& values, bool weighted) {
  const double w = WeightOf(values, weighted);
  if (w <= 0.0) return kMissing;
  double sum = 0.0;
  for (const auto& v : values) sum += v.first * (weighted ? v.second : 1.0);
  return sum / w;
}

double VarianceOf(const std::vector<std::pair<double, double>>& values, bool weighted) {
  const double w = WeightOf(values, weighted);
  if (w <= 1.0) return kMissing;
  const double mean = MeanOf(values, weighted);
  double m2 = 0.0;
  for (const auto& v : values)
    m2 += (weighted ? v.second : 1.0) * (v.first - mean) * (v.first - mean);
  return m2 / (w - 1.0);
}

// The median of the weighted empirical distribution: the smallest value
// whose cumulative weight passes half the total, or the mean of it and the
// next value when the cumulative weight meets half the total exactly. A case
// of weight 0 carries no weight and has no say.
double MedianOf(const std::vector<std::pair<double, double>>& values, bool weighted) {
  std::map<double, double> table;
  for (const auto& v : values)
    if (!weighted || v.second != 0.0) table[v.first] += weighted ? v.second : 1.0;
  if (table.empty()) return kMissing;
  double total = 0.0;
  for (const auto& entry : table) total += entry.second;
  const double half = total / 2.0;
  double cumulative = 0.0;
  for (auto it = table.begin(); it != table.end(); ++it) {
    cumulative += it->second;
    if (cumulative == half) return (it->first + std::next(it)->first) / 2.0;
    if (cumulative > half) return it->first;
  }
  return table.rbegin()->first;
}

// ---------------------------------------------------------------------------
// A direct model of each dimension's category list.

// The labelled values of an element's variables: identity, whether missing, label.
struct LabelledValue {
  std::string id;
  bool missing;
  std::string label;
};

std::vector<LabelledValue> LabelledValues(const ElementSpec& e) {
  std::vector<LabelledValue> values;
  if (e.kind == ElementSpec::kString)
    for (const auto& [text, label] : kTextLabels)
      values.push_back({"s" + text, text == "zz", label});
  if (e.kind != ElementSpec::kNumeric && e.kind != ElementSpec::kCategorySet) return values;
  const int judge = e.kind == ElementSpec::kCategorySet ? e.missingVariable : e.variable;
  for (const auto& [value, label] : kNumberLabels)
    values.push_back({NumberIdentity(value), UserMissing(judge, value), label});
  return values;
}

// The label of a value category, empty when it has none.
std::string LabelOf(const ElementSpec& e, const std::string& id) {
  for (const LabelledValue& value : LabelledValues(e))
    if (value.id == id) return value.label;
  return "";
}

// The value (or member) categories a dimension lists: those the data reach,
// and with empty categories included the labelled values it admits and the
// values its list names.
std::set<std::string> ListedValues(const ElementSpec& e, const std::vector<Case>& cases) {
  std::set<std::string> values;
  for (const Case& c : cases)
    for (const auto& [id, responses] : ReachOf(e, c).categories)
      if (id != "T" && id[0] != 't') values.insert(id);
  if (!e.includeEmpty) return values;
  // A dichotomy set's empty categories are its members (those its list names).
  for (int member : e.kind == ElementSpec::kDichotomySet ? e.members : std::vector<int>())
    if (!e.hasList || EntryOf(e, "m" + std::to_string(member)) >= 0)
      values.insert("m" + std::to_string(member));
  for (const LabelledValue& value : LabelledValues(e))
    if (e.hasList ? EntryOf(e, value.id) >= 0 : !value.missing || e.includeMissing)
      values.insert(value.id);
  for (size_t i = 0; i < e.list.size(); ++i) {
    const EntrySpec& entry = e.list[i];
    if (entry.type != ParsedCategory::kValue) continue;
    const std::string id =
        e.kind == ElementSpec::kString ? "s" + entry.text : NumberIdentity(entry.low);
    if (EntryOf(e, id) == static_cast<int>(i)) values.insert(id);
  }
  return values;
}

// Values ascending: numbers by value, texts by their characters, members by
// their variables (whose names are in that order).
bool ValueBefore(const std::string& a, const std::string& b) {
  if (a[0] == 's') return a < b;
  return std::strtod(a.c_str() + 1, nullptr) < std::strtod(b.c_str() + 1, nullptr);
}

// The shown categories of a dimension in order, each followed by a blank,
// then "|" and the hidden ones, each preceded by a blank.
std::string ExpectedCategories(const ElementSpec& e, const std::vector<Case>& cases) {
  std::vector<std::string> values;
  for (const std::string& id : ListedValues(e, cases)) values.push_back(id);
  std::sort(values.begin(), values.end(), ValueBefore);
  std::vector<std::string> shown, hidden;
  if (!e.hasList) {
    // Sorted by label: the labelled values in label order, then the others;
    // equal labels keep the value order.
    if (!e.ascending) std::reverse(values.begin(), values.end());
    if (e.byLabel)
      std::stable_sort(values.begin(), values.end(), [&](const auto& a, const auto& b) {
        const std::string first = LabelOf(e, a), second = LabelOf(e, b);
        if (first.empty() || second.empty()) return !first.empty() && second.empty();
        return e.ascending ? first < second : first > second;
      });
    shown = values;
  } else {
    // Entries in list order, the values of each ascending; a subtotal is
    // made when its group holds a category.
    std::vector<std::vector<std::string>> held(e.list.size());
    for (const std::string& id : values) held[EntryOf(e, id)].push_back(id);
    const size_t count = e.list.size();
    bool seen = false;
    for (size_t step = 0; step < count; ++step) {
      const size_t i = e.totalAfter ? step : count - 1 - step;
      if (!IsSubtotal(e.list[i])) {
        seen = seen || !held[i].empty();
      } else if (seen) {
        held[i].push_back("t" + std::to_string(e.list[i].subtotal));
        seen = false;
      }
    }
    for (size_t i = 0; i < count; ++i)
      for (const std::string& id : held[i])
        (!IsSubtotal(e.list[i]) && HiddenBySubtotal(e, id) ? hidden : shown).push_back(id);
  }
  if (e.totals && !values.empty()) shown.insert(e.totalAfter ? shown.end() : shown.begin(), "T");
  std::string text;
  for (const std::string& id : shown) text += id + " ";
  text += "|";
  for (const std::string& id : hidden) text += " " + id;
  return text;
}

// ---------------------------------------------------------------------------
// Checks.

bool Near(double actual, double expected, double relative = 1e-9) {
  if (actual == expected) return true;
  if (actual == kMissing || expected == kMissing) return false;
  return std::fabs(actual - expected) <= relative * std::max(1.0, std::fabs(expected));
}

std::string Describe(const CubeRead& read, const std::vector<int>& cell) {
  std::string text = "(";
  for (size_t d = 0; d < cell.size(); ++d) text += (d ? ", " : "") + read.dimensions[d][cell[d]].id;
  return text + ")";
}

// What the categories of a cell stand for, hidden ones marked when asked.
CellIdentity IdentityOf(const CubeRead& read, const std::vector<int>& cell, bool markHidden) {
  CellIdentity id;
  for (size_t d = 0; d < cell.size(); ++d) {
    const CategoryInfo& category = read.dimensions[d][cell[d]];
    id.push_back(category.id + (markHidden && category.hidden ? "/hidden" : ""));
  }
  return id;
}

double Value(const Values& values, int stat) {
  return stat < 0 ? kMissing : values[1 + 3 * static_cast<size_t>(stat)];
}

bool IsValueOrMember(AggregationCategory::CategoryType type) {
  return type == AggregationCategory::kValue || type == AggregationCategory::kVariable;
}

// A statistic of a cell, 0 when the cell is absent or the statistic missing.
double Counted(const Values& values, int stat) {
  return values[0] != 0.0 && Value(values, stat) != kMissing ? Value(values, stat) : 0.0;
}

// The member categories of a dimension that partition what its total covers:
// the shown value (or member) categories, and each hiding subtotal in place
// of the members it hides.
std::vector<int> Partition(const std::vector<CategoryInfo>& list) {
  std::vector<int> members;
  for (size_t i = 0; i < list.size(); ++i)
    if (!list[i].hidden &&
        (IsValueOrMember(list[i].type) || list[i].type == AggregationCategory::kHSubtotal))
      members.push_back(static_cast<int>(i));
  return members;
}

// The kept dimensions of each percentage base (label option by default): row
// base all rows, all columns but the innermost, all layers; column base all
// rows but the innermost, all columns, all layers; table base none; subtable
// base rows and columns but their innermost, all layers; layer base the
// layers; layer-row base rows and layers; layer-column base columns and layers.
std::vector<bool> KeptByBase(const CubeSpec& cube, int type) {
  // Per base type, per axis (rows, columns, layers): 'a' keeps all of the
  // axis, 'o' all but its innermost dimension, '-' none.
  static const char* const kRules[7] = {"aoa", "oaa", "---", "ooa", "--a", "a-a", "-aa"};
  const size_t n = cube.positions.size();
  int innermost[3] = {-1, -1, -1};
  for (size_t d = 0; d < n; ++d) innermost[cube.positions[d]] = static_cast<int>(d);
  std::vector<bool> kept(n, false);
  for (size_t d = 0; d < n; ++d) {
    const char rule = kRules[type][cube.positions[d]];
    kept[d] = rule == 'a' || (rule == 'o' && innermost[cube.positions[d]] != static_cast<int>(d));
  }
  return kept;
}

// How much the checks covered, so that the test cannot pass by checking nothing.
struct Coverage {
  long cubes = 0, skippedCubes = 0, modelCells = 0, scaleCells = 0, setCubes = 0;
  long totals = 0, subtotals = 0, hiddenSubtotals = 0, families = 0, responseFamilies = 0;
  long zeroWeightMedians = 0;
};
Coverage coverage;

// The checks of a read table, to run any of them or all: its cells match the
// model, totals and subtotals add up, percentage families sum to 100, its
// dimensions list the model's categories in the model's order.
enum Checks { kModel = 1, kTotals = 2, kPercentages = 4, kOrder = 8, kEveryCheck = 15 };

// Checks the reads of one table against its definition and the cases it was fed
// (both borrowed), counting what it checked in the coverage.
class TableChecker {
 public:
  TableChecker(const TableSpec& table, const std::vector<Case>& cases)
      : _table(table), _cases(cases) {}

  void Check(const std::vector<CubeRead>& reads, int checks) {
    for (size_t k = 0; k < reads.size(); ++k) {
      SCOPED_TRACE("cube " + std::to_string(k));
      const CubeSpec& cube = _table.cubes[k];
      const CubeRead& read = reads[k];
      ++coverage.cubes;
      if (read.skipped) ++coverage.skippedCubes;
      if (std::any_of(cube.elements.begin(), cube.elements.end(),
                      [&](int e) { return IsSet(_table.elements[e]); }))
        ++coverage.setCubes;
      const std::vector<StatisticSpec> stats = Statistics(_table, cube);
      if (checks & kModel) CheckAgainstModel(cube, read, stats, Model(_table, cube, _cases));
      if (checks & kTotals) CheckTotalsAndSubtotals(cube, read, stats);
      if (checks & kPercentages) CheckPercentageFamilies(cube, read, stats);
      if (checks & kOrder) CheckCategoryOrder(cube, read);
    }
  }

 private:
  const ElementSpec& ElementAt(const CubeSpec& cube, size_t d) const {
    return _table.elements[cube.elements[d]];
  }

  // Each dimension lists its categories where the model puts them.
  void CheckCategoryOrder(const CubeSpec& cube, const CubeRead& read) {
    for (size_t d = 0; d < cube.elements.size(); ++d) {
      std::string shown, hidden;
      for (const CategoryInfo& c : read.dimensions[d])
        (c.hidden ? hidden += " " + c.id : shown += c.id + " ");
      EXPECT_EQ(shown + "|" + hidden, ExpectedCategories(ElementAt(cube, d), _cases))
          << "dimension " << d << " (" << ElementAt(cube, d).name << ")";
    }
  }

  void CheckAgainstModel(const CubeSpec& cube, const CubeRead& read,
                         const std::vector<StatisticSpec>& stats,
                         const std::map<CellIdentity, ModelCell>& model) {
    const ModelCell empty;
    int failures = 0;
    for (const auto& [at, values] : read.cells) {
      auto found = model.find(IdentityOf(read, at, false));
      const ModelCell& m = found == model.end() ? empty : found->second;
      const bool present = values[0] != 0.0;
      if (m.cases > 0) ++coverage.modelCells;
      std::vector<std::pair<const char*, std::pair<double, double>>> expected;
      // An absent cell counts nothing; a categorical cell may exist with
      // nothing counted when total N brings in cases that count only there.
      auto expect = [&](const char* what, int code, int variable, double value) {
        const int i = IndexOf(stats, code, variable);
        if (i >= 0) expected.push_back({what, {present ? Value(values, i) : 0.0, value}});
      };
      if (cube.scale) {
        if (present != (m.cases > 0)) {
          ADD_FAILURE() << "scale cell " << Describe(read, at)
                        << (present ? " exists" : " is absent") << " but the data give it "
                        << m.cases << " cases";
          if (++failures > 5) return;
          continue;
        }
        if (!present) continue;
        ++coverage.scaleCells;
        if (std::any_of(m.x.begin(), m.x.end(), [](const auto& v) { return v.second == 0.0; }))
          ++coverage.zeroWeightMedians;
        expect("count", Codes::kCount, -1, m.weight);
        expect("unweighted count", Codes::kUCount, -1, m.cases);
        for (bool weighted : {true, false}) {
          const int shift = weighted ? 0 : 1;
          const double mean = MeanOf(m.x, weighted), variance = VarianceOf(m.x, weighted);
          const double w = WeightOf(m.x, weighted);
          expect("mean x", Codes::kMean + shift, kX, mean);
          expect("sum x", Codes::kSum + shift, kX, w > 0 ? w * mean : kMissing);
          expect("variance x", Codes::kVariance + shift, kX, variance);
          expect("standard deviation x", Codes::kStdDev + shift, kX,
                 variance == kMissing ? kMissing : std::sqrt(variance));
          expect("median x", Codes::kMedian + shift, kX, MedianOf(m.x, weighted));
          expect("valid N x", Codes::kValidN + shift, kX, w);
          expect("mean y", Codes::kMean + shift, kY, MeanOf(m.y, weighted));
        }
        const auto [lowest, highest] = std::minmax_element(m.x.begin(), m.x.end());
        expect("minimum x", Codes::kMinimum, kX, m.x.empty() ? kMissing : lowest->first);
        expect("maximum x", Codes::kMaximum, kX, m.x.empty() ? kMissing : highest->first);
        expect("valid N y", Codes::kValidN, kY, WeightOf(m.y, true));
      } else {
        expect("count", Codes::kCount, -1, m.weight);
        expect("unweighted count", Codes::kUCount, -1, m.cases);
        expect("valid N", Codes::kValidN, -1, m.validWeight);
        expect("unweighted valid N", Codes::kUValidN, -1, m.validCases);
        expect("responses", Codes::kResponses, -1, m.responses);
        expect("unweighted responses", Codes::kUResponses, -1, m.unweightedResponses);
      }
      for (const auto& [what, pair] : expected) {
        if (Near(pair.first, pair.second)) continue;
        ADD_FAILURE() << what << " of cell " << Describe(read, at) << ": engine " << pair.first
                      << ", direct computation " << pair.second;
        if (++failures > 5) return;
      }
    }
  }

  // The statistics that add up over the members of a total or subtotal of
  // dimension d: counts, valid N and sums over a categorical variable,
  // responses over the statistics set, and the percentages of those whose
  // base drops d (the total and its members then share one base cell).
  std::vector<int> AdditiveStatistics(const CubeSpec& cube, const std::vector<StatisticSpec>& stats,
                                      size_t d, bool isSet) {
    std::vector<int> additive;
    for (size_t i = 0; i < stats.size(); ++i) {
      const int code = stats[i].code;
      bool adds =
          code == Codes::kResponses || code == Codes::kUResponses ||
          (!isSet && (code == Codes::kCount || code == Codes::kUCount || code == Codes::kValidN ||
                      code == Codes::kUValidN || code == Codes::kSum || code == Codes::kUSum));
      for (int family :
           {Codes::kRowPct, Codes::kRowValidNPct, Codes::kRowSumPct, Codes::kRowResponsesPct,
            Codes::kRowResponsesCountPct, Codes::kRowCountResponsesPct}) {
        if (code < family || code >= family + 14) continue;
        const bool responses =
            family == Codes::kRowResponsesPct || family == Codes::kRowResponsesCountPct;
        adds = (responses || !isSet) && !KeptByBase(cube, (code - family) / 2)[d];
      }
      if (adds) additive.push_back(static_cast<int>(i));
    }
    return additive;
  }

  void CheckTotalsAndSubtotals(const CubeSpec& cube, const CubeRead& read,
                               const std::vector<StatisticSpec>& stats) {
    int failures = 0;
    for (size_t d = 0; d < cube.elements.size(); ++d) {
      const ElementSpec& e = ElementAt(cube, d);
      const bool isStatistics = !cube.scale && static_cast<int>(d) == cube.statisticsElement;
      // A set's cells count cases once however many of its categories they
      // give: only its responses add up, and only when it is the statistics
      // dimension (the model checks its counts).
      if (IsSet(e) && !isStatistics) continue;
      const std::vector<int> additive = AdditiveStatistics(cube, stats, d, IsSet(e));
      const std::vector<CategoryInfo>& list = read.dimensions[d];
      for (size_t c = 0; c < list.size(); ++c) {
        const auto type = list[c].type;
        // A category set does not keep the members a subtotal hides.
        if ((type != AggregationCategory::kTotal && type != AggregationCategory::kSubtotal &&
             type != AggregationCategory::kHSubtotal) ||
            (e.kind == ElementSpec::kCategorySet && type == AggregationCategory::kHSubtotal))
          continue;
        std::vector<int> members;
        if (type == AggregationCategory::kTotal) members = Partition(list);
        for (size_t m = 0; m < list.size() && type != AggregationCategory::kTotal; ++m)
          if (IsValueOrMember(list[m].type) && SubtotalOf(e, list[m].id) == list[c].encoding)
            members.push_back(static_cast<int>(m));
        ++(type == AggregationCategory::kTotal      ? coverage.totals
           : type == AggregationCategory::kSubtotal ? coverage.subtotals
                                                    : coverage.hiddenSubtotals);
        for (const auto& [at, values] : read.cells) {
          if (at[d] != static_cast<int>(c)) continue;
          for (int i : additive) {
            double sum = 0.0;
            for (int m : members) {
              std::vector<int> member = at;
              member[d] = m;
              sum += Counted(read.cells.at(member), i);
            }
            const double total = Counted(values, i);
            if (Near(total, sum)) continue;
            ADD_FAILURE() << list[c].id << " cell " << Describe(read, at) << " statistic "
                          << stats[i].code << ": " << total << ", its members add up to " << sum;
            if (++failures > 5) return;
          }
        }
      }
    }
  }

  void CheckPercentageFamilies(const CubeSpec& cube, const CubeRead& read,
                               const std::vector<StatisticSpec>& stats) {
    // Each family: its row percentage code and the statistic whose sum over
    // the family is the base (each with its unweighted twin after it).
    const std::vector<std::pair<int, int>> families =
        cube.scale ? std::vector<std::pair<int, int>>{{Codes::kRowSumPct, Codes::kSum}}
                   : std::vector<std::pair<int, int>>{{Codes::kRowPct, Codes::kCount},
                                                      {Codes::kRowValidNPct, Codes::kValidN},
                                                      {Codes::kRowResponsesPct, Codes::kResponses}};
    const int variable = cube.scale ? kX : -1;
    int failures = 0;
    const size_t n = cube.elements.size();
    for (int type = 0; type < 7; ++type) {
      const std::vector<bool> kept = KeptByBase(cube, type);
      for (const auto& [first, numeratorCode] : families)
        for (int unweighted : {0, 1}) {
          const bool responses = first == Codes::kRowResponsesPct;
          const int code = first + unweighted + 2 * type;
          const int pct = IndexOf(stats, code, variable);
          const int numerator = IndexOf(stats, numeratorCode + unweighted, variable);
          if (pct < 0 || numerator < 0) continue;
          // The members of a dropped dimension partition the base only when
          // each counted case lies in one of them: a categorical variable, or
          // the statistics set when responses are what is counted.
          bool partitions = true;
          for (size_t d = 0; d < n; ++d)
            partitions =
                partitions &&
                (kept[d] || !IsSet(ElementAt(cube, d)) ||
                 (responses && !cube.scale && static_cast<int>(d) == cube.statisticsElement));
          if (!partitions) continue;
          // Group the cells whose dropped dimensions are all members by their
          // kept categories.
          std::vector<std::vector<int>> partition(n);
          for (size_t d = 0; d < n; ++d) partition[d] = Partition(read.dimensions[d]);
          std::map<std::vector<int>, std::pair<double, double>> sums;  // percentages, numerators
          for (const auto& [at, values] : read.cells) {
            std::vector<int> base;
            bool member = true;
            for (size_t d = 0; d < n; ++d) {
              if (kept[d]) base.push_back(at[d]);
              const auto& p = partition[d];
              member = member && (kept[d] || std::find(p.begin(), p.end(), at[d]) != p.end());
            }
            if (!member) continue;
            sums[base].first += Counted(values, pct);
            sums[base].second += Counted(values, numerator);
          }
          for (const auto& [base, sum] : sums) {
            if (sum.second == 0.0) continue;  // no base: every percentage is missing
            ++(responses ? coverage.responseFamilies : coverage.families);
            if (std::fabs(sum.first - 100.0) <= 1e-9) continue;
            ADD_FAILURE() << "percentage " << code << " over base type " << type << " sums to "
                          << sum.first << " (base " << sum.second << ")";
            if (++failures > 5) return;
          }
        }
    }
  }

  const TableSpec& _table;
  const std::vector<Case>& _cases;
};

// Same categories in the same order, same cells, same values, keyed by what
// the categories stand for (their codes may differ).
void ExpectSameReads(const std::vector<CubeRead>& expected, const std::vector<CubeRead>& actual,
                     double relative, const char* what) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t k = 0; k < expected.size(); ++k) {
    auto byIdentity = [](const CubeRead& read) {
      std::map<CellIdentity, Values> cells;
      for (const auto& [at, values] : read.cells) cells[IdentityOf(read, at, true)] = values;
      return cells;
    };
    for (size_t d = 0; d < expected[k].dimensions.size(); ++d) {
      auto ids = [d](const CubeRead& read) {
        std::string text;
        for (const CategoryInfo& c : read.dimensions[d]) text += c.id + (c.hidden ? "/h " : " ");
        return text;
      };
      EXPECT_EQ(ids(expected[k]), ids(actual[k])) << what << ": cube " << k << " dimension " << d;
    }
    const auto left = byIdentity(expected[k]), right = byIdentity(actual[k]);
    ASSERT_EQ(left.size(), right.size()) << what << ": cube " << k << " has other categories";
    int failures = 0;
    for (const auto& [id, values] : left) {
      auto other = right.find(id);
      if (other == right.end()) {
        ADD_FAILURE() << what << ": cube " << k << " lacks a cell";
        return;
      }
      for (size_t i = 0; i < values.size(); ++i) {
        if (Near(other->second[i], values[i], relative)) continue;
        ADD_FAILURE() << what << ": cube " << k << " value " << i << " is " << other->second[i]
                      << ", expected " << values[i];
        if (++failures > 5) return;
      }
    }
  }
}

// Builds a table, feeds it the cases as given and reads it.
std::vector<CubeRead> ReadFed(const TableSpec& spec, const std::vector<Case>& cases, bool reverse,
                              bool weighted, Feeding feeding = Feeding()) {
  BuiltTable table(spec, cases, reverse, weighted, feeding);
  table.Feed();
  return table.Read();
}

// The same results whichever way the cases are aggregated: each case walked
// through its cells at once, or through leaves; in one table, or split into
// 2, 3 and 7 contiguous parts merged in case order (in memory, or through
// the serialized state). Counts and order statistics are exact (the weights
// are multiples of 1/4); moments differ by summation order only.
void ExpectSameAggregationEveryWay(const TableSpec& spec, const std::vector<Case>& cases,
                                   const std::vector<CubeRead>& leaves) {
  ExpectSameReads(ReadFed(spec, cases, false, true, Feeding{false, 0, -1}), leaves, 1e-12,
                  "leaves against the per-case path");
  const int n = static_cast<int>(cases.size());
  for (const int parts : {2, 3, 7}) {
    std::vector<std::unique_ptr<BuiltTable>> tables;
    for (int p = 0; p < parts; ++p) {
      const Feeding part{true, n * p / parts, n * (p + 1) / parts};
      tables.push_back(std::make_unique<BuiltTable>(spec, cases, false, true, part));
      tables.back()->Feed();
    }
    for (int p = 1; p < parts; ++p) {
      AggregationTable& merged = tables[0]->Table();
      if (parts == 3) {
        std::string state, error;
        tables[p]->Table().SerializeState(state);
        ASSERT_TRUE(merged.MergeState(state.data(), state.size(), error)) << error;
      } else {
        merged.MergeFrom(tables[p]->Table());
      }
    }
    ExpectSameReads(leaves, tables[0]->Read(), 1e-12,
                    (std::to_string(parts) + " parts merged").c_str());
  }
}

// A number from the environment, or the fallback when the variable is unset.
long FromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  return text ? std::strtol(text, nullptr, 10) : fallback;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr int kTables = 12;  // the sanitizer build is many times slower
#else
constexpr int kTables = 60;
#endif

// One table of the series: its definition, its cases (and the same with every
// weight 1), and the table built over them with their weights, fed once, with
// what it read then. Built on first use and kept for the process, so every
// test checks the same tables.
struct SeedTables {
  TableSpec spec;
  std::vector<Case> cases, unitWeights;
  std::unique_ptr<BuiltTable> table;  // refers to the definition; built when first needed
  std::vector<CubeRead> first;
};

SeedTables& TablesOf(unsigned seed, bool needsFirstRead) {
  static std::map<unsigned, std::unique_ptr<SeedTables>> built;
  std::unique_ptr<SeedTables>& tables = built[seed];
  if (!tables) {
    tables = std::make_unique<SeedTables>();
    std::mt19937 rng(seed);
    tables->spec = RandomTableSpec(rng);
    tables->unitWeights = tables->cases =
        RandomCases(rng, std::uniform_int_distribution<int>(0, 250)(rng));
    for (Case& c : tables->unitWeights) c.number[kW] = 1.0;
  }
  if (needsFirstRead && !tables->table) {
    tables->table = std::make_unique<BuiltTable>(tables->spec, tables->cases, false, true);
    tables->table->Feed();
    tables->first = tables->table->Read();
  }
  return *tables;
}

// Runs one invariant over every table of the series, up to the first table
// that breaks it (the one to study); every failure names its seed.
void ForEverySeed(const std::function<void(SeedTables&)>& invariant, bool needsFirstRead = true) {
  const auto base = static_cast<unsigned>(FromEnvironment("TABCUBE_SEED", 20261206));
  const long count = FromEnvironment("TABCUBE_SEEDS", kTables);
  for (long i = 0; i < count; ++i) {
    const unsigned seed = base + static_cast<unsigned>(i);
    SCOPED_TRACE("seed " + std::to_string(seed) +
                 " (rerun with TABCUBE_SEED=" + std::to_string(seed) + " TABCUBE_SEEDS=1)");
    invariant(TablesOf(seed, needsFirstRead));
    if (::testing::Test::HasFailure()) break;
  }
}

// Runs checks of a read table over the first read of every table.
void CheckFirstReads(int checks) {
  ForEverySeed([&](SeedTables& t) { TableChecker(t.spec, t.cases).Check(t.first, checks); });
}

TEST(RandomInvariantsTest, CategoriesStandInTheirOrder) {
  CheckFirstReads(kOrder);
}

TEST(RandomInvariantsTest, CellsMatchTheModel) {
  CheckFirstReads(kModel);
}

TEST(RandomInvariantsTest, TotalsAndSubtotalsAddUp) {
  CheckFirstReads(kTotals);
}

TEST(RandomInvariantsTest, PercentageFamiliesSumTo100) {
  CheckFirstReads(kPercentages);
}

TEST(RandomInvariantsTest, EveryWayOfAggregatingAgrees) {
  ForEverySeed([](SeedTables& t) { ExpectSameAggregationEveryWay(t.spec, t.cases, t.first); });
}

TEST(RandomInvariantsTest, ResetAndASecondPassAgree) {
  ForEverySeed([](SeedTables& t) {
    t.table->Table().ResetAggregator();
    t.table->Feed();
    ExpectSameReads(t.first, t.table->Read(), 0.0, "after ResetAggregator and a second pass");
  });
}

TEST(RandomInvariantsTest, CaseOrderDoesNotMatter) {
  ForEverySeed([](SeedTables& t) {
    ExpectSameReads(t.first, ReadFed(t.spec, t.cases, true, true), 1e-9, "cases in reverse order");
  });
}

// Every weight 1: the model holds, and the table equals the same table read
// without weights.
TEST(RandomInvariantsTest, UnitWeightsChangeNothing) {
  ForEverySeed(
      [](SeedTables& t) {
        const std::vector<CubeRead> unitRead = ReadFed(t.spec, t.unitWeights, false, true);
        TableChecker(t.spec, t.unitWeights).Check(unitRead, kEveryCheck);
        ExpectSameReads(unitRead, ReadFed(t.spec, t.cases, false, false), 1e-12,
                        "unweighted table against unit weights");
      },
      /*needsFirstRead=*/false);
}

// Over the default series every kind of check has work to do: counted over
// every check of the first reads and of the reads with unit weights.
TEST(RandomInvariantsTest, EveryKindOfCheckHasWork) {
  coverage = Coverage();
  ForEverySeed([](SeedTables& t) {
    TableChecker(t.spec, t.cases).Check(t.first, kEveryCheck);
    TableChecker(t.spec, t.unitWeights)
        .Check(ReadFed(t.spec, t.unitWeights, false, true), kEveryCheck);
  });
  std::printf(
      "checked %ld cubes (%ld with sets, %ld too large to read), %ld cells against the data "
      "(%ld scale cells, %ld with zero weights), %ld totals, %ld subtotals, %ld hiding subtotals, "
      "%ld percentage families and %ld responses families\n",
      coverage.cubes, coverage.setCubes, coverage.skippedCubes, coverage.modelCells,
      coverage.scaleCells, coverage.zeroWeightMedians, coverage.totals, coverage.subtotals,
      coverage.hiddenSubtotals, coverage.families, coverage.responseFamilies);
  if (FromEnvironment("TABCUBE_SEEDS", kTables) >= kTables && !::testing::Test::HasFailure()) {
    EXPECT_GT(coverage.setCubes, 0);
    EXPECT_LT(coverage.skippedCubes * 5, coverage.cubes);
    EXPECT_GT(coverage.scaleCells, 0);
    EXPECT_GT(coverage.zeroWeightMedians, 0);
    EXPECT_GT(coverage.subtotals, 0);
    EXPECT_GT(coverage.hiddenSubtotals, 0);
    EXPECT_GT(coverage.responseFamilies, 0);
    EXPECT_GT(coverage.families, coverage.cubes);
  }
}

}  // namespace
