// The one bracket around every export's body: nothing is thrown across the
// library boundary; an exception becomes the export's failure value.
#pragma once

#include "corvel/corvel.h"

namespace corvel {

// Runs fn and returns its result as the export's int; onException when it throws.
template <typename Fn>
int Guarded(int onException, Fn fn) noexcept {
  try {
    return static_cast<int>(fn());
  } catch (...) {
    return onException;
  }
}

// The exports that return a status code fail with LM_ERROR_SYSTEM_ERROR.
template <typename Fn>
int GuardedStatus(Fn fn) noexcept {
  return Guarded(static_cast<int>(LM_ERROR_SYSTEM_ERROR), fn);
}

}  // namespace corvel
