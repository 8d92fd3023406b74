#ifndef TABCUBE_TOOL_COMMAND_H
#define TABCUBE_TOOL_COMMAND_H

#include <ostream>
#include <string>

// What one run of the command needs: the request and where its data come
// from (command-line values override the request's own), and how to write.
struct CommandOptions {
  std::string request;
  std::string data;
  std::string dictionary;
  std::string sqlite;
  std::string weight;
  std::string format = "text";
  std::string output;  // empty: standard output
  bool progress = false;
};

// Runs a request end to end: reads the dictionary (or infers one), streams the
// data through the engine and writes the tables. Bad input throws InputError;
// nothing is written to options.output unless the whole run succeeds.
void RunCommand(const CommandOptions& options, std::ostream& standardOutput);

#endif
