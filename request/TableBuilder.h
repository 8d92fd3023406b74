#ifndef TABCUBE_REQUEST_TABLE_BUILDER_H
#define TABCUBE_REQUEST_TABLE_BUILDER_H

#include <memory>
#include <vector>

#include "Request.h"
#include "TableRun.h"
#include "casesource.h"

// Turns every table of a request into an engine table over the data source,
// in request order. Checks the request against the data first: unknown names,
// sets mixing numeric and string members, statistics on string variables and
// the like throw InputError naming the JSON path. The tables point into the
// request and the data source, which must outlive them.
std::vector<std::unique_ptr<TableRun>> BuildTables(const Request& request,
                                                   const QUOR_DataSource& dataSource,
                                                   int weightVariable);

// Which variables of the data source the request's tables read from a row
// (indexed like the data source's variables): those of the dimensions and
// their sets, of the statistics, of sorts by a statistic, of the tests, of
// the filters, and the weight. The request must be one BuildTables accepts.
std::vector<bool> VariablesRead(const Request& request, const QUOR_DataSource& dataSource,
                                int weightVariable);

#endif
