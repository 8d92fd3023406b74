#include "DataInput.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "CsvReader.h"
#include "InputError.h"

namespace {

// Where one variable's value comes from and goes to.
struct ColumnBinding {
  int column;  // field index in the record
  int offset;  // cell offset in the row
  int width;   // 0 numeric, else string width
  std::string name;
};

std::vector<ColumnBinding> BindColumns(const std::vector<std::string>& header,
                                       const QUOR_DataSource& dataSource,
                                       const std::string& source) {
  std::vector<ColumnBinding> bindings;
  for (int v = 0; v < dataSource.NumberOfVariables(); ++v) {
    const QUOR_Variable& variable = dataSource.GetVariable(v);
    auto it = std::find(header.begin(), header.end(), variable.GetName());
    if (it == header.end())
      throw InputError(source + ": no column named " + variable.GetName() +
                       " (the dictionary defines it)");
    bindings.push_back({static_cast<int>(it - header.begin()), dataSource.VariableOffset(v),
                        variable.GetType(), variable.GetName()});
  }
  return bindings;
}

void WriteString(OBS* cells, int width, const char* text, size_t length) {
  char* bytes = cells[0].str;
  std::memset(bytes, ' ', static_cast<size_t>(QUOR_CellCount(width)) * sizeof(OBS));
  std::memcpy(bytes, text, length);
}

class CsvCaseSource : public CaseSource {
 public:
  CsvCaseSource(const std::string& path, const QUOR_DataSource& dataSource, bool fromSample,
                const std::vector<bool>* read)
      : _reader(path), _fromSample(fromSample) {
    std::vector<std::string> header;
    if (!_reader.NextRecord(header)) throw InputError(path + ": the file is empty (no header)");
    _columns = header.size();
    _bindings = BindColumns(header, dataSource, path);
    if (read) KeepOnlyRead(*read);
  }

  // The records of the same file that start in [first, end), read as whole reads them.
  CsvCaseSource(const CsvCaseSource& whole, uint64_t first, uint64_t end)
      : _reader(whole._reader.Path(), first, end),
        _fromSample(whole._fromSample),
        _columns(whole._columns),
        _bindings(whole._bindings),
        _hasHeader(false) {}

  // Parses only the columns of the variables read (bindings are in the
  // data source's order); no one reads the others' cells.
  void KeepOnlyRead(const std::vector<bool>& read) {
    std::vector<ColumnBinding> kept;
    for (size_t v = 0; v < _bindings.size(); ++v)
      if (v < read.size() && read[v]) kept.push_back(_bindings[v]);
    _bindings = std::move(kept);
  }

  // Offset of the first record after the header.
  uint64_t FirstRecordOffset() const { return _reader.Offset(); }

  bool ReadCase(OBS* row) override {
    if (!_reader.NextRecord(_fields)) return false;
    if (_fields.size() != _columns)
      _reader.Fail(_reader.RecordLine(), 1,
                   "expected " + std::to_string(_columns) + " fields, found " +
                       std::to_string(_fields.size()));
    for (const ColumnBinding& binding : _bindings) Store(binding, row);
    return true;
  }

  void Rewind() override {
    _reader.Rewind();
    if (_hasHeader) _reader.NextRecord(_fields);
  }

 private:
  void Store(const ColumnBinding& binding, OBS* row) {
    const std::string_view field = _fields[static_cast<size_t>(binding.column)];
    OBS* cells = row + binding.offset;
    if (binding.width == 0) {
      if (field.empty()) {
        cells->num = QUOR_SYSMIS;
      } else if (!ParseNumber(field, cells->num)) {
        if (_fromSample) throw InferenceOutgrown();
        _reader.Fail(
            _reader.RecordLine(), binding.column + 1,
            "variable " + binding.name + ": \"" + std::string(field) + "\" is not a number");
      }
      return;
    }
    if (static_cast<int>(field.size()) > binding.width) {
      if (_fromSample) throw InferenceOutgrown();
      _reader.Fail(_reader.RecordLine(), binding.column + 1,
                   "variable " + binding.name + ": \"" + std::string(field) + "\" is wider than " +
                       std::to_string(binding.width) + " bytes");
    }
    WriteString(cells, binding.width, field.data(), field.size());
  }

  CsvReader _reader;
  bool _fromSample;
  std::vector<std::string_view> _fields;
  size_t _columns = 0;
  std::vector<ColumnBinding> _bindings;
  bool _hasHeader = true;
};

std::string FormatWeight(double weight) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", weight);
  return text;
}

