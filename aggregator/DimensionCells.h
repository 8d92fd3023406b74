#ifndef DIMENSION_CELLS_H
#define DIMENSION_CELLS_H

// DimensionCells: internal constants that the dimensions write and the cubes
// read back. A value's width in 8-byte units is the host's QUOR_CellCount
// (casesource.h), which lays the values out.
namespace DimensionCells {

// The category code of a missing value that forms no category and that no
// cube counts: the case stays out of the cells but not out of the percentage
// bases that leave the dimension out.
constexpr int kExcludedMissing = -99;

// Slots of an entry in a dimension's value index: the category code and the
// subtotal code of the value.
constexpr int kCodeSlot = 0;
constexpr int kSubtotalSlot = 1;
constexpr unsigned int kEntrySlots = 2;

}  // namespace DimensionCells

#endif
