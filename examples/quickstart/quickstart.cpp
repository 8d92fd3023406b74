// Quickstart host program: loads the bundled survey into the host's data
// source, describes tables to the engine, feeds every case, and prints what
// the engine returns:
//   1. one cube without dimensions, with the mean of every variable: the
//      cases encoded, the valid count of each statistic variable and the case
//      weights;
//   2. a three-way crosstab (marital status by race, layered by survey year)
//      with totals, counts and row, column and layer percentages, and a table
//      of mean hours of television by marital status and race;
//   3. the multiple-response questions of a second, synthetic survey
//      (survey.csv): brands mentioned and media used, by region, with cases,
//      responses and the column percentages of both.
//
// Usage: quickstart [--data DIR] [--weight VARIABLE]
//   DIR holds gss_cat.csv and gss_cat.dict.json, and survey.csv and
//   survey.dict.json (default: examples/data from the current directory,
//   else from the source tree above the build).
//   VARIABLE weights the cases (default: the dictionary's weight, if any).

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "TableMetadata.h"
#include "baseutil.h"
#include "casesource.h"
#include "multiple_response.h"
#include "survey_loader.h"

namespace {

using Codes = TableEncryptionCodes;

bool Exists(const std::string& path) {
  return std::ifstream(path).good();
}

std::string FindDataDir(const char* argv0) {
  std::string exe(argv0);
  const size_t slash = exe.rfind('/');
  const std::string exeDir = slash == std::string::npos ? "." : exe.substr(0, slash);
  for (const std::string& dir : {std::string("examples/data"), exeDir + "/../../examples/data"}) {
    if (Exists(dir + "/gss_cat.csv")) return dir;
  }
  throw std::runtime_error("cannot find examples/data/gss_cat.csv; pass --data DIR");
}

// ---- Crosstabs: category lists and cell statistics read back from the engine.

// The text of a category: its value label, else its value; a total's label.
std::string Name(const QUOR_DataSource& data, const AggregationCategory& category) {
  if (category.GetCatType() != AggregationCategory::kValue) return category.GetCatLabel();
  QUOR_ValueLabelMap labels(data.GetVariable(category.GetVarIndex()).GetValueLabels());
  if (const char* label = labels.GetLabel(&category.GetCatValue())) return label;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", category.GetCatValue().num);
  return buffer;
}

std::string Fit(const std::string& text, size_t width) {
  return text.size() > width ? text.substr(0, width) : text;
}

const std::vector<AggregationCategory*>& CategoriesOf(const AggregationVariable& var) {
  return var.GetTableDimension()->GetCategoryPointers();
}

// Value i of the cell, or the missing value when no case reached the cell.
double Value(StatValues* values, int i) {
  return values ? values->GetStatValue(i).GetValue1() : Codes::kMissingValue;
}

void PrintNumber(double value, const char* format, int width) {
  if (value == Codes::kMissingValue) {
    std::printf("%*s", width, ".");
  } else {
    std::printf(format, value);
  }
}

int VariableIndex(const QUOR_DataSource& data, const char* name) {
  for (int i = 0; i < data.NumberOfVariables(); ++i) {
    if (std::strcmp(data.GetVariable(i).GetName(), name) == 0) return i;
  }
  throw std::runtime_error(std::string("no variable ") + name);
}

// A categorical variable of a table request, showing a total after its
// categories; missing values are excluded (they count only in the totals'
// total N).
AggregationVariable TableVariable(const QUOR_DataSource& data, const char* name) {
  AggregationVariable var(VariableIndex(data, name), name);
  var.SetIsTotalNo(false);
  return var;
}

const char* LabelOf(const QUOR_DataSource& data, const AggregationVariable& var) {
  return data.GetVariable(var.GetIndex()).GetLabel();
}

void PrintCrosstabs(QUOR_InputCaseIterator& iterator, bool weighted) {
  const QUOR_DataSource& data = iterator.GetDataSource();
  // The variables outlive the table, whose dimensions point to them.
  AggregationVariable marital = TableVariable(data, "marital");
  AggregationVariable race = TableVariable(data, "race");
  AggregationVariable year = TableVariable(data, "year");
  marital.SetIsEmptyInclude(false);
  race.SetIsEmptyInclude(false);
  const int tvhours = VariableIndex(data, "tvhours");

  AggregationTable table(iterator, weighted, false);
  // Cube 1: marital (rows) by race (columns), layered by year.
  AggregationCube* crosstab = table.CreateCube();
  crosstab->AddCategoricalVariable(&marital, Codes::kRowPosition);
  crosstab->AddCategoricalVariable(&race, Codes::kColumnPosition);
  crosstab->AddCategoricalVariable(&year, Codes::kLayerPosition);
  crosstab->CreateCubeAggregator();
  crosstab->AddCategoryStatistics(
      {AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kRowPct),
       AggregationStatistic(Codes::kColPct), AggregationStatistic(Codes::kLayerPct)},
      &marital);
  // Cube 2: mean hours of television per day, and the cases behind each mean.
  AggregationCube* means = table.CreateCube();
  means->AddCategoricalVariable(&marital, Codes::kRowPosition);
  means->AddCategoricalVariable(&race, Codes::kColumnPosition);
  means->CreateCubeAggregator();
  means->AddScaleStatistics(
      {AggregationStatistic(tvhours, Codes::kMean), AggregationStatistic(tvhours, Codes::kValidN)});