bool IsQuery(const std::string& text) {
  std::string head;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!head.empty()) break;
      continue;
    }
    head.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  return head == "SELECT" || head == "WITH";
}

std::string QuoteIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

// An open database with one prepared statement over the table or query.
class SqliteStatement {
 public:
  SqliteStatement(const std::string& path, const std::string& tableOrQuery) : _path(path) {
    if (sqlite3_open_v2(path.c_str(), &_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      Fail("cannot open database: " + std::string(_db ? sqlite3_errmsg(_db) : "out of memory"));
    const std::string sql =
        IsQuery(tableOrQuery) ? tableOrQuery : "SELECT * FROM " + QuoteIdentifier(tableOrQuery);
    if (sqlite3_prepare_v2(_db, sql.c_str(), -1, &_statement, nullptr) != SQLITE_OK)
      Fail(std::string(sqlite3_errmsg(_db)));
  }
  ~SqliteStatement() {
    sqlite3_finalize(_statement);
    sqlite3_close(_db);
  }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool Step() {
    const int status = sqlite3_step(_statement);
    if (status == SQLITE_ROW) {
      ++_row;
      return true;
    }
    if (status != SQLITE_DONE) Fail(std::string(sqlite3_errmsg(_db)));
    return false;
  }
  void Reset() {
    sqlite3_reset(_statement);
    _row = 0;
  }
  std::vector<std::string> ColumnNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < sqlite3_column_count(_statement); ++i)
      names.emplace_back(sqlite3_column_name(_statement, i));
    return names;
  }
  sqlite3_stmt* Statement() const { return _statement; }
  [[noreturn]] void Fail(const std::string& problem) const {
    throw InputError(_path + (_row > 0 ? ": row " + std::to_string(_row) : std::string()) + ": " +
                     problem);
  }

 private:
  std::string _path;
  sqlite3* _db = nullptr;
  sqlite3_stmt* _statement = nullptr;
  long _row = 0;
};

class SqliteCaseSource : public CaseSource {
 public:
  SqliteCaseSource(const std::string& path, const std::string& tableOrQuery,
                   const QUOR_DataSource& dataSource)
      : _statement(path, tableOrQuery) {
    _bindings = BindColumns(_statement.ColumnNames(), dataSource, path);
  }

  bool ReadCase(OBS* row) override {
    if (!_statement.Step()) return false;
    sqlite3_stmt* statement = _statement.Statement();
    for (const ColumnBinding& binding : _bindings) {
      OBS* cells = row + binding.offset;
      const int type = sqlite3_column_type(statement, binding.column);
      if (binding.width == 0) {
        if (type == SQLITE_NULL) {
          cells->num = QUOR_SYSMIS;
        } else if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
          cells->num = sqlite3_column_double(statement, binding.column);
        } else {
          const char* text =
              reinterpret_cast<const char*>(sqlite3_column_text(statement, binding.column));
          std::string field = text ? text : "";
          if (field.empty())
            cells->num = QUOR_SYSMIS;
          else if (!ParseNumber(field, cells->num))
            _statement.Fail("column " + binding.name + ": \"" + field + "\" is not a number");
        }
        continue;
      }
      const unsigned char* text = sqlite3_column_text(statement, binding.column);
      const size_t length = static_cast<size_t>(sqlite3_column_bytes(statement, binding.column));
      if (static_cast<int>(length) > binding.width)
        _statement.Fail("column " + binding.name + ": value is wider than " +
                        std::to_string(binding.width) + " bytes");
      WriteString(cells, binding.width, text ? reinterpret_cast<const char*>(text) : "",
                  text ? length : 0);
    }
    return true;
  }

  void Rewind() override { _statement.Reset(); }

 private:
  SqliteStatement _statement;
  std::vector<ColumnBinding> _bindings;
};

}  // namespace

void DefineVariables(const Dictionary& dictionary, QUOR_DataSource& dataSource) {
  for (const VariableSpec& spec : dictionary.variables) {
    const int index = dataSource.AddVariable(spec.name, spec.isString ? spec.width : 0, spec.label);
    QUOR_Variable& variable = dataSource.GetVariable(index);
    for (const VariableSpec::ValueLabel& label : spec.valueLabels) {
      if (spec.isString)
        variable.AddValueLabel(label.stringValue, label.label);
      else
        variable.AddValueLabel(label.numericValue, label.label);
    }
    for (double value : spec.missingNumbers) variable.AddMissingValue(value);
    for (const std::string& value : spec.missingStrings) variable.AddMissingValue(value);
    if (spec.hasMissingRange) variable.SetMissingRange(spec.missingLow, spec.missingHigh);
  }
}

