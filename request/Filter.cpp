#include "Filter.h"

#include <cassert>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "InputError.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsNamePart(char c) {
  return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '.';
}

// Nesting deeper than this is refused, so that evaluation cannot exhaust the stack.
constexpr int kMaxDepth = 100;

}  // namespace

// Recursive descent over the filter text, building the nodes of the filter.
class Filter::Parser {
 public:
  Parser(Filter& filter, const std::string& text) : _filter(filter), _text(text) {}

  int Parse() {
    const int root = ParseOr(0);
    SkipBlanks();
    if (_at < _text.size()) Fail("unexpected \"" + _text.substr(_at, 20) + "\"");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& problem) const {
    throw InputError(_filter._where + ": character " + std::to_string(_at + 1) + ": " + problem);
  }

  void SkipBlanks() {
    while (_at < _text.size() && std::isspace(static_cast<unsigned char>(_text[_at]))) ++_at;
  }

  // Consumes the keyword (any case) when it comes next as a whole word.
  bool Keyword(const char* word) {
    SkipBlanks();
    const size_t length = std::strlen(word);
    if (_at + length > _text.size() || Lower(_text.substr(_at, length)) != word) return false;
    if (_at + length < _text.size() && IsNamePart(_text[_at + length])) return false;
    _at += length;
    return true;
  }

  bool Symbol(const char* symbol) {
    SkipBlanks();
    const size_t length = std::strlen(symbol);
    if (_text.compare(_at, length, symbol) != 0) return false;
    _at += length;
    return true;
  }

  void Expect(const char* symbol) {
    if (!Symbol(symbol)) Fail(std::string("expected \"") + symbol + "\"");
  }

  int Add(Node node) {
    _filter._nodes.push_back(std::move(node));
    return static_cast<int>(_filter._nodes.size()) - 1;
  }

  int Combine(Kind kind, int left, int right) {
    Node node;
    node.kind = kind;
    node.left = left;
    node.right = right;
    return Add(node);
  }

  int ParseOr(int depth) {
    int left = ParseAnd(depth);
    while (Keyword("or")) left = Combine(kOr, left, ParseAnd(depth));
    return left;
  }

  int ParseAnd(int depth) {
    int left = ParseNot(depth);
    while (Keyword("and")) left = Combine(kAnd, left, ParseNot(depth));
    return left;
  }

  int ParseNot(int depth) {
    if (depth > kMaxDepth) Fail("the condition is nested too deeply");
    if (Keyword("not")) return Combine(kNot, ParseNot(depth + 1), -1);
    if (Symbol("(")) {
      const int inner = ParseOr(depth + 1);
      Expect(")");
      return inner;
    }
    return ParseComparison();
  }

  std::string ParseName() {
    SkipBlanks();
    if (Symbol("`")) {
      const size_t end = _text.find('`', _at);
      if (end == std::string::npos) Fail("a `quoted name` is not closed");
      std::string name = _text.substr(_at, end - _at);
      _at = end + 1;
      if (name.empty()) Fail("empty variable name");
      return name;
    }
    if (_at >= _text.size() || !IsNameStart(_text[_at])) Fail("expected a variable name");
    const size_t start = _at;
    while (_at < _text.size() && IsNamePart(_text[_at])) ++_at;
    return _text.substr(start, _at - start);
  }

  Value ParseValue() {
    SkipBlanks();
    Value value;
    if (Symbol("\"")) {
      value.isString = true;
      for (;;) {
        if (_at >= _text.size()) Fail("a string is not closed");
        const char c = _text[_at++];
        if (c == '"') {
          if (_at < _text.size() && _text[_at] == '"') {
            ++_at;
          } else {
            return value;
          }
        }
        value.text.push_back(c);
      }
    }
    const char* begin = _text.data() + _at;
    const char* end = _text.data() + _text.size();
    if (begin < end && *begin == '+') ++begin;
    auto [stop, error] = std::from_chars(begin, end, value.number);
    if (error != std::errc() || stop == begin || !std::isfinite(value.number))
      Fail("expected a finite number or a \"string\"");
    _at = static_cast<size_t>(stop - _text.data());
    return value;
  }

  int AddValue(Node& node, Value value) {
    if (node.valueCount == 0) node.firstValue = static_cast<int>(_filter._values.size());
    _filter._values.push_back(std::move(value));
    return ++node.valueCount;
  }

  int ParseComparison() {
    Node node;
    node.name = ParseName();
    if (Keyword("is")) {
      const bool negated = Keyword("not");
      if (!Keyword("missing")) Fail("expected \"missing\" after \"is\"");
      node.kind = kIsMissing;
      const int test = Add(node);
      return negated ? Combine(kNot, test, -1) : test;
    }
    if (Keyword("in")) {
      node.kind = kIn;
      Expect("(");
      do AddValue(node, ParseValue());
      while (Symbol(","));
      Expect(")");
      return Add(node);
    }
    if (Keyword("between")) {
      node.kind = kBetween;
      AddValue(node, ParseValue());
      if (!Keyword("and")) Fail("expected \"and\" in \"between low and high\"");
      AddValue(node, ParseValue());
      return Add(node);
    }
    node.kind = kCompare;
    node.op = ParseOperator();
    AddValue(node, ParseValue());
    return Add(node);
  }

