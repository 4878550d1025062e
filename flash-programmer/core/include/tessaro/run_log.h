// The run's log as a line list, reached through the run's events only. The
// run reports to it in place of the view's events and it passes every report
// on; the log lines it remembers, so that a unit that reads back a line to
// rewrite it (a poll's round, the plug-in's percentage, the driver list)
// reads what the view shows.
#pragma once

#include <string>

#include "tessaro/line_lists.h"
#include "tessaro/run_events.h"

namespace tessaro {

// It knows the lines of the run's log from its own start on. The view may
// show lines from before (the job's head lines, the file reader's): no unit
// of a run reads or rewrites a line the run did not report, so these need
// not be known.
class RunLog : public RunEvents, public TLineList {
 public:
  explicit RunLog(RunEvents& shown) : shown_(shown) {}

  // The reports, passed on to the events the run shows in. Its own progress
  // display is the run's: the one it passes on is reported with both values.
  int Ask(const Question& question) override { return shown_.Ask(question); }
  void DevicesCleared() override { shown_.DevicesCleared(); }
  void DeviceShown(const std::string& caption, const DeviceIdentity& identity) override {
    shown_.DeviceShown(caption, identity);
  }
  void BusShown() override { shown_.BusShown(); }
  void BlockDone(int index) override { shown_.BlockDone(index); }
  void LogLine(const std::string& line) override;
  void ReplaceLastLines(int count, const std::string& line) override;
  void Progress(int position, int maximum) override { shown_.Progress(position, maximum); }
  void TransferLine(const std::string& line) override { shown_.TransferLine(line); }

  // The list: a line added is a LogLine report, a line rewritten the
  // replacement of the lines from it to the end. The run's log is not
  // cleared through it.
  void Add(const std::string& line) override { LogLine(line); }
  void Clear() override {}
  int Count() const override { return lines_.Count(); }
  std::string Line(int index) const override { return lines_.Line(index); }
  void SetLine(int index, const std::string& line) override;
  // Two lines become the one before the last; the first line of the run
  // stays (no report takes a line away without one in its place).
  void DeleteLast() override;

 private:
  RunEvents& shown_;
  TMemoryLines lines_;
};

}  // namespace tessaro
