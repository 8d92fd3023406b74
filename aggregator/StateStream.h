#ifndef STATE_STREAM_H
#define STATE_STREAM_H

#include <cstddef>
#include <cstdint>
#include <string>

// StateWriter: appends the portable binary form of a partial table's state
// to a byte string: integers as little-endian two's complement of a fixed
// width, doubles as the little-endian bytes of their IEEE 754 bits, so that
// a state written on one machine reads the same on any other.
// Owns nothing; points to (does not own) the string it appends to.
class StateWriter {
 public:
  explicit StateWriter(std::string& out) : _out(out) {}
  void U8(uint8_t value) { _out.push_back(static_cast<char>(value)); }
  void U32(uint32_t value);
  void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
  void U64(uint64_t value);
  void F64(double value);
  void Bytes(const void* data, size_t size);

 private:
  std::string& _out;
};

// StateReader: reads what a StateWriter wrote, checking every read against
// the end of the input. The first read past the end, or a value a caller
// refuses through Fail, puts the reader in a failed state with a message;
// from then on every read yields zero, so a parser may read on and check
// Ok() once. Points to (does not own) the bytes, which outlive it.
class StateReader {
 public:
  StateReader(const char* data, size_t size) : _data(data), _size(size) {}
  uint8_t U8();
  uint32_t U32();
  int32_t I32() { return static_cast<int32_t>(U32()); }
  uint64_t U64();
  double F64();
  // Copies size bytes; false (and failed) when fewer remain.
  bool Bytes(void* data, size_t size);
  // A count of items of at least itemBytes bytes each that the rest of the
  // input could hold; larger counts fail, so that corrupt input never makes
  // a parser reserve memory it cannot fill.
  uint32_t Count(size_t itemBytes);

  // Marks the input as bad with the first message given.
  void Fail(const std::string& message);
  bool Ok() const { return _error.empty(); }
  bool AtEnd() const { return _position == _size; }
  size_t Position() const { return _position; }
  const std::string& Error() const { return _error; }

 private:
  bool Take(size_t size);

  const char* _data;
  size_t _size;
  size_t _position = 0;
  std::string _error;
};

#endif
