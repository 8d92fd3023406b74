#ifndef TABCUBE_REQUEST_CATEGORY_WARNINGS_H
#define TABCUBE_REQUEST_CATEGORY_WARNINGS_H

#include <string>
#include <vector>

#include "Dictionary.h"
#include "Request.h"

// Warnings for explicit category lists of variables: a case's value goes to
// the last entry that takes it, so a {"value": v} entry followed by an entry
// that also takes v (the same value, a range holding it, "other" for a valid
// value, "missing" for a user-missing one) never receives a case. Each
// warning reads "<source>: <JSON path>: <problem>".
std::vector<std::string> UnreachableCategoryWarnings(const Request& request,
                                                     const Dictionary& dictionary);

#endif
