// For test fixtures that set fault rules: when a bench is replaced or the
// test ends, every [FaultN] rule of it has fired. A rule that proves a
// request is never reached is named in `neverReached`, which checks that it
// stayed quiet.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "testsupport/testdir.h"

namespace benchctl {

inline void ExpectFaultsFired(const std::string& benchFile,
                              const std::vector<std::string>& neverReached = {}) {
  if (benchFile.empty()) return;
  EXPECT_EQ(FaultsNotFired(benchFile), neverReached) << "fault rules of " << benchFile << ":\n"
                                                     << testsupport::ReadFileOr(benchFile);
}

}  // namespace benchctl
