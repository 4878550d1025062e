#include "environment/log_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumetra/sync.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

TEST(LogTrace, AppendsWithCrLfAndNeverTruncates) {
  testsupport::TestFolder folder;
  const std::string path = folder / "LM_Logfile.txt";
  ASSERT_TRUE(testsupport::WriteFile(path, "earlier run\r\n"));
  SetTraceLogPath(path);
  LogTrace("first\n");
  LogTrace("second");
  EXPECT_EQ(testsupport::ReadFileOr(path), "earlier run\r\nfirst\r\nsecond");
  SetTraceLogPath("");
}

TEST(LogTrace, EntriesOfManyThreadsStayWhole) {
  testsupport::TestFolder folder;
  const std::string path = folder / "LM_Logfile.txt";
  SetTraceLogPath(path);
  const std::string entryA(300, 'a'), entryB(300, 'b');
  std::vector<lm::Thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        if (t % 2) {
          LogTrace(entryA + "\n");
        } else {
          AppendLogText(path, entryB + "\n");  // a LogStatus writer on the same file
        }
      }
    });
  }
  for (auto& w : writers) EXPECT_TRUE(w.Join(testsupport::kUiWaitMs));
  SetTraceLogPath("");
  const auto lines = testsupport::SplitLines(testsupport::ReadFileOr(path));
  size_t whole = 0;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    EXPECT_TRUE(line == entryA || line == entryB) << "a cut entry: " << line.substr(0, 40);
    ++whole;
  }
  EXPECT_EQ(whole, 100u);
}

TEST(LogTrace, WithoutPathTheEntryIsDropped) {
  SetTraceLogPath("");
  LogTrace("lost\n");  // must neither crash nor block
  EXPECT_FALSE(AppendLogText("", "x"));
}

}  // namespace
