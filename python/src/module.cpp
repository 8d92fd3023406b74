// _tabcube: the extension module behind the Python package tabcube. Runs
// table requests over the columns of a data frame or over data files through
// the same request layer as the tabcube command, with the interpreter lock
// released while cases are aggregated.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "ColumnSource.h"
#include "DataInput.h"
#include "Dictionary.h"
#include "InputError.h"
#include "Output.h"
#include "Request.h"
#include "RequestRunner.h"

namespace py = pybind11;

namespace {

// The columns of one data frame, with the arrays whose buffers they read.
class FrameColumns {
 public:
  void AddNumbers(const std::string& name, py::array_t<double, py::array::forcecast> values) {
    if (values.ndim() != 1) throw py::value_error("column " + name + ": expected one dimension");
    const auto cases = static_cast<size_t>(values.shape(0));
    RequireCases(name, cases);
    _table.AddNumbers(name, values.data(),
                      values.strides(0) / static_cast<py::ssize_t>(sizeof(double)), cases);
    _arrays.push_back(values);
  }

  // values: a one-dimensional array of objects, each a str, bytes or None.
  // blankMissing: whether blank is a missing value of the column; by default
  // when some value is None or NaN.
  void AddStrings(const std::string& name, const py::array& values,
                  std::optional<bool> blankMissing) {
    if (values.ndim() != 1 || values.dtype().kind() != 'O')
      throw py::type_error("column " + name + ": expected a one-dimensional array of objects");
    const auto cases = static_cast<size_t>(values.shape(0));
    RequireCases(name, cases);
    std::vector<std::string_view> texts(cases);
    const auto* base = static_cast<const char*>(values.data());
    bool absent = false;
    for (size_t i = 0; i < cases; ++i) {
      PyObject* item = *reinterpret_cast<PyObject* const*>(base + i * values.strides(0));
      const bool isAbsent = IsAbsent(item);
      absent = absent || isAbsent;
      texts[i] = isAbsent ? std::string_view() : Text(name, item, i);
    }
    _table.AddStrings(name, texts);
    // Text has no system-missing value: an absent value is blank, and blank
    // is a missing value of the column.
    if (blankMissing.value_or(absent)) Spec(name).missingStrings.push_back("");
    _arrays.push_back(values);
  }

  VariableSpec& Spec(const std::string& name) {
    Dictionary& dictionary = _table.GetDictionary();
    const int index = dictionary.Find(name);
    if (index < 0) throw py::value_error("no column named " + name);
    return dictionary.variables[static_cast<size_t>(index)];
  }

  ColumnTable& Table() { return _table; }

 private:
  void RequireCases(const std::string& name, size_t cases) const {
    if (!_table.Columns().empty() && cases != _table.Cases())
      throw py::value_error("column " + name + ": " + std::to_string(cases) + " cases, the other " +
                            "columns " + std::to_string(_table.Cases()));
  }

  // The UTF-8 text of one value; the view stays valid while the object lives.
  static bool IsAbsent(PyObject* item) {
    return item == Py_None || (PyFloat_Check(item) && std::isnan(PyFloat_AS_DOUBLE(item)));
  }

  static std::string_view Text(const std::string& name, PyObject* item, size_t index) {
    if (PyUnicode_Check(item)) {
      Py_ssize_t size = 0;
      const char* text = PyUnicode_AsUTF8AndSize(item, &size);
      if (!text) throw py::error_already_set();
      return {text, static_cast<size_t>(size)};
    }
    if (PyBytes_Check(item))
      return {PyBytes_AS_STRING(item), static_cast<size_t>(PyBytes_GET_SIZE(item))};
    throw py::type_error("column " + name + ": case " + std::to_string(index + 1) + " holds " +
                         Py_TYPE(item)->tp_name + ", not text");
  }

  ColumnTable _table;
  std::vector<py::array> _arrays;
};

// The finished tables of one run.
struct Tables {
  std::vector<CubeResult> cubes;

