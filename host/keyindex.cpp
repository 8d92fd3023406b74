#include "keyindex.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Order of two doubles: -0.0 equals 0.0, every NaN equals every other NaN
// and orders after all numbers (+inf included), so the order is total and a
// NaN key is one key.
inline int CompareDoubles(double a, double b) {
  if (a < b) return -1;
  if (a > b) return 1;
  if (a == b) return 0;
  const bool aNaN = std::isnan(a);
  const bool bNaN = std::isnan(b);
  if (aNaN && bNaN) return 0;
  return aNaN ? 1 : -1;
}

// Finaliser of the splitmix64 generator: spreads every input bit over the word.
inline uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

// The bits of a double with the values that compare equal made identical.
inline uint64_t CanonicalBits(double value) {
  if (value == 0.0) return 0;                           // -0.0 and 0.0
  if (std::isnan(value)) return 0x7ff8000000000000ULL;  // every NaN
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

constexpr size_t kFirstChunkElements = 16;
constexpr size_t kMaxChunkElements = 4096;
constexpr size_t kFirstSlotCount = 16;

}  // namespace

int ObsLexCompare(const OBS& a, const OBS& b, int width) {
  assert(width >= 0 && "width >= 0");
  if (width == 0) return CompareDoubles(a.num, b.num);
  return std::memcmp(&a, &b, static_cast<size_t>(width));
}

std::vector<short> ObsVecMap::MakeKeySpec(const QUOR_DataSource& dataSource,
                                          const std::vector<int>& variables) {
  int widest = 0;
  for (int index : variables) widest = std::max(widest, dataSource.GetVariable(index).GetType());
  return {static_cast<short>(widest)};
}

// The index: an open-addressing hash table (linear probing, power-of-two slot
// count, load at most 3/4) over elements kept in chunks that never move, so
// the OBS* handed out stay valid until Clear or destruction. An element is
// its key cells followed by the entry's doubles.
struct ObsVecMap::Impl {
  struct Slot {
    uint64_t hash;
    OBS* element;  // null: empty slot
  };

  std::vector<short> spec;
  std::vector<int> componentOffsets;  // first cell of each key component
  size_t keyCells = 0;
  size_t stride = 0;  // cells per element
  unsigned int count = 0;

  std::vector<std::unique_ptr<OBS[]>> chunks;
  std::vector<size_t> chunkCapacity;  // elements per chunk
  size_t chunkIndex = 0;              // chunk that takes the next element
  size_t usedInChunk = 0;

  std::vector<OBS*> elements;  // in insertion order
  std::vector<Slot> slots;

  uint64_t Hash(const OBS* key) const {
    uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (size_t c = 0; c < spec.size(); ++c) {
      const OBS* cell = key + componentOffsets[c];
      const size_t width = static_cast<size_t>(spec[c]);
      if (width == 0) {
        h = Mix(h ^ CanonicalBits(cell->num));
        continue;
      }
      const unsigned char* bytes = reinterpret_cast<const unsigned char*>(cell);
      size_t i = 0;
      for (; i + 8 <= width; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        h = Mix(h ^ word);
      }
      if (i < width) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + i, width - i);
        h = Mix(h ^ word ^ (static_cast<uint64_t>(width - i) << 59));
      }
    }
    return h;
  }

  bool Equal(const OBS* a, const OBS* b) const {
    for (size_t c = 0; c < spec.size(); ++c) {
      const int offset = componentOffsets[c];
      if (spec[c] == 0) {
        if (CompareDoubles(a[offset].num, b[offset].num) != 0) return false;
      } else if (std::memcmp(a + offset, b + offset, static_cast<size_t>(spec[c])) != 0) {
        return false;
      }
    }
    return true;
  }

  int Compare(const OBS* a, const OBS* b) const {
    for (size_t c = 0; c < spec.size(); ++c) {
      const int offset = componentOffsets[c];
      const int r = ObsLexCompare(a[offset], b[offset], spec[c]);
      if (r != 0) return r;
    }
    return 0;
  }

  // The slot holding the key, or the empty slot where it belongs.
  size_t Find(const OBS* key, uint64_t hash) const {
    const size_t mask = slots.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    while (slots[i].element != nullptr) {
      if (slots[i].hash == hash && Equal(slots[i].element, key)) return i;
      i = (i + 1) & mask;
    }
    return i;
  }

  void Grow() {
    std::vector<Slot> old;
    old.swap(slots);
    slots.assign(old.size() * 2, Slot{0, nullptr});
    const size_t mask = slots.size() - 1;
    for (const Slot& slot : old) {
      if (slot.element == nullptr) continue;
      size_t i = static_cast<size_t>(slot.hash) & mask;
      while (slots[i].element != nullptr) i = (i + 1) & mask;
      slots[i] = slot;
    }
  }

  OBS* NewElement() {
    if (chunkIndex < chunks.size() && usedInChunk == chunkCapacity[chunkIndex]) {
      ++chunkIndex;
      usedInChunk = 0;
    }
    if (chunkIndex == chunks.size()) {
      const size_t elementsInChunk = chunks.empty()
                                         ? kFirstChunkElements
                                         : std::min(kMaxChunkElements, chunkCapacity.back() * 2);
      chunks.emplace_back(new OBS[elementsInChunk * stride]);
      chunkCapacity.push_back(elementsInChunk);
    }
    return chunks[chunkIndex].get() + (usedInChunk++) * stride;
  }

  // Copies the key into the element; string components get their cells
  // blank-filled after the width, so Key() reads as a proper value.
  void StoreKey(OBS* element, const OBS* key) const {
    for (size_t c = 0; c < spec.size(); ++c) {
      OBS* to = element + componentOffsets[c];
      const OBS* from = key + componentOffsets[c];
      const int width = spec[c];
      if (width == 0) {
        to->num = from->num;
      } else {
        const int cells = QUOR_CellCount(width);
        std::memset(to, ' ', static_cast<size_t>(cells) * sizeof(OBS));
        std::memcpy(to, from, static_cast<size_t>(width));
      }
    }
  }
};

