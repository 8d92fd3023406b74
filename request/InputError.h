#ifndef TABCUBE_REQUEST_INPUT_ERROR_H
#define TABCUBE_REQUEST_INPUT_ERROR_H

#include <stdexcept>
#include <string>

// A problem with what the user gave the command: a file that cannot be read,
// malformed data, an invalid request. The message names the place (file and
// line and column, or the JSON path) and the problem; the command prints it
// and exits with status 2.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

#endif
