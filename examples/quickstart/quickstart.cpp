// Quickstart host program: loads the bundled survey into the host's data
// source, describes tables to the engine, feeds every case and prints what the
// engine returns:
//   1. one cube without dimensions (its cell is the whole data) with every
//      scale statistic of one numeric variable, weighted and unweighted;
//   2. a three-way crosstab, marital status by race layered by survey year,
//      with totals, counts and row, column and layer percentages, and a
//      crosstab of the mean hours of television per day by marital status and
//      race;
//   3. the multiple-response questions of a second, synthetic survey
//      (survey.csv): brands mentioned and media used, by region, with cases,
//      responses and the column percentages of both.
//
// Usage: quickstart [--data DIR] [--variable NAME] [--weight VARIABLE]
//                   [--limits LOWER UPPER]
//   DIR holds gss_cat.csv and gss_cat.dict.json, and survey.csv and
//   survey.dict.json (default: examples/data from the current directory, else
//   from the source tree above the build).
//   NAME is the numeric variable summarised (default: age).
//   VARIABLE weights the cases (default: the dictionary's weight; the survey
//   has none, so the program derives one that gives every survey year the
//   same total weight).
//   LOWER and UPPER are the limits of the counts and percentages inside
//   limits (default: 30 and 60 for age, 1 and 3 otherwise).
//   The crosstabs are weighted only by a weight from the dictionary or
//   --weight, never by the derived one: their counts are cases.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
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

int FindVariable(const QUOR_DataSource& data, const std::string& name) {
  for (int i = 0; i < data.NumberOfVariables(); ++i) {
    if (name == data.GetVariable(i).GetName()) return i;
  }
  return -1;
}

// Adds a weight that gives every value of `year` the same total weight (the
// number of cases over the number of years), so that no survey year counts
// more than another. Returns the new variable's index.
int AddYearWeight(QUOR_DataSource& data, int year) {
  std::map<double, int> casesPerYear;
  const int offset = data.VariableOffset(year);
  for (int c = 0; c < data.NumberOfCases(); ++c) {
    const OBS* value = data.CaseRow(c) + offset;
    if (!data.GetVariable(year).IsMissing(value)) ++casesPerYear[value->num];
  }
  const int weight = data.AddVariable("yearwt", 0, "Weight giving every survey year equal weight");
  const double perYear = static_cast<double>(data.NumberOfCases()) / casesPerYear.size();
  for (int c = 0; c < data.NumberOfCases(); ++c) {
    const OBS* value = data.CaseRow(c) + offset;
    if (!data.GetVariable(year).IsMissing(value)) {
      data.SetValue(c, weight, perYear / casesPerYear[value->num]);
    }
  }
  return weight;
}

// One line of the printed table: a statistic with its weighted and (where the
// statistic has one) unweighted code, and its parameter.
struct Line {
  std::string label;
  int weighted;
  int unweighted;  // -1: the statistic has no weighting
  double parameter;
};