  iterator.Rewind();
  while (iterator.Next()) table.AddNewCase();

  const std::vector<CubeAggregator*> aggregators = table.GetCubeAggregators();
  const auto& rows = CategoriesOf(marital);
  const auto& columns = CategoriesOf(race);

  std::printf("\n%s by %s, layered by %s\n", LabelOf(data, marital), LabelOf(data, race),
              LabelOf(data, year));
  std::printf("Each cell: count, row %%, column %%, layer %%\n");
  for (const AggregationCategory* layer : CategoriesOf(year)) {
    std::printf("\n%s = %s\n%-16s", LabelOf(data, year), Name(data, *layer).c_str(), "");
    for (const AggregationCategory* column : columns) {
      std::printf("  %24s", Fit(Name(data, *column), 24).c_str());
    }
    std::printf("\n");
    for (const AggregationCategory* row : rows) {
      std::printf("%-16s", Fit(Name(data, *row), 16).c_str());
      for (const AggregationCategory* column : columns) {
        StatValues* values = aggregators[0]->GetStatValues({row, column, layer}, -1);
        std::printf("  ");
        PrintNumber(Value(values, 0), "%6.0f", 6);
        for (int i = 1; i <= 3; ++i) {
          std::printf(" ");
          PrintNumber(Value(values, i), "%5.1f", 5);
        }
      }
      std::printf("\n");
    }
  }

  std::printf("\nMean %s by %s and %s\n", data.GetVariable(tvhours).GetLabel(),
              LabelOf(data, marital), LabelOf(data, race));
  std::printf("Each cell: mean (cases with a valid value)\n%-16s", "");
  for (const AggregationCategory* column : columns) {
    std::printf("  %15s", Fit(Name(data, *column), 15).c_str());
  }
  std::printf("\n");
  for (const AggregationCategory* row : rows) {
    std::printf("%-16s", Fit(Name(data, *row), 16).c_str());
    for (const AggregationCategory* column : columns) {
      StatValues* values = aggregators[1]->GetStatValues({row, column}, -1);
      std::printf("  ");
      PrintNumber(Value(values, 0), "%6.2f", 6);
      std::printf(" (");
      PrintNumber(Value(values, 1), "%5.0f", 5);
      std::printf(")");
    }
    std::printf("\n");
  }
}

// The multiple-response questions of the bundled synthetic survey
// (survey.csv, written by make_survey.py): the brands each respondent
// mentioned (up to five answers, a multiple category set) and the media each
// one uses (six yes/no questions, a multiple dichotomy set), by region,
// weighted by the survey weight.
void PrintMultipleResponses(const std::string& dataDir) {
  const std::string csv = dataDir + "/survey.csv";
  if (!Exists(csv)) {
    std::printf("\n(no %s: the multiple-response tables are skipped)\n", csv.c_str());
    return;
  }
  quickstart::Survey survey = quickstart::LoadSurvey(csv, dataDir + "/survey.dict.json");
  const QUOR_DataSource& data = *survey.data;
  const bool weighted = survey.weightVariable >= 0;
  std::unique_ptr<QUOR_InputCaseIterator> iterator;
  if (weighted) {
    iterator = std::make_unique<ProcDSIterator>(data, survey.weightVariable);
  } else {
    iterator = std::make_unique<QUOR_InputCaseIterator>(data);
  }
  std::vector<int> brands;
  for (const char* name : {"brand1", "brand2", "brand3", "brand4", "brand5"}) {
    brands.push_back(VariableIndex(data, name));
  }
  std::vector<int> media;
  for (const char* name : {"media1", "media2", "media3", "media4", "media5", "media6"}) {
    media.push_back(VariableIndex(data, name));
  }
  const int region = VariableIndex(data, "region");

  std::printf("\ntabcube quickstart: %s, %d cases, %s\n", csv.c_str(), data.NumberOfCases(),
              weighted ? "weighted by the survey weight" : "unweighted");
  // brand1's missing values (99, "Refused") judge every member of the set.
  AggregationMCSet brandSet(brands, "$brands");
  quickstart::PrintResponseTable(quickstart::TabulateResponses(
      *iterator, weighted, brandSet, region, "Brands mentioned (brand1 to brand5) by Region"));
  OBS used;
  used.num = 1.0;
  AggregationMDSet mediaSet(media, "$media", &used, 1, false);
  quickstart::PrintResponseTable(quickstart::TabulateResponses(
      *iterator, weighted, mediaSet, region, "Media used (media1 to media6) by Region"));
}