ObsVecMap::ObsVecMap(const std::vector<short>& keySpec, unsigned int count) : _impl(new Impl) {
  assert(!keySpec.empty() && "!keySpec.empty()");
  Impl& impl = *_impl;
  impl.spec = keySpec;
  int offset = 0;
  for (short width : keySpec) {
    assert(width >= 0 && "width >= 0");
    impl.componentOffsets.push_back(offset);
    offset += QUOR_CellCount(width);
  }
  impl.keyCells = static_cast<size_t>(offset);
  impl.count = count;
  impl.stride = impl.keyCells + count;
  impl.slots.assign(kFirstSlotCount, Impl::Slot{0, nullptr});
}

ObsVecMap::~ObsVecMap() {
  delete _impl;
}

OBS* ObsVecMap::Insert(const OBS* key) {
  Impl& impl = *_impl;
  const uint64_t hash = impl.Hash(key);
  size_t slot = impl.Find(key, hash);
  if (impl.slots[slot].element != nullptr) return impl.slots[slot].element + impl.keyCells;
  if ((impl.elements.size() + 1) * 4 > impl.slots.size() * 3) {
    impl.Grow();
    slot = impl.Find(key, hash);
  }
  OBS* element = impl.NewElement();
  impl.StoreKey(element, key);
  OBS* values = element + impl.keyCells;
  for (unsigned int i = 0; i < impl.count; ++i) values[i].num = 0.0;
  impl.slots[slot] = Impl::Slot{hash, element};
  impl.elements.push_back(element);
  return values;
}

OBS* ObsVecMap::Contains(const OBS* key) const {
  const Impl& impl = *_impl;
  const size_t slot = impl.Find(key, impl.Hash(key));
  OBS* element = impl.slots[slot].element;
  return element != nullptr ? element + impl.keyCells : nullptr;
}

unsigned int ObsVecMap::Size() const {
  return static_cast<unsigned int>(_impl->elements.size());
}

void ObsVecMap::Clear() {
  Impl& impl = *_impl;
  impl.elements.clear();
  std::fill(impl.slots.begin(), impl.slots.end(), Impl::Slot{0, nullptr});
  impl.chunkIndex = 0;
  impl.usedInChunk = 0;
}

std::vector<OBS*> ObsVecMap::Sort() const {
  const Impl& impl = *_impl;
  std::vector<OBS*> sorted(impl.elements);
  std::sort(sorted.begin(), sorted.end(),
            [&impl](const OBS* a, const OBS* b) { return impl.Compare(a, b) < 0; });
  return sorted;
}

OBS* ObsVecMap::Key(OBS* element) {
  return element;
}

OBS* ObsVecMap::Value(OBS* element) {
  return element + _impl->keyCells;
}
