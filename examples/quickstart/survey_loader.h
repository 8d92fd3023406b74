#ifndef QUICKSTART_SURVEY_LOADER_H
#define QUICKSTART_SURVEY_LOADER_H

// A small loader for the bundled survey: a CSV file of cases plus a JSON
// dictionary giving each column's type, label, value labels, missing values
// and the weight variable. It fills the host's in-memory data source.
//
// Dictionary format:
//   {"variables": [{"name": "...", "type": "numeric" | "string", "width": n,
//                   "label": "...", "valueLabels": [[value, "label"], ...],
//                   "missing": {"values": [...], "range": null | [low, high]}}, ...],
//    "weight": null | "name"}
// CSV: a header line of variable names in dictionary order, then one case per
// line; an empty field is system-missing (numbers) or blank (strings); fields
// may be quoted with double quotes ("" inside for one quote).
//
// Bad input throws std::runtime_error naming the file and line or the
// dictionary entry.

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "casesource.h"

namespace quickstart {

// A parsed JSON value: null, bool, number, string, array or object.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Find(const std::string& key) const {
    for (const auto& member : members) {
      if (member.first == key) return &member.second;
    }
    return nullptr;
  }
};

// Recursive-descent JSON reader (RFC 8259; \u escapes of the basic plane are
// written as UTF-8).
class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : _text(text) {}

  Json Parse() {
    Json value = ParseValue();
    SkipSpace();
    if (_pos != _text.size()) Fail("trailing characters");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("dictionary: " + what + " at offset " + std::to_string(_pos));
  }
  void SkipSpace() {
    while (_pos < _text.size() && std::isspace(static_cast<unsigned char>(_text[_pos]))) ++_pos;
  }
  bool Consume(char c) {
    SkipSpace();
    if (_pos < _text.size() && _text[_pos] == c) {
      ++_pos;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Consume(c)) Fail(std::string("expected '") + c + "'");
  }
  bool ConsumeWord(const char* word) {
    const std::string w(word);
    if (_text.compare(_pos, w.size(), w) == 0) {
      _pos += w.size();
      return true;
    }
    return false;
  }

  Json ParseValue() {
    SkipSpace();
    if (_pos >= _text.size()) Fail("unexpected end");
    Json value;
    const char c = _text[_pos];
    if (c == '{') {
      ++_pos;
      value.kind = Json::kObject;
      if (Consume('}')) return value;
      do {
        SkipSpace();
        std::string key = ParseString();
        Expect(':');
        value.members.emplace_back(std::move(key), ParseValue());
      } while (Consume(','));
      Expect('}');
    } else if (c == '[') {
      ++_pos;
      value.kind = Json::kArray;
      if (Consume(']')) return value;
      do {
        value.items.push_back(ParseValue());
      } while (Consume(','));
      Expect(']');
    } else if (c == '"') {
      value.kind = Json::kString;
      value.text = ParseString();
    } else if (ConsumeWord("null")) {
      value.kind = Json::kNull;
    } else if (ConsumeWord("true")) {
      value.kind = Json::kBool;
      value.boolean = true;
    } else if (ConsumeWord("false")) {
      value.kind = Json::kBool;
    } else {
      value.kind = Json::kNumber;
      const char* start = _text.c_str() + _pos;
      char* end = nullptr;
      errno = 0;
      value.number = std::strtod(start, &end);
      if (end == start || errno == ERANGE) Fail("bad number");
      _pos += static_cast<size_t>(end - start);
    }
    return value;
  }

  std::string ParseString() {
    if (_pos >= _text.size() || _text[_pos] != '"') Fail("expected a string");
    ++_pos;
    std::string out;
    while (true) {
      if (_pos >= _text.size()) Fail("unterminated string");
      const char c = _text[_pos++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (_pos >= _text.size()) Fail("unterminated escape");
      const char e = _text[_pos++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          if (_pos + 4 > _text.size()) Fail("short \\u escape");
          const unsigned long code = std::strtoul(_text.substr(_pos, 4).c_str(), nullptr, 16);
          _pos += 4;
          if (code < 0x80) {
            out += static_cast<char>(code);
          } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
          } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
          }
          break;
        }
        default:
          Fail("bad escape");
      }
    }
  }

  const std::string& _text;
  size_t _pos = 0;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The fields of one CSV record (RFC 4180 quoting, no line breaks in fields).
inline std::vector<std::string> SplitCsvLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

// A loaded survey: the data source and the weight variable (-1 when none).
struct Survey {
  std::unique_ptr<QUOR_DataSource> data = std::make_unique<QUOR_DataSource>();
  int weightVariable = -1;
};

inline const Json& Member(const Json& object, const std::string& key, const std::string& where) {
  const Json* value = object.Find(key);
  if (!value) throw std::runtime_error("dictionary: " + where + " has no \"" + key + "\"");
  return *value;
}