std::unique_ptr<CaseSource> OpenCsv(const std::string& path, const Dictionary&,
                                    const QUOR_DataSource& dataSource, bool fromSample,
                                    const std::vector<bool>* read) {
  return std::make_unique<CsvCaseSource>(path, dataSource, fromSample, read);
}

std::vector<std::unique_ptr<CaseSource>> OpenCsvParts(const std::string& path,
                                                      const QUOR_DataSource& dataSource,
                                                      bool fromSample, int parts,
                                                      const std::vector<bool>* read) {
  const CsvCaseSource whole(path, dataSource, fromSample, read);
  const std::vector<uint64_t> starts = SplitCsvRecords(path, whole.FirstRecordOffset(), parts);
  std::vector<std::unique_ptr<CaseSource>> sources;
  for (size_t k = 0; k + 1 < starts.size(); ++k)
    sources.push_back(std::make_unique<CsvCaseSource>(whole, starts[k], starts[k + 1]));
  return sources;
}

std::unique_ptr<CaseSource> OpenSqlite(const std::string& path, const std::string& tableOrQuery,
                                       const Dictionary&, const QUOR_DataSource& dataSource) {
  return std::make_unique<SqliteCaseSource>(path, tableOrQuery, dataSource);
}

Dictionary InferSqliteDictionary(const std::string& path, const std::string& tableOrQuery) {
  SqliteStatement statement(path, tableOrQuery);
  Dictionary dictionary;
  for (const std::string& name : statement.ColumnNames()) {
    VariableSpec spec;
    spec.name = name;
    dictionary.variables.push_back(spec);
  }
  const size_t columns = dictionary.variables.size();
  std::vector<bool> numeric(columns, true);
  std::vector<int> longest(columns, 0);
  while (statement.Step()) {
    for (size_t i = 0; i < columns; ++i) {
      const int column = static_cast<int>(i);
      const int type = sqlite3_column_type(statement.Statement(), column);
      if (type == SQLITE_NULL) continue;
      longest[i] = std::max(longest[i], sqlite3_column_bytes(statement.Statement(), column));
      if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
        const char* text =
            reinterpret_cast<const char*>(sqlite3_column_text(statement.Statement(), column));
        double value;
        if (!ParseNumber(text ? text : "", value)) numeric[i] = false;
      }
    }
  }
  for (size_t i = 0; i < columns; ++i) {
    if (numeric[i]) continue;
    dictionary.variables[i].isString = true;
    dictionary.variables[i].width = std::max(1, longest[i]);
  }
  return dictionary;
}

StreamingCaseIterator::StreamingCaseIterator(const QUOR_DataSource& dataSource, int weightVariable,
                                             CaseSource& source)
    : ProcDSIterator(dataSource, weightVariable),
      _source(source),
      _row(static_cast<size_t>(std::max(1, dataSource.RowWidth()))),
      _weighted(weightVariable >= 0) {}

bool StreamingCaseIterator::Next() {
  for (;;) {
    if (!_source.ReadCase(_row.data())) {
      SetCurrentRow(nullptr);
      return false;
    }
    ++_casesRead;
    if (_filter && !_filter->Keeps(_row.data())) {
      ++_filteredOut;
      continue;
    }
    SetCurrentRow(_row.data());
    if (!_weighted) return true;
    const double weight = Weight();
    if (weight > 0.0) {
      AddToWeightSum(weight);
      return true;
    }
    ++_excludedByWeight;
  }
}

// Counts, percentages and every weighted statistic divide by sums of weights:
// once the sum of all weights overflows, some of them would be infinite or
// silently wrong, so the run stops. The sum of every case's weight bounds the
// sum over any cell (the weights summed are positive).
void StreamingCaseIterator::AddToWeightSum(double weight) {
  _weightSum += weight;
  if (!std::isfinite(_weightSum))
    throw InputError("weight: the sum of the weights overflows at case " +
                     std::to_string(_casesRead) + " (weight " + FormatWeight(weight) +
                     "); scale the weights down");
}

void StreamingCaseIterator::AddCountsOf(const StreamingCaseIterator& later) {
  _casesRead += later._casesRead;
  _filteredOut += later._filteredOut;
  _excludedByWeight += later._excludedByWeight;
  _weightSum += later._weightSum;
}

void StreamingCaseIterator::Rewind() {
  _weightSum = 0.0;
  _source.Rewind();
  SetCurrentRow(nullptr);
  _casesRead = 0;
  _excludedByWeight = 0;
  _filteredOut = 0;
}
