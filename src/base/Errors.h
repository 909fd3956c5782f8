// Exceptions carry the system's Polish message as Windows-1250 bytes; the edges convert it.
#pragma once

#include <stdexcept>
#include <string>

namespace quorvel {

// Base of every failure the program reports to its user.
class EQuorvelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that does not convert to the number or date it should hold.
class EConvertError : public EQuorvelError {
 public:
  using EQuorvelError::EQuorvelError;
};

// A file that cannot be opened, created, read or written.
class EFileError : public EQuorvelError {
 public:
  using EQuorvelError::EQuorvelError;
};

// A stored value with an unexpected form, or a file that ends inside a value.
class EReadError : public EQuorvelError {
 public:
  using EQuorvelError::EQuorvelError;
};

}  // namespace quorvel
