// tabcube: reads a data set (CSV or SQLite) and a table request (JSON) and
// writes finished tables as text, CSV or JSON.

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "Command.h"
#include "InputError.h"

namespace {

constexpr int kInputErrorStatus = 2;

// The bundled requests and data: TABCUBE_EXAMPLES when set, else those an
// installation put beside the command (share/tabcube/examples), else the
// source tree the command was built from.
std::string ExamplesDirectory() {
  const char* configured = std::getenv("TABCUBE_EXAMPLES");
  if (configured) return configured;
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        executable.parent_path() / TABCUBE_INSTALLED_EXAMPLES_DIR;
    if (std::filesystem::exists(installed / "requests" / "demo.json", error))
      return installed.string();
  }
  return TABCUBE_EXAMPLES_DIR;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"tabcube: multi-way tables of categorical data with statistics per cell"};
  app.require_subcommand(1);
  CommandOptions options;
  options.progress = true;
  std::string format = "text";

  CLI::App* run = app.add_subcommand("run", "run a table request");
  run->add_option("request", options.request, "table request (JSON)")->required();
  run->add_option("--data", options.data, "data file: CSV, or an SQLite database");
  run->add_option("--dictionary", options.dictionary, "dictionary (JSON)");
  run->add_option("--sqlite", options.sqlite, "table or query of the SQLite database");
  run->add_option("--weight", options.weight, "weight variable");
  run->add_option("--format", format, "text, csv or json");
  run->add_option("--output", options.output, "output file (default: standard output)");
  run->add_option("--threads", options.threads,
                  "0: aggregate on the reading thread; 1: each table on a thread of its own; "
                  "N >= 2: a CSV file read in N parts on N threads (default: a part per core "
                  "for a CSV file of a megabyte or more per part, else 1 for several tables "
                  "on a machine of two cores or more)");

  CLI::App* demo = app.add_subcommand("demo", "run the bundled demonstration request");
  demo->add_option("--format", format, "text, csv or json");
  demo->add_option("--output", options.output, "output file (default: standard output)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help
    // Every error of the command reads "tabcube: <place>: <problem>".
    std::cerr << "tabcube: arguments: " << error.what() << " (see tabcube --help)\n";
    return kInputErrorStatus;
  }
  std::vector<std::string> requests{options.request};
  if (demo->parsed())
    requests = {ExamplesDirectory() + "/requests/demo.json",
                ExamplesDirectory() + "/requests/demo_survey.json"};

  try {
    options.format = ParseFormat(format);
    std::vector<CubeResult> results;
    for (const std::string& request : requests) {
      options.request = request;
      std::vector<CubeResult> more = RunRequest(options);
      results.insert(results.end(), more.begin(), more.end());
    }
    WriteResults(results, options, std::cout);
  } catch (const InputError& error) {
    std::cerr << "tabcube: " << error.what() << "\n";
    return kInputErrorStatus;
  } catch (const std::invalid_argument& error) {
    std::cerr << "tabcube: " << error.what() << "\n";
    return kInputErrorStatus;
  } catch (const std::exception& error) {
    std::cerr << "tabcube: internal error: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
