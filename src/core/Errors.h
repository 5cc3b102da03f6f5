#pragma once
// Every failure inside the library travels as one of these, carrying its message text.
#include <stdexcept>
#include <string>

class EMxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
