#ifndef TABCUBE_REQUEST_RESULT_READER_H
#define TABCUBE_REQUEST_RESULT_READER_H

#include <memory>
#include <vector>

#include "DataInput.h"
#include "TableResult.h"
#include "TableRun.h"

// Reads every cell of the finished tables into plain results, one CubeResult
// per crossing, tables in request order. The iterator gives the numbers of
// cases read and left out for their weight.
std::vector<CubeResult> ReadResults(const QUOR_DataSource& dataSource,
                                    const std::vector<std::unique_ptr<TableRun>>& tables,
                                    const StreamingCaseIterator& iterator, int weightVariable,
                                    const std::string& filter);

#endif
