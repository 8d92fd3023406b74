#ifndef AGGREGATION_CATEGORY_H
#define AGGREGATION_CATEGORY_H

#include <string>
#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"
#include "casesource.h"

// AggregationCategory: one category of an encoded dimension (a value, a
// subtotal, the total, a member variable of a dichotomy set, a computed
// category or the placeholder of a dimension without categories), and the
// home of the two value rules the whole engine uses: OBSCompare (order) and
// OBSCompareEqual (equality).
//
// A value is an array of OBS cells with a value type w: 0 is one double,
// w > 0 is a string of w bytes in max(1, (w + 7) / 8) cells, blank-filled to
// the end of its last cell. The category owns its value array, strings and
// sequences; it points to (does not own) the QUOR_Format objects. The array
// holds at least the cells of the current width and is never shrunk.
class TABCUBE_EXPORT AggregationCategory {
 public:
  enum CategoryType {
    kDummy = 0,      // placeholder ("None valid") of a dimension without categories
    kValue = 1,      // one value of the variable
    kSubtotal = 2,   // subtotal shown with the categories it sums
    kHSubtotal = 3,  // subtotal whose summed categories are hidden
    kTotal = 4,      // the total: value 0.0, width 0, encoding -100
    kVariable = 5,   // member variable of a dichotomy set; the value holds its name
    kPCompute = 6    // computed category
  };

  // Size in bytes of one OBS cell.
  static const unsigned int OBSSize = 8;

  // Three-way order of two values: numbers before strings; two numbers or two
  // strings by ObsLexCompare over the shorter width, whose result is returned
  // as it is (not normalised to -1/+1); trailing blanks never decide.
  static int OBSCompare(const OBS& a, int aType, const OBS& b, int bType);
  // Equality of two values: equal doubles (a NaN equals nothing), or strings
  // equal after blank-filling both to a common length. A number never equals
  // a string.
  static bool OBSCompareEqual(const OBS& a, int aType, const OBS& b, int bType);
  // One cell of eight blanks, the source of every blank fill.
  static const OBS& Blanks();

  AggregationCategory();
  explicit AggregationCategory(CategoryType type);
  // REQUIRES: valueType >= 0.
  AggregationCategory(CategoryType type, int valueType);
  // Copies type, width, value, encoding, variable index, label,
  // use-label-for-var and empty. The computed-category fields start empty and
  // the label-default flag is not copied.
  AggregationCategory(const AggregationCategory& other);
  // Copies what the copy constructor copies; leaves this category's
  // label-default flag and computed-category fields as they are.
  AggregationCategory& operator=(const AggregationCategory& other);
  ~AggregationCategory();

  // Same type and, by type: kDummy and kTotal always; kValue equal values;
  // subtotals equal encodings; kVariable equal variable indices; kPCompute
  // equal labels.
  bool operator==(const AggregationCategory& other) const;

  CategoryType GetCatType() const { return _type; }
  int GetValueType() const { return static_cast<int>(_valType); }
  // First cell of the value.
  const OBS& GetCatValue() const { return *_catValue; }
  int GetCatEncoding() const { return _catEncoding; }
  int GetVarIndex() const { return _varIndex; }
  const std::string& GetCatLabel() const { return _catLabel; }
  const std::string& GetPCatName() const { return _pCatName; }
  const std::vector<TableEncryptionCodes::StatisticCodes>& GetPCFormat() const { return _pcFormat; }
  const std::vector<TableEncryptionCodes::DisplayFormat>& GetPCDisplayFormat() const {
    return _pcDisplayFormat;
  }
  const std::vector<const QUOR_Format*>& GetPCDecimal() const { return _pcDecimal; }
  bool UseLabelForVar() const { return _useLabelForVar; }
  // False until SetCatLabel says otherwise; copies do not carry it.
  bool IsLabelDefault() const { return _labelDefault; }
  bool IsEmpty() const { return _empty; }

  void SetCatType(CategoryType type) { _type = type; }
  // REQUIRES: valueType >= 0. Widening past the array's cells replaces the
  // array (the value is then unset); the array never shrinks.
  void SetValueType(int valueType);
  // REQUIRES: _valType == 0. A negative zero is stored as +0.0.
  void SetCatValue(double value);
  // Copies a value of this category's own width: a double, or exactly w bytes
  // after blanking the last cell of the width.
  void SetCatValue(const OBS& value);
  // REQUIRES: valueType <= this width. Copies a value of width valueType and
  // blank-fills it to this category's width.
  void SetCatValue(const OBS& value, int valueType);
  // Stores a text, widening the category to the text's length when needed.
  void SetCatValue(const char* text);
  void SetCatEncoding(int encoding) { _catEncoding = encoding; }
  // Rounds half away from zero (2.5 gives 3, -2.5 gives -3).
  void SetCatEncoding(double code);
  void SetVarIndex(int varIndex) { _varIndex = varIndex; }
  void SetCatLabel(const std::string& label, bool isDefault);
  void SetPCateName(const std::string& name) { _pCatName = name; }
  void SetPCFormat(const std::vector<TableEncryptionCodes::StatisticCodes>& formats);
  void SetPCDisplayFormat(const std::vector<TableEncryptionCodes::DisplayFormat>& formats);
  void SetPCDecimal(const std::vector<const QUOR_Format*>& decimals);
  // There is no way to clear the flag.
  void SetUseLabelForVar() { _useLabelForVar = true; }
  void SetEmpty(bool empty) { _empty = empty; }

 private:
  // Makes the array hold at least the cells of width valueType; a new array
  // starts as the value 0.0 (numbers) or blanks (strings).
  void ReserveCells(int valueType);

  CategoryType _type;
  unsigned int _valType;
  OBS* _catValue;
  int _catEncoding;
  int _varIndex;
  std::string _catLabel;
  std::string _pCatName;
  std::vector<TableEncryptionCodes::StatisticCodes> _pcFormat;
  std::vector<TableEncryptionCodes::DisplayFormat> _pcDisplayFormat;
  std::vector<const QUOR_Format*> _pcDecimal;
  bool _useLabelForVar;
  bool _labelDefault;
  bool _empty;
  // Number of cells of _catValue (at least one).
  int _catCells;
};

#endif
