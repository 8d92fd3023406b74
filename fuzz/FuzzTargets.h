#ifndef TABCUBE_FUZZ_TARGETS_H
#define TABCUBE_FUZZ_TARGETS_H

#include <cstddef>
#include <cstdint>
#include <string>

// The fuzz targets of the tabcube command's readers and of its whole path
// from request and data to output. Each takes one input, runs it and returns
// 0. Bad input must end in InputError, which the targets catch; anything else
// (another exception, an assertion, a sanitizer report) is a finding. The
// libFuzzer drivers in this directory and the regression test that replays
// fuzz/regressions and fuzz/corpus call the same functions.

// CSV reader: every record of the input, a rewind and a second pass, then
// type inference and reading the cases with the inferred dictionary, then
// inference from the first two records, which must give the whole file's
// types unless the cases outgrow them.
int FuzzCsv(const uint8_t* data, size_t size);

// Dictionary reader (JSON), then defining the variables in a data source.
int FuzzDictionary(const uint8_t* data, size_t size);

// Table request reader (JSON).
int FuzzRequest(const uint8_t* data, size_t size);

// Filter syntax: parses the input as a filter, binds it to a data source of
// two numeric variables and a string (with missing values) and evaluates it
// on rows of present, missing and extreme values. A case must never be kept
// both by a filter and by its negation.
int FuzzFilter(const uint8_t* data, size_t size);

// The whole command: the input is a request, a line "%%", CSV data, and
// optionally another line "%%" and a dictionary. Runs the request over the
// data and writes the tables as text, CSV and JSON into memory, once with
// every table on the reading thread and once with a thread per table; the two
// must agree.
int FuzzCommand(const uint8_t* data, size_t size);

// Partial-table states: merges a state into a fixed table of the engine (a
// categorical variable, a string variable, a category set and a dichotomy
// set; counts, percentages, responses, means and medians) fed with a few
// cases. The input's first byte chooses: 0 takes the rest as the state;
// otherwise the rest edits a valid state of a second table of the same
// definition (truncation, then byte changes). A refused state must leave the
// table exactly as it was; a merged one must read back without fault.
int FuzzState(const uint8_t* data, size_t size);

// The request library's partial states (every table's state after its
// length): merges a state into the state of a fixed request's tables over
// fixed cases and finishes the tables. The first byte chooses as for the
// state target: 0 takes the rest as the state, otherwise the rest edits a
// valid state. A refused state ends in InputError.
int FuzzPartState(const uint8_t* data, size_t size);

// The target of a name ("csv", "dictionary", "request", "filter", "command",
// "state", "partstate"), or null.
using FuzzTarget = int (*)(const uint8_t*, size_t);
FuzzTarget FindFuzzTarget(const std::string& name);

#endif
