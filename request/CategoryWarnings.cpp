#include "CategoryWarnings.h"

#include <algorithm>

namespace {

bool IsUserMissing(const VariableSpec& spec, const RequestValue& value) {
  if (value.isString)
    return std::find(spec.missingStrings.begin(), spec.missingStrings.end(), value.text) !=
           spec.missingStrings.end();
  return std::find(spec.missingNumbers.begin(), spec.missingNumbers.end(), value.number) !=
             spec.missingNumbers.end() ||
         (spec.hasMissingRange && spec.missingLow <= value.number &&
          value.number <= spec.missingHigh);
}

bool AtMost(const RequestValue& a, const RequestValue& b) {
  return a.isString ? a.text <= b.text : a.number <= b.number;
}

bool SameKind(const RequestValue& a, const RequestValue& b) {
  return a.isString == b.isString;
}

// Whether the entry takes the value (of the entry's own kind of value).
bool Takes(const CategorySpec& entry, const RequestValue& value, bool userMissing) {
  switch (entry.kind) {
    case CategorySpec::kValue:
      return SameKind(entry.low, value) && AtMost(entry.low, value) && AtMost(value, entry.low);
    case CategorySpec::kRange:
      return !userMissing && SameKind(entry.low, value) && AtMost(entry.low, value) &&
             AtMost(value, entry.high);
    case CategorySpec::kLoRange:
      return !userMissing && SameKind(entry.low, value) && AtMost(value, entry.low);
    case CategorySpec::kHiRange:
      return !userMissing && SameKind(entry.low, value) && AtMost(entry.low, value);
    case CategorySpec::kAll:
    case CategorySpec::kOther:
      return !userMissing;
    case CategorySpec::kMissing:
      return userMissing;
    default:
      return false;
  }
}

std::string Describe(const CategorySpec& entry) {
  switch (entry.kind) {
    case CategorySpec::kValue:
      return "the same value";
    case CategorySpec::kOther:
      return "{\"other\": true}";
    case CategorySpec::kMissing:
      return "{\"missing\": true}";
    default:
      return "a range holding it";
  }
}

void CheckList(const std::string& source, const ElementOptions& options, const VariableSpec& spec,
               std::vector<std::string>& warnings) {
  const auto& entries = options.categories;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].kind != CategorySpec::kValue) continue;
    const bool userMissing = IsUserMissing(spec, entries[i].low);
    for (size_t j = i + 1; j < entries.size(); ++j) {
      if (!Takes(entries[j], entries[i].low, userMissing)) continue;
      warnings.push_back(source + ": " + entries[i].path +
                         ": this value can never be reached: the later entry " + entries[j].path +
                         " (" + Describe(entries[j]) +
                         ") takes it first (entries are matched from the last)");
      break;
    }
  }
}

}  // namespace

std::vector<std::string> UnreachableCategoryWarnings(const Request& request,
                                                     const Dictionary& dictionary) {
  std::vector<std::string> warnings;
  for (const TableSpec& table : request.tables)
    for (const auto& [name, options] : table.options) {
      const int index = dictionary.Find(name);
      if (index < 0 || !options.hasCategoryList) continue;  // sets and unknown names
      CheckList(request.source, options, dictionary.variables[static_cast<size_t>(index)],
                warnings);
    }
  return warnings;
}