std::vector<Line> StatisticLines(double lower, double upper) {
  char below[64], atMost[64], above[64], atLeast[64], equal[64], between[64], fromTo[64],
      strictly[64];
  std::snprintf(below, sizeof below, "below %g", upper);
  std::snprintf(atMost, sizeof atMost, "at most %g", upper);
  std::snprintf(above, sizeof above, "above %g", lower);
  std::snprintf(atLeast, sizeof atLeast, "at least %g", lower);
  std::snprintf(equal, sizeof equal, "equal to %g", lower);
  std::snprintf(between, sizeof between, "%g to %g", lower, upper);
  std::snprintf(fromTo, sizeof fromTo, "%g to below %g", lower, upper);
  std::snprintf(strictly, sizeof strictly, "strictly between %g and %g", lower, upper);
  std::vector<Line> lines = {
      {"Count", Codes::kCount, Codes::kUCount, 0},
      {"Total N", Codes::kTotalN, Codes::kUTotalN, 0},
      {"Valid N", Codes::kValidN, Codes::kUValidN, 0},
      {"Missing N", Codes::kMissingN, Codes::kUMissingN, 0},
      {"Mean", Codes::kMean, Codes::kUMean, 0},
      {"Sum", Codes::kSum, Codes::kUSum, 0},
      {"Minimum", Codes::kMinimum, -1, 0},
      {"Maximum", Codes::kMaximum, -1, 0},
      {"Range", Codes::kValueRange, -1, 0},
      {"Variance", Codes::kVariance, Codes::kUVariance, 0},
      {"Standard deviation", Codes::kStdDev, Codes::kUStdDev, 0},
      {"Standard error of the mean", Codes::kSEMean, Codes::kUSEMean, 0},
      {"Sum of squared deviations", Codes::kSumSquaredDeviations, -1, 0},
      {"Median", Codes::kMedian, Codes::kUMedian, 0},
      {"Median, interpolated", Codes::kMedianInterpolated, Codes::kUMedianInterpolated, 0},
      {"Mode", Codes::kMode, Codes::kUMode, 0},
      {"Percentile 25", Codes::kPercentile, Codes::kUPercentile, 25},
      {"Percentile 75", Codes::kPercentile, Codes::kUPercentile, 75},
      {"Percentile 25, interpolated", Codes::kPercentileInterpolated,
       Codes::kUPercentileInterpolated, 25},
      {"Percentile 75, interpolated", Codes::kPercentileInterpolated,
       Codes::kUPercentileInterpolated, 75},
      {"Median 95% interval", Codes::kMedianCI, Codes::kUMedianCI, 95},
  };
  const struct {
    int code;
    const char* what;
  } groups[] = {{Codes::kBelowPct, below},
                {Codes::kAtMostPct, atMost},
                {Codes::kAbovePct, above},
                {Codes::kAtLeastPct, atLeast},
                {Codes::kEqualPct, equal},
                {Codes::kBetweenPct, between},
                {Codes::kBetweenBelowUpperPct, fromTo},
                {Codes::kUnspecifiedLimitPct, "in the group without a test"},
                {Codes::kStrictlyBetweenPct, strictly}};
  // Each limit group: weighted %, unweighted %, weighted count, unweighted count.
  for (const auto& group : groups) {
    lines.push_back({std::string("% ") + group.what, group.code, group.code + 1, 0});
    lines.push_back({std::string("Count ") + group.what, group.code + 2, group.code + 3, 0});
  }
  return lines;
}

AggregationStatistic MakeStatistic(int variable, int code, double parameter, double lower,
                                   double upper) {
  AggregationStatistic statistic(variable, static_cast<Codes::StatisticCodes>(code));
  if (code == Codes::kMedianCI || code == Codes::kUMedianCI) {
    statistic.SetCIMedian(parameter);
  } else {
    statistic.SetPTileCutPoint(parameter);
  }
  statistic.SetLowerLimit(lower);
  statistic.SetUpperLimit(upper);
  return statistic;
}