  std::string Format(void (*writer)(const std::vector<CubeResult>&, std::ostream&)) const {
    std::ostringstream out;
    writer(cubes, out);
    return out.str();
  }
  Tables Select(size_t index) const {
    if (index >= cubes.size()) throw py::index_error("no table " + std::to_string(index));
    return Tables{{cubes[index]}};
  }
};

Request LoadRequest(const std::string& path, const std::string& text, const std::string& base) {
  return path.empty() ? ParseRequest(text, "request", base) : ReadRequest(path);
}

// As the command chooses: a thread per table beside the reading thread when
// there are several tables and a second core to run them on.
int AggregationThreads(int requested, size_t tables) {
  if (requested >= 0) return requested;
  return tables >= 2 && std::thread::hardware_concurrency() >= 2 ? 1 : 0;
}

int WeightVariable(const Dictionary& dictionary, const std::string& weight) {
  if (weight.empty()) return -1;
  const int index = dictionary.Find(weight);
  if (index < 0) throw InputError("weight: unknown variable " + weight);
  if (dictionary.variables[static_cast<size_t>(index)].isString)
    throw InputError("weight: variable " + weight + " is a string");
  return index;
}

// Feeds every case of the source to the request's tables without the
// interpreter lock; the source reads only buffers that the caller keeps alive.
std::vector<CubeResult> Aggregate(
    const Request& request, const Dictionary& dictionary, const std::string& weight, int threads,
    const std::function<std::unique_ptr<CaseSource>(const QUOR_DataSource&)>& open) {
  QUOR_DataSource dataSource;
  DefineVariables(dictionary, dataSource);
  const int weightVariable = WeightVariable(dictionary, weight);
  std::unique_ptr<CaseSource> source = open(dataSource);
  StreamingCaseIterator iterator(dataSource, weightVariable, *source);
  RequestRunner runner(request, dataSource, iterator, weightVariable);
  {
    py::gil_scoped_release release;
    runner.Feed([](long) {}, 1L << 40, AggregationThreads(threads, request.tables.size()));
  }
  return runner.Results();
}

// Labels and missing values of a dictionary file for the frame's columns of
// the same names; the caller's own labels and missing values come after them.
void ApplyDictionary(const Dictionary& file, const std::string& path, Dictionary& frame) {
  for (const VariableSpec& spec : file.variables) {
    const int index = frame.Find(spec.name);
    if (index < 0) continue;
    VariableSpec& column = frame.variables[static_cast<size_t>(index)];
    if (column.isString != spec.isString)
      throw InputError(path + ": variable " + spec.name + " is " +
                       (spec.isString ? "a string" : "numeric") + ", but its column holds " +
                       (column.isString ? "text" : "numbers"));
    column.label = spec.label;
    column.width = std::max(column.width, spec.width);
    column.valueLabels.insert(column.valueLabels.begin(), spec.valueLabels.begin(),
                              spec.valueLabels.end());
    column.missingNumbers.insert(column.missingNumbers.end(), spec.missingNumbers.begin(),
                                 spec.missingNumbers.end());
    column.missingStrings.insert(column.missingStrings.end(), spec.missingStrings.begin(),
                                 spec.missingStrings.end());
    if (spec.hasMissingRange && !column.hasMissingRange) {
      column.hasMissingRange = true;
      column.missingLow = spec.missingLow;
      column.missingHigh = spec.missingHigh;
    }
  }
}

// The dictionary file that lends a frame's columns labels and missing
// values: given as text (read by the caller), else by its path, else the
// request's own; none when all three are empty.
std::optional<Dictionary> LoadDictionary(const std::string& path, const std::string& text,
                                         const Request& request) {
  if (!text.empty()) return ParseDictionary(text, path);
  if (!path.empty()) return ReadDictionary(path);
  if (!request.dictionary.empty()) return ReadDictionary(request.dictionary);
  return std::nullopt;
}

// One pass of a request over the columns of a data frame: the data source
// defined from the columns (and a dictionary file), the streaming iterator
// and the engine tables. Owns all of them; the frame's buffers are the
// caller's.
class FramePass {
 public:
  FramePass(const Request& request, FrameColumns& frame, const std::optional<Dictionary>& file,
            const std::string& filePath, std::string weight) {
    ColumnTable& table = frame.Table();
    if (file)
      ApplyDictionary(*file, filePath.empty() ? request.dictionary : filePath,
                      table.GetDictionary());
    table.FitStringWidths();
    if (weight.empty())
      weight = !request.weight.empty() ? request.weight : file ? file->weight : "";
    DefineVariables(table.GetDictionary(), _dataSource);
    const int weightVariable = WeightVariable(table.GetDictionary(), weight);
    _source = std::make_unique<ColumnCaseSource>(table, _dataSource);
    _iterator = std::make_unique<StreamingCaseIterator>(_dataSource, weightVariable, *_source);
    _runner = std::make_unique<RequestRunner>(request, _dataSource, *_iterator, weightVariable);
  }

  // Feeds every case without the interpreter lock: the source reads only
  // buffers that the caller keeps alive.
  void Feed(int threads, size_t tables) {
    py::gil_scoped_release release;
    _runner->Feed([](long) {}, 1L << 40, AggregationThreads(threads, tables));
  }

  RequestRunner& Runner() { return *_runner; }
  const StreamingCaseIterator& Iterator() const { return *_iterator; }

