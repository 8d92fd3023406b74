#ifndef TABCUBE_REQUEST_OUTPUT_H
#define TABCUBE_REQUEST_OUTPUT_H

#include <ostream>
#include <string>
#include <vector>

#include "TableResult.h"

// Writes finished cubes as readable pivot tables (one block per layer
// combination; nested row labels down, nested column labels and statistic
// names across; missing values blank).
void WriteText(const std::vector<CubeResult>& cubes, std::ostream& out);

// Writes one line per cell and statistic, with each dimension's category
// label, value and type (RFC 4180 quoting).
void WriteCsv(const std::vector<CubeResult>& cubes, std::ostream& out);

// Writes {"tables": [...]} for programs: every combination of categories once,
// absent cells with "present": false and null values. A missing value is
// null, an overflowed one the string "Infinity" or "-Infinity".
void WriteJson(const std::vector<CubeResult>& cubes, std::ostream& out);

// The three ways of writing finished tables.
enum class OutputFormat { kText, kCsv, kJson };

// Writes the cubes in the given format (WriteText, WriteCsv or WriteJson).
void WriteTables(const std::vector<CubeResult>& cubes, OutputFormat format, std::ostream& out);

// Formats one statistic value as the text table shows it with the given
// decimals ("" when missing, exponent form when too wide for fixed notation).
std::string FormatValue(const StatisticResult& statistic, const std::array<double, 3>& value,
                        int decimals);

#endif