int Run(int argc, char** argv) {
  std::string dataDir;
  std::string weightName;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      dataDir = argv[++i];
    } else if (std::strcmp(argv[i], "--weight") == 0 && i + 1 < argc) {
      weightName = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--data DIR] [--weight VARIABLE]\n", argv[0]);
      return 2;
    }
  }
  if (dataDir.empty()) dataDir = FindDataDir(argv[0]);

  quickstart::Survey survey =
      quickstart::LoadSurvey(dataDir + "/gss_cat.csv", dataDir + "/gss_cat.dict.json");
  const QUOR_DataSource& data = *survey.data;
  if (!weightName.empty()) {
    survey.weightVariable = -1;
    for (int i = 0; i < data.NumberOfVariables(); ++i) {
      if (weightName == data.GetVariable(i).GetName()) survey.weightVariable = i;
    }
    if (survey.weightVariable < 0) throw std::runtime_error("no variable " + weightName);
  }
  const bool weighted = survey.weightVariable >= 0;

  std::unique_ptr<QUOR_InputCaseIterator> iterator;
  if (weighted) {
    iterator = std::make_unique<ProcDSIterator>(data, survey.weightVariable);
  } else {
    iterator = std::make_unique<QUOR_InputCaseIterator>(data);
  }

  // The table: one cube without dimensions; the mean of every numeric
  // variable as its scale statistics.
  AggregationTable table(*iterator, weighted, false);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  std::vector<AggregationStatistic> stats;
  for (int i = 0; i < data.NumberOfVariables(); ++i) {
    if (data.GetVariable(i).GetType() == 0) stats.emplace_back(i, Codes::kMean);
  }
  cube->AddScaleStatistics(stats);

  TableMetadata& metadata = *table.GetTableMetaData();
  const double& caseWeight = metadata.GetCaseWeight();
  int cases = 0;
  double weightSum = 0.0;
  double weightMin = 0.0;
  double weightMax = 0.0;
  while (iterator->Next()) {
    table.AddNewCase();
    weightSum += caseWeight;
    weightMin = cases == 0 ? caseWeight : std::min(weightMin, caseWeight);
    weightMax = cases == 0 ? caseWeight : std::max(weightMax, caseWeight);
    ++cases;
  }

  std::printf("tabcube quickstart: %s/gss_cat.csv, %d cases, %d variables\n", dataDir.c_str(),
              data.NumberOfCases(), data.NumberOfVariables());
  std::printf("Table: 1 cube without dimensions, mean of %zu statistic variables\n", stats.size());
  std::printf("Cases fed: %d\n", cases);
  std::printf("Cases encoded: %d (a table without dimensions encodes every case)\n", cases);
  std::printf("\nValid counts (system-missing and user-missing values are not valid):\n");
  std::printf("  %-9s %8s %8s  %s\n", "variable", "valid", "missing", "label");
  const std::vector<double>& valid = metadata.GetValidCount();
  for (size_t pos = 0; pos < valid.size(); ++pos) {
    const unsigned int index = metadata.GetCaseReaderVarIndex(static_cast<int>(pos));
    const QUOR_Variable& variable = data.GetVariable(static_cast<int>(index));
    std::printf("  %-9s %8.0f %8.0f  %s\n", variable.GetName(), valid[pos], cases - valid[pos],
                variable.GetLabel());
  }
  std::printf("\nCase weights: ");
  if (weighted) {
    std::printf("from %s (missing or negative weights count 0)\n",
                data.GetVariable(survey.weightVariable).GetName());
  } else {
    std::printf("no weight variable, every case weighs 1\n");
  }
  std::printf("  sum %.6g, smallest %.6g, largest %.6g\n", weightSum, weightMin, weightMax);

  PrintCrosstabs(*iterator, weighted);
  PrintMultipleResponses(dataDir);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quickstart: %s\n", error.what());
    return 1;
  }
}
