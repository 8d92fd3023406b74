// Quickstart host program: reads the bundled survey sample (a CSV file and its
// JSON dictionary), describes two tables to the engine, feeds every case and
// prints the tables from the category lists and cell statistics the engine
// returns.
//
//   quickstart [data-directory]      (default: examples/data)

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;

// ---- A small JSON reader, enough for the dictionary file. ----

struct Json {
  enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json& operator[](const std::string& key) const {
    static const Json null;
    for (const auto& member : members) {
      if (member.first == key) return member.second;
    }
    return null;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : _text(text) {}

  bool Read(Json& value) {
    if (!Value(value)) return false;
    SkipSpace();
    return _at == _text.size();
  }

 private:
  void SkipSpace() {
    while (_at < _text.size() && std::isspace(static_cast<unsigned char>(_text[_at]))) ++_at;
  }
  bool Take(char c) {
    SkipSpace();
    if (_at < _text.size() && _text[_at] == c) {
      ++_at;
      return true;
    }
    return false;
  }
  bool Word(const char* word) {
    const std::string w(word);
    if (_text.compare(_at, w.size(), w) != 0) return false;
    _at += w.size();
    return true;
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    out.clear();
    while (_at < _text.size() && _text[_at] != '"') {
      char c = _text[_at++];
      if (c == '\\' && _at < _text.size()) {
        const char escaped = _text[_at++];
        switch (escaped) {
          case 'n':
            c = '\n';
            break;
          case 't':
            c = '\t';
            break;
          case 'u':
            return false;  // not used by the bundled dictionary
          default:
            c = escaped;
            break;
        }
      }
      out += c;
    }
    return _at++ < _text.size();
  }
  bool Value(Json& value) {
    SkipSpace();
    if (_at >= _text.size()) return false;
    const char c = _text[_at];
    if (c == '{') {
      value.type = Json::kObject;
      ++_at;
      if (Take('}')) return true;
      do {
        std::pair<std::string, Json> member;
        if (!String(member.first) || !Take(':') || !Value(member.second)) return false;
        value.members.push_back(std::move(member));
      } while (Take(','));
      return Take('}');
    }
    if (c == '[') {
      value.type = Json::kArray;
      ++_at;
      if (Take(']')) return true;
      do {
        value.items.emplace_back();
        if (!Value(value.items.back())) return false;
      } while (Take(','));
      return Take(']');
    }
    if (c == '"') {
      value.type = Json::kString;
      return String(value.text);
    }
    if (Word("null")) return true;
    if (Word("true") || Word("false")) {
      value.type = Json::kBool;
      value.boolean = _text[_at - 2] == 'u';  // "true" ends in "ue", "false" in "se"
      return true;
    }
    char* end = nullptr;
    value.number = std::strtod(_text.c_str() + _at, &end);
    if (end == _text.c_str() + _at) return false;
    value.type = Json::kNumber;
    _at = static_cast<size_t>(end - _text.c_str());
    return true;
  }

  const std::string& _text;
  size_t _at = 0;
};

// ---- The survey sample as a data source. ----

struct Survey {
  QUOR_DataSource data;
  std::map<std::string, int> index;                   // variable name -> index
  std::vector<std::map<double, std::string>> labels;  // value labels by index
};

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

bool LoadSurvey(const std::string& directory, Survey& survey) {
  std::string text;
  Json dictionary;
  if (!ReadFile(directory + "/gss_cat.dict.json", text) || !JsonReader(text).Read(dictionary)) {
    std::fprintf(stderr, "quickstart: cannot read %s/gss_cat.dict.json\n", directory.c_str());
    return false;
  }
  for (const Json& var : dictionary["variables"].items) {
    if (var["type"].text != "numeric") continue;  // the sample has numeric variables only
    const int i = survey.data.AddVariable(var["name"].text, 0, var["label"].text);
    survey.index[var["name"].text] = i;
    survey.labels.resize(static_cast<size_t>(i) + 1);
    QUOR_Variable& variable = survey.data.GetVariable(i);
    for (const Json& pair : var["valueLabels"].items) {
      variable.AddValueLabel(pair.items[0].number, pair.items[1].text);
      survey.labels[static_cast<size_t>(i)][pair.items[0].number] = pair.items[1].text;
    }
    for (const Json& value : var["missing"]["values"].items) variable.AddMissingValue(value.number);
    const Json& range = var["missing"]["range"];
    if (range.type == Json::kArray)
      variable.SetMissingRange(range.items[0].number, range.items[1].number);
  }

  std::ifstream csv(directory + "/gss_cat.csv");
  std::string line;
  if (!csv || !std::getline(csv, line)) {
    std::fprintf(stderr, "quickstart: cannot read %s/gss_cat.csv\n", directory.c_str());
    return false;
  }
  std::vector<int> columns;  // CSV column -> variable index
  std::istringstream header(line);
  for (std::string name; std::getline(header, name, ',');) {
    const auto found = survey.index.find(name);
    columns.push_back(found == survey.index.end() ? -1 : found->second);
  }
  while (std::getline(csv, line)) {
    const int row = survey.data.AddCase();
    size_t start = 0;
    for (size_t column = 0; column < columns.size() && start <= line.size(); ++column) {
      size_t end = line.find(',', start);
      if (end == std::string::npos) end = line.size();
      // An empty field stays system-missing.
      if (end > start && columns[column] >= 0) {
        survey.data.SetValue(row, columns[column], std::strtod(line.c_str() + start, nullptr));
      }
      start = end + 1;
    }
  }
  return true;
}

// ---- Printing cells. ----

// The text of a category: its value label, else its value; the total's label.
std::string Name(const Survey& survey, const AggregationCategory& category) {
  if (category.GetCatType() != AggregationCategory::kValue) return category.GetCatLabel();
  const double value = category.GetCatValue().num;
  const auto& labels = survey.labels[static_cast<size_t>(category.GetVarIndex())];
  const auto found = labels.find(value);
  if (found != labels.end()) return found->second;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string Fit(const std::string& text, size_t width) {
  return text.size() > width ? text.substr(0, width) : text;
}

const std::vector<AggregationCategory*>& CategoriesOf(AggregationVariable& var) {
  return var.GetTableDimension()->GetCategoryPointers();
}

// Value i of the cell, or the missing value when the cell has no case.
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

// A categorical variable of the table request, showing a total after its
// categories.
AggregationVariable TableVariable(const Survey& survey, const char* name) {
  AggregationVariable var(survey.index.at(name), name);
  var.SetIsTotalNo(false);
  return var;
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("tabcube quickstart: engine linked, %d statistic codes\n",
              Codes::kNumberOfStatistics);
  const std::string directory = argc > 1 ? argv[1] : "examples/data";
  Survey survey;
  if (!LoadSurvey(directory, survey)) return 1;
  std::printf("Data: %s/gss_cat.csv, %d cases, %d variables\n", directory.c_str(),
              survey.data.NumberOfCases(), survey.data.NumberOfVariables());

  // The variables describe the dimensions: every one shows a total; missing
  // values are excluded (they count only in the totals' total N). They must
  // outlive the table, whose dimensions point to them.
  AggregationVariable maritalVar = TableVariable(survey, "marital");
  AggregationVariable raceVar = TableVariable(survey, "race");
  AggregationVariable yearVar = TableVariable(survey, "year");
  AggregationVariable* marital = &maritalVar;
  AggregationVariable* race = &raceVar;
  AggregationVariable* year = &yearVar;
  marital->SetIsEmptyInclude(false);
  race->SetIsEmptyInclude(false);

  // One table over the case iterator (unweighted, no pairwise tests).
  QUOR_InputCaseIterator iterator(survey.data);
  AggregationTable table(iterator, false, false);

  // Cube 1: marital (rows) by race (columns), layered by year: counts and
  // row, column and layer percentages.
  AggregationCube* crosstab = table.CreateCube();
  crosstab->AddCategoricalVariable(marital, Codes::kRowPosition);
  crosstab->AddCategoricalVariable(race, Codes::kColumnPosition);
  crosstab->AddCategoricalVariable(year, Codes::kLayerPosition);
  crosstab->CreateCubeAggregator();
  crosstab->AddCategoryStatistics(
      {AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kRowPct),
       AggregationStatistic(Codes::kColPct), AggregationStatistic(Codes::kLayerPct)},
      marital);

  // Cube 2: mean hours of television per day (and the cases behind each
  // mean) by marital status and race.
  const int tvhours = survey.index.at("tvhours");
  AggregationCube* means = table.CreateCube();
  means->AddCategoricalVariable(marital, Codes::kRowPosition);
  means->AddCategoricalVariable(race, Codes::kColumnPosition);
  means->CreateCubeAggregator();
  means->AddScaleStatistics(
      {AggregationStatistic(tvhours, Codes::kMean), AggregationStatistic(tvhours, Codes::kValidN)});

  while (iterator.Next()) table.AddNewCase();

  const std::vector<CubeAggregator*> aggregators = table.GetCubeAggregators();
  const auto& rows = CategoriesOf(*marital);
  const auto& columns = CategoriesOf(*race);

  std::printf("\n%s by %s, layered by %s\n",
              survey.data.GetVariable(marital->GetIndex()).GetLabel(),
              survey.data.GetVariable(race->GetIndex()).GetLabel(),
              survey.data.GetVariable(year->GetIndex()).GetLabel());
  std::printf("Each cell: count, row %%, column %%, layer %%\n");
  for (const AggregationCategory* layer : CategoriesOf(*year)) {
    std::printf("\n%s = %s\n%-16s", survey.data.GetVariable(year->GetIndex()).GetLabel(),
                Name(survey, *layer).c_str(), "");
    for (const AggregationCategory* column : columns) {
      std::printf("  %24s", Fit(Name(survey, *column), 24).c_str());
    }
    std::printf("\n");
    for (const AggregationCategory* row : rows) {
      std::printf("%-16s", Fit(Name(survey, *row), 16).c_str());
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

  std::printf("\nMean %s by %s and %s\n", survey.data.GetVariable(tvhours).GetLabel(),
              survey.data.GetVariable(marital->GetIndex()).GetLabel(),
              survey.data.GetVariable(race->GetIndex()).GetLabel());
  std::printf("Each cell: mean (cases with a valid value)\n%-16s", "");
  for (const AggregationCategory* column : columns) {
    std::printf("  %15s", Fit(Name(survey, *column), 15).c_str());
  }
  std::printf("\n");
  for (const AggregationCategory* row : rows) {
    std::printf("%-16s", Fit(Name(survey, *row), 16).c_str());
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
  return 0;
}
