// Cubes whose statistics dimension is a multiple-response set, end to end
// through the public front end: counts, responses and the four families of
// percentages (count over count, responses over responses, responses over
// count, count over responses).
//
// The reference tables are compared with the values that
// tests/reference/mrsets_reference.py computed with pandas from the
// definitions, for the committed data set of 6,000 weighted cases: a five-
// member category set (values 1-12, missing values, duplicates within cases),
// counted with and without duplicates, and a six-member dichotomy set, each
// crossed with a categorical variable g, with totals on both dimensions.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
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
#include "StatValues.h"
#include "TableDimension.h"
#include "baseutil.h"
#include "casesource.h"
#include "support/TestValues.h"

namespace {

using testsupport::ReferencePath;
using testsupport::Split;

using Codes = TableEncryptionCodes;

constexpr double kMissing = TableEncryptionCodes::kMissingValue;
const char kTotalKey[] = "T";

// The committed cases with the dictionary the reference script describes.
class ReferenceData {
 public:
  ReferenceData() {
    std::ifstream in(ReferencePath("mrsets_data.csv"));
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> names = Split(line, ',');
    for (const std::string& name : names) {
      const int index = data_.AddVariable(name, 0);
      index_[name] = index;
    }
    data_.GetVariable(Index("g")).AddMissingValue(9.0);
    data_.GetVariable(Index("m1")).AddMissingValue(99.0);
    // Ignored by the set: m1 alone judges the members.
    data_.GetVariable(Index("m3")).AddMissingValue(12.0);
    // Labels for every code, and for 13, which no case gives.
    for (int code = 1; code <= 13; ++code) {
      data_.GetVariable(Index("m1")).AddValueLabel(code, "code " + std::to_string(code));
    }
    while (std::getline(in, line)) {
      const std::vector<std::string> fields = Split(line, ',');
      const int row = data_.AddCase();
      for (size_t v = 0; v < fields.size(); ++v) {
        if (!fields[v].empty()) data_.SetValue(row, static_cast<int>(v), std::stod(fields[v]));
      }
    }
  }
  const QUOR_DataSource& Data() const { return data_; }
  int Index(const std::string& name) const { return index_.at(name); }
  std::vector<int> Indices(const std::string& prefix, int count) const {
    std::vector<int> out;
    for (int i = 1; i <= count; ++i) out.push_back(Index(prefix + std::to_string(i)));
    return out;
  }

 private:
  QUOR_DataSource data_;
  std::map<std::string, int> index_;
};

// table -> (row key, column key) -> statistic code -> value.
using CellValuesByKey = std::map<std::pair<std::string, std::string>, std::map<int, double>>;

std::map<std::string, CellValuesByKey> ReadExpected() {
  std::map<std::string, CellValuesByKey> result;
  std::ifstream in(ReferencePath("mrsets_expected.tsv"));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    const std::vector<std::string> f = Split(line, '\t');
    const double value = f.at(4) == "missing" ? kMissing : std::stod(f.at(4));
    result[f.at(0)][{f.at(2), f.at(3)}][std::stoi(f.at(1))] = value;
  }
  return result;
}

std::vector<AggregationStatistic> Stats(const std::vector<Codes::StatisticCodes>& codes) {
  std::vector<AggregationStatistic> stats;
  for (Codes::StatisticCodes code : codes) stats.emplace_back(code);
  return stats;
}

// Every statistic the reference computes: counts, responses and, per kind
// (row, column, table), the four percentage families, weighted and not.
std::vector<Codes::StatisticCodes> AllCodes() {
  std::vector<Codes::StatisticCodes> codes = {Codes::kCount, Codes::kUCount, Codes::kResponses,
                                              Codes::kUResponses};
  for (int family : {3, 86, 100, 114}) {
    for (int kind = 0; kind < 3; ++kind) {
      codes.push_back(static_cast<Codes::StatisticCodes>(family + 2 * kind));
      codes.push_back(static_cast<Codes::StatisticCodes>(family + 2 * kind + 1));
    }
  }
  return codes;
}

// The reference's key of a category: "T" for the total, the value of a value
// category, the variable name of a member category.
std::string Key(const AggregationCategory* category) {
  switch (category->GetCatType()) {
    case AggregationCategory::kTotal:
      return kTotalKey;
    case AggregationCategory::kVariable:
      return std::string(category->GetCatValue().str, 2);
    default:
      return std::to_string(static_cast<int>(category->GetCatValue().num));
  }
}

// Counts and responses are sums of multiples of 0.5 and must be exact; the
// percentages divide in another order than pandas and may differ in the last
// bits.
void ExpectClose(double actual, double expected, const std::string& what) {
  if (expected == kMissing) {
    EXPECT_EQ(actual, kMissing) << what;
    return;
  }
  EXPECT_NEAR(actual, expected, 1e-12 * std::max(1.0, std::fabs(expected))) << what;
}