  Operator ParseOperator() {
    if (Symbol("==") || Symbol("=")) return kEqual;
    if (Symbol("!=") || Symbol("<>")) return kNotEqual;
    if (Symbol("<=")) return kLessEqual;
    if (Symbol("<")) return kLess;
    if (Symbol(">=")) return kGreaterEqual;
    if (Symbol(">")) return kGreater;
    Fail("expected a comparison (=, !=, <, <=, >, >=), in, between or is missing");
  }

  Filter& _filter;
  const std::string& _text;
  size_t _at = 0;
};

Filter::Filter(const std::string& text, const std::string& where) : _text(text), _where(where) {
  _root = Parser(*this, _text).Parse();
}

std::vector<std::string> Filter::VariableNames() const {
  std::vector<std::string> names;
  for (const Node& node : _nodes)
    if (node.kind != kAnd && node.kind != kOr && node.kind != kNot) names.push_back(node.name);
  return names;
}

void Filter::Bind(const QUOR_DataSource& dataSource) {
  for (Node& node : _nodes) {
    if (node.kind == kAnd || node.kind == kOr || node.kind == kNot) continue;
    int index = -1;
    for (int v = 0; v < dataSource.NumberOfVariables() && index < 0; ++v)
      if (node.name == dataSource.GetVariable(v).GetName()) index = v;
    if (index < 0) throw InputError(_where + ": unknown variable " + node.name);
    node.variable = &dataSource.GetVariable(index);
    node.offset = dataSource.VariableOffset(index);
    const int width = node.variable->GetType();
    for (int i = node.firstValue; i < node.firstValue + node.valueCount; ++i) {
      Value& value = _values[static_cast<size_t>(i)];
      if (value.isString != (width > 0))
        throw InputError(_where + ": variable " + node.name + " is " +
                         (width > 0 ? "a string; compare it with a \"string\""
                                    : "numeric; compare it with a number"));
      if (width == 0) continue;
      if (static_cast<int>(value.text.size()) > width)
        throw InputError(_where + ": \"" + value.text + "\" is wider than variable " + node.name +
                         " (" + std::to_string(width) + " bytes)");
      value.cells.assign(static_cast<size_t>(QUOR_CellCount(width)), OBS{});
      char* bytes = value.cells[0].str;
      std::memset(bytes, ' ', value.cells.size() * sizeof(OBS));
      std::memcpy(bytes, value.text.data(), value.text.size());
    }
  }
}

bool Filter::Compare(const Node& node, Operator op, const OBS* cell, const Value& value) const {
  int order;
  if (value.isString) {
    order =
        std::memcmp(cell->str, value.cells[0].str, static_cast<size_t>(node.variable->GetType()));
  } else {
    order = cell->num < value.number ? -1 : cell->num > value.number ? 1 : 0;
  }
  bool result = false;
  switch (op) {
    case kEqual:
      result = order == 0;
      break;
    case kNotEqual:
      result = order != 0;
      break;
    case kLess:
      result = order < 0;
      break;
    case kLessEqual:
      result = order <= 0;
      break;
    case kGreater:
      result = order > 0;
      break;
    case kGreaterEqual:
      result = order >= 0;
      break;
  }
  return result;
}

Filter::Truth Filter::Evaluate(int index, const OBS* row) const {
  const Node& node = _nodes[static_cast<size_t>(index)];
  switch (node.kind) {
    case kAnd: {
      const Truth left = Evaluate(node.left, row);
      if (left == kFalse) return kFalse;
      const Truth right = Evaluate(node.right, row);
      return right == kFalse ? kFalse : left == kTrue && right == kTrue ? kTrue : kUnknown;
    }
    case kOr: {
      const Truth left = Evaluate(node.left, row);
      if (left == kTrue) return kTrue;
      const Truth right = Evaluate(node.right, row);
      return right == kTrue ? kTrue : left == kFalse && right == kFalse ? kFalse : kUnknown;
    }
    case kNot: {
      const Truth inner = Evaluate(node.left, row);
      return inner == kUnknown ? kUnknown : inner == kTrue ? kFalse : kTrue;
    }
    default:
      break;
  }
  assert(node.variable != nullptr && "the filter is bound");
  const OBS* cell = row + node.offset;
  const bool missing = node.variable->IsMissing(cell) != 0;
  if (node.kind == kIsMissing) return missing ? kTrue : kFalse;
  if (missing) return kUnknown;
  const Value* values = _values.data() + node.firstValue;
  if (node.kind == kBetween)
    return Compare(node, kGreaterEqual, cell, values[0]) &&
                   Compare(node, kLessEqual, cell, values[1])
               ? kTrue
               : kFalse;
  if (node.kind == kIn) {
    for (int i = 0; i < node.valueCount; ++i)
      if (Compare(node, kEqual, cell, values[i])) return kTrue;
    return kFalse;
  }
  return Compare(node, node.op, cell, values[0]) ? kTrue : kFalse;
}
