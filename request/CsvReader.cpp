#include "CsvReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "InputError.h"

namespace {

constexpr char kQuote = '"';
constexpr char kSeparator = ',';
const char* const kUtf8Rule = " (the data must be UTF-8 text)";

bool EndsUnquotedField(char c) {
  return c == kSeparator || c == '\n' || c == '\r' || c == kQuote;
}

long Column(const char* p, const char* lineStart) {
  return static_cast<long>(p - lineStart) + 1;
}

}  // namespace

namespace {

std::FILE* OpenForReading(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw InputError(path + ": cannot open for reading: " + std::strerror(errno));
  return file;
}

void SeekTo(std::FILE* file, uint64_t offset, const std::string& path) {
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0)
    throw InputError(path + ": cannot seek: " + std::strerror(errno));
}

}  // namespace

CsvReader::CsvReader(const std::string& path)
    : _path(path), _file(OpenForReading(path)), _buffer(kBlockSize) {
  Rewind();
}

CsvReader::CsvReader(const std::string& path, uint64_t first, uint64_t end)
    : _path(path), _file(OpenForReading(path)), _first(first), _partEnd(end), _buffer(kBlockSize) {
  Rewind();
}

CsvReader::~CsvReader() {
  if (_file) std::fclose(_file);
}

void CsvReader::Rewind() {
  // A whole file may be a pipe, which reads once from its start.
  if (_first == 0)
    std::rewind(_file);
  else
    SeekTo(_file, _first, _path);
  _offset = _first;
  _begin = _filled = 0;
  _atEnd = false;
  _line = 1;
  _recordLine = 0;
  if (_first > 0) return;
  static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
  while (_filled < 3 && Refill()) {
  }
  if (_filled >= 3 && std::memcmp(_buffer.data(), kByteOrderMark, 3) == 0) _begin = 3;
}

bool CsvReader::Refill() {
  if (_atEnd) return false;
  if (_begin > 0) {
    std::memmove(_buffer.data(), _buffer.data() + _begin, _filled - _begin);
    _filled -= _begin;
    _offset += _begin;
    _begin = 0;
  }
  if (_filled == _buffer.size()) _buffer.resize(_buffer.size() * 2);
  const size_t read = std::fread(_buffer.data() + _filled, 1, _buffer.size() - _filled, _file);
  if (read == 0) {
    if (std::ferror(_file)) Fail(_line, 1, std::string("read error: ") + std::strerror(errno));
    _atEnd = true;
  }
  _filled += read;
  return true;
}

void CsvReader::Fail(long line, long column, const std::string& problem) const {
  throw InputError(_path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                   problem);
}

bool CsvReader::CheckCharacter(const char*& p, const char* end, long line, long column) const {
  const auto lead = static_cast<unsigned char>(*p);
  const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                     : lead >= 0xE0 && lead <= 0xEF ? 3
                     : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                    : 0;
  if (length == 0) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", lead);
    Fail(line, column, std::string("byte ") + text + " is not UTF-8" + kUtf8Rule);
  }
  // Overlong forms, UTF-16 surrogates and code points above U+10FFFF are not UTF-8.
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  for (int i = 1; i < length; ++i) {
    if (p + i == end) {
      if (!_atEnd) return false;
      Fail(line, column, std::string("an incomplete UTF-8 character") + kUtf8Rule);
    }
    const auto next = static_cast<unsigned char>(p[i]);
    if (next < low || next > high)
      Fail(line, column, std::string("an incomplete UTF-8 character") + kUtf8Rule);
    low = 0x80;
    high = 0xBF;
  }
  p += length;
  return true;
}

std::string_view CsvReader::Unescape(std::string_view quoted) {
  // The buffer's bytes of a returned record are no longer needed as read.
  char* out = const_cast<char*>(quoted.data());
  const char* in = quoted.data();
  const char* end = in + quoted.size();
  char* write = out;
  while (in < end) {
    *write++ = *in;
    in += *in == kQuote ? 2 : 1;
  }
  return std::string_view(out, static_cast<size_t>(write - out));
}

