#ifndef TESTS_SUPPORT_TESTVALUES_H
#define TESTS_SUPPORT_TESTVALUES_H

// Helpers shared by the engine and host tests: host values built from
// numbers and texts, the cells a dimension holds for the current case, the
// committed reference files, and a capture of the lines the engine hands to
// the host's output.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TableDimension.h"
#include "baseutil.h"
#include "casesource.h"

namespace testsupport {

// A numeric host value.
inline OBS Num(double number) {
  OBS value;
  value.num = number;
  return value;
}

// A string value of the given width holding text, blank-filled to its last
// 8-byte unit.
inline std::vector<OBS> Str(const std::string& text, int width) {
  const size_t units = width <= 8 ? 1 : static_cast<size_t>(width + 7) / 8;
  std::vector<OBS> value(units);
  std::memset(value.data(), ' ', units * 8);
  std::memcpy(value.data(), text.data(), text.size());
  return value;
}

// The first count bytes of a value.
inline std::string BytesOf(const OBS& value, size_t count) {
  return std::string(reinterpret_cast<const char*>(&value), count);
}

// The category cells the dimension holds for the current case.
inline std::vector<int> Cells(const TableDimension& dimension) {
  std::vector<int> cells;
  int current = 0;
  cells.push_back(dimension.FirstCategoryCell(current));
  while (!dimension.IsCurrentCellLast(current))
    cells.push_back(dimension.NextCategoryCell(current));
  return cells;
}

// A file under tests/reference/.
inline std::string ReferencePath(const std::string& name) {
  return std::string(TABCUBE_SOURCE_DIR) + "/tests/reference/" + name;
}

// The fields of a line; a trailing separator ends with an empty field.
inline std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.push_back("");
  return fields;
}

// The rows of a tab-separated file under tests/, without its header line and
// without lines starting with '#'.
inline std::vector<std::vector<std::string>> ReadTsv(const std::string& name) {
  std::ifstream in(std::string(TABCUBE_SOURCE_DIR) + "/tests/" + name);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (!header) rows.push_back(Split(line, '\t'));
    header = false;
  }
  return rows;
}

// Collects the lines the engine hands to the host's output while alive.
class OutputCapture {
 public:
  OutputCapture() {
    SetOutputSink([this](long code, const std::string& line) { lines.emplace_back(code, line); });
  }
  ~OutputCapture() { SetOutputSink(nullptr); }
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;
  int Count(long code, const std::string& line) const {
    int n = 0;
    for (const auto& l : lines) n += (l.first == code && l.second == line) ? 1 : 0;
    return n;
  }
  std::vector<std::pair<long, std::string>> lines;
};

// Compares text with the golden file tests/support/golden/<name>.txt. With
// TABCUBE_UPDATE_GOLDEN=1 in the environment the file is written instead, to
// be reviewed like any other change.
inline void ExpectGolden(const std::string& name, const std::string& text) {
  const std::string path =
      std::string(TABCUBE_SOURCE_DIR) + "/tests/support/golden/" + name + ".txt";
  if (std::getenv("TABCUBE_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "no golden file " << path;
  std::ostringstream golden;
  golden << in.rdbuf();
  EXPECT_EQ(text, golden.str()) << "differs from " << path;
}

// The captured lines as one text, each as "<code>|<line>" on a line of its own.
inline std::string Joined(const std::vector<std::pair<long, std::string>>& lines) {
  std::string text;
  for (const auto& line : lines) text += std::to_string(line.first) + "|" + line.second + "\n";
  return text;
}

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TESTVALUES_H
