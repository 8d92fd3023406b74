#include "Request.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "Filter.h"
#include "InputError.h"
#include "StatisticNames.h"
#include "TableEncryptionCodes.h"

using nlohmann::json;

namespace {

// Reads the parts of one request document, naming the source and the JSON
// path of every problem.
class RequestParser {
 public:
  RequestParser(const std::string& source, const std::string& baseDirectory)
      : _source(source), _baseDirectory(baseDirectory) {}

  Request Parse(const json& document) {
    Expect(document.is_object(), "$", "expected an object");
    CheckKeys(document, "$",
              {"data", "dictionary", "sqlite", "weight", "filter", "sets", "tables"});
    Request request;
    request.source = _source;
    request.data = ResolvePath(OptionalString(document, "data", "$"));
    request.dictionary = ResolvePath(OptionalString(document, "dictionary", "$"));
    request.sqlite = OptionalString(document, "sqlite", "$");
    request.weight = OptionalString(document, "weight", "$");
    request.filter = ParseFilter(document, "$");
    if (auto sets = document.find("sets"); sets != document.end()) {
      Expect(sets->is_array(), "$.sets", "expected an array");
      for (size_t i = 0; i < sets->size(); ++i)
        request.sets.push_back(ParseSet((*sets)[i], "$.sets[" + std::to_string(i) + "]"));
    }
    auto tables = document.find("tables");
    Expect(tables != document.end() && tables->is_array() && !tables->empty(), "$.tables",
           "the request has no table");
    for (size_t i = 0; i < tables->size(); ++i)
      request.tables.push_back(ParseTable((*tables)[i], "$.tables[" + std::to_string(i) + "]"));
    return request;
  }

 private:
  void Expect(bool condition, const std::string& path, const std::string& problem) const {
    if (!condition) throw InputError(_source + ": " + path + ": " + problem);
  }

  void CheckKeys(const json& object, const std::string& path,
                 std::initializer_list<const char*> known) const {
    for (auto it = object.begin(); it != object.end(); ++it) {
      bool found = false;
      for (const char* key : known) found = found || it.key() == key;
      Expect(found, path + "." + it.key(), "unknown key");
    }
  }

  // The filter's text, checked here so that a syntax error names the JSON path.
  std::string ParseFilter(const json& object, const std::string& path) const {
    const std::string text = OptionalString(object, "filter", path);
    if (!text.empty()) Filter(text, _source + ": " + path + ".filter");
    return text;
  }

  std::string ResolvePath(const std::string& path) const {
    if (path.empty() || path[0] == '/' || _baseDirectory.empty()) return path;
    return _baseDirectory + "/" + path;
  }

  std::string String(const json& value, const std::string& path) const {
    Expect(value.is_string(), path, "expected a string");
    return value.get<std::string>();
  }

  std::string OptionalString(const json& object, const char* key, const std::string& path) const {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return "";
    return String(*it, path + "." + key);
  }

  bool OptionalBool(const json& object, const char* key, const std::string& path,
                    bool fallback) const {
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    Expect(it->is_boolean(), path + "." + key, "expected true or false");
    return it->get<bool>();
  }

  double Number(const json& value, const std::string& path) const {
    Expect(value.is_number(), path, "expected a number");
    return value.get<double>();
  }

  RequestValue Value(const json& value, const std::string& path) const {
    RequestValue result;
    if (value.is_string()) {
      result.isString = true;
      result.text = value.get<std::string>();
    } else {
      result.number = Number(value, path);
    }
    return result;
  }

  std::string Choice(const json& object, const char* key, const std::string& path,
                     std::initializer_list<const char*> choices, const char* fallback) const {
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    const std::string value = String(*it, path + "." + key);
    std::string allowed;
    for (const char* choice : choices) {
      if (value == choice) return value;
      allowed += std::string(allowed.empty() ? "" : ", ") + "\"" + choice + "\"";
    }
    Expect(false, path + "." + key, "expected one of " + allowed + ", found \"" + value + "\"");
    return fallback;
  }

