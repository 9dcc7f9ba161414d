// The shared error types: errors that travel up, through any layer, to the
// place that reports them.  Each carries the exact text the user sees;
// parsers never throw.
#pragma once

#include <stdexcept>
#include <string>

namespace vesper {

class UserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The table engine's errors (missing field, table that cannot be opened, row
// that cannot be stored, lock that does not clear).
class EngineError : public UserError {
 public:
  using UserError::UserError;
};

// A table that cannot be written at all just now (locked by another program
// past the wait, read-only, disk full, I/O failure): no retry of the same row
// can cure it, so an import stops on it.
class TableUnavailable : public EngineError {
 public:
  using EngineError::EngineError;
};

// The runtime's conversion error: "'%s' is not a valid integer value".
class ConversionError : public UserError {
 public:
  explicit ConversionError(const std::string& text)
      : UserError("'" + text + "' is not a valid integer value") {}
};

// The runtime's I/O errors outside the slot operations (creating a file,
// reading a number from a specification file).
class IoError : public UserError {
 public:
  using UserError::UserError;
};

}  // namespace vesper
