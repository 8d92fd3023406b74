#include "CsvReader.h"

#include <cerrno>
#include <cstring>

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

CsvReader::CsvReader(const std::string& path) : _path(path), _buffer(kBlockSize) {
  _file = std::fopen(path.c_str(), "rb");
  if (!_file) throw InputError(path + ": cannot open for reading: " + std::strerror(errno));
  Rewind();
}

CsvReader::~CsvReader() {
  if (_file) std::fclose(_file);
}

void CsvReader::Rewind() {
  std::rewind(_file);
  _begin = _end = 0;
  _atEnd = false;
  _line = 1;
  _recordLine = 0;
  static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
  while (_end < 3 && Refill()) {
  }
  if (_end >= 3 && std::memcmp(_buffer.data(), kByteOrderMark, 3) == 0) _begin = 3;
}

bool CsvReader::Refill() {
  if (_atEnd) return false;
  if (_begin > 0) {
    std::memmove(_buffer.data(), _buffer.data() + _begin, _end - _begin);
    _end -= _begin;
    _begin = 0;
  }
  if (_end == _buffer.size()) _buffer.resize(_buffer.size() * 2);
  const size_t read = std::fread(_buffer.data() + _end, 1, _buffer.size() - _end, _file);
  if (read == 0) {
    if (std::ferror(_file)) Fail(_line, 1, std::string("read error: ") + std::strerror(errno));
    _atEnd = true;
  }
  _end += read;
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
  const char* const end = _buffer.data() + _end;
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
  for (;;) {
    if (_begin == _end && (_atEnd || (Refill(), _begin == _end))) return false;
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