// Adds the dictionary's variables to the data source.
inline void LoadDictionary(const std::string& dictionaryPath, Survey& survey) {
  const std::string text = ReadFile(dictionaryPath);
  const Json root = JsonParser(text).Parse();
  const Json& variables = Member(root, "variables", "the dictionary");
  if (variables.kind != Json::kArray) throw std::runtime_error("dictionary: variables is no list");
  QUOR_DataSource& data = *survey.data;
  for (const Json& entry : variables.items) {
    const std::string name = Member(entry, "name", "a variable").text;
    const std::string where = "variable " + name;
    const std::string type = Member(entry, "type", where).text;
    int width = 0;
    if (type == "string") {
      width = static_cast<int>(Member(entry, "width", where).number);
      if (width < 1) throw std::runtime_error("dictionary: " + where + " has a bad width");
    } else if (type != "numeric") {
      throw std::runtime_error("dictionary: " + where + " has an unknown type " + type);
    }
    const Json* label = entry.Find("label");
    const int index = data.AddVariable(name, width, label ? label->text : "");
    QUOR_Variable& variable = data.GetVariable(index);
    if (const Json* labels = entry.Find("valueLabels")) {
      for (const Json& pair : labels->items) {
        if (pair.items.size() != 2) throw std::runtime_error("dictionary: " + where + " bad label");
        if (width == 0) {
          variable.AddValueLabel(pair.items[0].number, pair.items[1].text);
        } else {
          variable.AddValueLabel(pair.items[0].text, pair.items[1].text);
        }
      }
    }
    if (const Json* missing = entry.Find("missing")) {
      if (const Json* values = missing->Find("values")) {
        for (const Json& value : values->items) {
          if (width == 0) {
            variable.AddMissingValue(value.number);
          } else {
            variable.AddMissingValue(value.text);
          }
        }
      }
      const Json* range = missing->Find("range");
      if (range && range->kind == Json::kArray) {
        if (range->items.size() != 2 || width != 0) {
          throw std::runtime_error("dictionary: " + where + " has a bad missing range");
        }
        variable.SetMissingRange(range->items[0].number, range->items[1].number);
      }
    }
  }
  const Json* weight = root.Find("weight");
  if (weight && weight->kind == Json::kString) {
    for (int i = 0; i < data.NumberOfVariables(); ++i) {
      if (weight->text == data.GetVariable(i).GetName()) survey.weightVariable = i;
    }
    if (survey.weightVariable < 0) {
      throw std::runtime_error("dictionary: unknown weight variable " + weight->text);
    }
  }
}

// Appends the CSV's cases; the header must name the dictionary's variables in order.
inline void LoadCases(const std::string& csvPath, Survey& survey) {
  std::ifstream in(csvPath, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + csvPath);
  QUOR_DataSource& data = *survey.data;
  const int nVariables = data.NumberOfVariables();
  std::string line;
  if (!std::getline(in, line)) throw std::runtime_error(csvPath + ": no header line");
  const std::vector<std::string> header = SplitCsvLine(line);
  if (static_cast<int>(header.size()) != nVariables) {
    throw std::runtime_error(csvPath + ": header and dictionary differ in length");
  }
  for (int i = 0; i < nVariables; ++i) {
    if (header[static_cast<size_t>(i)] != data.GetVariable(i).GetName()) {
      throw std::runtime_error(csvPath + ": column " + std::to_string(i + 1) + " is " +
                               header[static_cast<size_t>(i)] + ", the dictionary says " +
                               data.GetVariable(i).GetName());
    }
  }
  int lineNumber = 1;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty() || line == "\r") continue;
    const std::vector<std::string> fields = SplitCsvLine(line);
    const std::string where = csvPath + ":" + std::to_string(lineNumber);
    if (static_cast<int>(fields.size()) != nVariables) {
      throw std::runtime_error(where + ": " + std::to_string(fields.size()) + " fields, expected " +
                               std::to_string(nVariables));
    }
    const int c = data.AddCase();
    for (int i = 0; i < nVariables; ++i) {
      const std::string& field = fields[static_cast<size_t>(i)];
      if (data.GetVariable(i).GetType() != 0) {
        data.SetValue(c, i, field);
        continue;
      }
      if (field.empty()) continue;  // stays system-missing
      char* end = nullptr;
      errno = 0;
      const double value = std::strtod(field.c_str(), &end);
      if (*end != '\0' || errno == ERANGE) {
        throw std::runtime_error(where + ": " + data.GetVariable(i).GetName() +
                                 " is not a number: " + field);
      }
      data.SetValue(c, i, value);
    }
  }
}

inline Survey LoadSurvey(const std::string& csvPath, const std::string& dictionaryPath) {
  Survey survey;
  LoadDictionary(dictionaryPath, survey);
  LoadCases(csvPath, survey);
  return survey;
}

}  // namespace quickstart

#endif
