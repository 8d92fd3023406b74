#include "Command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "TabcubeRequest.h"

namespace {

constexpr long kProgressInterval = 1000000;

// Writes to a temporary file beside the target and renames it into place, so
// a failed run leaves no partial output.
void WriteFile(const std::vector<CubeResult>& results, OutputFormat format,
               const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    // A device or a pipe (such as /dev/null) is written directly: renaming a
    // temporary file onto it would replace it.
    std::ofstream out(path, std::ios::binary);
    if (!out) throw InputError(path + ": cannot write: " + std::strerror(errno));
    WriteTables(results, format, out);
    out.flush();
    if (!out) throw InputError(path + ": write failed: " + std::strerror(errno));
    return;
  }
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw InputError(path + ": cannot write: " + std::strerror(errno));
    WriteTables(results, format, out);
    out.flush();
    if (!out) {
      const int error = errno;
      std::remove(temporary.c_str());
      throw InputError(path + ": write failed: " + std::strerror(error));
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    throw InputError(path + ": cannot replace the file: " + std::strerror(error));
  }
}

}  // namespace

void WriteResults(const std::vector<CubeResult>& results, const CommandOptions& options,
                  std::ostream& standardOutput) {
  if (options.output.empty())
    WriteTables(results, options.format, standardOutput);
  else
    WriteFile(results, options.format, options.output);
}

OutputFormat ParseFormat(const std::string& name) {
  if (name == "text") return OutputFormat::kText;
  if (name == "csv") return OutputFormat::kCsv;
  if (name == "json") return OutputFormat::kJson;
  throw InputError("--format: expected text, csv or json, found \"" + name + "\"");
}

std::vector<CubeResult> RunRequest(const CommandOptions& options) {
  const Request request = ReadRequest(options.request);
  RunOptions run;
  run.data = options.data;
  run.dictionary = options.dictionary;
  run.sqlite = options.sqlite;
  run.weight = options.weight;
  run.threads = options.threads;
  run.progressInterval = kProgressInterval;
  run.warning = [](const std::string& warning) {
    std::fprintf(stderr, "tabcube: warning: %s\n", warning.c_str());
  };
  const bool showProgress = options.progress && isatty(STDERR_FILENO);
  if (showProgress)
    run.progress = [](long cases, double seconds) {
      std::fprintf(stderr, "\r%ld cases read, %.0f cases/s, %.1f s elapsed", cases,
                   seconds > 0 ? cases / seconds : 0.0, seconds);
    };
  std::vector<CubeResult> results = RunRequestOnFiles(request, run);
  // Every table gives at least one cube, and each holds the number of cases read.
  if (showProgress && !results.empty() && results.front().casesRead >= kProgressInterval)
    std::fprintf(stderr, "\n");
  return results;
}
