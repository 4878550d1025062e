// One run of a program file's command list: what the commands work with,
// from the job's view and records to the open connections and the safe-mode
// state. It lives for one Programing call; what outlives the call is the
// load's (InterpreterLoad).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "programming_job.h"
#include "tessaro/command_interpreter.h"
#include "tessaro/device_control.h"
#include "tessaro/flash_operations.h"
#include "tessaro/run_log.h"
#include "tessaro/utilities.h"

namespace tessaro {

class RunContext {
 public:
  RunContext(TProgrammingJob& job, InterpreterLoad& load, uint16_t vid, uint16_t pid,
             const std::string& serial);

  // A run's line ("[ProgramingCtrls]") to the log files and the run's log.
  void Log(const std::string& format, std::initializer_list<FormatArg> args = {}) {
    EventLines lines = control.Lines();
    ProgramFileLog(&lines, format, args);
  }
  // The flash operations' two lists: the run's log and the transfers' lines.
  LogList log() { return LogList{&runLog}; }
  TransferList transfer() { return TransferList{&transferLines}; }
  const FlashRecord& flash() { return view.SelectedFlash(); }
  // The open connection a command needs; none is a library error naming the command.
  TDevice* Device(int code);
  void Full() { events.SetProgressPosition(events.ProgressMaximum()); }
  // What a flash operation reports moves the run's progress display (so the
  // status word's progress with it); the view shows its status line.
  FlashProgress FlashBar();
  int Ask(const std::string& text, UINT type) { return control.Ask(text, type); }
  void Box(const std::string& text) { Ask(text, MB_OK); }
  // The identity the run was asked for, as Programing named it.
  DeviceIdentity Wanted() const { return {vid, pid, "", "", serial}; }
  void End() {
    connection.reset();
    psConnection.reset();
  }

  TProgrammingJob& job;
  InterpreterLoad& load;
  JobView& view;
  // The run's log as a list; what the run reports passes through it to the
  // view's events.
  RunLog runLog;
  // What the run reports, its progress display among it.
  RunEvents& events;
  TransferLines transferLines{&runLog};
  ProgramFileHeader& header;
  const uint16_t vid, pid;
  const std::string serial;
  ControlView control;
  DeviceIdentity wanted, safe, firmware;
  Connection connection, psConnection;
  bool safeMode = false;
  TArrayOfInteger selectedSectors, selectedBlocks;
  FirmwareVersion version;  // shared by GetDeviceVersion and IfVersionDoNextCmd
  size_t position = 0;      // of the command running in the list
  // Commands still to pass over (the low byte): a conditional sets it.
  uint32_t skipCount = 0;
};

// The boxes' heads of the module-data commands.
extern const char kBoxHeadFor[];
extern const char kBoxHeadTo[];

}  // namespace tessaro
