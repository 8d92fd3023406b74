#include "Dictionary.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CsvReader.h"
#include "InputError.h"

using nlohmann::json;

namespace {

constexpr int kMaxStringWidth = 32767;

[[noreturn]] void Fail(const std::string& source, const std::string& path,
                       const std::string& problem) {
  throw InputError(source + ": " + path + ": " + problem);
}

const json& Member(const json& object, const char* key, const std::string& source,
                   const std::string& path) {
  auto it = object.find(key);
  if (it == object.end()) Fail(source, path, std::string("missing \"") + key + "\"");
  return *it;
}

std::string StringAt(const json& value, const std::string& source, const std::string& path) {
  if (!value.is_string()) Fail(source, path, "expected a string");
  return value.get<std::string>();
}

double NumberAt(const json& value, const std::string& source, const std::string& path) {
  if (!value.is_number()) Fail(source, path, "expected a number");
  return value.get<double>();
}

std::string StringValueAt(const json& value, const VariableSpec& spec, const std::string& source,
                          const std::string& path) {
  std::string text = StringAt(value, source, path);
  if (static_cast<int>(text.size()) > spec.width)
    Fail(source, path,
         "string \"" + text + "\" is wider than variable " + spec.name + " (" +
             std::to_string(spec.width) + " bytes)");
  return text;
}

void ReadValueLabels(const json& labels, VariableSpec& spec, const std::string& source,
                     const std::string& path) {
  if (!labels.is_array()) Fail(source, path, "expected an array of [value, label] pairs");
  for (size_t i = 0; i < labels.size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    const json& pair = labels[i];
    if (!pair.is_array() || pair.size() != 2) Fail(source, at, "expected a [value, label] pair");
    VariableSpec::ValueLabel label;
    if (spec.isString)
      label.stringValue = StringValueAt(pair[0], spec, source, at + "[0]");
    else
      label.numericValue = NumberAt(pair[0], source, at + "[0]");
    label.label = StringAt(pair[1], source, at + "[1]");
    spec.valueLabels.push_back(std::move(label));
  }
}

void ReadMissing(const json& missing, VariableSpec& spec, const std::string& source,
                 const std::string& path) {
  if (missing.is_null()) return;
  if (!missing.is_object()) Fail(source, path, "expected an object with \"values\" and \"range\"");
  if (auto values = missing.find("values"); values != missing.end() && !values->is_null()) {
    if (!values->is_array()) Fail(source, path + ".values", "expected an array");
    for (size_t i = 0; i < values->size(); ++i) {
      const std::string at = path + ".values[" + std::to_string(i) + "]";
      if (spec.isString)
        spec.missingStrings.push_back(StringValueAt((*values)[i], spec, source, at));
      else
        spec.missingNumbers.push_back(NumberAt((*values)[i], source, at));
    }
  }
  if (auto range = missing.find("range"); range != missing.end() && !range->is_null()) {
    const std::string at = path + ".range";
    if (spec.isString) Fail(source, at, "a missing range needs a numeric variable");
    if (!range->is_array() || range->size() != 2) Fail(source, at, "expected [low, high]");
    spec.hasMissingRange = true;
    spec.missingLow = NumberAt((*range)[0], source, at + "[0]");
    spec.missingHigh = NumberAt((*range)[1], source, at + "[1]");
    if (spec.missingLow > spec.missingHigh) Fail(source, at, "low end is above high end");
  }
}

VariableSpec ReadVariable(const json& variable, const std::string& source,
                          const std::string& path) {
  if (!variable.is_object()) Fail(source, path, "expected an object");
  VariableSpec spec;
  spec.name = StringAt(Member(variable, "name", source, path), source, path + ".name");
  if (spec.name.empty()) Fail(source, path + ".name", "empty variable name");
  // The data source knows variables by C string: a NUL would cut the name short.
  if (spec.name.find('\0') != std::string::npos)
    Fail(source, path + ".name", "a variable name cannot contain a NUL character");
  const std::string type = StringAt(Member(variable, "type", source, path), source, path + ".type");
  if (type == "string") {
    spec.isString = true;
    const json& width = Member(variable, "width", source, path);
    if (!width.is_number_integer() || width.get<long>() < 1 || width.get<long>() > kMaxStringWidth)
      Fail(source, path + ".width",
           "expected a whole number from 1 to " + std::to_string(kMaxStringWidth));
    spec.width = width.get<int>();
  } else if (type != "numeric") {
    Fail(source, path + ".type", "expected \"numeric\" or \"string\", found \"" + type + "\"");
  }
  if (auto label = variable.find("label"); label != variable.end() && !label->is_null())
    spec.label = StringAt(*label, source, path + ".label");
  if (auto labels = variable.find("valueLabels"); labels != variable.end() && !labels->is_null())
    ReadValueLabels(*labels, spec, source, path + ".valueLabels");
  if (auto missing = variable.find("missing"); missing != variable.end())
    ReadMissing(*missing, spec, source, path + ".missing");
  return spec;
}

}  // namespace

