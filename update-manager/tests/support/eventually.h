// The tests' one way to wait for something another thread or process brings
// about: poll it until it holds or a limit passes. A failed wait names the
// line that waited, so an assertion on it says which wait ran out.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

namespace kestortest {

// The usual limit: far above what a loaded machine takes.
constexpr DWORD kEventuallyMs = 30000;

// Polls `check` every 20 ms until it holds; fails after `limitMs` of polls,
// naming the caller's file and line.
template <typename Check>
::testing::AssertionResult Eventually(Check check, DWORD limitMs = kEventuallyMs,
                                      const char* file = __builtin_FILE(),
                                      int line = __builtin_LINE()) {
  constexpr DWORD kPollMs = 20;
  for (DWORD waited = 0; waited < limitMs; waited += kPollMs) {
    if (check()) return ::testing::AssertionSuccess();
    Sleep(kPollMs);
  }
  return ::testing::AssertionFailure()
         << "not within " << limitMs << " ms, waited for at " << file << ":" << line;
}

}  // namespace kestortest
