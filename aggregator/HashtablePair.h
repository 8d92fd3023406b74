#ifndef HASHTABLE_PAIR_H
#define HASHTABLE_PAIR_H

#include <cstdint>
#include <utility>

#include "CellKey.h"

class CellValues;

// PairNode: one entry of a bucket chain of ZarnHashtablePair (or a spare node
// on its free list, with both pointers null). The table owns the node and the
// key and values it points to. _hash repeats the key's stored hash code and,
// for a key of at most CellKey::kInlineCodes codes, _length and _codes repeat
// its codes, so that a lookup walks the table's own nodes and reaches no key
// object (the stored keys never change).
struct PairNode {
  CellKey* _key;
  CellValues* _values;
  PairNode* _next;
  int _hash;
  int _length;
  int _codes[CellKey::kInlineCodes];

  // Whether the node holds a key equal to key (stored hash, length, codes).
  bool Holds(const CellKey& key) const {
    if (_hash != key.hashcode()) return false;
    if (_length > CellKey::kInlineCodes) return *_key == key;
    if (_length != key.length()) return false;
    for (int i = 0; i < _length; ++i) {
      if (_codes[i] != key[i]) return false;
    }
    return true;
  }

  CellKey* GetKey() const { return _key; }
  CellValues* GetValues() const { return _values; }
};

// ZarnHashtablePair: the cells of a cube (or of a percentage base), a chained
// hash table from CellKey to CellValues. Owns every inserted key and values
// object (each allocated individually with new) and every node, in a chain or
// on the free list. Nodes are carved from blocks the table allocates (each
// twice the size of the previous one), so the nodes of a table sit together
// in memory; cleared nodes go to the free list and are reused before new ones
// are carved, so refilling a cleared table allocates no nodes.
// The bucket count grows (2n + 1) once the count would pass 0.75 times it,
// and never shrinks. The remainder that picks a bucket is computed by two
// multiplications with a constant kept for the bucket count (the same value
// as the division). Not copyable.
class ZarnHashtablePair {
 public:
  // Bucket count the cube aggregator gives every table.
  static const int kInitialBuckets = 89;

  // REQUIRES: bucketCount >= 0.
  explicit ZarnHashtablePair(int bucketCount);
  ~ZarnHashtablePair();
  ZarnHashtablePair(const ZarnHashtablePair&) = delete;
  ZarnHashtablePair& operator=(const ZarnHashtablePair&) = delete;

  // The node whose key equals key, or null. The key's stored hash must be
  // current. One remainder and one chain walk, rejecting on the stored hash.
  PairNode* Find(const CellKey& key) const {
    if (_bucketCount < 1) return nullptr;
    const int hash = key.hashcode();
    for (PairNode* node = _buckets[Bucket(hash)]; node; node = node->_next) {
      if (node->Holds(key)) return node;
    }
    return nullptr;
  }
  bool Contains(const CellKey& key) const { return Find(key) != nullptr; }

  // Stores the pair and takes ownership of both objects; returns false and
  // changes nothing (ownership stays with the caller) when an equal key is
  // already present.
  bool Insert(CellKey* key, CellValues* values);
  // Inserts like Insert when the key is absent. When present, deletes the
  // stored key and values unless they are the very objects passed in, and
  // stores the new pointers. Returns the node holding the pair.
  PairNode* Replace(CellKey* key, CellValues* values);
  // Unlinks the entry of key and hands its key and values back to the caller,
  // in a newly allocated pair that the caller deletes too; null when absent.
  std::pair<CellKey*, CellValues*>* Remove(const CellKey& key);
  // Deletes every stored key and values object and keeps every node on the
  // free list; the bucket count does not change.
  void Clear();

  int Count() const { return _count; }
  bool IsEmpty() const { return _count == 0; }
  int BucketCount() const { return _bucketCount; }
  int Threshold() const { return _threshold; }
  int RehashCount() const { return _rehashCount; }
  // Number of spare nodes on the free list (walks the list; diagnostic).
  int FreeCount() const;

  // Outputs the whole table: every non-empty bucket with the key and the
  // statistic values of each of its cells.
  void display() const;

  // Visits the buckets in increasing index order and each chain from its
  // head. The end position holds no node and the bucket index BucketCount().
  // Invalidated by any insertion, removal or clearing.
  class Iterator {
   public:
    PairNode& operator*() const { return *_node; }
    PairNode* operator->() const { return _node; }
    Iterator& operator++();
    bool operator==(const Iterator& other) const {
      return _node == other._node && _bucket == other._bucket;
    }
    bool operator!=(const Iterator& other) const { return !(*this == other); }
    int GetBucket() const { return _bucket; }

   private:
    friend class ZarnHashtablePair;
    Iterator(const ZarnHashtablePair* table, int bucket, PairNode* node)
        : _table(table), _bucket(bucket), _node(node) {}
    // Moves to the head of the first non-empty bucket from _bucket on.
    void SkipEmptyBuckets();

    const ZarnHashtablePair* _table;
    int _bucket;
    PairNode* _node;
  };
  Iterator begin() const;
  Iterator end() const { return Iterator(this, _bucketCount, nullptr); }

  // The bucket of a hash: its remainder modulo the bucket count, taken as
  // unsigned so that a negative hash (codes beyond 9367656) still lands
  // inside the array. Equals the signed remainder for every hash >= 0.
  static int BucketOf(int hash, int bucketCount) {
    return static_cast<int>(static_cast<std::uint32_t>(hash) %
                            static_cast<std::uint32_t>(bucketCount));
  }

 private:
  // BucketOf(hash, _bucketCount) without a division: with M = 2^64 / n
  // rounded up, the high 64 bits of (M * h mod 2^64) * n are h mod n for
  // every 32-bit h and n.
  int Bucket(int hash) const {
    const std::uint64_t low = _bucketMagic * static_cast<std::uint32_t>(hash);
    return static_cast<int>(
        (static_cast<unsigned __int128>(low) * static_cast<std::uint32_t>(_bucketCount)) >> 64);
  }
  void SetBucketCount(int bucketCount);
  // A node from the free list, or a new one carved from the current block.
  PairNode* NewNode();
  // Points the node at key, copying its hash code and short codes.
  static void SetKey(PairNode* node, CellKey* key);

  // Stores a pair whose key is absent, growing the table first when needed.
  PairNode* Link(CellKey* key, CellValues* values);
  // Doubles the bucket count plus one and relinks every node (no copies).
  void Grow();
  // Releases every chain: deletes keys and values, moves nodes to the free list.
  void ReleaseChains();
  // Unlinks target from the chain that starts at head_ptr.
  static void Unlink(PairNode*& head_ptr, PairNode* target);

  PairNode** _buckets;
  int _bucketCount;
  int _count;
  int _threshold;
  float _loadFactor;
  int _rehashCount;
  PairNode* _freeList;
  std::uint64_t _bucketMagic;
  // Blocks of nodes, each one linked to the previous through its first
  // node's _next; _carved nodes of the newest block (_blockSize) are in use.
  PairNode* _blocks;
  int _blockSize;
  int _carved;
};

#endif
