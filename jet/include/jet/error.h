#pragma once

#include <stdexcept>
#include <string>

namespace jet {

// The one error type of the engine. The message is meant for the user: it names the file, table,
// column or page concerned. The kind lets tools and tests tell failures apart.
class Error : public std::runtime_error {
 public:
  enum class Kind {
    kCorrupt,          // the file breaks the format: bad page number, offset, length, count
    kIo,               // the operating system refused a read or write
    kInvalidArgument,  // a bad statement, value or name from the caller
    kConstraint,       // a write would break a rule of the table (duplicate key, NULL, length)
    kNotSupported,     // a valid file or request this engine does not handle
    kNotFound,         // no such table, column or object
    kLocked,           // another process writes the file
  };

  Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace jet
