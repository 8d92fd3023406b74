#ifndef TABCUBE_REQUEST_TABCUBE_REQUEST_H
#define TABCUBE_REQUEST_TABCUBE_REQUEST_H

// The entry points of the request library for front ends (the tabcube
// command, the Python module): parse a request, run it over a data set (files
// or cases the caller supplies), get the finished tables as plain results and
// write them as text, CSV or JSON. See request/README.md.
//
// Every problem with what the user gave (a file, the data, the request) throws
// InputError with a "place: problem" message; nothing else is thrown for bad
// input.

#include <functional>
#include <string>
#include <vector>

#include "DataInput.h"    // CaseSource: cases supplied by the caller
#include "Dictionary.h"   // Dictionary, VariableSpec, ReadDictionary, InferDictionary
#include "InputError.h"   // InputError
#include "Output.h"       // OutputFormat, WriteTables, WriteText, WriteCsv, WriteJson
#include "Request.h"      // Request, ParseRequest (text or JSON), ReadRequest
#include "TableResult.h"  // CubeResult and its parts

// Where the data of a run come from and how the run goes. Empty names take
// the request's own.
struct RunOptions {
  std::string data;        // CSV file, or SQLite database (.db, .sqlite, .sqlite3 or sqlite given)
  std::string dictionary;  // dictionary file; without one, inferred from the data
  std::string sqlite;      // table name or SELECT/WITH query of the SQLite database
  std::string weight;      // weight variable; else the request's, else the dictionary's
  // Threads that aggregate: 0 feeds every table on the reading thread; 1
  // aggregates every table on a thread of its own while the reading thread
  // parses the data; N >= 2 reads a CSV file in N parts on N threads, each
  // part into tables of its own, merged in file order (other sources: as 1);
  // -1 chooses: a part per core for a CSV file of a megabyte or more per
  // part, else a thread per table for a request of several tables on a
  // machine of two cores or more. The tables are the same (sums and means
  // of parts added in another order up to their last bits).
  int threads = -1;
  // Called every progressInterval cases (when set) with the number of cases
  // read and the seconds since the pass over the cases began.
  std::function<void(long casesRead, double seconds)> progress;
  long progressInterval = 1000000;
  // Records of a CSV file that type inference reads before the one pass over
  // the cases (all of them when negative). When a later field does not fit
  // the types found (text in a numeric column, a longer string), the whole
  // file is inferred and the cases are read again.
  long inferenceRecords = 100000;
  // Called with each warning about the request (such as a category that no
  // case can reach) before the cases are read; "<source>: <path>: <problem>".
  std::function<void(const std::string&)> warning;
};

// Runs a request over the data files it names (options override them):
// reads the dictionary (or infers one from the data), streams the cases
// through every table and returns every crossing of every table, in request
// order.
std::vector<CubeResult> RunRequestOnFiles(const Request& request, const RunOptions& options);

// Runs a request over cases the caller supplies. The dictionary describes the
// variables; each case is a row laid out as DefineVariables lays out a data
// source of that dictionary (variables in dictionary order, a number in one
// cell, a string blank-padded over QUOR_CellCount(width) cells). The weight
// comes from options.weight, else the request, else the dictionary;
// options.data, dictionary and sqlite are not used. The source is read once,
// from where it stands.
std::vector<CubeResult> RunRequestOnCases(const Request& request, const Dictionary& dictionary,
                                          CaseSource& cases, const RunOptions& options);

// Partial states: the cases of a request aggregated in parts apart (on other
// threads, in other processes, on other machines) and the parts' states
// merged in case order give the tables of one pass over all the cases. A
// state holds every table's categories met, cells and counts of cases left
// out; the numbers of cases read, left out for their weight and left out by
// the request's filter travel beside it.
struct PartialState {
  std::string bytes;
  long casesRead = 0;
  long casesExcludedByWeight = 0;
  long casesFilteredOut = 0;
};

// The state of cases the caller supplies, as RunRequestOnCases reads them.
PartialState AggregateToState(const Request& request, const Dictionary& dictionary,
                              CaseSource& cases, const RunOptions& options);
// The states of consecutive parts, given in case order, merged into one. A
// state of another request or dictionary, or no state at all, throws
// InputError ("partial state: ...").
PartialState MergeStates(const Request& request, const Dictionary& dictionary,
                         const std::vector<PartialState>& parts, const RunOptions& options);
// The finished tables of a state (an empty one: of no cases).
std::vector<CubeResult> FinishState(const Request& request, const Dictionary& dictionary,
                                    const PartialState& state, const RunOptions& options);

#endif
