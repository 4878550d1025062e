// Text formatting, the small text routines, list selections, the run's log and the status word.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tessaro/format_text.h"
#include "tessaro/line_lists.h"
#include "tessaro/program_status.h"
#include "tessaro/run_log.h"
#include "tessaro/text_utils.h"

using namespace tessaro;

TEST(FormatText, Specifiers) {
  struct Row {
    std::string expected, actual;
  } rows[] = {
      {"0x0000ABCD", FormatText("0x%0:8.8X", {0xABCDu})},
      {"12.50%", FormatText("%f%%", {12.5})},
      {"3.00", FormatText("%f", {3})},
      {"50.00", FormatText("%f", {5000 / 100.0})},
      {"0x004100-0x00410F, 0x0010B (00016) <001,0000048>",
       FormatText("0x%0:6.6X-0x%1:6.6X, 0x%2:4.4XB (%2:5.5d) <%3.3d,%7.7d>",
                  {0x4100u, 0x410Fu, 16u, 1, 48u})},
      {"07", FormatText("%2.2d", {7})},
      {"FFFFFFEF", FormatText("%X", {-17})},
      {"-17", FormatText("%d", {-17})},
      {"ab        |", FormatText("%-10s|", {"ab"})},
      {"<?>", FormatText("%s", {})},
      {"<?>", FormatText("%d", {"text"})},
      {"a%b", FormatText("a%%b")},
  };
  for (const Row& r : rows) EXPECT_EQ(r.expected, r.actual);
}

// A huge width, precision or index neither raises nor allocates beyond the
// bound of 1024 characters per field.
TEST(FormatText, HugeNumbersInASpecifierAreBounded) {
  struct Row {
    const char* format;
    size_t length;
  } rows[] = {
      {"%3000000000d", 1024},
      {"%.3000000000d", 1024},
      {"%-99999999999999999999d|", 1025},
      {"%1024d", 1024},
      {"%1023d", 1023},
      {"%.3000000000f", 1026},  // "7." and 1024 decimals
  };
  for (const Row& r : rows) {
    std::string text;
    EXPECT_NO_THROW(text = FormatText(r.format, {7})) << r.format;
    EXPECT_EQ(r.length, text.size()) << r.format;
  }
  EXPECT_EQ("<?>", FormatText("%99999999999999999999:d", {7}));
  EXPECT_EQ("7", FormatText("%0:d", {7}));
}

TEST(TextUtils, PadRightCutsAndFills) {
  EXPECT_EQ(std::string(48, 'n'), PadRight(std::string(50, 'n'), 48, ' '));
  EXPECT_EQ("ab   ", PadRight("ab", 5, ' '));
}

TEST(TextUtils, ByteDumps) {
  const uint8_t bytes[] = {0x41, 0x00, 0x42};
  EXPECT_EQ("A#0B", CharBytes(bytes, 3));
  EXPECT_EQ("41 00 42 ", HexBytes(bytes, 3));
  const uint8_t high[] = {0xAB};
  EXPECT_EQ("ab ", HexBytes(high, 1));
}

TEST(TextUtils, TimeForms) {
  LocalTime t{2026, 3, 7, 9, 5, 4, 12};
  EXPECT_EQ("07.03.26 09:05:04,012", DateTimeText(t));
  EXPECT_EQ("2026.03.07. 09:05:04:012", RunTimeText(t));
  EXPECT_EQ("09:05:04.012", TimeText(t, ":", "."));
  EXPECT_EQ("01:01:01,001", ElapsedText(3661001));
  EXPECT_EQ("00:00:00,000", ElapsedText(0));
}

TEST(TextUtils, WindowsVersionTexts) {
  struct Row {
    OsVersion v;
    std::string expected;
  } rows[] = {
      {{5, 1, 2600, 2, "Service Pack 3"},
       "Microsoft Windows XP Version: 5.1 Build: 2600 Service Pack 3"},
      {{5, 0, 2195, 2, "SP4"}, "Microsoft Windows 2000 Version: 5.0 Build: 2195 SP4"},
      {{5, 2, 3790, 2, ""}, "Microsoft Windows NT Version: 5.2 Build: 3790 "},
      {{4, 0, 1381, 2, "SP6"}, "Microsoft Windows NT 4 Version: 4.0 Build: 1381 SP6"},
      {{6, 1, 7601, 2, "SP1"}, "Microsoft Windows NT Version: 6.1 Build: 7601 SP1"},
      {{4, 0, 950, 1, "B"}, "Microsoft Windows 95 Version: 4.0 Build: 950 B (Memphis)"},
      {{4, 10, 1998, 1, "A"}, "Microsoft Windows 98 Version: 4.10 Build: 1998 A (Chicago)"},
      {{3, 1, 0, 0, ""}, "Win 32s na Windows 3.1x"},
      {{9, 9, 9, 7, ""}, "as before"},
  };
  for (const Row& r : rows) {
    std::string text = "as before";
    WindowsVersionText(r.v, text);
    EXPECT_EQ(r.expected, text) << "platform " << r.v.platform << " " << r.v.major << "."
                                << r.v.minor;
  }
}

TEST(ListSelection, SelectsOnlyTheNamedEntriesUpToTheHighestIndex) {
  TMemoryLines list;
  for (int i = 0; i < 4; ++i) list.Add("line");
  SelectListEntries({2, 5}, 1, list);
  TArrayOfInteger selected;
  SelectedListEntries(list, selected);
  EXPECT_EQ(TArrayOfInteger({2}), selected);

  list.SetSelected(0, true);
  SelectListEntries({1, 3}, -1, list);  // nothing for a negative highest index
  SelectListEntries({3}, 0, list);      // nothing is deselected
  SelectedListEntries(list, selected);
  EXPECT_EQ(TArrayOfInteger({0, 2, 3}), selected);
}

