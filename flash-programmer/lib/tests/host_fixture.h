// End-to-end tests drive Tessaro.dll inside a host program started in a
// folder of its own, so its logs (written beside the host) are the test's.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tessaro_test/program_file_writer.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"

namespace tessaro_e2e {

class HostFolder {
 public:
  HostFolder();
  const std::string& Path() const { return folder_.Path(); }
  std::string operator/(const std::string& name) const { return folder_ / name; }

  // Runs the host with these actions to its end; its "key=value" lines.
  std::vector<std::pair<std::string, std::string>> Run(const std::vector<std::string>& actions);
  // Starts the host without waiting (UI tests); Results() reads its output later.
  bool Start(testsupport::ChildProcess& child, const std::vector<std::string>& actions);
  std::vector<std::pair<std::string, std::string>> Results() const;
  std::vector<std::string> Values(const std::string& key) const;

  // The texts of a log's lines without their "M[...] " prefix; banner lines as they are.
  std::vector<std::string> LogTexts(const std::string& name) const;
  std::string WriteProgramFile(const std::string& name, const tessaro_test::Bytes& bytes) const;

 private:
  std::string HostArgs(const std::vector<std::string>& actions) const;
  testsupport::TestFolder folder_;
};

// Lines of `lines` that hold `part`.
std::vector<std::string> Holding(const std::vector<std::string>& lines, const std::string& part);
// True when `expected` occurs in `lines` in this order (other lines between).
::testing::AssertionResult InOrder(const std::vector<std::string>& lines,
                                   const std::vector<std::string>& expected);

}  // namespace tessaro_e2e
