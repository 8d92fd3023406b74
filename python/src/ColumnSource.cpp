#include "ColumnSource.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

#include "InputError.h"

void ColumnTable::CheckCases(size_t cases) {
  assert(_columns.empty() || cases == _cases);
  _cases = cases;
}

void ColumnTable::AddNumbers(const std::string& name, const double* values, std::ptrdiff_t stride,
                             size_t cases) {
  CheckCases(cases);
  for (size_t i = 0; i < cases; ++i) {
    const double value = values[static_cast<std::ptrdiff_t>(i) * stride];
    if (std::isinf(value))
      throw InputError("column " + name + ": case " + std::to_string(i + 1) +
                       ": infinity is not a number that can be tabulated");
  }
  Column column;
  column.name = name;
  column.numbers = values;
  column.numberStride = stride;
  _columns.push_back(std::move(column));
  VariableSpec spec;
  spec.name = name;
  _dictionary.variables.push_back(spec);
}

void ColumnTable::AddStrings(const std::string& name, const std::vector<std::string_view>& texts) {
  CheckCases(texts.size());
  size_t width = 1;
  for (std::string_view text : texts) width = std::max(width, text.size());
  Column column;
  column.name = name;
  column.isString = true;
  column.width = static_cast<int>(width);
  const size_t rowBytes = static_cast<size_t>(QUOR_CellCount(column.width)) * sizeof(OBS);
  column.text.assign(rowBytes * texts.size(), ' ');
  for (size_t i = 0; i < texts.size(); ++i)
    if (!texts[i].empty())  // an absent value's view has no data at all
      std::memcpy(column.text.data() + i * rowBytes, texts[i].data(), texts[i].size());
  _columns.push_back(std::move(column));
  VariableSpec spec;
  spec.name = name;
  spec.isString = true;
  spec.width = static_cast<int>(width);
  _dictionary.variables.push_back(spec);
}

ColumnCaseSource::ColumnCaseSource(const ColumnTable& table) : _cases(table.Cases()) {
  QUOR_DataSource dataSource;  // the row layout of the dictionary
  DefineVariables(table.GetDictionary(), dataSource);
  for (size_t v = 0; v < table.Columns().size(); ++v) {
    const Column& column = table.Columns()[v];
    _bindings.push_back({&column, dataSource.VariableOffset(static_cast<int>(v)),
                         static_cast<size_t>(QUOR_CellCount(column.width))});
  }
}

bool ColumnCaseSource::ReadCase(OBS* row) {
  if (_next >= _cases) return false;
  const size_t i = _next++;
  for (const Binding& binding : _bindings) {
    OBS* cells = row + binding.offset;
    const Column& column = *binding.column;
    if (column.isString) {
      std::memcpy(cells, column.text.data() + i * binding.cells * sizeof(OBS),
                  binding.cells * sizeof(OBS));
    } else {
      const double value = column.numbers[static_cast<std::ptrdiff_t>(i) * column.numberStride];
      cells->num = std::isnan(value) ? QUOR_SYSMIS : value;
    }
  }
  return true;
}

void ColumnTable::FitStringWidths() {
  for (size_t c = 0; c < _columns.size(); ++c) {
    Column& column = _columns[c];
    VariableSpec& spec = _dictionary.variables[c];
    if (!column.isString) continue;
    size_t width = static_cast<size_t>(std::max(spec.width, column.width));
    for (const VariableSpec::ValueLabel& label : spec.valueLabels)
      width = std::max(width, label.stringValue.size());
    for (const std::string& value : spec.missingStrings) width = std::max(width, value.size());
    spec.width = static_cast<int>(width);
    if (QUOR_CellCount(spec.width) != QUOR_CellCount(column.width)) {
      const size_t oldBytes = static_cast<size_t>(QUOR_CellCount(column.width)) * sizeof(OBS);
      const size_t newBytes = static_cast<size_t>(QUOR_CellCount(spec.width)) * sizeof(OBS);
      std::vector<char> text(newBytes * _cases, ' ');
      for (size_t i = 0; i < _cases; ++i)
        std::memcpy(text.data() + i * newBytes, column.text.data() + i * oldBytes, oldBytes);
      column.text.swap(text);
    }
    column.width = spec.width;
  }
}
