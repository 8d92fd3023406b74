// Quickstart host program: loads the bundled survey into the host's data
// source, describes a table to the engine (one cube without dimensions, with a
// statistic over every variable), feeds every case, and prints what the engine
// knows so far: the cases encoded, the valid count of each statistic variable
// and the case weights.
//
// Usage: quickstart [--data DIR] [--weight VARIABLE]
//   DIR holds gss_cat.csv and gss_cat.dict.json (default: examples/data from
//   the current directory, else from the source tree above the build).
//   VARIABLE weights the cases (default: the dictionary's weight, if any).

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AggregationCube.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "TableMetadata.h"
#include "baseutil.h"
#include "casesource.h"
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
