#ifndef TABCUBE_REQUEST_STATISTIC_NAMES_H
#define TABCUBE_REQUEST_STATISTIC_NAMES_H

#include <string>

// Name of a statistic code as requests write it (the enumerator without its
// leading k: "Count", "ColPct", "Mean" ...); null for an unknown code.
const char* StatisticName(int code);
// Code of a statistic name, -1 when there is none.
int StatisticCode(const std::string& name);

#endif
