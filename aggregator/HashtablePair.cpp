#include "HashtablePair.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "CellValues.h"
#include "baseutil.h"

ZarnHashtablePair::ZarnHashtablePair(int bucketCount)
    : _buckets(nullptr),
      _bucketCount(bucketCount),
      _count(0),
      _threshold(0),
      _loadFactor(0.75f),
      _rehashCount(0),
      _freeList(nullptr),
      _bucketMagic(0),
      _blocks(nullptr),
      _blockSize(0),
      _carved(0) {
  assert(bucketCount >= 0 && "bucketCount >= 0");
  _buckets = new PairNode*[bucketCount > 0 ? bucketCount : 1]();
  SetBucketCount(bucketCount);
  _threshold = static_cast<int>(static_cast<float>(bucketCount) * _loadFactor);
}

ZarnHashtablePair::~ZarnHashtablePair() {
  ReleaseChains();
  delete[] _buckets;
  // Every node lives in a block: freeing the blocks frees the free list too.
  while (_blocks) {
    PairNode* block = _blocks;
    _blocks = block->_next;
    delete[] block;
  }
}

void ZarnHashtablePair::SetBucketCount(int bucketCount) {
  _bucketCount = bucketCount;
  _bucketMagic =
      bucketCount > 0 ? ~std::uint64_t{0} / static_cast<std::uint32_t>(bucketCount) + 1 : 0;
}

PairNode* ZarnHashtablePair::NewNode() {
  if (PairNode* node = _freeList) {
    _freeList = node->_next;
    return node;
  }
  if (_carved == _blockSize) {
    // Entry 0 of a block links the blocks; the others are nodes.
    _blockSize = _blockSize == 0 ? 32 : std::min(2 * _blockSize, 8192);
    PairNode* block = new PairNode[static_cast<size_t>(_blockSize)];
    block->_next = _blocks;
    _blocks = block;
    _carved = 1;
  }
  return &_blocks[_carved++];
}

bool ZarnHashtablePair::Insert(CellKey* key, CellValues* values) {
  if (Find(*key)) return false;
  Link(key, values);
  return true;
}

PairNode* ZarnHashtablePair::Link(CellKey* key, CellValues* values) {
  if (_count + 1 > _threshold) Grow();
  PairNode* node = NewNode();
  SetKey(node, key);
  node->_values = values;
  PairNode*& head = _buckets[Bucket(node->_hash)];
  node->_next = head;
  head = node;
  ++_count;
  return node;
}

PairNode* ZarnHashtablePair::Replace(CellKey* key, CellValues* values) {
  PairNode* node = Find(*key);
  if (!node) return Link(key, values);
  if (node->_key != key) delete node->_key;
  if (node->_values != values) delete node->_values;
  SetKey(node, key);
  node->_values = values;
  return node;
}

void ZarnHashtablePair::SetKey(PairNode* node, CellKey* key) {
  node->_key = key;
  node->_hash = key->hashcode();
  node->_length = key->length();
  if (node->_length <= CellKey::kInlineCodes) {
    for (int i = 0; i < node->_length; ++i) node->_codes[i] = (*key)[i];
  }
}

std::pair<CellKey*, CellValues*>* ZarnHashtablePair::Remove(const CellKey& key) {
  PairNode* node = Find(key);
  if (!node) return nullptr;
  Unlink(_buckets[Bucket(key.hashcode())], node);
  auto* removed = new std::pair<CellKey*, CellValues*>(node->_key, node->_values);
  node->_key = nullptr;
  node->_values = nullptr;
  node->_next = _freeList;
  _freeList = node;
  --_count;
  return removed;
}

void ZarnHashtablePair::Clear() {
  if (_count < 1) return;
  if (_bucketCount < 1) {
    _count = 0;
    return;
  }
  ReleaseChains();
}

void ZarnHashtablePair::ReleaseChains() {
  for (int b = 0; b < _bucketCount; ++b) {
    while (PairNode* node = _buckets[b]) {
      _buckets[b] = node->_next;
      delete node->_key;
      delete node->_values;
      node->_key = nullptr;
      node->_values = nullptr;
      node->_next = _freeList;
      _freeList = node;
    }
  }
  _count = 0;
}

void ZarnHashtablePair::Grow() {
  const int newCount = 2 * _bucketCount + 1;
  PairNode** newBuckets = new PairNode*[newCount]();
  ++_rehashCount;
  _threshold = static_cast<int>(static_cast<float>(newCount) * _loadFactor);
  for (int b = 0; b < _bucketCount; ++b) {
    while (PairNode* node = _buckets[b]) {
      _buckets[b] = node->_next;
      PairNode*& head = newBuckets[BucketOf(node->_hash, newCount)];
      node->_next = head;
      head = node;
    }
  }
  delete[] _buckets;
  _buckets = newBuckets;
  SetBucketCount(newCount);
}

void ZarnHashtablePair::Unlink(PairNode*& head_ptr, PairNode* target) {
  assert(head_ptr != 0);
  assert(target != 0);
  if (head_ptr == target) {
    head_ptr = target->_next;
    return;
  }
  PairNode* previous = head_ptr;
  while (previous->_next != target) {
    previous = previous->_next;
    assert(previous != 0 && "target is in the chain");
  }
  previous->_next = target->_next;
}

int ZarnHashtablePair::FreeCount() const {
  int n = 0;
  for (const PairNode* node = _freeList; node; node = node->_next) ++n;
  return n;
}

ZarnHashtablePair::Iterator ZarnHashtablePair::begin() const {
  Iterator it(this, 0, nullptr);
  it.SkipEmptyBuckets();
  return it;
}

void ZarnHashtablePair::Iterator::SkipEmptyBuckets() {
  while (_bucket < _table->_bucketCount) {
    _node = _table->_buckets[_bucket];
    if (_node) return;
    ++_bucket;
  }
  _node = nullptr;
}

ZarnHashtablePair::Iterator& ZarnHashtablePair::Iterator::operator++() {
  if (!_node) return *this;
  _node = _node->_next;
  if (!_node) {
    ++_bucket;
    SkipEmptyBuckets();
  }
  return *this;
}

void ZarnHashtablePair::display() const {
  char buffer[256];
  BP_ToFront(2L, BP_Character("Start of Hashtable.\n"));
  for (int b = 0; b < _bucketCount; ++b) {
    if (!_buckets[b]) continue;
    std::snprintf(buffer, sizeof buffer, "Bucket %d :", b);
    BP_ToFront(1L, BP_Character(buffer));
    for (const PairNode* node = _buckets[b]; node; node = node->_next) {
      node->_key->display();
      BP_Character text("\t Values: ");
      const int n = node->_values->NumberOfValues();
      for (int i = 0; i < n; ++i) {
        // A missing value formats to over 300 characters; snprintf cuts it
        // at the buffer's end instead of writing past it.
        std::snprintf(buffer, sizeof buffer, " %15.2f", node->_values->ComputeValue(i).GetValue1());
        text += buffer;
      }
      BP_ToFront(1L, text);
    }
  }
  BP_ToFront(2L, BP_Character("End of Hashtable.\n"));
}
