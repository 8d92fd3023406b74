#ifndef TABCUBE_REQUEST_CSV_READER_H
#define TABCUBE_REQUEST_CSV_READER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Bytes the CSV reader reads at a time. The fuzz build makes blocks tiny, so
// that fields, quotes, line ends and characters fall across block boundaries.
#ifndef TABCUBE_CSV_BLOCK_SIZE
#define TABCUBE_CSV_BLOCK_SIZE (1 << 20)
// Splits the records of a CSV file from byte offset first (the start of a
// record, such as the one after the header) to the end of the file into
// `parts` contiguous ranges of about equal size, each starting at a record:
// returns parts + 1 offsets, the first being first and the last the file's
// size (ranges may be empty). Quotes are counted on `parts` threads, so that
// each cut, made at the first line end after an even share of the bytes, is
// known to lie outside a quoted field. In a malformed file a cut may fall
// inside a record; the part before it then meets the fault first.
std::vector<uint64_t> SplitCsvRecords(const std::string& path, uint64_t first, int parts);
// The same with the cuts given: parts start at the first record after each
// of the (ascending) byte offsets in cuts.
std::vector<uint64_t> SplitCsvRecordsAt(const std::string& path, uint64_t first,
                                        const std::vector<uint64_t>& cuts);

#endif

// CsvReader: streams the records of a comma-separated file (RFC 4180: quoted
// fields with doubled quotes, separators and line breaks inside quotes, CRLF
// or LF line ends, an optional UTF-8 byte-order mark). Owns a buffer that
// holds whole records: it reads the file in large blocks, and a record cut
// by the end of a block is moved to the front before the next block is read
// (the buffer grows only for a record longer than a block). Fields are handed
// out as views into the buffer, with doubled quotes undone in place, so no
// field is copied. Malformed input, bytes that are not UTF-8 among them,
// throws InputError naming the file, line and column.
class CsvReader {
 public:
  // Opens the file; throws InputError when it cannot be read.
  explicit CsvReader(const std::string& path);
  // Reads only the records that start at a byte offset in [first, end): one
  // part of a file that SplitCsvRecords split. first must be the start of a
  // record. Line numbers count from the part's first line.
  CsvReader(const std::string& path, uint64_t first, uint64_t end);
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Reads the next record into fields (resized to the record's field count);
  // the views stay valid until the next call. Returns false at the end of the
  // file. A last line without a line end is a record; an empty line at the
  // very end is not.
  bool NextRecord(std::vector<std::string_view>& fields);
  // The same, copying the fields.
  bool NextRecord(std::vector<std::string>& fields);

  // Line on which the record last returned starts (1-based).
  long RecordLine() const { return _recordLine; }
  const std::string& Path() const { return _path; }
  // Restarts at the first record (after the byte-order mark, or at the
  // part's first byte).
  void Rewind();
  // Byte offset in the file of the next record to be read.
  uint64_t Offset() const { return _offset + _begin; }

  // Throws InputError "<file>:<line>:<column>: <problem>".
  [[noreturn]] void Fail(long line, long column, const std::string& problem) const;

 private:
  static constexpr size_t kBlockSize = TABCUBE_CSV_BLOCK_SIZE;

  // Finds the record at _begin; false when the buffer ends before it does
  // and more of the file is to be read.
  bool ScanRecord(std::vector<std::string_view>& fields);
  // Checks the UTF-8 character at p; false when it needs bytes not read yet.
  bool CheckCharacter(const char*& p, const char* end, long line, long column) const;
  // Moves the unread bytes to the front and reads more; false at the end of the file.
  bool Refill();
  static std::string_view Unescape(std::string_view quoted);

  std::string _path;
  std::FILE* _file = nullptr;
  uint64_t _first = 0;             // offset of the first record
  uint64_t _partEnd = UINT64_MAX;  // records starting here or after are not read
  uint64_t _offset = 0;            // file offset of _buffer[0]
  std::vector<char> _buffer;
  size_t _begin = 0;   // the first byte not yet returned
  size_t _filled = 0;  // the end of the bytes read
  bool _atEnd = false;
  long _line = 1;  // line of the byte at _begin
  long _recordLine = 0;
  std::vector<size_t> _escaped;  // fields of the record being read that hold doubled quotes
  std::vector<std::string_view> _views;
};

// Splits the records of a CSV file from byte offset first (the start of a
// record, such as the one after the header) to the end of the file into
// `parts` contiguous ranges of about equal size, each starting at a record:
// returns parts + 1 offsets, the first being first and the last the file's
// size (ranges may be empty). Quotes are counted on `parts` threads, so that
// each cut, made at the first line end after an even share of the bytes, is
// known to lie outside a quoted field. In a malformed file a cut may fall
// inside a record; the part before it then meets the fault first.
std::vector<uint64_t> SplitCsvRecords(const std::string& path, uint64_t first, int parts);
// The same with the cuts given: parts start at the first record after each
// of the (ascending) byte offsets in cuts.
std::vector<uint64_t> SplitCsvRecordsAt(const std::string& path, uint64_t first,
                                        const std::vector<uint64_t>& cuts);

#endif
