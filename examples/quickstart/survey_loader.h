#ifndef QUICKSTART_SURVEY_LOADER_H
#define QUICKSTART_SURVEY_LOADER_H

// Loads the bundled survey into the host's in-memory data source with the
// request library's readers: the JSON dictionary (each column's type, label,
// value labels, missing values, and the weight variable) and the CSV file of
// cases (a header row naming the columns; quoted fields may hold commas,
// quotes and line breaks). Bad input throws the readers' InputError (a
// std::runtime_error) naming the file and the place.

#include <memory>
#include <string>
#include <vector>

#include "DataInput.h"
#include "Dictionary.h"
#include "casesource.h"

namespace quickstart {

// A loaded survey: the data source and the weight variable (-1 when none).
struct Survey {
  std::unique_ptr<QUOR_DataSource> data = std::make_unique<QUOR_DataSource>();
  int weightVariable = -1;
  Dictionary dictionary;
};

// Adds the dictionary's variables to the data source.
inline void LoadDictionary(const std::string& dictionaryPath, Survey& survey) {
  survey.dictionary = ReadDictionary(dictionaryPath);
  DefineVariables(survey.dictionary, *survey.data);
  const std::string& weight = survey.dictionary.weight;
  survey.weightVariable = weight.empty() ? -1 : survey.dictionary.Find(weight);
}

// Appends the CSV's cases, one row of the data source's layout at a time.
inline void LoadCases(const std::string& csvPath, Survey& survey) {
  QUOR_DataSource& data = *survey.data;
  const std::unique_ptr<CaseSource> cases = OpenCsv(csvPath, survey.dictionary, data);
  std::vector<OBS> row(static_cast<size_t>(data.RowWidth()));
  while (cases->ReadCase(row.data())) {
    const int c = data.AddCase();
    for (int i = 0; i < data.NumberOfVariables(); ++i) {
      const OBS* value = row.data() + data.VariableOffset(i);
      const int width = data.GetVariable(i).GetType();
      if (width == 0) {
        data.SetValue(c, i, value->num);
      } else {
        data.SetValue(c, i, std::string(reinterpret_cast<const char*>(value), static_cast<size_t>(width)));
      }
    }
  }
}

inline Survey LoadSurvey(const std::string& csvPath, const std::string& dictionaryPath) {
  Survey survey;
  LoadDictionary(dictionaryPath, survey);
  LoadCases(csvPath, survey);
  return survey;
}

}  // namespace quickstart

#endif
