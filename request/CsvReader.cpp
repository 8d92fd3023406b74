#include "CsvReader.h"

#include <cerrno>
#include <cstring>

#include "InputError.h"

namespace {
constexpr int kEndOfFile = -1;
constexpr char kQuote = '"';
constexpr char kSeparator = ',';
}  // namespace

CsvReader::CsvReader(const std::string& path) : _path(path), _buffer(new char[kBlockSize]) {
  _file = std::fopen(path.c_str(), "rb");
  if (!_file) throw InputError(path + ": cannot open for reading: " + std::strerror(errno));
  Rewind();
}

CsvReader::~CsvReader() {
  if (_file) std::fclose(_file);
}

void CsvReader::Rewind() {
  std::rewind(_file);
  _position = _end = 0;
  _line = 1;
  _column = 1;
  _recordLine = 0;
  static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
  if (Fill() && _end >= 3 && std::memcmp(_buffer.get(), kByteOrderMark, 3) == 0) _position = 3;
}

bool CsvReader::Fill() {
  if (_position < _end) return true;
  _end = std::fread(_buffer.get(), 1, kBlockSize, _file);
  _position = 0;
  if (_end == 0 && std::ferror(_file)) Fail(_line, _column, "read error");
  return _end > 0;
}

int CsvReader::Peek() {
  if (_position >= _end && !Fill()) return kEndOfFile;
  return static_cast<unsigned char>(_buffer[_position]);
}

int CsvReader::Get() {
  int c = Peek();
  if (c == kEndOfFile) return c;
  ++_position;
  if (c == '\n') {
    ++_line;
    _column = 1;
  } else {
    ++_column;
  }
  return c;
}

void CsvReader::Fail(long line, long column, const std::string& problem) const {
  throw InputError(_path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                   problem);
}

bool CsvReader::NextRecord(std::vector<std::string>& fields) {
  if (Peek() == kEndOfFile) return false;
  _recordLine = _line;
  size_t count = 0;
  for (;;) {
    if (count == fields.size()) fields.emplace_back();
    std::string& field = fields[count++];
    field.clear();
    int c = Peek();
    if (c == kQuote) {
      const long startLine = _line, startColumn = _column;
      Get();
      for (;;) {
        c = Get();
        if (c == kEndOfFile) Fail(startLine, startColumn, "quoted field is not closed");
        if (c == kQuote) {
          if (Peek() != kQuote) break;
          Get();
        }
        field.push_back(static_cast<char>(c));
      }
      c = Peek();
      if (c != kSeparator && c != '\n' && c != '\r' && c != kEndOfFile)
        Fail(_line, _column, "unexpected character after a closing quote");
    } else {
      // Fast path: copy the unquoted run within the current block.
      for (;;) {
        if (_position >= _end && !Fill()) break;
        const char* start = _buffer.get() + _position;
        const char* stop = start;
        const char* limit = _buffer.get() + _end;
        while (stop < limit && *stop != kSeparator && *stop != '\n' && *stop != '\r' &&
               *stop != kQuote)
          ++stop;
        field.append(start, static_cast<size_t>(stop - start));
        _column += stop - start;
        _position += static_cast<size_t>(stop - start);
        if (stop < limit) break;
      }
      if (Peek() == kQuote) Fail(_line, _column, "quote inside an unquoted field");
    }
    c = Get();
    if (c == kSeparator) continue;
    if (c == '\r') {
      if (Peek() == '\n') {
        Get();
      } else {
        ++_line;  // a lone carriage return ends the line too
        _column = 1;
      }
    }
    break;  // line end or end of file
  }
  fields.resize(count);
  return true;
}
