// Runs Corvel's exports in a program of their own on a bench tree, as
// another program binds them, and reads back what the bench recorded.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "testsupport/testdir.h"

namespace corvel_test {

struct BenchRun {
  bool started = false;
  // "<call>" -> result, in the order called.
  std::vector<std::pair<std::string, int>> results;
  // The bench file after the program ended.
  std::string benchFile;

  int Result(const std::string& call) const;
  // A value of the bench file after the run ("" when missing).
  std::string Value(const std::string& section, const std::string& key) const;
  // The class-installer calls the bench recorded, in order.
  std::vector<std::string> ClassInstallerCalls() const;
};

// Writes tree (bench file text) into the folder's bench file and runs the calls.
BenchRun RunOnBench(const testsupport::TestFolder& folder, const std::string& tree,
                    const std::vector<std::string>& calls);

// The driver store's file whose bytes equal content ("" when there is none).
std::string StoreCopyOf(const std::string& content);

}  // namespace corvel_test
