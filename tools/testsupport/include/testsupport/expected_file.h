// Whole outcomes pinned as files beside the tests: a log, a call record, a
// sequence of messages, a table of texts. A test compares what it produced
// with its expected file, byte for byte; with LUMETRA_RECORD_EXPECTED=1 in
// the environment it writes the file instead (and passes), so that a change
// of an outcome is one reviewed diff of the file.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// `relative` names the file below the source tree, with '/' or '\\'.
::testing::AssertionResult MatchesExpectedFile(const std::string& actual,
                                               const std::string& relative);

// The log's time stamps "dd.mm.yy hh:nn:ss,zzz" as "##.##.## ##:##:##,###",
// so that a log of two runs reads the same.
std::string MaskTimeStamps(std::string text);

}  // namespace testsupport