std::string Format(double value) {
  if (value == Codes::kMissingValue) return "missing";
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

// A median interval shows its lower and upper limit.
std::string FormatResult(const AggregationResult& result, int code) {
  if (code == Codes::kMedianCI || code == Codes::kUMedianCI) {
    return Format(result.GetValue1()) + " to " + Format(result.GetValue2());
  }
  return Format(result.GetValue1());
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
  const int index = FindVariable(data, name);
  if (index < 0) throw std::runtime_error(std::string("no variable ") + name);
  return index;
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

// weightVariable: the index of the weight, or -1 for unweighted cases.
void PrintCrosstabs(const QUOR_DataSource& data, int weightVariable) {
  std::unique_ptr<QUOR_InputCaseIterator> cases;
  if (weightVariable >= 0) {
    cases = std::make_unique<ProcDSIterator>(data, weightVariable);
  } else {
    cases = std::make_unique<QUOR_InputCaseIterator>(data);
  }
  QUOR_InputCaseIterator& iterator = *cases;
  const bool weighted = weightVariable >= 0;
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

  while (iterator.Next()) table.AddNewCase();

  const std::vector<CubeAggregator*> aggregators = table.GetCubeAggregators();
  const auto& rows = CategoriesOf(marital);
  const auto& columns = CategoriesOf(race);

  std::printf("\n%s by %s, layered by %s\n", LabelOf(data, marital), LabelOf(data, race),
              LabelOf(data, year));
  std::printf("Each cell: count, row %%, column %%, layer %%%s\n", weighted ? " (weighted)" : "");
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
  std::string variableName = "age";
  bool haveLimits = false;
  double lower = 0.0;
  double upper = 0.0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      dataDir = argv[++i];
    } else if (std::strcmp(argv[i], "--weight") == 0 && i + 1 < argc) {
      weightName = argv[++i];
    } else if (std::strcmp(argv[i], "--variable") == 0 && i + 1 < argc) {
      variableName = argv[++i];
    } else if (std::strcmp(argv[i], "--limits") == 0 && i + 2 < argc) {
      lower = std::atof(argv[++i]);
      upper = std::atof(argv[++i]);
      haveLimits = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--data DIR] [--variable NAME] [--weight VARIABLE] "
                   "[--limits LOWER UPPER]\n",
                   argv[0]);
      return 2;
    }
  }
  if (dataDir.empty()) dataDir = FindDataDir(argv[0]);
  if (!haveLimits) {
    lower = variableName == "age" ? 30.0 : 1.0;
    upper = variableName == "age" ? 60.0 : 3.0;
  }

  quickstart::Survey survey =
      quickstart::LoadSurvey(dataDir + "/gss_cat.csv", dataDir + "/gss_cat.dict.json");
  QUOR_DataSource& data = *survey.data;
  const int variable = FindVariable(data, variableName);
  if (variable < 0 || data.GetVariable(variable).GetType() != 0) {
    throw std::runtime_error("no numeric variable " + variableName);
  }
  std::string weightNote = "from the dictionary";
  int crosstabWeight = survey.weightVariable;
  if (!weightName.empty()) {
    survey.weightVariable = FindVariable(data, weightName);
    if (survey.weightVariable < 0) throw std::runtime_error("no variable " + weightName);
    crosstabWeight = survey.weightVariable;
    weightNote = "chosen";
  } else if (survey.weightVariable < 0 && FindVariable(data, "year") >= 0) {
    crosstabWeight = -1;
    survey.weightVariable = AddYearWeight(data, FindVariable(data, "year"));
    weightNote = "derived: every survey year gets the same total weight";
  }
  const bool weighted = survey.weightVariable >= 0;
  std::unique_ptr<QUOR_InputCaseIterator> iterator;
  if (weighted) {
    iterator = std::make_unique<ProcDSIterator>(data, survey.weightVariable);
  } else {
    iterator = std::make_unique<QUOR_InputCaseIterator>(data);
  }

  // The table: one cube without dimensions. Pairwise tests are on, which
  // turns listwise deletion off: every case reaches the cube, and the cases
  // whose value is missing count in Count, Total N and Missing N.
  const std::vector<Line> lines = StatisticLines(lower, upper);
  std::vector<AggregationStatistic> stats;
  std::vector<std::pair<int, int>> positions;  // per line: weighted, unweighted statistic
  for (const Line& line : lines) {
    const int w = static_cast<int>(stats.size());
    stats.push_back(MakeStatistic(variable, line.weighted, line.parameter, lower, upper));
    int u = -1;
    if (line.unweighted >= 0) {
      u = static_cast<int>(stats.size());
      stats.push_back(MakeStatistic(variable, line.unweighted, line.parameter, lower, upper));
    }
    positions.emplace_back(w, u);
  }
  AggregationTable table(*iterator, weighted, true);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  cube->AddScaleStatistics(stats);

  int cases = 0;
  while (iterator->Next()) {
    table.AddNewCase();
    ++cases;
  }

  const QUOR_Variable& var = data.GetVariable(variable);
  std::printf("tabcube quickstart: %s/gss_cat.csv, %d cases, %d variables\n", dataDir.c_str(),
              data.NumberOfCases(), data.NumberOfVariables());
  std::printf("Variable: %s (%s)\n", var.GetName(), var.GetLabel());
  if (weighted) {
    std::printf("Weight: %s, %s (missing or negative weights count 0)\n",
                data.GetVariable(survey.weightVariable).GetName(), weightNote.c_str());
  } else {
    std::printf("Weight: none, every case weighs 1\n");
  }
  std::printf("Table: 1 cube without dimensions, %zu statistics; %d cases fed, none deleted\n\n",
              stats.size(), cases);

  StatValues* values = table.GetCubeAggregators().at(0)->GetStatValues({}, -1);
  if (!values) {
    std::printf("No case reached the cube.\n");
    PrintCrosstabs(data, crosstabWeight);
    PrintMultipleResponses(dataDir);
    return 0;
  }
  std::printf("  %-40s %22s %22s\n", "Statistic", "Weighted", "Unweighted");
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    const std::string w = FormatResult(values->GetStatValue(positions[i].first), line.weighted);
    const std::string u =
        positions[i].second < 0
            ? std::string("(no weighting)")
            : FormatResult(values->GetStatValue(positions[i].second), line.unweighted);
    std::printf("  %-40s %22s %22s\n", line.label.c_str(), w.c_str(), u.c_str());
  }
  std::printf(
      "\nThe median interval counts each case as often as its weight: it needs a\n"
      "whole-number total weight of at least 2, else it is missing. The group\n"
      "without a test has no pass rule, so no value passes it.\n");

  PrintCrosstabs(data, crosstabWeight);
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