  SetSpec ParseSet(const json& object, const std::string& path) {
    Expect(object.is_object(), path, "expected an object");
    CheckKeys(object, path,
              {"name", "type", "label", "variables", "missingVariable", "countDuplicates",
               "countedValue", "labelFromValue"});
    SetSpec set;
    set.path = path;
    auto name = object.find("name");
    Expect(name != object.end(), path, "missing \"name\"");
    set.name = String(*name, path + ".name");
    Expect(!set.name.empty(), path + ".name", "empty set name");
    Expect(_setNames.insert(set.name).second, path + ".name",
           "set " + set.name + " is defined twice");
    const std::string type =
        Choice(object, "type", path, {"categories", "dichotomies"}, "categories");
    set.isDichotomy = type == "dichotomies";
    set.label = OptionalString(object, "label", path);
    auto variables = object.find("variables");
    Expect(variables != object.end() && variables->is_array() && !variables->empty(),
           path + ".variables", "expected a non-empty array of variable names");
    for (size_t i = 0; i < variables->size(); ++i)
      set.variables.push_back(
          String((*variables)[i], path + ".variables[" + std::to_string(i) + "]"));
    if (set.isDichotomy) {
      auto counted = object.find("countedValue");
      Expect(counted != object.end(), path, "a dichotomy set needs \"countedValue\"");
      set.countedValue = Value(*counted, path + ".countedValue");
      set.labelFromValue = OptionalBool(object, "labelFromValue", path, false);
    } else {
      set.missingVariable = OptionalString(object, "missingVariable", path);
      set.countDuplicates = OptionalBool(object, "countDuplicates", path, false);
    }
    return set;
  }

  std::vector<std::vector<std::string>> ParseAxis(const json& table, const char* key,
                                                  const std::string& path) const {
    std::vector<std::vector<std::string>> groups;
    auto axis = table.find(key);
    if (axis == table.end()) return groups;
    const std::string at = path + "." + key;
    Expect(axis->is_array(), at, "expected a list of groups, each a list of names");
    for (size_t g = 0; g < axis->size(); ++g) {
      const json& group = (*axis)[g];
      const std::string groupPath = at + "[" + std::to_string(g) + "]";
      std::vector<std::string> names;
      if (group.is_string()) {
        names.push_back(group.get<std::string>());
      } else {
        Expect(group.is_array() && !group.empty(), groupPath,
               "expected a name or a non-empty list of nested names");
        for (size_t i = 0; i < group.size(); ++i)
          names.push_back(String(group[i], groupPath + "[" + std::to_string(i) + "]"));
      }
      groups.push_back(std::move(names));
    }
    return groups;
  }

  CategorySpec ParseCategory(const json& entry, const std::string& path) const {
    CategorySpec category;
    category.path = path;
    Expect(entry.is_object(), path, "expected an object");
    CheckKeys(entry, path, {"value", "range", "missing", "other", "subtotal", "hide", "variable"});
    if (auto value = entry.find("value"); value != entry.end()) {
      category.kind = CategorySpec::kValue;
      category.low = Value(*value, path + ".value");
    } else if (auto range = entry.find("range"); range != entry.end()) {
      Expect(range->is_array() && range->size() == 2, path + ".range",
             "expected [low, high] (null for an open end)");
      const bool openLow = (*range)[0].is_null(), openHigh = (*range)[1].is_null();
      if (!openLow) category.low = Value((*range)[0], path + ".range[0]");
      if (!openHigh) category.high = Value((*range)[1], path + ".range[1]");
      if (openLow && openHigh) {
        category.kind = CategorySpec::kAll;
      } else if (openLow) {
        category.kind = CategorySpec::kLoRange;
        category.low = category.high;
      } else if (openHigh) {
        category.kind = CategorySpec::kHiRange;
      } else {
        category.kind = CategorySpec::kRange;
        Expect(category.low.isString == category.high.isString, path + ".range",
               "both ends must be numbers or both strings");
        Expect(category.low.isString ? category.low.text <= category.high.text
                                     : category.low.number <= category.high.number,
               path + ".range", "the low end is above the high end");
      }
    } else if (entry.contains("missing")) {
      Expect(OptionalBool(entry, "missing", path, true), path + ".missing", "expected true");
      category.kind = CategorySpec::kMissing;
    } else if (entry.contains("other")) {
      Expect(OptionalBool(entry, "other", path, true), path + ".other", "expected true");
      category.kind = CategorySpec::kOther;
    } else if (auto subtotal = entry.find("subtotal"); subtotal != entry.end()) {
      category.label = String(*subtotal, path + ".subtotal");
      category.kind = OptionalBool(entry, "hide", path, false) ? CategorySpec::kHidingSubtotal
                                                               : CategorySpec::kSubtotal;
    } else if (auto member = entry.find("variable"); member != entry.end()) {
      category.kind = CategorySpec::kMember;
      category.member = String(*member, path + ".variable");
    } else {
      Expect(false, path,
             "expected one of \"value\", \"range\", \"missing\", \"other\", \"subtotal\", "
             "\"variable\"");
    }
    return category;
  }

