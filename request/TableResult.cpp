#include "TableResult.h"

const char* AxisName(Axis axis) {
  switch (axis) {
    case Axis::kRow:
      return "row";
    case Axis::kColumn:
      return "column";
    case Axis::kLayer:
      return "layer";
  }
  return "row";
}

const char* TestKindName(TestKind kind) {
  return kind == TestKind::kMeans ? "means" : "proportions";
}

const char* CategoryTypeName(CategoryType type) {
  static const char* const kNames[] = {"none",  "value",    "subtotal", "hsubtotal",
                                       "total", "variable", "compute"};
  return kNames[static_cast<int>(type)];
}
