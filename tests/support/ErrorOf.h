#pragma once
// The message a call raises, for tests that pin exact error texts.
#include <string>

#include "core/Errors.h"

// The message of the EMxError that aCall raises, or "<no error>" when it raises none.
template <class F>
std::string ErrorOf(F&& aCall) {
  try {
    aCall();
  } catch (const EMxError& e) {
    return e.what();
  }
  return "<no error>";
}
