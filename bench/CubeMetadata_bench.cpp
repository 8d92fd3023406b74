// Key enumeration: the first key of a case and the odometer over every
// combination of the dimensions' category cells, with the hash of each key,
// as the cube aggregator runs it once per case and cube.

#include <benchmark/benchmark.h>

#include <vector>

#include "CellKey.h"
#include "CubeMetadata.h"
#include "TableDimension.h"

namespace {

using Codes = TableEncryptionCodes;

// A dimension whose category cells for the current case are set directly.
class CellsDimension : public TableDimension {
 public:
  CellsDimension() : TableDimension(16, kCategoricalVariable) {}
  void SetCells(const std::vector<int>& codes) {
    SetCategoryCell(codes[0]);
    for (size_t i = 1; i < codes.size(); ++i) AddCategoryCell(codes[i]);
    _valueValid = true;
  }
  bool EncodeValue() override { return true; }
  const std::vector<AggregationCategory*>& GetCategoryPointers() override { return _categories; }
  std::vector<int> VariableIndex() override { return {0}; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return {}; }
  void SetIterator(QUOR_InputCaseIterator& iterator) override { _iterator = &iterator; }
  int GetCategoryEncoding(const OBS*) const override { return 0; }
  int GetNumberOfValues() const override { return 0; }
  void ResetDimension() override { ResetDimensionBase(); }
};

// Args: number of dimensions, cells per dimension (the value and the total,
// or a set's responses and the total). Counts the keys visited.
void BM_EnumerateKeys(benchmark::State& state) {
  const int nDims = static_cast<int>(state.range(0));
  const int cells = static_cast<int>(state.range(1));
  std::vector<CellsDimension> dimensions(static_cast<size_t>(nDims));
  CubeMetadata metadata;
  for (int d = 0; d < nDims; ++d) {
    std::vector<int> codes;
    for (int c = 1; c < cells; ++c) codes.push_back(c + d);
    codes.push_back(Codes::kTotalCategory);
    dimensions[static_cast<size_t>(d)].SetCells(codes);
    metadata.AddDimension(&dimensions[static_cast<size_t>(d)],
                          static_cast<Codes::DimensionPosition>(d < 3 ? d : 2));
  }
  CellKey key(nDims);
  long keys = 0;
  for (auto _ : state) {
    bool noCategory = false, allValid = true, hasTotal = false;
    if (!metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal)) continue;
    int hashes = 0;
    do {
      key.UpdateHashCode();
      hashes ^= key.hashcode();
      ++keys;
    } while (metadata.NewCellKey(key));
    benchmark::DoNotOptimize(hashes);
  }
  state.SetItemsProcessed(keys);
}
BENCHMARK(BM_EnumerateKeys)->Args({2, 2})->Args({3, 2})->Args({2, 6})->Args({5, 2});

// A percentage base of a three-dimensional cube: the reduced metadata that
// keeps two of the dimensions, enumerated from the base's own first key.
void BM_EnumerateBaseKeys(benchmark::State& state) {
  std::vector<CellsDimension> dimensions(3);
  CubeMetadata metadata;
  for (int d = 0; d < 3; ++d) {
    dimensions[static_cast<size_t>(d)].SetCells({d + 1, Codes::kTotalCategory});
    metadata.AddDimension(&dimensions[static_cast<size_t>(d)],
                          static_cast<Codes::DimensionPosition>(d));
  }
  std::vector<int> dims;
  metadata.GetPercentBase(dims, 1);  // column percentages
  CubeMetadata base = metadata.GetBaseMetadata(dims, 1);
  CellKey key(base.NumberOfDimensions());
  long keys = 0;
  for (auto _ : state) {
    if (!base.MakeCVarPctKey(key)) continue;
    do {
      key.UpdateHashCode();
      ++keys;
    } while (base.NewCellKey(key));
    benchmark::DoNotOptimize(key.hashcode());
  }
  state.SetItemsProcessed(keys);
}
BENCHMARK(BM_EnumerateBaseKeys);

}  // namespace
