// The quickstart's multiple-response tables of the bundled synthetic survey,
// checked against counts taken straight from the CSV file: cases and
// responses per brand (or medium) and region, and their column percentages.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../../examples/quickstart/multiple_response.h"
#include "../../examples/quickstart/survey_loader.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"

namespace {

const std::string kDataDir = std::string(TABCUBE_SOURCE_DIR) + "/examples/data";
constexpr int kRegions = 4;  // 1..4; 9 is "No answer" (missing)

// Cases and responses per (row, region), rows and regions 0-based with the
// last index for the total, counted from the CSV's fields alone.
struct Counts {
  explicit Counts(size_t rows)
      : cases(rows + 1, std::vector<double>(kRegions + 1, 0.0)),
        responses(rows + 1, std::vector<double>(kRegions + 1, 0.0)) {}
  std::vector<std::vector<double>> cases;
  std::vector<std::vector<double>> responses;
};

std::vector<std::vector<std::string>> ReadCsv(std::vector<std::string>& header) {
  std::ifstream in(kDataDir + "/survey.csv");
  std::string line;
  std::getline(in, line);
  auto split = [](const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream stream(text);
    while (std::getline(stream, field, ',')) fields.push_back(field);
    if (!text.empty() && text.back() == ',') fields.push_back("");
    return fields;
  };
  header = split(line);
  std::vector<std::vector<std::string>> rows;
  while (std::getline(in, line)) rows.push_back(split(line));
  return rows;
}

size_t Column(const std::vector<std::string>& header, const std::string& name) {
  for (size_t i = 0; i < header.size(); ++i) {
    if (header[i] == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

// rowsOfCase gives the 0-based rows a case responds in (each once).
template <typename RowsOfCase>
Counts CountDirectly(size_t rows, RowsOfCase rowsOfCase) {
  std::vector<std::string> header;
  const std::vector<std::vector<std::string>> cases = ReadCsv(header);
  const size_t region = Column(header, "region");
  Counts counts(rows);
  for (const std::vector<std::string>& fields : cases) {
    const std::string& r = fields.at(region);
    if (r.empty() || r == "9") continue;
    const size_t column = static_cast<size_t>(std::stoi(r) - 1);
    const std::set<size_t> hits = rowsOfCase(header, fields);
    if (hits.empty()) continue;
    for (size_t c : {column, static_cast<size_t>(kRegions)}) {
      for (size_t row : hits) {
        counts.cases[row][c] += 1;
        counts.responses[row][c] += 1;
      }
      counts.cases[rows][c] += 1;
      counts.responses[rows][c] += static_cast<double>(hits.size());
    }
  }
  return counts;
}

void ExpectTable(const quickstart::ResponseTable& table, const Counts& counts) {
  ASSERT_EQ(table.rows.size(), counts.cases.size());
  ASSERT_EQ(table.columns.size(), static_cast<size_t>(kRegions + 1));
  EXPECT_EQ(table.rows.back(), "Total");
  const size_t total = counts.cases.size() - 1;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    for (size_t c = 0; c <= kRegions; ++c) {
      const std::array<double, 4>& cell = table.cells[r][c];
      const std::string where = table.rows[r] + " / " + table.columns[c];
      EXPECT_EQ(cell[quickstart::kCases], counts.cases[r][c]) << where;
      EXPECT_EQ(cell[quickstart::kResponses], counts.responses[r][c]) << where;
      EXPECT_NEAR(cell[quickstart::kColumnPct], 100.0 * counts.cases[r][c] / counts.cases[total][c],
                  1e-9)
          << where;
      EXPECT_NEAR(cell[quickstart::kColumnResponsesPct],
                  100.0 * counts.responses[r][c] / counts.responses[total][c], 1e-9)
          << where;
    }
  }
}

class QuickstartResponsesTest : public ::testing::Test {
 protected:
  QuickstartResponsesTest()
      : survey_(quickstart::LoadSurvey(kDataDir + "/survey.csv", kDataDir + "/survey.dict.json")),
        iterator_(*survey_.data) {}
  int Index(const std::string& name) const {
    for (int v = 0; v < survey_.data->NumberOfVariables(); ++v)
      if (name == survey_.data->GetVariable(v).GetName()) return v;
    return -1;
  }
  std::vector<int> Members(const std::string& prefix, int count) const {
    std::vector<int> out;
    for (int i = 1; i <= count; ++i) out.push_back(Index(prefix + std::to_string(i)));
    return out;
  }
  quickstart::Survey survey_;
  QUOR_InputCaseIterator iterator_;
};

TEST_F(QuickstartResponsesTest, BrandsMentionedByRegionCountEachBrandOncePerCase) {
  AggregationMCSet brands(Members("brand", 5), "$brands");
  const quickstart::ResponseTable table =
      quickstart::TabulateResponses(iterator_, false, brands, Index("region"), "brands");
  EXPECT_EQ(table.rows.front(), "Acme");
  const Counts counts = CountDirectly(
      12, [](const std::vector<std::string>& header, const std::vector<std::string>& fields) {
        std::set<size_t> hits;
        for (int i = 1; i <= 5; ++i) {
          const std::string& v = fields.at(Column(header, "brand" + std::to_string(i)));
          if (!v.empty() && v != "99") hits.insert(static_cast<size_t>(std::stoi(v) - 1));
        }
        return hits;
      });
  ExpectTable(table, counts);
}

TEST_F(QuickstartResponsesTest, MediaUsedByRegionCountEveryMediumUsed) {
  OBS used;
  used.num = 1.0;
  AggregationMDSet media(Members("media", 6), "$media", &used, 1, false);
  const quickstart::ResponseTable table =
      quickstart::TabulateResponses(iterator_, false, media, Index("region"), "media");
  EXPECT_EQ(table.rows.front(), "Television");
  const Counts counts = CountDirectly(
      6, [](const std::vector<std::string>& header, const std::vector<std::string>& fields) {
        std::set<size_t> hits;
        for (int i = 1; i <= 6; ++i) {
          if (fields.at(Column(header, "media" + std::to_string(i))) == "1") {
            hits.insert(static_cast<size_t>(i - 1));
          }
        }
        return hits;
      });
  ExpectTable(table, counts);
}

}  // namespace