  ElementOptions ParseOptions(const json& object, const std::string& path) const {
    Expect(object.is_object(), path, "expected an object");
    CheckKeys(object, path,
              {"totals", "totalPosition", "totalLabel", "missing", "empty", "order", "sort",
               "sortStatistic", "sortVariable", "categories"});
    ElementOptions options;
    options.path = path;
    options.totals = OptionalBool(object, "totals", path, false);
    options.totalAfter =
        Choice(object, "totalPosition", path, {"after", "before"}, "after") == "after";
    options.totalLabel = OptionalString(object, "totalLabel", path);
    options.includeMissing =
        Choice(object, "missing", path, {"include", "exclude"}, "exclude") == "include";
    options.includeEmpty =
        Choice(object, "empty", path, {"include", "exclude"}, "include") == "include";
    options.ascending =
        Choice(object, "order", path, {"ascending", "descending"}, "ascending") == "ascending";
    const std::string sort =
        Choice(object, "sort", path, {"none", "value", "label", "statistic"}, "value");
    options.sort = sort == "none"        ? ElementOptions::kNone
                   : sort == "label"     ? ElementOptions::kByLabel
                   : sort == "statistic" ? ElementOptions::kByStatistic
                                         : ElementOptions::kByValue;
    if (options.sort == ElementOptions::kByStatistic) {
      const std::string name = OptionalString(object, "sortStatistic", path);
      options.sortStatistic = name.empty() ? TableEncryptionCodes::kCount : StatisticCode(name);
      Expect(options.sortStatistic > 0, path + ".sortStatistic",
             "unknown statistic \"" + name + "\"");
      options.sortVariable = OptionalString(object, "sortVariable", path);
    }
    if (auto categories = object.find("categories"); categories != object.end()) {
      Expect(categories->is_array() && !categories->empty(), path + ".categories",
             "expected a non-empty list of categories");
      options.hasCategoryList = true;
      for (size_t i = 0; i < categories->size(); ++i)
        options.categories.push_back(
            ParseCategory((*categories)[i], path + ".categories[" + std::to_string(i) + "]"));
    }
    return options;
  }

  StatisticSpec ParseStatistic(const json& entry, const std::string& path) const {
    StatisticSpec statistic;
    statistic.path = path;
    static const json kNoMembers = json::object();
    const json& members = entry.is_object() ? entry : kNoMembers;
    if (entry.is_string()) {
      statistic.name = entry.get<std::string>();
    } else {
      Expect(entry.is_object(), path, "expected a statistic name or an object");
      CheckKeys(entry, path, {"name", "variable", "parameter", "lower", "upper", "decimals"});
      auto name = entry.find("name");
      Expect(name != entry.end(), path, "missing \"name\"");
      statistic.name = String(*name, path + ".name");
      statistic.variable = OptionalString(entry, "variable", path);
      if (auto decimals = entry.find("decimals"); decimals != entry.end()) {
        Expect(decimals->is_number_integer() && decimals->get<long>() >= 0 &&
                   decimals->get<long>() <= 15,
               path + ".decimals", "expected a whole number from 0 to 15");
        statistic.decimals = decimals->get<int>();
      }
    }
    statistic.code = StatisticCode(statistic.name);
    Expect(statistic.code > 0, path, "unknown statistic \"" + statistic.name + "\"");
    ParseParameter(members, statistic);
    ParseLimits(members, statistic);
    Expect(!NeedsVariable(statistic.code) || !statistic.variable.empty(), path,
           "statistic " + statistic.name + " needs a \"variable\"");
    return statistic;
  }

  // A percentile needs its cut point; a median interval takes a confidence
  // level (95 when none is given); no other statistic takes a parameter.
  void ParseParameter(const json& members, StatisticSpec& statistic) const {
    using Codes = TableEncryptionCodes;
    const int code = statistic.code;
    const std::string at = statistic.path + ".parameter";
    auto given = members.find("parameter");
    const bool hasParameter = given != members.end();
    if (hasParameter) statistic.parameter = Number(*given, at);
    if (code >= Codes::kPercentile && code <= Codes::kUPercentileInterpolated) {
      Expect(hasParameter, at,
             "statistic " + statistic.name + " needs a \"parameter\" (the percentile, 0 to 100)");
      Expect(statistic.parameter >= 0.0 && statistic.parameter <= 100.0, at,
             "a percentile must lie in [0, 100]");
    } else if (code == Codes::kMedianCI || code == Codes::kUMedianCI) {
      if (!hasParameter) statistic.parameter = 95.0;
      Expect(statistic.parameter > 0.0 && statistic.parameter < 100.0, at,
             "a confidence level must lie strictly between 0 and 100");
    } else {
      Expect(!hasParameter, at, "statistic " + statistic.name + " takes no parameter");
    }
  }

