// The whole path from file to numbers: the reference requests run through the
// command's reader, engine and result model, and every value is compared with
// the independent computation of tests/reference/make_command_reference.py.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "Command.h"

namespace {

const std::string kSource = TABCUBE_SOURCE_DIR;

// "name=value" per dimension, with totals and subtotals named by kind.
std::string CellKey(const CubeResult& cube, const CellResult& cell) {
  std::string key;
  for (size_t d = 0; d < cube.dimensions.size(); ++d) {
    const DimensionResult& dimension = cube.dimensions[d];
    const CategoryResult& category = dimension.categories[static_cast<size_t>(cell.categories[d])];
    std::string value;
    if (category.type == CategoryType::kTotal) {
      value = "total";
    } else if (category.type == CategoryType::kSubtotal ||
               category.type == CategoryType::kHidingSubtotal) {
      value = "subtotal:" + category.label;
    } else if (category.isString) {
      value = category.text;
    } else {
      char text[32];
      std::snprintf(text, sizeof text, "%g", category.number);
      value = text;
    }
    key += (d ? "|" : "") + dimension.name + "=" + value;
  }
  return key;
}

struct Reference {
  double value;
  bool seen = false;
};

// request|table|key|statistic -> value
std::map<std::string, Reference> LoadReference() {
  std::map<std::string, Reference> reference;
  std::ifstream in(kSource + "/tests/reference/command_reference.csv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string request, table, key, statistic, value;
    std::getline(fields, request, ',');
    std::getline(fields, table, ',');
    std::getline(fields, key, ',');
    std::getline(fields, statistic, ',');
    std::getline(fields, value, ',');
    reference[request + "|" + table + "|" + key + "|" + statistic] = {std::stod(value)};
  }
  return reference;
}

TEST(CommandReferenceTest, EveryValueMatchesTheIndependentComputation) {
  std::map<std::string, Reference> reference = LoadReference();
  ASSERT_GT(reference.size(), 3000u);
  size_t compared = 0;
  for (const char* request : {"reference_gss.json", "reference_survey.json"}) {
    CommandOptions options;
    options.request = kSource + "/examples/requests/" + request;
    const std::vector<CubeResult> cubes = RunRequest(options);
    for (size_t t = 0; t < cubes.size(); ++t) {
      const CubeResult& cube = cubes[t];
      for (const CellResult& cell : cube.cells) {
        if (!cell.present) continue;
        const std::string key = CellKey(cube, cell);
        for (size_t s = 0; s < cube.statistics.size(); ++s) {
          const std::string id = std::string(request) + "|" + std::to_string(t) + "|" + key + "|" +
                                 cube.statistics[s].name;
          auto expected = reference.find(id);
          const double actual = cell.values[s][0];
          if (expected == reference.end()) {
            // Only undefined values may lack a reference (an empty cell's mean).
            EXPECT_TRUE(std::isnan(actual)) << id << " = " << actual << " has no reference";
            continue;
          }
          expected->second.seen = true;
          ++compared;
          // Sums of up to 20,000 terms: allow a relative error of 1e-9.
          EXPECT_NEAR(actual, expected->second.value, 1e-9 * std::max(1.0, std::fabs(actual)))
              << id;
        }
      }
    }
  }
  for (const auto& [id, value] : reference) EXPECT_TRUE(value.seen) << id << " was not produced";
  EXPECT_EQ(compared, reference.size());
}

}  // namespace
