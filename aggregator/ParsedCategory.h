#ifndef PARSED_CATEGORY_H
#define PARSED_CATEGORY_H

#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"
#include "casesource.h"

// ParsedCategory: one entry of the explicit category list the table syntax
// gave for a variable or set (a value, a range, all missing, all other
// values, a subtotal, a member variable, a computed category). It decides
// whether a value belongs to it (Contains) and collects, in ascending value
// order, the categories that fall into it while a dimension's category list
// is built.
//
// Owns its value array, its range-top array, strings and sequences. Points to
// (does not own) the collected AggregationCategory objects, which belong to
// the dimension's category list, and the QUOR_Format objects. The value type
// is -1 until a value or a first collected category gives it a width.
class TABCUBE_EXPORT ParsedCategory {
 public:
  enum ParsedCatType {
    kValue = 0,      // one value
    kRange = 1,      // low to high, both inclusive
    kLoRange = 2,    // everything up to a bound, inclusive
    kHiRange = 3,    // everything from a bound on, inclusive
    kLoHiRange = 4,  // every value
    kMissing = 5,    // every missing value
    kOtherNM = 6,    // every non-missing value the rest of the list leaves
    kSubtotal = 7,   // subtotal shown with its categories
    kHSubtotal = 8,  // subtotal hiding the categories it sums
    kVariable = 9,   // member variable of a dichotomy set
    kPCompute = 10   // computed category
  };

  // kValue holding a value of width valueType.
  ParsedCategory(const OBS& value, int valueType);
  // kRange from low to high.
  ParsedCategory(const OBS& low, const OBS& high, int valueType);
  // A single-value or single-bound entry of the given type.
  ParsedCategory(const OBS& value, int valueType, ParsedCatType type);
  // An entry without a value: width -1.
  explicit ParsedCategory(ParsedCatType type);
  // A subtotal: kSubtotal when shown, kHSubtotal when its categories are hidden.
  ParsedCategory(const std::string& label, bool isDefault, int encoding, bool shown);
  // A computed category (the host passes kPCompute); the flag is stored only.
  ParsedCategory(const std::string& name, const std::vector<std::string>& labelParts, bool flag,
                 const std::vector<TableEncryptionCodes::StatisticCodes>& formats,
                 const std::vector<TableEncryptionCodes::DisplayFormat>& displayFormats,
                 const std::vector<const QUOR_Format*>& decimals, ParsedCatType type, int varIndex);
  // Copies type, width, values, subtotal encoding and label, variable index,
  // label-default and the category pointers. Label parts, computed-category
  // name, formats and flag start empty.
  ParsedCategory(const ParsedCategory& other);
  // Copies what the copy constructor copies; leaves label parts,
  // computed-category fields and flag as they are.
  ParsedCategory& operator=(const ParsedCategory& other);
  // Frees what the entry owns; the collected categories are not destroyed.
  ~ParsedCategory();

  bool operator==(const ParsedCategory& other) const;

  ParsedCatType GetPCType() const { return _type; }
  int GetValueType() const { return _valType; }
  const OBS& GetCatValue() const { return *_catValue; }
  const OBS& GetRangeTopValue() const { return *_rangeTopValue; }
  int GetSubtotalEncoding() const { return _subtotalEncoding; }
  int GetVarIndex() const { return _varIndex; }
  const std::string& GetSubtotalLabel() const { return _subtotalLabel; }
  const std::string& GetPCatName() const { return _pCatName; }
  const std::vector<TableEncryptionCodes::StatisticCodes>& GetPCFormat() const { return _pcFormat; }
  const std::vector<TableEncryptionCodes::DisplayFormat>& GetPCDisplayFormat() const {
    return _pcDisplayFormat;
  }
  const std::vector<const QUOR_Format*>& GetPCDecimal() const { return _pcDecimal; }
  bool IsLabelDefault() const { return _labelDefault; }
  std::vector<AggregationCategory*>& GetCategories() { return _categories; }
  bool HasCategories() const { return !_categories.empty(); }

  void SetCatType(ParsedCatType type) { _type = type; }
  // Sets the width field only.
  void SetValueType(int valueType) { _valType = valueType; }
  // Copies a value of the entry's own width.
  void SetCatValue(const OBS& value);
  // REQUIRES: valueType <= this width. Blank-fills to the entry's width.
  void SetCatValue(const OBS& value, int valueType);
  // Stores a text, widening the entry (an unset width always widens).
  void SetCatValue(const char* text);
  // REQUIRES: _valType == 0.
  void SetCatValue(double value);
  void SetRangeTopValue(const OBS& value);
  // REQUIRES: valueType <= this width.
  void SetRangeTopValue(const OBS& value, int valueType);
  void SetSubtotalEncoding(int encoding) { _subtotalEncoding = encoding; }
  void SetVarIndex(int varIndex) { _varIndex = varIndex; }
  void SetSubtotalLabel(const std::string& label, bool isDefault);

  // Inserts the category keeping ascending value order (equal values keep
  // insertion order) and returns the new count. An unset width takes the
  // category's width. Ownership stays with the caller.
  int AddCategory(AggregationCategory* category);
  // Forgets the collected categories without destroying them.
  void ClearCategories() { _categories.clear(); }

  // Whether the value belongs to this entry, the value read with the entry's
  // own width. isMissing says whether the value is missing for the variable.
  bool Contains(const OBS& value, bool isMissing) const;
  // Whether the value, of width valueType, belongs to this entry under the
  // OBSCompare order (numbers before strings, trailing blanks never decide).
  bool Contains(const OBS& value, int valueType, bool isMissing) const;

  // The label parts joined without separator, or the computed-category name
  // when there are none.
  std::string GetPostCatLabel() const;

  // Writes a diagnostic description of the entry through BP_ToFront (code 1).
  void Display(int index) const;

 private:
  // True when the value array (or the range top) holds the cells of the
  // current width, so that it may be read.
  bool HasValue() const;
  bool HasRangeTop() const;

  ParsedCatType _type;
  int _valType;
  OBS* _catValue;
  OBS* _rangeTopValue;
  int _subtotalEncoding;
  int _varIndex;
  std::string _subtotalLabel;
  std::vector<std::string> _labelParts;
  std::string _pCatName;
  std::vector<TableEncryptionCodes::StatisticCodes> _pcFormat;
  std::vector<TableEncryptionCodes::DisplayFormat> _pcDisplayFormat;
  std::vector<const QUOR_Format*> _pcDecimal;
  bool _labelDefault;
  bool _pcFlag;
  std::vector<AggregationCategory*> _categories;
  // Cell counts of the two arrays (0 for an array without a value).
  int _catCells;
  int _rangeTopCells;
};

#endif