  // Which limits a counting statistic compares values with: x < upper,
  // x <= upper, x > lower, x >= lower, x == lower, lower <= x <= upper,
  // lower <= x < upper, (a family without a test), lower < x < upper.
  static void LimitsOf(int code, bool& lower, bool& upper) {
    using Codes = TableEncryptionCodes;
    lower = upper = false;
    if (code < Codes::kBelowPct || code > Codes::kUStrictlyBetweenCount) return;
    const int family = (code - Codes::kBelowPct) / 4;
    upper = family <= 1 || family == 5 || family == 6 || family == 8;
    lower = (family >= 2 && family <= 6) || family == 8;
  }

  void ParseLimit(const json& members, const char* key, bool needed, StatisticSpec& statistic,
                  double& limit) const {
    const std::string at = statistic.path + "." + key;
    auto given = members.find(key);
    if (!needed) {
      Expect(given == members.end(), at,
             "statistic " + statistic.name + " does not compare with \"" + key + "\"");
      return;
    }
    Expect(given != members.end(), at,
           "statistic " + statistic.name + " needs \"" + key + "\" (the limit it compares with)");
    limit = Number(*given, at);
  }

  void ParseLimits(const json& members, StatisticSpec& statistic) const {
    using Codes = TableEncryptionCodes;
    const int code = statistic.code;
    Expect(code < Codes::kUnspecifiedLimitPct || code > Codes::kUUnspecifiedLimitCount,
           statistic.path, "statistic " + statistic.name + " has no comparison and is not offered");
    LimitsOf(code, statistic.hasLower, statistic.hasUpper);
    ParseLimit(members, "lower", statistic.hasLower, statistic, statistic.lower);
    ParseLimit(members, "upper", statistic.hasUpper, statistic, statistic.upper);
    Expect(!statistic.hasLower || !statistic.hasUpper || statistic.lower <= statistic.upper,
           statistic.path, "\"lower\" is above \"upper\"");
  }

  // Statistics of a scale variable's values; they have no meaning without one.
  static bool NeedsVariable(int code) {
    using Codes = TableEncryptionCodes;
    return (code >= Codes::kMaximum && code <= Codes::kMinimum) || code == Codes::kMode ||
           code == Codes::kUMode || (code >= Codes::kValueRange && code <= Codes::kUSum) ||
           code == Codes::kVariance || code == Codes::kUVariance ||
           (code >= Codes::kRowSumPct && code <= Codes::kULayerColSumPct) ||
           code >= Codes::kSumSquaredDeviations;
  }

  TableSpec ParseTable(const json& object, const std::string& path) const {
    Expect(object.is_object(), path, "expected an object");
    CheckKeys(
        object, path,
        {"title", "rows", "columns", "layers", "variables", "statistics", "statisticsVariable",
         "labelOption", "pairwise", "weighted", "filter", "emptyCells", "statisticsOn", "tests"});
    TableSpec table;
    table.path = path;
    table.title = OptionalString(object, "title", path);
    table.rows = ParseAxis(object, "rows", path);
    table.columns = ParseAxis(object, "columns", path);
    table.layers = ParseAxis(object, "layers", path);
    if (auto variables = object.find("variables"); variables != object.end()) {
      Expect(variables->is_object(), path + ".variables", "expected an object keyed by name");
      for (auto it = variables->begin(); it != variables->end(); ++it)
        table.options[it.key()] = ParseOptions(it.value(), path + ".variables." + it.key());
    }
    auto statistics = object.find("statistics");
    Expect(statistics != object.end() && statistics->is_array() && !statistics->empty(),
           path + ".statistics", "expected a non-empty list of statistics");
    for (size_t i = 0; i < statistics->size(); ++i)
      table.statistics.push_back(
          ParseStatistic((*statistics)[i], path + ".statistics[" + std::to_string(i) + "]"));
    table.statisticsVariable = OptionalString(object, "statisticsVariable", path);
    if (auto option = object.find("labelOption"); option != object.end()) {
      // Compared as a long: a large whole number must not wrap into range as an int.
      Expect(option->is_number_integer() && option->get<long>() >= 0 && option->get<long>() <= 4,
             path + ".labelOption", "expected a whole number from 0 to 4");
      table.labelOption = option->get<int>();
    }
    table.pairwise = OptionalBool(object, "pairwise", path, false);
    table.weighted = OptionalBool(object, "weighted", path, true);
    table.filter = ParseFilter(object, path);
    table.statisticsOnRows =
        Choice(object, "statisticsOn", path, {"columns", "rows"}, "columns") == "rows";
    const std::string empty =
        Choice(object, "emptyCells", path, {"absent", "blank", "zero"}, "absent");
    table.emptyCells = empty == "zero"    ? TableSpec::kZero
                       : empty == "blank" ? TableSpec::kBlank
                                          : TableSpec::kAbsent;
    if (auto tests = object.find("tests"); tests != object.end())
      table.tests = ParseTests(*tests, path + ".tests");
    return table;
  }