 private:
  QUOR_DataSource _dataSource;
  std::unique_ptr<ColumnCaseSource> _source;
  std::unique_ptr<StreamingCaseIterator> _iterator;
  std::unique_ptr<RequestRunner> _runner;
};

// A request over the columns of a data frame. A dictionary file (the
// argument, else the request's) lends the columns its labels, missing values
// and weight.
Tables RunFrame(const std::string& requestPath, const std::string& requestText,
                const std::string& base, FrameColumns& frame, const std::string& dictionaryPath,
                const std::string& weight, int threads) {
  const Request request = LoadRequest(requestPath, requestText, base);
  FramePass pass(request, frame, LoadDictionary(dictionaryPath, "", request), dictionaryPath,
                 weight);
  pass.Feed(threads, request.tables.size());
  return Tables{pass.Runner().Results()};
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A request over a data file, as `tabcube run` reads it; non-empty arguments
// override the request's own data, dictionary, SQLite table and weight.
Tables RunFile(const std::string& requestPath, const std::string& requestText,
               const std::string& base, std::string data, std::string dictionaryPath,
               std::string sqlite, std::string weight, int threads) {
  const Request request = LoadRequest(requestPath, requestText, base);
  if (data.empty()) data = request.data;
  if (dictionaryPath.empty()) dictionaryPath = request.dictionary;
  if (sqlite.empty()) sqlite = request.sqlite;
  const std::string source = requestPath.empty() ? "request" : requestPath;
  if (data.empty()) throw InputError(source + ": $.data: no data file given");
  const bool fromSqlite = !sqlite.empty() || EndsWith(data, ".db") || EndsWith(data, ".sqlite") ||
                          EndsWith(data, ".sqlite3");
  if (fromSqlite && sqlite.empty())
    throw InputError(data + ": name the table or query with --sqlite or \"sqlite\"");
  Dictionary dictionary;
  {
    py::gil_scoped_release release;
    dictionary = !dictionaryPath.empty() ? ReadDictionary(dictionaryPath)
                 : fromSqlite            ? InferSqliteDictionary(data, sqlite)
                                         : InferDictionary(data);
  }
  if (weight.empty()) weight = request.weight.empty() ? dictionary.weight : request.weight;
  return Tables{
      Aggregate(request, dictionary, weight, threads, [&](const QUOR_DataSource& dataSource) {
        return fromSqlite ? OpenSqlite(data, sqlite, dictionary, dataSource)
                          : OpenCsv(data, dictionary, dataSource);
      })};
}

void AddValueLabel(FrameColumns& frame, const std::string& name, const py::object& value,
                   const std::string& label) {
  VariableSpec& spec = frame.Spec(name);
  VariableSpec::ValueLabel entry;
  entry.label = label;
  if (spec.isString) {
    if (!py::isinstance<py::str>(value))
      throw py::type_error("labels: column " + name + " holds text; label values must be str");
    entry.stringValue = value.cast<std::string>();
  } else {
    if (py::isinstance<py::str>(value))
      throw py::type_error("labels: column " + name +
                           " holds numbers; label values must be numbers");
    entry.numericValue = value.cast<double>();
  }
  spec.valueLabels.push_back(entry);
}

void AddMissing(FrameColumns& frame, const std::string& name, const py::object& value) {
  VariableSpec& spec = frame.Spec(name);
  if (spec.isString) {
    if (!py::isinstance<py::str>(value))
      throw py::type_error("missing: column " + name + " holds text; missing values must be str");
    spec.missingStrings.push_back(value.cast<std::string>());
  } else {
    if (py::isinstance<py::str>(value))
      throw py::type_error("missing: column " + name +
                           " holds numbers; missing values must be numbers");
    spec.missingNumbers.push_back(value.cast<double>());
  }
}

}  // namespace

PYBIND11_MODULE(_tabcube, module) {
  module.doc() = "tabcube's engine and request layer (use the tabcube package)";
  py::register_exception_translator([](std::exception_ptr error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const InputError& inputError) {
      PyErr_SetString(PyExc_ValueError, inputError.what());
    }
  });

  py::class_<FrameColumns>(module, "FrameColumns")
      .def(py::init<>())
      .def("add_numbers", &FrameColumns::AddNumbers)
      .def("add_strings", &FrameColumns::AddStrings, py::arg("name"), py::arg("values"),
           py::arg("blank_missing") = std::nullopt)
      .def("set_width",
           [](FrameColumns& frame, const std::string& name, int width) {
             VariableSpec& spec = frame.Spec(name);
             spec.width = std::max(spec.width, width);
           })
      .def("set_label", [](FrameColumns& frame, const std::string& name,
                           const std::string& label) { frame.Spec(name).label = label; })
      .def("add_value_label", &AddValueLabel)
      .def("add_missing", &AddMissing)
      .def("set_missing_range", [](FrameColumns& frame, const std::string& name, double low,
                                   double high) {
        VariableSpec& spec = frame.Spec(name);
        if (spec.isString)
          throw py::type_error("missing: column " + name + " holds text; a range needs numbers");
        spec.hasMissingRange = true;
        spec.missingLow = low;
        spec.missingHigh = high;
      });

  py::class_<Tables>(module, "Tables")
      .def("__len__", [](const Tables& tables) { return tables.cubes.size(); })
      .def("select", &Tables::Select)
      .def("json", [](const Tables& tables) { return tables.Format(WriteJson); })
      .def("csv", [](const Tables& tables) { return tables.Format(WriteCsv); })
      .def("text", [](const Tables& tables) { return tables.Format(WriteText); });

  module.def("run_frame", &RunFrame, py::arg("request_path"), py::arg("request_text"),
             py::arg("base"), py::arg("frame"), py::arg("dictionary"), py::arg("weight"),
             py::arg("threads"));
  module.def("run_file", &RunFile, py::arg("request_path"), py::arg("request_text"),
             py::arg("base"), py::arg("data"), py::arg("dictionary"), py::arg("sqlite"),
             py::arg("weight"), py::arg("threads"));
}
