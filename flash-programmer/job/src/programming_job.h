// The programming job: one per loaded library. It owns the program file's
// records, the run state, the status word and the progress, and runs the
// Programing export's work whether the window exists or not. The form
// observes it (JobView) and lets a user run it by hand; without the form the
// job keeps its lists in memory.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "tessaro/device.h"
#include "tessaro/flash_progress.h"
#include "tessaro/memory_form.h"
#include "tessaro/program_file.h"
#include "tessaro/run_events.h"

namespace tessaro {

class TProgrammingJob;

// The job's own "M" lines (of the job and the form) go through LogHooks().job.

// Where a job shows itself: the reader's lists and fields (ProgramFileForm),
// the two text windows, and what it reports while it runs (RunEvents: the
// devices the flows show and the questions they ask, with today's boxes).
class JobView : public ProgramFileForm, public RunEvents {
 public:
  virtual TLineList& Info() = 0;
  virtual TLineList& Messages() = 0;
  virtual bool Showing() const = 0;
  // The events the device-control flows report to (they draw the devices in
  // the form's tree).
  RunEvents* Events() { return this; }
  int Ask(const Question& question) override;
  // The list shows the blocks still to do: a block done is unselected.
  void BlockDone(int index) override { BlockLines().SetSelected(index, false); }
  // The run's log is the Info lines.
  void LogLine(const std::string& line) override { Info().Add(line); }
  void ReplaceLastLines(int count, const std::string& line) override {
    tessaro::ReplaceLastLines(Info(), count, line);
  }
  // The transfers' lines are the Message lines.
  void TransferLine(const std::string& line) override { Messages().Add(line); }
  // The status word's progress and the view's display follow the run's.
  void Progress(int position, int maximum) override;
  virtual void JobStarted(const std::string& fileName) {}
  virtual void CommandsStarted() {}
  virtual void CommandsEnded(bool ok) {}
  // The run's progress display: position of maximum.
  virtual void ProgressChanged(int position, int maximum) {}
  // A flash operation's step, for the status line (the display follows
  // ProgressChanged).
  virtual void FlashProgressChanged(FlashPhase phase, int done, int total) {}
  // The command list scrolled so that `line` is on top.
  virtual void ShowCommandLine(int line) {}
};

// The lists in memory, for a job without a window.
class MemoryJobView : public JobView {
 public:
  TStrings* InfoLines() override { return &info; }
  TSelectableList& CommandLines() override { return form.commands; }
  TSelectableList& VersionLines() override { return form.versions; }
  TSelectableList& SectorLines() override { return form.sectors; }
  TSelectableList& BlockLines() override { return form.blocks; }
  void ShowHeaderFields(ProgramFileHeader& header) override { form.ShowHeaderFields(header); }
  void FlashListChanged(const TFlashes& flashes) override;
  const FlashRecord& SelectedFlash() const override { return form.selectedFlash; }
  void ShowMessage(const std::string& text) override;
  TLineList& Info() override { return info; }
  TLineList& Messages() override { return messages; }
  bool Showing() const override { return false; }

  MemoryProgramFileForm form;
  TMemoryLines info, messages;
};

// Runs the job's command list once the file was read; none until the
// library installs its interpreter, and then a job ends after the read.
using CommandRunner = bool (*)(TProgrammingJob& job, uint16_t vid, uint16_t pid,
                               const std::string& serialNumber);
// The library's job's runner.
void SetCommandRunner(CommandRunner runner);

class TProgrammingJob {
 public:
  TProgrammingJob();
  ~TProgrammingJob();
  TProgrammingJob(const TProgrammingJob&) = delete;
  TProgrammingJob& operator=(const TProgrammingJob&) = delete;

  // The view the job shows itself in from now on; null gives the memory view.
  void Attach(JobView* view);
  void Detach(JobView* view);
  JobView& View() { return view_ ? *view_ : memory_; }

  bool Running() const { return running_; }
  void SetRunner(CommandRunner runner) { runner_ = runner; }

  // The Programing export's work: status 1; -1 and false for a missing
  // file; otherwise the file is read and its commands run.
  bool Program(uint16_t vid, uint16_t pid, const std::string& fileName,
               const std::string& serialNumber);
  // The parts a manual job runs one after the other.
  bool ReadFile(const std::string& fileName);
  bool RunCommands(uint16_t vid, uint16_t pid, const std::string& serialNumber);

  ProgramFileRecords& Records() { return records_; }

  // The status word GetStatus reads (one atomic word, never waits for the job).
  void SetStatus(int16_t status);
  int16_t Status() const;
  uint32_t StatusWord() const;
  // What the flash operations report, for the view's status line.
  FlashProgress FlashProgressSink();

  // The job's "M" line to `list` through the job's hook.
  void Log(TStrings* list, const std::string& format, std::initializer_list<FormatArg> args = {});

 private:
  class RunningScope;
  JobView* view_ = nullptr;
  CommandRunner runner_ = nullptr;
  MemoryJobView memory_;
  ProgramFileRecords records_;
  bool running_ = false;
};

// The job of this load of the library.
TProgrammingJob& LibraryJob();

}  // namespace tessaro
