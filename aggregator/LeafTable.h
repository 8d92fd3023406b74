#ifndef LEAF_TABLE_H
#define LEAF_TABLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

class CellValues;
class CellStatistics;

// LeafTable: the leaves of one cube. A leaf is one distinct tuple of the
// cube's dimensions' category cells for a case (codes, validity flags,
// response counts: the words TableDimension::SaveCaseCells writes), met by
// the cases since the last merge. Every case of a leaf reaches the same
// cells under the same rules, so a case only updates its leaf's running
// states, one per cell layout the cube uses; when results are read the
// cube walks each leaf's cells once and merges the states into them.
// Leaves outlive a merge: their states are emptied (keeping their memory)
// and the leaf waits for its next case, so that a table read between cases
// allocates nothing more for the tuples it has seen.
// Owns the keys (in one array), the open-addressing index over them and
// the states; points to (does not own) the layouts. Clear forgets every
// leaf but keeps the memory of keys and index.
class LeafTable {
 public:
  // What the cases of a leaf reach: nothing (a dimension gave no usable
  // category), only the percentage bases (a -99 code), or the cells and the
  // bases.
  enum Route : uint8_t { kNothing = 0, kBasesOnly = 1, kCellsAndBases = 2 };

  // One leaf: its route and the flags its cases carry to the cells.
  struct Leaf {
    uint32_t keyStart;
    uint32_t keyWords;
    Route route;
    bool allValid;
    bool totalOnly;
    bool pending;
  };

  // The states of every leaf have these layouts, in this order.
  explicit LeafTable(const std::vector<const CellStatistics*>& layouts);
  ~LeafTable();
  LeafTable(const LeafTable&) = delete;
  LeafTable& operator=(const LeafTable&) = delete;

  // A hash of the key words.
  static uint64_t Hash(const int* words, int n);
  // The leaf holding the key, -1 when there is none.
  int Find(const int* words, int n, uint64_t hash) const {
    if (_leaves.empty()) return -1;
    for (size_t slot = hash & _mask;; slot = (slot + 1) & _mask) {
      const Slot& s = _slots[slot];
      if (s.leaf < 0) return -1;
      if (s.hash == hash && SameKey(_leaves[static_cast<size_t>(s.leaf)], words, n)) return s.leaf;
    }
  }
  // Adds a leaf for a key not held yet; a leaf whose route reaches cells
  // gets one empty state per layout.
  int Insert(const int* words, int n, uint64_t hash, Route route, bool allValid, bool totalOnly);
  // Marks the leaf as holding cases not merged yet.
  void Touch(int leaf) {
    Leaf& entry = _leaves[static_cast<size_t>(leaf)];
    if (entry.pending) return;
    entry.pending = true;
    _pending.push_back(leaf);
  }
  // The leaves holding cases not merged yet, in the order they were touched.
  const std::vector<int>& Pending() const { return _pending; }
  // Empties the states of the pending leaves, which then hold no case.
  void ClearPending();

  int Size() const { return static_cast<int>(_leaves.size()); }
  const Leaf& GetLeaf(int leaf) const { return _leaves[static_cast<size_t>(leaf)]; }
  const int* Key(int leaf) const { return _keys.data() + GetLeaf(leaf).keyStart; }
  // The leaf's states, one per layout; null entries for a leaf of route kNothing.
  CellValues* const* States(int leaf) const {
    return _states.data() + static_cast<size_t>(leaf) * _layouts.size();
  }
  // Forgets every leaf.
  void Clear();

 private:
  struct Slot {
    uint64_t hash;
    int leaf;
  };
  bool SameKey(const Leaf& leaf, const int* words, int n) const;
  void Grow();

  std::vector<const CellStatistics*> _layouts;
  std::vector<Leaf> _leaves;
  std::vector<int> _keys;
  std::vector<CellValues*> _states;
  std::vector<Slot> _slots;
  std::vector<int> _pending;
  size_t _mask = 0;
};

#endif