bool CsvReader::ScanRecord(std::vector<std::string_view>& fields) {
  const char* const start = _buffer.data() + _begin;
  const char* const end = _buffer.data() + _filled;
  const char* p = start;
  const char* lineStart = start;
  long line = _line;
  size_t count = 0;
  _escaped.clear();
  for (;;) {
    if (count == fields.size()) fields.emplace_back();
    if (p < end && *p == kQuote) {
      const long openLine = line, openColumn = Column(p, lineStart);
      const char* content = ++p;
      for (;;) {
        if (p == end) {
          if (!_atEnd) return false;
          Fail(openLine, openColumn, "quoted field is not closed");
        }
        if (*p == kQuote) {
          if (p + 1 == end && !_atEnd) return false;
          if (p + 1 == end || p[1] != kQuote) break;
          if (_escaped.empty() || _escaped.back() != count) _escaped.push_back(count);
          p += 2;
        } else if (static_cast<unsigned char>(*p) >= 0x80) {
          if (!CheckCharacter(p, end, line, Column(p, lineStart))) return false;
        } else {
          if (*p == '\n') {
            ++line;
            lineStart = p + 1;
          }
          ++p;
        }
      }
      fields[count++] = std::string_view(content, static_cast<size_t>(p - content));
      ++p;  // the closing quote
      if (p == end && !_atEnd) return false;
      if (p < end && *p != kSeparator && *p != '\n' && *p != '\r')
        Fail(line, Column(p, lineStart), "unexpected character after a closing quote");
    } else {
      const char* content = p;
      while (p < end && !EndsUnquotedField(*p)) {
        if (static_cast<unsigned char>(*p) < 0x80)
          ++p;
        else if (!CheckCharacter(p, end, line, Column(p, lineStart)))
          return false;
      }
      if (p == end && !_atEnd) return false;
      if (p < end && *p == kQuote)
        Fail(line, Column(p, lineStart), "quote inside an unquoted field");
      fields[count++] = std::string_view(content, static_cast<size_t>(p - content));
    }
    if (p == end) break;  // the last line has no line end
    if (*p == kSeparator) {
      ++p;
      continue;
    }
    if (*p == '\r') {
      if (p + 1 == end && !_atEnd) return false;
      if (p + 1 < end && p[1] == '\n') ++p;  // a lone carriage return ends the line too
    }
    ++p;
    ++line;
    break;
  }
  fields.resize(count);
  for (size_t index : _escaped) fields[index] = Unescape(fields[index]);
  _recordLine = _line;
  _line = line;
  _begin = static_cast<size_t>(p - _buffer.data());
  return true;
}

bool CsvReader::NextRecord(std::vector<std::string_view>& fields) {
  if (Offset() >= _partEnd) return false;
  for (;;) {
    if (_begin == _filled && (_atEnd || (Refill(), _begin == _filled))) return false;
    if (ScanRecord(fields)) return true;
    Refill();
  }
}

bool CsvReader::NextRecord(std::vector<std::string>& fields) {
  if (!NextRecord(_views)) return false;
  fields.resize(_views.size());
  for (size_t i = 0; i < _views.size(); ++i) fields[i].assign(_views[i]);
  return true;
}

namespace {

// The split reads in blocks of the reader's size (tiny in the fuzz build, so that a CR
// LF pair and quotes fall across block boundaries there too).
constexpr size_t kSplitBlock = TABCUBE_CSV_BLOCK_SIZE;

// Reads up to size bytes at offset; returns how many were read.
size_t ReadAt(std::FILE* file, uint64_t offset, char* into, size_t size, const std::string& path) {
  SeekTo(file, offset, path);
  const size_t read = std::fread(into, 1, size, file);
  if (read < size && std::ferror(file))
    throw InputError(path + ": read error: " + std::strerror(errno));
  return read;
}

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, CloseFile>;

// The number of quote characters in [from, to) of the file.
uint64_t CountQuotes(const std::string& path, uint64_t from, uint64_t to) {
  const OpenFile file(OpenForReading(path));
  std::vector<char> block(kSplitBlock);
  uint64_t quotes = 0;
  while (from < to) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kSplitBlock, to - from));
    const size_t read = ReadAt(file.get(), from, block.data(), want, path);
    if (read == 0) break;
    quotes += static_cast<uint64_t>(std::count(block.data(), block.data() + read, kQuote));
    from += read;
  }
  return quotes;
}