  TestsSpec ParseTests(const json& object, const std::string& path) const {
    Expect(object.is_object(), path, "expected an object");
    CheckKeys(object, path, {"proportions", "means", "chiSquare"});
    TestsSpec tests;
    tests.path = path;
    if (auto found = object.find("proportions"); found != object.end())
      tests.proportions = ParsePairwiseTest(*found, path + ".proportions", false);
    if (auto found = object.find("means"); found != object.end())
      tests.means = ParsePairwiseTest(*found, path + ".means", true);
    tests.chiSquare = OptionalBool(object, "chiSquare", path, false);
    return tests;
  }

  PairwiseTestSpec ParsePairwiseTest(const json& object, const std::string& path,
                                     bool means) const {
    Expect(object.is_object(), path, "expected an object");
    if (means)
      CheckKeys(object, path, {"variables", "alpha", "variance", "adjust", "base", "minBase"});
    else
      CheckKeys(object, path, {"alpha", "variance", "adjust", "base", "minBase"});
    PairwiseTestSpec test;
    test.requested = true;
    test.path = path;
    test.settings.means = means;
    if (auto alpha = object.find("alpha"); alpha != object.end()) {
      test.settings.alpha = Number(*alpha, path + ".alpha");
      Expect(test.settings.alpha > 0.0 && test.settings.alpha < 1.0, path + ".alpha",
             "expected a number between 0 and 1");
    }
    const std::string variance =
        means ? Choice(object, "variance", path, {"pooled", "welch"}, "pooled")
              : Choice(object, "variance", path, {"pooled", "unpooled"}, "pooled");
    test.settings.variance =
        variance == "pooled" ? significance::Variance::kPooled : significance::Variance::kUnpooled;
    test.settings.adjustment =
        Choice(object, "adjust", path, {"bonferroni", "none"}, "bonferroni") == "none"
            ? significance::Adjustment::kNone
            : significance::Adjustment::kBonferroni;
    const std::string base =
        Choice(object, "base", path, {"unweighted", "weighted", "effective"}, "unweighted");
    test.base = base == "weighted"    ? significance::Base::kWeighted
                : base == "effective" ? significance::Base::kEffective
                                      : significance::Base::kUnweighted;
    if (auto minBase = object.find("minBase"); minBase != object.end()) {
      test.settings.minBase = Number(*minBase, path + ".minBase");
      Expect(test.settings.minBase >= 0.0, path + ".minBase", "expected a number of at least 0");
    }
    if (means) {
      auto variables = object.find("variables");
      Expect(variables != object.end() && variables->is_array() && !variables->empty(),
             path + ".variables", "expected a non-empty list of variable names");
      for (size_t i = 0; i < variables->size(); ++i)
        test.variables.push_back(
            String((*variables)[i], path + ".variables[" + std::to_string(i) + "]"));
    }
    return test;
  }

  std::string _source;
  std::string _baseDirectory;
  std::set<std::string> _setNames;
};

}  // namespace

Request ParseRequest(const std::string& text, const std::string& source,
                     const std::string& baseDirectory) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::exception& error) {  // a syntax error, or a number out of range
    throw InputError(source + ": not valid JSON: " + error.what());
  }
  return ParseRequest(document, source, baseDirectory);
}

Request ParseRequest(const json& document, const std::string& source,
                     const std::string& baseDirectory) {
  return RequestParser(source, baseDirectory).Parse(document);
}

Request ReadRequest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot open for reading");
  std::ostringstream text;
  text << in.rdbuf();
  const size_t slash = path.find_last_of('/');
  return ParseRequest(text.str(), path, slash == std::string::npos ? "." : path.substr(0, slash));
}