TEST(StatusWord, ProgressRoundsHalvesToEvenAndNeverDividesByZero) {
  EXPECT_EQ(0, ProgressOf(1, 20000));  // 0.5
  EXPECT_EQ(2, ProgressOf(3, 20000));  // 1.5
  EXPECT_EQ(5000, ProgressOf(50, 100));
  EXPECT_EQ(3333, ProgressOf(1, 3));
  EXPECT_EQ(0, ProgressOf(5, 0));
  EXPECT_EQ(0, ProgressOf(5, -3));
  EXPECT_EQ(10000, ProgressOf(150, 100));
}

TEST(StatusWord, NegativeStatusShowsInTheLowHalfAndProgressOnlyOnceRegistered) {
  ProgramingState::Reset();
  ProgramingState::SetStatus(-1);
  ProgramingState::SetProgress(50, 100);
  EXPECT_EQ(0x0000FFFFu, ProgramingState::StatusWord());
  ProgramingState::RegisterProgress();
  ProgramingState::SetProgress(50, 100);
  EXPECT_EQ(0x1388FFFFu, ProgramingState::StatusWord());
  ProgramingState::SetStatus(15);
  EXPECT_EQ(0x1388000Fu, ProgramingState::StatusWord());
  EXPECT_EQ(15, ProgramingState::Status());
  ProgramingState::Reset();
  EXPECT_EQ(0u, ProgramingState::StatusWord());
}

// A view's run log in memory, as the job's views keep it (it may hold lines
// from before the run), and the other reports it took.
class ShownLog : public RunEvents {
 public:
  ShownLog() {
    for (const char* line : {"", "###start###", "[ProgramingCtrls]  header read"}) lines.Add(line);
  }
  int Ask(const Question& question) override {
    asked.push_back(question.text);
    return 7;
  }
  void LogLine(const std::string& line) override { lines.Add(line); }
  void ReplaceLastLines(int count, const std::string& line) override {
    tessaro::ReplaceLastLines(lines, count, line);
  }
  void BlockDone(int index) override { blocks.push_back(index); }
  void Progress(int position, int maximum) override { progress.push_back({position, maximum}); }
  void TransferLine(const std::string& line) override { transfers.push_back(line); }
  TMemoryLines lines;
  std::vector<std::string> transfers;
  std::vector<std::string> asked;
  std::vector<int> blocks;
  std::vector<std::pair<int, int>> progress;
};

TEST(RunLog, TheViewShowsWhatItsOwnListWouldAndReadsBackTheSame) {
  // What a run does to its log: through the list the units below take, or
  // through the events; the reads it makes on the way.
  using Steps = std::function<std::string(TLineList & list, RunEvents & events)>;
  auto last = [](TLineList& list) { return list.Line(list.Count() - 1); };
  struct Row {
    const char* name;
    Steps steps;
  } rows[] = {
      {"lines added to either",
       [&](TLineList& list, RunEvents& events) {
         list.Add("a");
         events.LogLine("b");
         list.Add("c");
         return last(list);
       }},
      {"a poll's round rewritten in place",
       [&](TLineList& list, RunEvents&) {
         std::string read;
         list.Add("  waiting: .");
         for (int polls = 2; polls < 8; ++polls) {
           std::string line = last(list);
           read += line + "|";
           if (line.back() == 'w') line += '.';
           line.back() = "-/|\\w"[polls % 5];
           list.SetLine(list.Count() - 1, line);
         }
         return read;
       }},
      {"a flow's line rewritten by a unit below it",
       [&](TLineList& list, RunEvents& events) {
         events.LogLine("M [UsbDevCtrl]   00.00%  module to files storing...");
         std::string line = last(list);
         line.replace(18, 6, "42.00%");
         list.SetLine(list.Count() - 1, line);
         return line;
       }},
      {"a search's round with its device lines replaced",
       [&](TLineList& list, RunEvents& events) {
         for (const char* line : {"round 1", "device 0", "device 1"}) events.LogLine(line);
         events.ReplaceLastLines(3, "round 2");
         std::string read = last(list);
         list.Add("device 0");
         return read + "|" + last(list);
       }},
      {"an earlier line rewritten",
       [&](TLineList& list, RunEvents&) {
         for (const char* line : {"a", "b", "c"}) list.Add(line);
         list.SetLine(list.Count() - 2, "B");
         return list.Line(list.Count() - 2) + last(list);
       }},
      {"the last line taken away",
       [&](TLineList& list, RunEvents&) {
         for (const char* line : {"a", "b"}) list.Add(line);
         list.DeleteLast();
         return last(list);
       }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ShownLog plain, shown;
    std::string plainRead = r.steps(plain.lines, plain);
    RunLog log(shown);
    std::string read = r.steps(log, log);
    EXPECT_EQ(plainRead, read);
    EXPECT_EQ(plain.lines.Lines(), shown.lines.Lines());
  }
}

TEST(RunLog, PassesTheRunsOtherReportsOn) {
  ShownLog shown;
  RunLog log(shown);
  log.SetProgressMaximum(250);
  log.SetProgressPosition(50);
  log.BlockDone(3);
  EXPECT_EQ(7, log.Ask({"Go on?", "Tessaro", 0, BoxOwner::kNone}));
  TransferLines transfers(&log);
  transfers.Add("-> 0x0006 0x01");
  EXPECT_EQ(std::vector<std::string>{"-> 0x0006 0x01"}, shown.transfers);
  EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 250}, {50, 250}}), shown.progress);
  EXPECT_EQ(std::vector<int>{3}, shown.blocks);
  EXPECT_EQ(std::vector<std::string>{"Go on?"}, shown.asked);
}
