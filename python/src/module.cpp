// _tabcube: the extension module behind the Python package tabcube. Runs
// table requests over the columns of a data frame or over data files through
// the same request layer as the tabcube command, with the interpreter lock
// released while cases are aggregated.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>

#include "ColumnSource.h"
#include "TabcubeRequest.h"

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
  if (frame.weight.empty()) frame.weight = file.weight;
}

// Completes the frame's dictionary: a dictionary file (given as text read by
// the caller, else by its path, else the request's own) lends the columns of
// its variables' names its labels, missing values and weight, and text
// columns widen to their labels and missing values.
void CompleteDictionary(const std::string& path, const std::string& text, const Request& request,
                        ColumnTable& table) {
  if (!text.empty())
    ApplyDictionary(ParseDictionary(text, path), path, table.GetDictionary());
  else if (!path.empty())
    ApplyDictionary(ReadDictionary(path), path, table.GetDictionary());
  else if (!request.dictionary.empty())
    ApplyDictionary(ReadDictionary(request.dictionary), request.dictionary, table.GetDictionary());
  table.FitStringWidths();
}

// A request over the columns of a data frame, aggregated without the
// interpreter lock: the cases come only from buffers the frame keeps alive.
Tables RunFrame(const std::string& requestPath, const std::string& requestText,
                const std::string& base, FrameColumns& frame, const std::string& dictionaryPath,
                const std::string& weight, int threads) {
  const Request request = LoadRequest(requestPath, requestText, base);
  ColumnTable& table = frame.Table();
  CompleteDictionary(dictionaryPath, "", request, table);
  RunOptions options;
  options.weight = weight;
  options.threads = threads;
  py::gil_scoped_release release;
  ColumnCaseSource source(table);
  return Tables{RunRequestOnCases(request, table.GetDictionary(), source, options)};
}

// A request over a data file, as `tabcube run` reads it; non-empty arguments
// override the request's own data, dictionary, SQLite table and weight.
Tables RunFile(const std::string& requestPath, const std::string& requestText,
               const std::string& base, const std::string& data, const std::string& dictionary,
               const std::string& sqlite, const std::string& weight, int threads) {
  const Request request = LoadRequest(requestPath, requestText, base);
  RunOptions options;
  options.data = data;
  options.dictionary = dictionary;
  options.sqlite = sqlite;
  options.weight = weight;
  options.threads = threads;
  py::gil_scoped_release release;
  return Tables{RunRequestOnFiles(request, options)};
}

// What every part of a partitioned run rebuilds: the request and the
// dictionary file as text (the workers read no files), the weight.
struct PartDefinition {
  Request request;
  RunOptions options;
};

PartDefinition Define(const std::string& requestSource, const std::string& requestText,
                      const std::string& base, FrameColumns& frame,
                      const std::string& dictionarySource, const std::string& dictionaryText,
                      const std::string& weight) {
  PartDefinition definition{ParseRequest(requestText, requestSource, base), RunOptions()};
  CompleteDictionary(dictionarySource, dictionaryText, definition.request, frame.Table());
  definition.options.weight = weight;
  definition.options.threads = 0;
  return definition;
}

py::tuple ToTuple(const PartialState& state) {
  return py::make_tuple(py::bytes(state.bytes), state.casesRead, state.casesExcludedByWeight,
                        state.casesFilteredOut);
}

PartialState FromTuple(const py::tuple& part) {
  if (part.size() != 4)
    throw py::type_error("partial state: expected (bytes, read, excluded, filtered out)");
  return PartialState{part[0].cast<std::string>(), part[1].cast<long>(), part[2].cast<long>(),
                      part[3].cast<long>()};
}

// The partial state of one partition's columns.
py::tuple PartState(const std::string& requestSource, const std::string& requestText,
                    const std::string& base, FrameColumns& frame,
                    const std::string& dictionarySource, const std::string& dictionaryText,
                    const std::string& weight) {
  const PartDefinition definition =
      Define(requestSource, requestText, base, frame, dictionarySource, dictionaryText, weight);
  PartialState state;
  {
    py::gil_scoped_release release;
    ColumnCaseSource source(frame.Table());
    state = AggregateToState(definition.request, frame.Table().GetDictionary(), source,
                             definition.options);
  }
  return ToTuple(state);
}

// The states of consecutive partitions merged into one; definition holds the
// columns' layout (a frame of no rows).
py::tuple MergePartStates(const std::string& requestSource, const std::string& requestText,
                          const std::string& base, FrameColumns& definition,
                          const std::string& dictionarySource, const std::string& dictionaryText,
                          const std::string& weight, const std::vector<py::tuple>& parts) {
  const PartDefinition part = Define(requestSource, requestText, base, definition, dictionarySource,
                                     dictionaryText, weight);
  std::vector<PartialState> states;
  for (const py::tuple& state : parts) states.push_back(FromTuple(state));
  PartialState merged;
  {
    py::gil_scoped_release release;
    merged = MergeStates(part.request, definition.Table().GetDictionary(), states, part.options);
  }
  return ToTuple(merged);
}

// Checks the request against the columns (a frame of no rows) before any
// partition is read.
void CheckParts(const std::string& requestSource, const std::string& requestText,
                const std::string& base, FrameColumns& definition,
                const std::string& dictionarySource, const std::string& dictionaryText,
                const std::string& weight) {
  const PartDefinition part = Define(requestSource, requestText, base, definition, dictionarySource,
                                     dictionaryText, weight);
  FinishState(part.request, definition.Table().GetDictionary(), PartialState(), part.options);
}

Tables FinishParts(const std::string& requestSource, const std::string& requestText,
                   const std::string& base, FrameColumns& definition,
                   const std::string& dictionarySource, const std::string& dictionaryText,
                   const std::string& weight, const py::tuple& state) {
  const PartDefinition part = Define(requestSource, requestText, base, definition, dictionarySource,
                                     dictionaryText, weight);
  const PartialState merged = FromTuple(state);
  py::gil_scoped_release release;
  return Tables{
      FinishState(part.request, definition.Table().GetDictionary(), merged, part.options)};
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
      .def("show_empty_cells",
           [](const Tables& tables) {
             std::vector<bool> shown;
             for (const CubeResult& cube : tables.cubes) shown.push_back(cube.showEmptyCells);
             return shown;
           })
      .def("text", [](const Tables& tables) { return tables.Format(WriteText); });

  module.def("run_frame", &RunFrame, py::arg("request_path"), py::arg("request_text"),
             py::arg("base"), py::arg("frame"), py::arg("dictionary"), py::arg("weight"),
             py::arg("threads"));
  module.def("run_file", &RunFile, py::arg("request_path"), py::arg("request_text"),
             py::arg("base"), py::arg("data"), py::arg("dictionary"), py::arg("sqlite"),
             py::arg("weight"), py::arg("threads"));
  module.def("part_state", &PartState);
  module.def("merge_part_states", &MergePartStates);
  module.def("check_parts", &CheckParts);
  module.def("finish_parts", &FinishParts);
}