// The offset just after the first line end at or after from that lies
// outside quotes, given whether from lies inside a quoted field (a CR LF
// pair is one line end); the file's size when there is none.
uint64_t NextRecordStart(const std::string& path, uint64_t from, bool quoted, uint64_t size) {
  const OpenFile file(OpenForReading(path));
  std::vector<char> block(kSplitBlock + 1);
  for (uint64_t at = from; at < size;) {
    // One byte more than is scanned, to see the LF after a CR.
    const size_t read = ReadAt(file.get(), at, block.data(), block.size(), path);
    if (read == 0) break;
    const size_t scan = std::min(read, kSplitBlock);
    for (size_t i = 0; i < scan; ++i) {
      const char c = block[i];
      if (c == kQuote) {
        quoted = !quoted;
      } else if (!quoted && (c == '\n' || c == '\r')) {
        const bool pair = c == '\r' && i + 1 < read && block[i + 1] == '\n';
        return at + i + (pair ? 2 : 1);
      }
    }
    at += scan;
  }
  return size;
}

uint64_t FileSize(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    throw InputError(path + ": cannot read: " + std::strerror(errno));
  return static_cast<uint64_t>(status.st_size);
}

}  // namespace

std::vector<uint64_t> SplitCsvRecords(const std::string& path, uint64_t first, int parts) {
  assert(parts >= 1 && "parts >= 1");
  const uint64_t size = std::max(FileSize(path), first);
  std::vector<uint64_t> cuts;
  for (int k = 1; k < parts; ++k)
    cuts.push_back(first +
                   (size - first) * static_cast<uint64_t>(k) / static_cast<uint64_t>(parts));
  return SplitCsvRecordsAt(path, first, cuts);
}

std::vector<uint64_t> SplitCsvRecordsAt(const std::string& path, uint64_t first,
                                        const std::vector<uint64_t>& cuts) {
  const uint64_t size = std::max(FileSize(path), first);
  // The bytes between cuts, whose quotes are counted each on a thread.
  std::vector<uint64_t> bounds{first};
  for (uint64_t cut : cuts) bounds.push_back(std::min(std::max(cut, bounds.back()), size));
  bounds.push_back(size);
  const size_t ranges = bounds.size() - 1;
  std::vector<uint64_t> quotes(ranges);
  std::vector<std::exception_ptr> errors(ranges);
  auto countRange = [&](size_t k) {
    try {
      quotes[k] = CountQuotes(path, bounds[k], bounds[k + 1]);
    } catch (...) {
      errors[k] = std::current_exception();
    }
  };
  std::vector<std::thread> counters;
  size_t onThisThread = ranges;  // ranges from here on lack a thread
  for (size_t k = 1; k < ranges && onThisThread == ranges; ++k) try {
      counters.emplace_back(countRange, k);
    } catch (const std::system_error&) {
      onThisThread = k;
    }
  countRange(0);
  for (size_t k = onThisThread; k < ranges; ++k) countRange(k);
  for (std::thread& counter : counters) counter.join();
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);

  std::vector<uint64_t> starts{first};
  uint64_t quotesBefore = 0;
  for (size_t k = 1; k < ranges; ++k) {
    quotesBefore += quotes[k - 1];
    const uint64_t start = NextRecordStart(path, bounds[k], quotesBefore % 2 == 1, size);
    starts.push_back(std::max(start, starts.back()));
  }
  starts.push_back(size);
  return starts;
}
