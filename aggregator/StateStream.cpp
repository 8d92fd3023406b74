#include "StateStream.h"

#include <cstring>

void StateWriter::U32(uint32_t value) {
  for (int i = 0; i < 4; ++i) _out.push_back(static_cast<char>((value >> (8 * i)) & 0xffu));
}

void StateWriter::U64(uint64_t value) {
  for (int i = 0; i < 8; ++i) _out.push_back(static_cast<char>((value >> (8 * i)) & 0xffu));
}

void StateWriter::F64(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  U64(bits);
}

void StateWriter::Bytes(const void* data, size_t size) {
  _out.append(static_cast<const char*>(data), size);
}

bool StateReader::Take(size_t size) {
  if (!Ok()) return false;
  if (_size - _position < size) {
    Fail("the state ends early (truncated at byte " + std::to_string(_position) + ")");
    return false;
  }
  return true;
}

uint8_t StateReader::U8() {
  if (!Take(1)) return 0;
  return static_cast<uint8_t>(_data[_position++]);
}

uint32_t StateReader::U32() {
  if (!Take(4)) return 0;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(_data[_position++])) << (8 * i);
  }
  return value;
}

uint64_t StateReader::U64() {
  if (!Take(8)) return 0;
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) {
    value |= static_cast<uint64_t>(static_cast<unsigned char>(_data[_position++])) << (8 * i);
  }
  return value;
}

double StateReader::F64() {
  const uint64_t bits = U64();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool StateReader::Bytes(void* data, size_t size) {
  if (!Take(size)) return false;
  std::memcpy(data, _data + _position, size);
  _position += size;
  return true;
}

uint32_t StateReader::Count(size_t itemBytes) {
  const uint32_t count = U32();
  if (Ok() && itemBytes > 0 && count > (_size - _position) / itemBytes) {
    Fail("a count of " + std::to_string(count) + " at byte " + std::to_string(_position - 4) +
         " exceeds the rest of the state");
    return 0;
  }
  return Ok() ? count : 0;
}

void StateReader::Fail(const std::string& message) {
  if (_error.empty()) _error = message;
  _position = _size;
}
