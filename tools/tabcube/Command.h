#ifndef TABCUBE_TOOL_COMMAND_H
#define TABCUBE_TOOL_COMMAND_H

#include <ostream>
#include <string>
#include <vector>

#include "Output.h"
#include "TableResult.h"

// What one run of the command needs: the request and where its data come
// from (command-line values override the request's own), and how to write.
struct CommandOptions {
  std::string request;
  std::string data;
  std::string dictionary;
  std::string sqlite;
  std::string weight;
  OutputFormat format = OutputFormat::kText;
  std::string output;  // empty: standard output
  bool progress = false;
  // Threads that aggregate: 0 feeds every table on the reading thread; above
  // 0 every table is aggregated on a thread of its own while the reading
  // thread parses the data; -1 chooses: threads for a request of several
  // tables on a machine of two cores or more.
  int threads = -1;
};

// The output format of its --format name ("text", "csv" or "json"); another
// name throws InputError.
OutputFormat ParseFormat(const std::string& name);

// Runs a request: reads the dictionary (or infers one) and streams the data
// through the engine. Bad input throws InputError.
std::vector<CubeResult> RunRequest(const CommandOptions& options);

// Writes the tables in options.format to options.output (through a temporary
// file renamed into place, so a failed run leaves no partial output) or, when
// no output file is named, to standardOutput.
void WriteResults(const std::vector<CubeResult>& results, const CommandOptions& options,
                  std::ostream& standardOutput);

#endif
