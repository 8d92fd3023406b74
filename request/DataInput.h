#ifndef TABCUBE_REQUEST_DATA_INPUT_H
#define TABCUBE_REQUEST_DATA_INPUT_H

#include <memory>
#include <string>
#include <vector>

#include "Dictionary.h"
#include "Filter.h"
#include "baseutil.h"
#include "casesource.h"

// CaseSource: a stream of cases, each written into a row laid out like the
// data source's rows. Sources hold one case at a time, so memory does not grow
// with the number of cases.
class CaseSource {
 public:
  virtual ~CaseSource() = default;
  // Writes the next case into row (RowWidth() cells); false at the end.
  // Malformed data throws InputError naming the place and the problem.
  virtual bool ReadCase(OBS* row) = 0;
  // Starts again at the first case.
  virtual void Rewind() = 0;
};

// Builds a data source holding the dictionary's variables (no cases): types,
// labels, value labels and missing values.
void DefineVariables(const Dictionary& dictionary, QUOR_DataSource& dataSource);

// A CSV file with a header row naming the columns. Every dictionary variable
// must have a column; columns the dictionary does not name are ignored. An
// empty field is system-missing (numbers) or blank (strings). With
// fromSample, the dictionary was inferred from the first records only, and a
// field it does not fit (text in a numeric column, a string wider than its
// column) throws InferenceOutgrown instead of InputError. With read (indexed
// like the data source's variables), only the columns of the variables it
// marks are parsed and checked; the others' cells stay system-missing or
// blank.
std::unique_ptr<CaseSource> OpenCsv(const std::string& path, const Dictionary& dictionary,
                                    const QUOR_DataSource& dataSource, bool fromSample = false,
                                    const std::vector<bool>* read = nullptr);

// The same file's records split into `parts` contiguous ranges at record
// boundaries (see SplitCsvRecords), a source for each, to be read on threads
// of their own. Places named in the errors of a part are relative to the
// part: a caller that wants the exact place reads the whole file again.
std::vector<std::unique_ptr<CaseSource>> OpenCsvParts(const std::string& path,
                                                      const QUOR_DataSource& dataSource,
                                                      bool fromSample, int parts,
                                                      const std::vector<bool>* read = nullptr);

// Thrown when the data outgrow a dictionary inferred from their first records.
struct InferenceOutgrown {};

// A table or a query of an SQLite database; a query is recognised by starting
// with SELECT or WITH. NULL is system-missing (numbers) or blank (strings).
std::unique_ptr<CaseSource> OpenSqlite(const std::string& path, const std::string& tableOrQuery,
                                       const Dictionary& dictionary,
                                       const QUOR_DataSource& dataSource);
// Infers a dictionary from an SQLite table or query (numeric when every
// non-NULL value is a number, else a string as wide as its longest value).
Dictionary InferSqliteDictionary(const std::string& path, const std::string& tableOrQuery);

// The procedure's iterator over a case source. Cases whose weight is missing,
// zero or negative are skipped (and counted) when the data are weighted; a
// sum of the weights that overflows throws InputError.
class StreamingCaseIterator : public ProcDSIterator {
 public:
  StreamingCaseIterator(const QUOR_DataSource& dataSource, int weightVariable, CaseSource& source);
  bool Next() override;
  void Rewind() override;
  // Cases the filter does not keep are skipped (and counted) before weighting.
  void SetFilter(const Filter* filter) { _filter = filter; }

  long CasesRead() const { return _casesRead; }
  long CasesFilteredOut() const { return _filteredOut; }
  long CasesExcludedByWeight() const { return _excludedByWeight; }
  // The sum of the weights of the cases kept (0 unweighted).
  double WeightSum() const { return _weightSum; }
  // Adds the counts and the weight sum of an iterator over later cases.
  void AddCountsOf(const StreamingCaseIterator& later);

 private:
  void AddToWeightSum(double weight);

  CaseSource& _source;
  std::vector<OBS> _row;
  bool _weighted;
  double _weightSum = 0.0;
  const Filter* _filter = nullptr;
  long _filteredOut = 0;
  long _casesRead = 0;
  long _excludedByWeight = 0;
};

#endif
