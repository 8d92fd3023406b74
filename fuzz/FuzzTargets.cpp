#include "FuzzTargets.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "CsvReader.h"
#include "DataInput.h"
#include "Dictionary.h"
#include "InputError.h"
#include "Request.h"

namespace {

// A private directory for the files the readers take by name, created once
// per process and removed at exit.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tabcube_fuzz_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
      std::perror("tabcube fuzz: mkdtemp");
      std::abort();
    }
    _path = name.data();
  }
  ~ScratchDirectory() {
    for (const std::string& file : _files) std::remove(file.c_str());
    rmdir(_path.c_str());
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Writes the bytes to a file of that name in the directory; returns its path.
  std::string Write(const std::string& name, const char* data, size_t size) {
    const std::string path = _path + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
      std::perror("tabcube fuzz: writing a scratch file");
      std::abort();
    }
    bool known = false;
    for (const std::string& file : _files) known = known || file == path;
    if (!known) _files.push_back(path);
    return path;
  }

  std::string Write(const std::string& name, const std::string& text) {
    return Write(name, text.data(), text.size());
  }

 private:
  std::string _path;
  std::vector<std::string> _files;
};

ScratchDirectory& Scratch() {
  static ScratchDirectory directory;
  return directory;
}

void ReadAllRecords(CsvReader& reader) {
  std::vector<std::string> fields;
  long previousLine = 0;
  while (reader.NextRecord(fields)) {
    // Records start on rising lines; a record has at least one field.
    if (reader.RecordLine() <= previousLine || fields.empty()) std::abort();
    previousLine = reader.RecordLine();
  }
}

// Splits the command input at lines that hold exactly "%%".
std::vector<std::string> SplitParts(const std::string& text) {
  std::vector<std::string> parts(1);
  size_t position = 0;
  for (;;) {
    const size_t end = text.find('\n', position);
    const size_t lineEnd = end == std::string::npos ? text.size() : end;
    if (text.compare(position, lineEnd - position, "%%") == 0) {
      parts.emplace_back();
    } else {
      parts.back().append(text, position, lineEnd - position);
      if (end != std::string::npos) parts.back().push_back('\n');
    }
    if (end == std::string::npos) return parts;
    position = end + 1;
  }
}

// Bad input must end in a clear message: "<place>: <problem>".
void CheckMessage(const InputError& error) {
  const std::string message = error.what();
  const size_t colon = message.find(": ");
  if (colon == 0 || colon == std::string::npos || colon + 2 == message.size()) {
    std::fprintf(stderr, "unclear input error: \"%s\"\n", message.c_str());
    std::abort();
  }
}

}  // namespace

int FuzzCsv(const uint8_t* data, size_t size) {
  const std::string path = Scratch().Write("data.csv", reinterpret_cast<const char*>(data), size);
  try {
    CsvReader reader(path);
    ReadAllRecords(reader);
    reader.Rewind();
    ReadAllRecords(reader);
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  try {
    const Dictionary dictionary = InferDictionary(path);
    QUOR_DataSource dataSource;
    DefineVariables(dictionary, dataSource);
    std::unique_ptr<CaseSource> source = OpenCsv(path, dictionary, dataSource);
    std::vector<OBS> row(static_cast<size_t>(dataSource.RowWidth()) + 1);
    while (source->ReadCase(row.data())) {
    }
    source->Rewind();
    while (source->ReadCase(row.data())) {
    }
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  return 0;
}

int FuzzDictionary(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const Dictionary dictionary = ParseDictionary(text, "dictionary.json");
    QUOR_DataSource dataSource;
    DefineVariables(dictionary, dataSource);
    if (dataSource.NumberOfVariables() != static_cast<int>(dictionary.variables.size()))
      std::abort();
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  return 0;
}

int FuzzRequest(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    ParseRequest(text, "request.json", "/nonexistent");
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  return 0;
}

int FuzzCommand(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts =
      SplitParts(std::string(reinterpret_cast<const char*>(data), size));
  const std::string& requestText = parts[0];
  const bool hasDictionary = parts.size() > 2;
  try {
    // Requests that name other files (a dictionary of their own, an SQLite
    // table) reach beyond this input; the readers of those are fuzzed apart.
    const Request request = ParseRequest(requestText, "request.json", "/nonexistent");
    if (!request.sqlite.empty() || (!request.dictionary.empty() && !hasDictionary)) return 0;
  } catch (const InputError& error) {
    CheckMessage(error);
    return 0;
  }
  CommandOptions options;
  options.request = Scratch().Write("request.json", requestText);
  options.data = Scratch().Write("data.csv", parts.size() > 1 ? parts[1] : std::string());
  if (hasDictionary) options.dictionary = Scratch().Write("dictionary.json", parts[2]);
  // The whole path twice: every table fed on the reading thread, and every
  // table on a thread of its own. Both must give the same tables in every
  // format, or the same error.
  std::string outcomes[2];
  for (int threads : {0, 2}) {
    options.threads = threads;
    std::string& outcome = outcomes[threads ? 1 : 0];
    try {
      const std::vector<CubeResult> results = RunRequest(options);
      for (OutputFormat format : {OutputFormat::kText, OutputFormat::kCsv, OutputFormat::kJson}) {
        options.format = format;
        std::ostringstream out;
        WriteResults(results, options, out);
        outcome += out.str();
      }
      options.format = OutputFormat::kText;
    } catch (const InputError& error) {
      CheckMessage(error);
      outcome = std::string("error: ") + error.what();
    }
  }
  if (outcomes[0] != outcomes[1]) {
    std::fprintf(stderr, "threaded and unthreaded runs differ:\n%s\n---\n%s\n", outcomes[0].c_str(),
                 outcomes[1].c_str());
    std::abort();
  }
  return 0;
}

FuzzTarget FindFuzzTarget(const std::string& name) {
  if (name == "csv") return FuzzCsv;
  if (name == "dictionary") return FuzzDictionary;
  if (name == "request") return FuzzRequest;
  if (name == "command") return FuzzCommand;
  return nullptr;
}
