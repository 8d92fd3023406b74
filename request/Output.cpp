#include "Output.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

bool IsPercentage(const std::string& name) {
  return name.find("Pct") != std::string::npos;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Means and the spread about them are shown with two decimals whatever they are.
bool IsMeanLike(const std::string& name) {
  return Contains(name, "Mean") || Contains(name, "StdDev") || Contains(name, "Variance");
}

// Numbers too wide for fixed notation are shown in exponent form.
constexpr double kWidestFixed = 1e15;

std::string FormatNumber(double value, int decimals, bool percentage) {
  if (std::isnan(value)) return "";
  char text[64];
  if (std::isinf(value))
    std::snprintf(text, sizeof text, "%s", value > 0 ? "inf" : "-inf");
  else if (std::fabs(value) >= kWidestFixed)
    std::snprintf(text, sizeof text, "%.*g", std::max(6, decimals + 1), value);
  else
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return percentage ? std::string(text) + "%" : std::string(text);
}

bool IsWhole(double value) {
  return !std::isfinite(value) || value == std::floor(value);
}

// The decimals a statistic's values get in one cube, the same for all of
// them: the request's "decimals", else one for percentages, two for means,
// and for counts and other values none when every value is whole, else two.
int DecimalsOf(const CubeResult& cube, size_t s) {
  const StatisticResult& statistic = cube.statistics[s];
  if (statistic.decimals >= 0) return statistic.decimals;
  if (IsPercentage(statistic.name)) return 1;
  if (IsMeanLike(statistic.name)) return 2;
  for (const CellResult& cell : cube.cells)
    for (double value : cell.values[s])
      if (!IsWhole(value)) return 2;
  return 0;
}

// Values and dichotomy members carry a value; totals and subtotals do not.
bool HasValue(const CategoryResult& category) {
  return category.type == CategoryType::kValue || category.type == CategoryType::kVariable;
}

std::string CategoryValueText(const CategoryResult& category) {
  if (!HasValue(category)) return "";
  if (category.isString) return category.text;
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", category.number);
  return text;
}

std::string ShortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// The statistic's name with its parameter or limits, and its variable.
std::string StatisticTitle(const StatisticResult& statistic) {
  std::string title = statistic.name;
  if (statistic.hasParameter) title += "(" + ShortNumber(statistic.parameter) + ")";
  if (statistic.hasLower && statistic.hasUpper)
    title += "(" + ShortNumber(statistic.lower) + ", " + ShortNumber(statistic.upper) + ")";
  else if (statistic.hasLower)
    title += "(" + ShortNumber(statistic.lower) + ")";
  else if (statistic.hasUpper)
    title += "(" + ShortNumber(statistic.upper) + ")";
  if (!statistic.variable.empty()) title += " " + statistic.variable;
  return title;
}

std::vector<size_t> DimensionsOn(const CubeResult& cube, Axis axis) {
  std::vector<size_t> dimensions;
  for (size_t d = 0; d < cube.dimensions.size(); ++d)
    if (cube.dimensions[d].axis == axis) dimensions.push_back(d);
  return dimensions;
}

// Every combination of categories of the given dimensions, last turning fastest.
std::vector<std::vector<int>> Combinations(const CubeResult& cube,
                                           const std::vector<size_t>& dimensions) {
  std::vector<std::vector<int>> result(1);
  for (size_t d : dimensions) {
    std::vector<std::vector<int>> next;
    for (const auto& prefix : result)
      for (size_t c = 0; c < cube.dimensions[d].categories.size(); ++c) {
        next.push_back(prefix);
        next.back().push_back(static_cast<int>(c));
      }
    result = std::move(next);
  }
  return result;
}

size_t CellIndex(const CubeResult& cube, const std::vector<int>& categories) {
  size_t index = 0;
  for (size_t d = 0; d < cube.dimensions.size(); ++d)
    index = index * cube.dimensions[d].categories.size() + static_cast<size_t>(categories[d]);
  return index;
}

// The statistic after whose value a cell shows the letters of test t: the
// column percentage (proportions) or the mean of the variable (means), else
// the first statistic of the kind, else the first statistic.
size_t TestAnchor(const CubeResult& cube, const TestResult& test) {
  const std::string& variable = test.kind == TestKind::kMeans ? test.variable : "";
  const char* preferred = test.kind == TestKind::kMeans ? "Mean" : "ColPct";
  for (size_t s = 0; s < cube.statistics.size(); ++s)
    if (cube.statistics[s].name == preferred && cube.statistics[s].variable == variable) return s;
  for (size_t s = 0; s < cube.statistics.size(); ++s)
    if (cube.statistics[s].variable == variable) return s;
  return 0;
}

// "AB" while every letter is one character; "A1,B1" past Z.
std::string JoinLetters(const std::vector<std::string>& letters, const char* separator = "") {
  bool plain = true;
  for (const std::string& letter : letters) plain = plain && letter.size() == 1;
  std::string text;
  for (const std::string& letter : letters)
    text += (text.empty() ? "" : plain ? separator : ",") + letter;
  return text;
}

std::string FormatP(double p) {
  char text[32];
  if (p < 1e-300) return "< 1e-300";
  std::snprintf(text, sizeof text, p < 0.001 ? "%.2e" : "%.3f", p);
  return text;
}

std::string ContextText(const std::vector<std::pair<std::string, std::string>>& named) {
  std::string text;
  for (const auto& [name, label] : named) text += (text.empty() ? "" : ", ") + name + " " + label;
  return text;
}

void WriteTestNotes(const CubeResult& cube, std::ostream& out) {
  for (const TestResult& test : cube.tests) {
    out << "Column "
        << (test.kind == TestKind::kMeans ? "means of " + test.variable : "proportions") << " ("
        << test.base << " base, alpha " << test.alpha
        << (test.approximate ? ", approximate: the columns are a multiple-response set" : "")
        << "): letters name the columns a cell is significantly higher than; * marks a base "
           "below the minimum\n";
  }
  for (const ChiSquareResult& chi : cube.chiSquare) {
    std::string context = ContextText(chi.layers);
    const std::string columns = ContextText(chi.columns);
    if (!columns.empty()) context += (context.empty() ? "" : "; ") + columns;
    out << "Chi-square" << (context.empty() ? "" : " (" + context + ")") << ": ";
    if (!chi.tested) {
      out << "no test (fewer than two rows or columns with cases)\n";
      continue;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%.3f, df %g, p %s; smallest expected count %.2f",
                  chi.statistic, chi.df, FormatP(chi.p).c_str(), chi.minExpected);
    out << text << (chi.minExpected < 5.0 ? " (below 5)" : "")
        << (chi.approximate ? "; approximate: a multiple-response set" : "") << "\n";
  }
}

std::string DimensionTitle(const DimensionResult& dimension) {
  return dimension.label.empty() ? dimension.name : dimension.label;
}

void WriteBlock(const CubeResult& cube, const std::vector<int>& layer,
                const std::vector<size_t>& layerDims, std::ostream& out) {
  const auto rowDims = DimensionsOn(cube, Axis::kRow),
             columnDims = DimensionsOn(cube, Axis::kColumn);
  for (size_t i = 0; i < layerDims.size(); ++i) {
    const DimensionResult& dimension = cube.dimensions[layerDims[i]];
    out << DimensionTitle(dimension) << ": "
        << dimension.categories[static_cast<size_t>(layer[i])].label << "\n";
  }
  const auto rows = Combinations(cube, rowDims), columns = Combinations(cube, columnDims);
  const size_t statistics = cube.statistics.size();
  std::vector<int> decimals(statistics);
  for (size_t s = 0; s < statistics; ++s) decimals[s] = DecimalsOf(cube, s);
  // The grid: header lines (one per column dimension, then the row
  // dimensions' titles with the statistic names when these go across, then
  // the compared columns' letters when the table has tests), then one line
  // per row combination, or one per row combination and statistic when the
  // statistics go down (named in a label column of their own).
  const bool down = cube.statisticsOnRows;
  const size_t across = down ? 1 : statistics, perRow = down ? statistics : 1;
  const size_t labelColumns = std::max<size_t>(1, rowDims.size()) + (down ? 1 : 0);
  const bool lettered = !cube.tests.empty();
  const size_t headerLines = columnDims.size() + 1 + (lettered ? 1 : 0);
  const size_t namesLine = columnDims.size();
  std::vector<std::vector<std::string>> grid(
      headerLines + rows.size() * perRow,
      std::vector<std::string>(labelColumns + columns.size() * across));
  for (size_t r = 0; r < rowDims.size(); ++r)
    grid[namesLine][r] = DimensionTitle(cube.dimensions[rowDims[r]]);
  if (down) grid[namesLine][labelColumns - 1] = "Statistic";
  for (size_t h = 0; h < columnDims.size(); ++h)
    grid[h][0] = DimensionTitle(cube.dimensions[columnDims[h]]);
  for (size_t c = 0; c < columns.size(); ++c)
    for (size_t s = 0; s < across; ++s) {
      const size_t column = labelColumns + c * across + s;
      for (size_t h = 0; h < columnDims.size(); ++h) {
        const bool newGroup =
            s == 0 && (c == 0 || !std::equal(columns[c].begin(),
                                             columns[c].begin() + static_cast<long>(h) + 1,
                                             columns[c - 1].begin()));
        if (newGroup)
          grid[h][column] =
              cube.dimensions[columnDims[h]].categories[static_cast<size_t>(columns[c][h])].label;
      }
      if (!down) grid[namesLine][column] = StatisticTitle(cube.statistics[s]);
      const std::string& letter = columnDims.empty()
                                      ? std::string()
                                      : cube.dimensions[columnDims.back()]
                                            .categories[static_cast<size_t>(columns[c].back())]
                                            .letter;
      if (lettered && s == 0 && !letter.empty()) grid[headerLines - 1][column] = "(" + letter + ")";
    }
  std::vector<int> categories(cube.dimensions.size());
  for (size_t i = 0; i < layerDims.size(); ++i) categories[layerDims[i]] = layer[i];
  for (size_t r = 0; r < rows.size(); ++r) {
    std::vector<std::string>& first = grid[headerLines + r * perRow];
    for (size_t h = 0; h < rowDims.size(); ++h) {
      const bool newGroup =
          r == 0 || !std::equal(rows[r].begin(), rows[r].begin() + static_cast<long>(h) + 1,
                                rows[r - 1].begin());
      if (newGroup)
        first[h] = cube.dimensions[rowDims[h]].categories[static_cast<size_t>(rows[r][h])].label;
      categories[rowDims[h]] = rows[r][h];
    }
    if (down)
      for (size_t s = 0; s < statistics; ++s)
        grid[headerLines + r * perRow + s][labelColumns - 1] = StatisticTitle(cube.statistics[s]);
    for (size_t c = 0; c < columns.size(); ++c) {
      for (size_t h = 0; h < columnDims.size(); ++h) categories[columnDims[h]] = columns[c][h];
      const CellResult& cell = cube.cells[CellIndex(cube, categories)];
      if (!cell.present && !cube.showEmptyCells) continue;
      // The line and column of statistic s of this cell.
      const auto at = [&](size_t s) -> std::string& {
        return grid[headerLines + r * perRow + (down ? s : 0)]
                   [labelColumns + c * across + (down ? 0 : s)];
      };
      for (size_t s = 0; s < statistics; ++s)
        at(s) = FormatValue(cube.statistics[s], cell.values[s], decimals[s]);
      for (size_t t = 0; t < cell.tests.size(); ++t) {
        const CellTestResult& test = cell.tests[t];
        if (!test.tested) continue;
        std::string& text = at(TestAnchor(cube, cube.tests[t]));
        if (test.smallBase) text += "*";
        if (!test.higherThan.empty()) text += " " + JoinLetters(test.higherThan);
      }
    }
  }
  std::vector<size_t> widths(grid[0].size(), 0);
  for (const auto& line : grid)
    for (size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
  for (const auto& line : grid) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
      const std::string pad(widths[i] - line[i].size(), ' ');
      text += i < labelColumns ? line[i] + pad : pad + line[i];
      if (i + 1 < line.size()) text += "  ";
    }
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << "\n";
  }
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvNumber(double value) {
  if (std::isnan(value)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// A missing value is null; one that overflowed is the string "Infinity" or
// "-Infinity" (JSON has no infinite numbers), so the two stay apart.
nlohmann::json JsonNumber(double value) {
  if (std::isnan(value)) return nullptr;
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return value;
}

// "; missing values left out: g 2, s 1, 3 by listwise deletion (scale
// variables)": the counts above 0 (JSON carries every count).
void WriteMissingNote(const CubeResult& cube, std::ostream& out) {
  const char* separator = "; missing values left out: ";
  for (const auto& [name, cases] : cube.casesMissingByDimension) {
    if (cases == 0) continue;
    out << separator << name << " " << cases;
    separator = ", ";
  }
  if (cube.casesDeletedListwise > 0)
    out << separator << cube.casesDeletedListwise << " by listwise deletion (scale variables)";
}

}  // namespace

std::string FormatValue(const StatisticResult& statistic, const std::array<double, 3>& value,
                        int decimals) {
  assert(decimals >= 0 && decimals <= 15);
  if (statistic.isInterval) {
    if (std::isnan(value[0]) && std::isnan(value[1])) return "";
    return "[" + FormatNumber(value[0], decimals, false) + ", " +
           FormatNumber(value[1], decimals, false) + "]";
  }
  return FormatNumber(value[0], decimals, IsPercentage(statistic.name));
}

void WriteText(const std::vector<CubeResult>& cubes, std::ostream& out) {
  for (size_t t = 0; t < cubes.size(); ++t) {
    const CubeResult& cube = cubes[t];
    if (t > 0) out << "\n";
    out << (cube.title.empty() ? "Table" : cube.title) << "\n";
    const auto layerDims = DimensionsOn(cube, Axis::kLayer);
    const auto layers = Combinations(cube, layerDims);
    for (size_t l = 0; l < layers.size(); ++l) {
      if (l > 0) out << "\n";
      WriteBlock(cube, layers[l], layerDims, out);
    }
    WriteTestNotes(cube, out);
    out << (cube.weighted ? "Weighted by " + cube.weightVariable : std::string("Unweighted"))
        << "; " << cube.casesRead << " cases read";
    if (cube.filtered)
      out << ", " << cube.casesFilteredOut << " left out by the filter " << cube.filter;
    if (!cube.weightVariable.empty())
      out << ", " << cube.casesExcludedByWeight
          << " left out for a missing, zero or negative weight";
    WriteMissingNote(cube, out);
    out << "\n";
  }
}

void WriteCsv(const std::vector<CubeResult>& cubes, std::ostream& out) {
  size_t maxDimensions = 0;
  for (const CubeResult& cube : cubes)
    maxDimensions = std::max(maxDimensions, cube.dimensions.size());
  out << "table,title";
  for (size_t d = 1; d <= maxDimensions; ++d)
    out << ",dimension" << d << ",axis" << d << ",label" << d << ",value" << d << ",type" << d;
  out << ",statistic,variable,parameter,lowerLimit,upperLimit,value,upper,level,present";
  bool anyTests = false;
  for (const CubeResult& cube : cubes)
    anyTests = anyTests || !cube.tests.empty() || cube.chiSquareRequested;
  // With tests: the cell's column letter, then for the test lines the
  // letters the cell is higher than, its p-values and the chi-square's df,
  // p and smallest expected count.
  if (anyTests) out << ",letter,higherThan,pValues,df,p,minExpected,note";
  out << "\n";
  for (size_t t = 0; t < cubes.size(); ++t) {
    const CubeResult& cube = cubes[t];
    const std::string table = std::to_string(t + 1) + "," + CsvField(cube.title);
    for (const CellResult& cell : cube.cells) {
      if (!cell.present && !cube.showEmptyCells) continue;
      std::string prefix = table, letter;
      for (size_t d = 0; d < maxDimensions; ++d) {
        if (d >= cube.dimensions.size()) {
          prefix += ",,,,,";
          continue;
        }
        const DimensionResult& dimension = cube.dimensions[d];
        const CategoryResult& category =
            dimension.categories[static_cast<size_t>(cell.categories[d])];
        prefix += "," + CsvField(dimension.name) + "," + AxisName(dimension.axis) + "," +
                  CsvField(category.label) + "," + CsvField(CategoryValueText(category)) + "," +
                  CategoryTypeName(category.type);
        if (dimension.axis == Axis::kColumn && !category.letter.empty()) letter = category.letter;
      }
      const std::string lettered = anyTests ? "," + letter + ",,,,,," : "";
      for (size_t s = 0; s < cube.statistics.size(); ++s) {
        const StatisticResult& statistic = cube.statistics[s];
        out << prefix << "," << statistic.name << "," << CsvField(statistic.variable) << ","
            << (statistic.hasParameter ? CsvNumber(statistic.parameter) : "") << ","
            << (statistic.hasLower ? CsvNumber(statistic.lower) : "") << ","
            << (statistic.hasUpper ? CsvNumber(statistic.upper) : "") << ","
            << CsvNumber(cell.values[s][0]) << ","
            << (statistic.isInterval ? CsvNumber(cell.values[s][1]) : "") << ","
            << (statistic.isInterval ? CsvNumber(cell.values[s][2]) : "") << ","
            << (cell.present ? "1" : "0") << lettered << "\n";
      }
      for (size_t i = 0; i < cell.tests.size(); ++i) {
        const CellTestResult& test = cell.tests[i];
        if (!test.tested) continue;
        std::string pValues;
        for (const auto& [other, p] : test.pValues)
          pValues += (pValues.empty() ? "" : " ") + other + "=" + CsvNumber(p);
        const std::string note = test.smallBase              ? "smallBase"
                                 : cube.tests[i].approximate ? "approximate"
                                                             : "";
        out << prefix << ","
            << (cube.tests[i].kind == TestKind::kMeans ? "ColumnMeansTest"
                                                       : "ColumnProportionsTest")
            << "," << CsvField(cube.tests[i].variable) << ",,,,,,,," << letter << ","
            << JoinLetters(test.higherThan, " ") << "," << pValues << ",,,," << note << "\n";
      }
    }
    for (const ChiSquareResult& chi : cube.chiSquare) {
      out << table;
      size_t layer = 0, column = 0;
      for (size_t d = 0; d < maxDimensions; ++d) {
        const DimensionResult* dimension =
            d < cube.dimensions.size() ? &cube.dimensions[d] : nullptr;
        const std::pair<std::string, std::string>* named = nullptr;
        if (dimension && dimension->axis == Axis::kLayer && layer < chi.layers.size() &&
            chi.layers[layer].first == dimension->name)
          named = &chi.layers[layer++];
        if (dimension && dimension->axis == Axis::kColumn && column < chi.columns.size() &&
            chi.columns[column].first == dimension->name)
          named = &chi.columns[column++];
        if (named)
          out << "," << CsvField(dimension->name) << "," << AxisName(dimension->axis) << ","
              << CsvField(named->second) << ",,";
        else
          out << ",,,,,";
      }
      std::string note = chi.tested && chi.minExpected < 5.0 ? "lowExpected" : "";
      if (chi.approximate) note += note.empty() ? "approximate" : " approximate";
      out << ",ChiSquare,,,,," << (chi.tested ? CsvNumber(chi.statistic) : "") << ",,,,,,,"
          << (chi.tested
                  ? CsvNumber(chi.df) + "," + CsvNumber(chi.p) + "," + CsvNumber(chi.minExpected)
                  : ",,")
          << "," << note << "\n";
    }
  }
}

namespace {

using nlohmann::json;

// {"proportions": {...}, "means": {"age": {...}}} of one cell; empty when the
// cell is in no compared column.
json CellTestsJson(const CubeResult& cube, const CellResult& cell) {
  json tests = json::object();
  for (size_t i = 0; i < cell.tests.size(); ++i) {
    const CellTestResult& test = cell.tests[i];
    if (!test.tested) continue;
    json pValues = json::object();
    for (const auto& [letter, p] : test.pValues) pValues[letter] = p;
    json described = {{"pValues", pValues}, {"higherThan", test.higherThan}};
    if (test.smallBase) described["smallBase"] = true;
    if (cube.tests[i].kind == TestKind::kMeans)
      tests["means"][cube.tests[i].variable] = described;
    else
      tests["proportions"] = described;
  }
  return tests;
}

json ChiSquareJson(const CubeResult& cube) {
  json entries = json::array();
  for (const ChiSquareResult& chi : cube.chiSquare) {
    json layer = json::array(), columns = json::array();
    for (const auto& named : chi.layers) layer.push_back(named.second);
    for (const auto& named : chi.columns) columns.push_back(named.second);
    auto number = [&chi](double v) { return chi.tested ? json(v) : json(nullptr); };
    entries.push_back({{"layer", layer},
                       {"columns", columns},
                       {"statistic", number(chi.statistic)},
                       {"df", number(chi.df)},
                       {"p", number(chi.p)},
                       {"minExpected", number(chi.minExpected)},
                       {"lowExpected", chi.tested && chi.minExpected < 5.0},
                       {"approximate", chi.approximate}});
  }
  return entries;
}

}  // namespace

void WriteJson(const std::vector<CubeResult>& cubes, std::ostream& out) {
  json tables = json::array();
  for (const CubeResult& cube : cubes) {
    json table;
    table["title"] = cube.title;
    table["weighted"] = cube.weighted;
    table["weightVariable"] =
        cube.weightVariable.empty() ? json(nullptr) : json(cube.weightVariable);
    table["casesRead"] = cube.casesRead;
    table["casesExcludedByWeight"] = cube.casesExcludedByWeight;
    table["filter"] = cube.filtered ? json(cube.filter) : json(nullptr);
    table["casesFilteredOut"] = cube.casesFilteredOut;
    json missing = json::object();
    for (const auto& [name, cases] : cube.casesMissingByDimension) missing[name] = cases;
    table["casesMissing"] = missing;
    table["casesDeletedListwise"] =
        cube.casesDeletedListwise >= 0 ? json(cube.casesDeletedListwise) : json(nullptr);
    table["casesKept"] = cube.casesRead - cube.casesFilteredOut - cube.casesExcludedByWeight;
    json dimensions = json::array();
    for (const DimensionResult& dimension : cube.dimensions) {
      json categories = json::array();
      for (const CategoryResult& category : dimension.categories) {
        json value = nullptr;
        if (HasValue(category))
          value = category.isString ? json(category.text) : json(category.number);
        json described = {{"label", category.label},
                          {"value", value},
                          {"type", CategoryTypeName(category.type)},
                          {"code", category.code},
                          {"empty", category.empty}};
        if (!category.letter.empty()) described["letter"] = category.letter;
        categories.push_back(described);
      }
      dimensions.push_back({{"name", dimension.name},
                            {"label", dimension.label},
                            {"axis", AxisName(dimension.axis)},
                            {"categories", categories}});
    }
    table["dimensions"] = dimensions;
    json statistics = json::array();
    for (const StatisticResult& statistic : cube.statistics)
      statistics.push_back(
          {{"name", statistic.name},
           {"variable", statistic.variable.empty() ? json(nullptr) : json(statistic.variable)},
           {"parameter", statistic.hasParameter ? json(statistic.parameter) : json(nullptr)},
           {"lower", statistic.hasLower ? json(statistic.lower) : json(nullptr)},
           {"upper", statistic.hasUpper ? json(statistic.upper) : json(nullptr)}});
    table["statistics"] = statistics;
    json cells = json::array();
    for (const CellResult& cell : cube.cells) {
      json values = json::array();
      for (size_t s = 0; s < cube.statistics.size(); ++s) {
        const auto& value = cell.values[s];
        auto number = [](double v) { return JsonNumber(v); };
        if (cube.statistics[s].isInterval)
          values.push_back(json::array({number(value[0]), number(value[1]), number(value[2])}));
        else
          values.push_back(number(value[0]));
      }
      json described = {
          {"categories", cell.categories}, {"present", cell.present}, {"values", values}};
      json tests = CellTestsJson(cube, cell);
      if (!tests.empty()) described["tests"] = tests;
      cells.push_back(described);
    }
    table["cells"] = cells;
    if (!cube.tests.empty()) {
      json described = json::array();
      for (const TestResult& test : cube.tests)
        described.push_back(
            {{"kind", TestKindName(test.kind)},
             {"variable", test.variable.empty() ? json(nullptr) : json(test.variable)},
             {"base", test.base},
             {"alpha", test.alpha},
             {"approximate", test.approximate}});
      table["tests"] = described;
    }
    if (cube.chiSquareRequested) table["chiSquare"] = ChiSquareJson(cube);
    tables.push_back(table);
  }
  // JSON text is UTF-8; labels and values from the data may not be, and their
  // invalid bytes become U+FFFD instead of failing the whole output.
  out << json{{"tables", tables}}.dump(1, ' ', false, json::error_handler_t::replace) << "\n";
}

void WriteTables(const std::vector<CubeResult>& cubes, OutputFormat format, std::ostream& out) {
  switch (format) {
    case OutputFormat::kText:
      WriteText(cubes, out);
      return;
    case OutputFormat::kCsv:
      WriteCsv(cubes, out);
      return;
    case OutputFormat::kJson:
      WriteJson(cubes, out);
      return;
  }
}
