#ifndef TABCUBE_REQUEST_CSV_READER_H
#define TABCUBE_REQUEST_CSV_READER_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Bytes the CSV reader reads at a time. The fuzz build makes blocks tiny, so
// that fields, quotes and line ends fall across block boundaries.
#ifndef TABCUBE_CSV_BLOCK_SIZE
#define TABCUBE_CSV_BLOCK_SIZE (1 << 20)
#endif

// CsvReader: streams the records of a comma-separated file (RFC 4180: quoted
// fields with doubled quotes, separators and line breaks inside quotes, CRLF
// or LF line ends, an optional UTF-8 byte-order mark). Reads the file in large
// blocks and reuses the field strings, so memory does not grow with the file.
// Malformed input throws InputError naming the file, line and column.
class CsvReader {
 public:
  // Opens the file; throws InputError when it cannot be read.
  explicit CsvReader(const std::string& path);
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Reads the next record into fields (resized to the record's field count).
  // Returns false at the end of the file. A last line without a line end is
  // a record; an empty line at the very end is not.
  bool NextRecord(std::vector<std::string>& fields);

  // Line on which the record last returned starts (1-based).
  long RecordLine() const { return _recordLine; }
  const std::string& Path() const { return _path; }
  // Restarts at the first record (after the byte-order mark).
  void Rewind();

  // Throws InputError "<file>:<line>:<column>: <problem>".
  [[noreturn]] void Fail(long line, long column, const std::string& problem) const;

 private:
  static constexpr size_t kBlockSize = TABCUBE_CSV_BLOCK_SIZE;

  bool Fill();
  int Peek();
  int Get();

  std::string _path;
  std::FILE* _file = nullptr;
  std::unique_ptr<char[]> _buffer;  // kBlockSize bytes, not cleared: only read bytes are used
  size_t _position = 0;
  size_t _end = 0;
  long _line = 1;
  long _column = 1;
  long _recordLine = 0;
};

#endif
