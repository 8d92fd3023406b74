// The quickstart's job on the bundled survey: the valid counts the engine
// reports are checked against the frequency tables published with the data
// (examples/data/README.md), an independent account of the same file.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../../examples/quickstart/survey_loader.h"
#include "AggregationCube.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "TableMetadata.h"

namespace {

using Codes = TableEncryptionCodes;

const std::string kDataDir = std::string(TABCUBE_SOURCE_DIR) + "/examples/data";

TEST(QuickstartTest, ValidCountsOfTheBundledSurveyMatchItsPublishedFrequencies) {
  quickstart::Survey survey =
      quickstart::LoadSurvey(kDataDir + "/gss_cat.csv", kDataDir + "/gss_cat.dict.json");
  const QUOR_DataSource& data = *survey.data;
  ASSERT_EQ(data.NumberOfCases(), 21483);
  ASSERT_EQ(data.NumberOfVariables(), 9);
  EXPECT_EQ(survey.weightVariable, -1);

  QUOR_InputCaseIterator iterator(data);
  AggregationTable table(iterator, false, false);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  std::vector<AggregationStatistic> stats;
  for (int i = 0; i < data.NumberOfVariables(); ++i) stats.emplace_back(i, Codes::kMean);
  cube->AddScaleStatistics(stats);
  int cases = 0;
  while (iterator.Next()) {
    table.AddNewCase();
    EXPECT_EQ(table.GetTableMetaData()->GetCaseWeight(), 1.0);
    ++cases;
  }
  EXPECT_EQ(cases, 21483);

  // Cases minus user-missing and empty fields, from the data's README.
  const std::map<std::string, double> expected{
      {"year", 21483},
      {"marital", 21483 - 17},
      {"age", 21483 - 76},
      {"race", 21483},
      {"rincome", 21483 - 975 - 7043 - 267 - 183},  // the missing range 96-99
      {"partyid", 21483 - 1 - 154},
      {"relig", 21483 - 15 - 93},
      {"denom", 21483 - 10072 - 52 - 117},
      {"tvhours", 21483 - 10146}};
  const TableMetadata& metadata = *table.GetTableMetaData();
  ASSERT_EQ(metadata.GetValidCount().size(), 9u);
  for (int pos = 0; pos < 9; ++pos) {
    const std::string name =
        data.GetVariable(static_cast<int>(metadata.GetCaseReaderVarIndex(pos))).GetName();
    EXPECT_EQ(metadata.GetValidCount()[static_cast<size_t>(pos)], expected.at(name)) << name;
  }
}

TEST(LoaderInputTest, StringsQuotedFieldsAndEmptyNumbersAreRead) {
  const std::string dictionary = ::testing::TempDir() + "loader.dict.json";
  const std::string csv = ::testing::TempDir() + "loader.csv";
  std::ofstream(dictionary) << R"({"variables": [
      {"name": "id", "type": "numeric", "label": "Id", "valueLabels": [],
       "missing": {"values": [-1], "range": null}},
      {"name": "city", "type": "string", "width": 10, "label": "City \"quoted\"",
       "valueLabels": [["Oslo", "Capital"]], "missing": {"values": ["none"], "range": null}},
      {"name": "w", "type": "numeric", "label": "", "missing": {"values": [], "range": null}}],
    "weight": "w"})";
  std::ofstream(csv) << "id,city,w\n1,\"Oslo, N\",2\n,none,\n";
  quickstart::Survey survey = quickstart::LoadSurvey(csv, dictionary);
  const QUOR_DataSource& data = *survey.data;
  EXPECT_EQ(survey.weightVariable, 2);
  ASSERT_EQ(data.NumberOfCases(), 2);
  EXPECT_STREQ(data.GetVariable(1).GetLabel(), "City \"quoted\"");

  QUOR_InputCaseIterator iterator(data);
  CaseValue id(iterator, 0), city(iterator, 1);
  ASSERT_TRUE(iterator.Next());
  EXPECT_EQ(id.GetValue()->num, 1.0);
  EXPECT_EQ(std::string(city.GetValue()->str, 10), "Oslo, N   ");
  ASSERT_TRUE(iterator.Next());
  EXPECT_EQ(id.GetValue()->num, QUOR_SYSMIS);
  EXPECT_TRUE(city.IsMissing());
}

}  // namespace
