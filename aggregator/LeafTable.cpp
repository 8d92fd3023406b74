#include "LeafTable.h"

#include <cassert>
#include <cstring>
#include <memory>

#include "CellValues.h"

namespace {

// The index keeps at most this share of its slots filled (as n / 8).
constexpr size_t kFillEighths = 5;
constexpr size_t kInitialSlots = 64;

}  // namespace

LeafTable::LeafTable(const std::vector<const CellStatistics*>& layouts) : _layouts(layouts) {}

LeafTable::~LeafTable() {
  Clear();
}

// Two words at a time are folded in with a multiplication by an odd
// constant and a rotation, then mixed by the 64-bit finalizer of
// MurmurHash3, so that keys that differ in one code spread over the whole
// index.
uint64_t LeafTable::Hash(const int* words, int n) {
  uint64_t h = 0x9e3779b97f4a7c15ULL ^ static_cast<uint64_t>(n);
  int i = 0;
  for (; i + 1 < n; i += 2) {
    h ^= static_cast<uint64_t>(static_cast<uint32_t>(words[i])) |
         static_cast<uint64_t>(static_cast<uint32_t>(words[i + 1])) << 32;
    h *= 0xff51afd7ed558ccdULL;
    h = (h << 31) | (h >> 33);
  }
  if (i < n) {
    h ^= static_cast<uint32_t>(words[i]);
    h *= 0xff51afd7ed558ccdULL;
  }
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

bool LeafTable::SameKey(const Leaf& leaf, const int* words, int n) const {
  // A cube without dimensions has one leaf, of no words (and no key array).
  if (leaf.keyWords != static_cast<uint32_t>(n)) return false;
  return n == 0 || std::memcmp(_keys.data() + leaf.keyStart, words,
                               sizeof(int) * static_cast<size_t>(n)) == 0;
}

int LeafTable::Insert(const int* words, int n, uint64_t hash, Route route, bool allValid,
                      bool totalOnly) {
  assert(Find(words, n, hash) < 0 && "the key is new");
  if ((_leaves.size() + 1) * 8 > _slots.size() * kFillEighths) Grow();
  const int leaf = static_cast<int>(_leaves.size());
  // States first: if one cannot be made, nothing of the leaf stays behind.
  std::vector<std::unique_ptr<CellValues>> states(_layouts.size());
  if (route != kNothing) {
    for (size_t l = 0; l < _layouts.size(); ++l) {
      if (_layouts[l]) states[l].reset(new CellValues(_layouts[l]));
    }
  }
  _states.reserve(_states.size() + _layouts.size());
  _keys.insert(_keys.end(), words, words + n);
  _leaves.push_back(Leaf{static_cast<uint32_t>(_keys.size() - static_cast<size_t>(n)),
                         static_cast<uint32_t>(n), route, allValid, totalOnly, false});
  for (std::unique_ptr<CellValues>& state : states) _states.push_back(state.release());
  size_t slot = hash & _mask;
  while (_slots[slot].leaf >= 0) slot = (slot + 1) & _mask;
  _slots[slot] = Slot{hash, leaf};
  return leaf;
}

void LeafTable::Grow() {
  const size_t size = _slots.empty() ? kInitialSlots : _slots.size() * 2;
  std::vector<Slot> slots(size, Slot{0, -1});
  const size_t mask = size - 1;
  for (const Slot& s : _slots) {
    if (s.leaf < 0) continue;
    size_t slot = s.hash & mask;
    while (slots[slot].leaf >= 0) slot = (slot + 1) & mask;
    slots[slot] = s;
  }
  _slots.swap(slots);
  _mask = mask;
}

void LeafTable::ClearPending() {
  const size_t nLayouts = _layouts.size();
  for (int leaf : _pending) {
    _leaves[static_cast<size_t>(leaf)].pending = false;
    CellValues* const* states = _states.data() + static_cast<size_t>(leaf) * nLayouts;
    for (size_t l = 0; l < nLayouts; ++l) {
      if (states[l]) states[l]->Clear();
    }
  }
  _pending.clear();
}

void LeafTable::Clear() {
  _pending.clear();
  for (CellValues* state : _states) delete state;
  _states.clear();
  _leaves.clear();
  _keys.clear();
  for (Slot& s : _slots) s.leaf = -1;
}