int Dictionary::Find(const std::string& name) const {
  for (size_t i = 0; i < variables.size(); ++i)
    if (variables[i].name == name) return static_cast<int>(i);
  return -1;
}

Dictionary ParseDictionary(const std::string& text, const std::string& source) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::exception& error) {  // a syntax error, or a number out of range
    throw InputError(source + ": not valid JSON: " + error.what());
  }
  if (!document.is_object()) Fail(source, "$", "expected an object");
  Dictionary dictionary;
  const json& variables = Member(document, "variables", source, "$");
  if (!variables.is_array()) Fail(source, "$.variables", "expected an array");
  for (size_t i = 0; i < variables.size(); ++i) {
    const std::string path = "$.variables[" + std::to_string(i) + "]";
    VariableSpec spec = ReadVariable(variables[i], source, path);
    if (dictionary.Find(spec.name) >= 0)
      Fail(source, path + ".name", "variable " + spec.name + " is defined twice");
    dictionary.variables.push_back(std::move(spec));
  }
  if (auto weight = document.find("weight"); weight != document.end() && !weight->is_null()) {
    dictionary.weight = StringAt(*weight, source, "$.weight");
    const int index = dictionary.Find(dictionary.weight);
    if (index < 0) Fail(source, "$.weight", "unknown variable " + dictionary.weight);
    if (dictionary.variables[static_cast<size_t>(index)].isString)
      Fail(source, "$.weight", "weight variable " + dictionary.weight + " is a string");
  }
  return dictionary;
}

Dictionary ReadDictionary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot open for reading");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseDictionary(text.str(), path);
}

namespace {

// Whole numbers of up to 15 digits, most fields of most data sets, are exact
// as doubles: read them digit by digit instead of through the general
// parser (a third of the time of reading such a file).
bool ParseShortWholeNumber(std::string_view text, double& value) {
  if (text.empty() || text.size() > 15) return false;
  int64_t whole = 0;
  for (char c : text) {
    const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
    if (digit > 9) return false;
    whole = whole * 10 + digit;
  }
  value = static_cast<double>(whole);
  return true;
}

}  // namespace

bool ParseNumber(std::string_view text, double& value) {
  if (ParseShortWholeNumber(text, value)) return true;
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
  if (begin < end && *begin == '+') ++begin;
  if (begin == end) return false;
  auto [stop, error] = std::from_chars(begin, end, value);
  return error == std::errc() && stop == end && std::isfinite(value);
}

Dictionary InferDictionary(const std::string& csvPath) {
  bool wholeFile = false;
  return InferDictionaryFromStart(csvPath, -1, wholeFile);
}

Dictionary InferDictionaryFromStart(const std::string& csvPath, long records, bool& wholeFile) {
  CsvReader reader(csvPath);
  std::vector<std::string_view> fields;
  if (!reader.NextRecord(fields)) throw InputError(csvPath + ": the file is empty (no header)");
  Dictionary dictionary;
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string name(fields[i]);
    if (name.empty())
      reader.Fail(1, 1, "column " + std::to_string(i + 1) + " has no name in the header");
    if (name.find('\0') != std::string::npos)
      reader.Fail(1, 1, "the name of column " + std::to_string(i + 1) + " contains a NUL byte");
    if (dictionary.Find(name) >= 0) reader.Fail(1, 1, "column " + name + " appears twice");
    VariableSpec spec;
    spec.name = name;
    dictionary.variables.push_back(std::move(spec));
  }
  const size_t columns = dictionary.variables.size();
  std::vector<size_t> longest(columns, 0);
  std::vector<bool> numeric(columns, true);
  wholeFile = true;
  for (long read = 0;; ++read) {
    if (records >= 0 && read == records) {
      wholeFile = !reader.NextRecord(fields);
      break;
    }
    if (!reader.NextRecord(fields)) break;
    if (fields.size() != columns)
      reader.Fail(reader.RecordLine(), 1,
                  "expected " + std::to_string(columns) + " fields, found " +
                      std::to_string(fields.size()));
    for (size_t i = 0; i < columns; ++i) {
      const std::string_view field = fields[i];
      if (field.empty()) continue;
      longest[i] = std::max(longest[i], field.size());
      double value;
      if (numeric[i] && !ParseNumber(field, value)) {
        numeric[i] = false;
        dictionary.variables[i].inferredStringAt = "line " + std::to_string(reader.RecordLine()) +
                                                   ": \"" + std::string(field.substr(0, 40)) + "\"";
      }
    }
  }
  for (size_t i = 0; i < columns; ++i) {
    if (numeric[i]) continue;
    VariableSpec& spec = dictionary.variables[i];
    spec.isString = true;
    spec.width =
        static_cast<int>(std::max<size_t>(1, std::min<size_t>(longest[i], kMaxStringWidth)));
  }
  return dictionary;
}
