// What a run and the flows below the form report, and the questions they
// ask: one interface. The form implements it (its Info window, device tree,
// block list and boxes); the job without a window implements it with its
// lists in memory and the boxes alone. Units below the run that have no run at hand
// (the device list, the driver rule, the connection, the flash steps) ask
// through the library's events.
#pragma once

#include <cstdint>
#include <string>

#include "tessaro/log_hook.h"

namespace tessaro {

// A device as the bus names it.
struct DeviceIdentity {
  uint16_t vid = 0;
  uint16_t pid = 0;
  std::string product;
  std::string manufacturer;
  std::string serial;
};

// The window a box belongs to: none, or the window active when it shows.
enum class BoxOwner { kNone, kActiveWindow };

// A box as it shows: text, caption, the message box's flags and its owner.
struct Question {
  std::string text;
  std::string caption;
  unsigned flags = 0;
  BoxOwner owner = BoxOwner::kNone;
};

class RunEvents {
 public:
  virtual ~RunEvents() = default;
  // Shows the box and waits for its answer (IDOK, IDYES, IDNO...).
  virtual int Ask(const Question& question) = 0;
  // The devices shown: none; one device under a caption; the bus as it is now.
  virtual void DevicesCleared() {}
  virtual void DeviceShown(const std::string& caption, const DeviceIdentity& identity) {}
  virtual void BusShown() {}
  // A block of a program or verify run is done (its index in the block list).
  virtual void BlockDone(int index) {}
  // A line at the end of the run's log (the job's Info lines), as the log
  // files took it; a wait's round line shows here only.
  virtual void LogLine(const std::string& line) {}
  // The last `count` lines of the run's log become this one line: a wait's
  // round or a percentage rewritten in place (1), a bus search's round with
  // the devices it listed (more). Nothing happens while fewer lines show.
  virtual void ReplaceLastLines(int count, const std::string& line) {}
  // A line of a transfer with the device (the job's Message lines), as the
  // device's log took it.
  virtual void TransferLine(const std::string& line) {}
  // The run's progress display moved: its position of its maximum. Every
  // move of either is reported with both.
  virtual void Progress(int position, int maximum) {}

  // The display's moves: a new maximum keeps the position, a new position
  // the maximum. A display starts at 0 of 100; each run reports through
  // events of its own (its run log), so each run's display starts there.
  void SetProgressMaximum(int maximum) {
    maximum_ = maximum;
    Progress(position_, maximum_);
  }
  void SetProgressPosition(int position) {
    position_ = position;
    Progress(position_, maximum_);
  }
  int ProgressPosition() const { return position_; }
  int ProgressMaximum() const { return maximum_; }

 private:
  int position_ = 0;
  int maximum_ = 100;
};

// The run's log as the list a log hook appends to: each line added is a
// LogLine report. The run's log is not cleared through it.
class EventLines : public TStrings {
 public:
  explicit EventLines(RunEvents* events) : events_(events) {}
  void Add(const std::string& line) override;
  void Clear() override {}
  // How many lines were reported.
  int Added() const { return added_; }

 private:
  RunEvents* events_;
  int added_ = 0;
};

// The transfers' lines as the list a device's log appends to: each line
// added is a TransferLine report. Nothing clears them through it.
class TransferLines : public TStrings {
 public:
  explicit TransferLines(RunEvents* events) : events_(events) {}
  void Add(const std::string& line) override {
    if (events_) events_->TransferLine(line);
  }
  void Clear() override {}

 private:
  RunEvents* events_;
};

// The boxes alone: every question is a message box with its owner.
class BoxEvents : public RunEvents {
 public:
  int Ask(const Question& question) override;
};

// Asks through the events the library set for the units below the run (its
// job's view), else with the boxes alone (a unit used without the library).
int LibraryAsk(const Question& question);
void SetLibraryEvents(RunEvents* events);

}  // namespace tessaro