// One table crossing a set (rows) with g (columns), run over the data and
// compared cell by cell with the reference. With total statistics, the
// total cells of the set read the total layout. Returns copies of the set's
// categories (the table and its dimensions end with the call).
std::vector<AggregationCategory> CheckTable(const ReferenceData& data, AggregationVariable& set,
                                            bool countDuplicates, const CellValuesByKey& expected,
                                            const std::vector<Codes::StatisticCodes>& totalCodes,
                                            int passes) {
  const std::vector<Codes::StatisticCodes> cellCodes = AllCodes();
  ProcDSIterator iterator(data.Data(), data.Index("w"));
  AggregationTable table(iterator, true, false);
  AggregationVariable g(data.Index("g"), "g");
  g.SetIsTotalNo(false);
  set.SetIsTotalNo(false);
  AggregationCube* cube = table.CreateCube();
  cube->AddCategoricalVariable(&set, Codes::kRowPosition);
  cube->AddCategoricalVariable(&g, Codes::kColumnPosition);
  cube->CreateCubeAggregator();
  if (countDuplicates) set.GetTableDimension()->SetComputingCounts(true);
  if (totalCodes.empty()) {
    cube->AddCategoryStatistics(Stats(cellCodes), &set);
  } else {
    cube->AddCategoryAndTotalStatistics(Stats(cellCodes), &set, Stats(totalCodes));
  }
  for (int pass = 0; pass < passes; ++pass) {
    if (pass > 0) table.ResetAggregator();
    iterator.Rewind();
    while (iterator.Next()) table.AddNewCase();
  }

  CubeAggregator* aggregator = table.GetCubeAggregators().at(0);
  const std::vector<AggregationCategory*>& rows = set.GetTableDimension()->GetCategoryPointers();
  const std::vector<AggregationCategory*>& columns = g.GetTableDimension()->GetCategoryPointers();
  EXPECT_EQ(columns.size(), 4u);
  std::vector<AggregationCategory> rowCopies;
  for (const AggregationCategory* row : rows) rowCopies.push_back(*row);
  size_t cellsFound = 0;
  for (const AggregationCategory* row : rows) {
    for (const AggregationCategory* column : columns) {
      const std::pair<std::string, std::string> key(Key(row), Key(column));
      const std::string where = key.first + "," + key.second;
      StatValues* values = aggregator->GetStatValues({row, column}, -1);
      const auto found = expected.find(key);
      if (found == expected.end()) {
        EXPECT_EQ(values, nullptr) << where << " has no case";
        continue;
      }
      EXPECT_NE(values, nullptr) << where;
      if (!values) continue;
      ++cellsFound;
      const bool total = row->GetCatType() == AggregationCategory::kTotal && !totalCodes.empty();
      EXPECT_EQ(values->IsTotalStats(), total) << where;
      const std::vector<Codes::StatisticCodes>& codes = total ? totalCodes : cellCodes;
      EXPECT_EQ(values->NumOfValues(), static_cast<int>(codes.size())) << where;
      if (values->NumOfValues() != static_cast<int>(codes.size())) continue;
      for (size_t i = 0; i < codes.size(); ++i) {
        const double expectedValue = found->second.at(codes[i]);
        ExpectClose(values->GetStatValue(static_cast<int>(i)), expectedValue,
                    where + " statistic " + std::to_string(codes[i]));
      }
    }
  }
  EXPECT_EQ(cellsFound, expected.size());
  return rowCopies;
}

class MRSetReferenceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new ReferenceData;
    expected_ = new std::map<std::string, CellValuesByKey>(ReadExpected());
  }
  static void TearDownTestSuite() {
    delete data_;
    delete expected_;
    data_ = nullptr;
    expected_ = nullptr;
  }
  static ReferenceData* data_;
  static std::map<std::string, CellValuesByKey>* expected_;
};

ReferenceData* MRSetReferenceTest::data_ = nullptr;
std::map<std::string, CellValuesByKey>* MRSetReferenceTest::expected_ = nullptr;

TEST_F(MRSetReferenceTest, CategorySetCountsEachCategoryOncePerCase) {
  AggregationMCSet set(data_->Indices("m", 5), "$mc");
  const std::vector<AggregationCategory> rows =
      CheckTable(*data_, set, false, expected_->at("mc0"), {}, 1);
  // The values met, the labelled 13 without cases, the total.
  ASSERT_EQ(rows.size(), 14u);
  for (size_t i = 0; i < 13; ++i) {
    EXPECT_EQ(rows[i].GetCatValue().num, i + 1.0);
    EXPECT_EQ(rows[i].GetCatLabel(), "code " + std::to_string(i + 1));
    EXPECT_EQ(rows[i].GetCatEncoding() == 0, i == 12);
  }
  EXPECT_EQ(rows[13].GetCatType(), AggregationCategory::kTotal);
}

TEST_F(MRSetReferenceTest, CategorySetCountsDuplicateResponses) {
  AggregationMCSet set(data_->Indices("m", 5), "$mc");
  CheckTable(*data_, set, true, expected_->at("mc1"), {}, 1);
}

TEST_F(MRSetReferenceTest, DichotomySetCountsEveryMemberHoldingTheCountedValue) {
  OBS one;
  one.num = 1.0;
  AggregationMDSet set(data_->Indices("d", 6), "$md", &one, 1, false);
  CheckTable(*data_, set, false, expected_->at("md"), {}, 1);
}

TEST_F(MRSetReferenceTest, TotalStatisticsAndASecondPassGiveTheSameValues) {
  const std::vector<Codes::StatisticCodes> totals = {Codes::kResponses,
                                                     Codes::kCount,
                                                     Codes::kColResponsesPct,
                                                     Codes::kUColPct,
                                                     Codes::kTableResponsesCountPct,
                                                     Codes::kRowCountResponsesPct};
  AggregationMCSet categories(data_->Indices("m", 5), "$mc");
  CheckTable(*data_, categories, true, expected_->at("mc1"), totals, 2);
  OBS one;
  one.num = 1.0;
  AggregationMDSet dichotomies(data_->Indices("d", 6), "$md", &one, 1, false);
  CheckTable(*data_, dichotomies, false, expected_->at("md"), totals, 2);
}

}  // namespace
